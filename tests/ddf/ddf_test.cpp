// The binary data dictionary. Loading: sections in any order; hostile files
// refused with their status, changing nothing; every allocation failing in
// turn. Queries: every type and descriptor of every test and example
// dictionary against its loaded tables; lets and dimensions against a
// reference evaluator; hostile descriptors and states made in every.ddl.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>

#include "ddf/ddf_builder.h"
#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

using ddftest::Bytes;
using ddftest::DdfImage;
using ddftest::Put;

constexpr int32_t kScalars = MVX_TF(1, 0);
constexpr int32_t kShapes = MVX_TF(3, 0);
constexpr int32_t kHolder = MVX_TF(5, 0);

template <typename T> std::vector<uint8_t> BytesOf(T v) {
    std::vector<uint8_t> b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

// What ddf_GetFieldDefault writes for a type and key.
std::vector<uint8_t> DefaultOf(int type, int16_t key) {
    const double pi = std::acos(-1.0);
    const double reals[] = {0.0, 1.0, pi, pi / 2, pi / 4};
    const double real = key >= 50 && key <= 54 ? reals[key - 50] : 0.0;
    if (type == DDF_SHORT) return BytesOf(key);
    if (type == DDF_INT || type == DDF_LONG) return BytesOf(int32_t{key});
    if (type == DDF_FLOAT) return BytesOf(static_cast<float>(real));
    if (type == DDF_DOUBLE) return BytesOf(real);
    if (type == DDF_CHAR) return {static_cast<uint8_t>(key & 0xFF)};
    if (type == DDF_COUNT) return BytesOf(int32_t{0});
    if (type == DDF_FSTRING) return {0};
    if (type == DDF_VSTRING || type == DDF_PTR) return BytesOf(uint64_t{0});
    return {};
}

// The last part of a qualified name, as union members are matched.
std::string LastPart(const std::string& name) {
    return name.substr(name.find_last_of('.') + 1);
}

// The last reported code, cleared.
int32_t Reported() {
    const int32_t code = mpm__LastError;
    mpm_ClearStack(0);
    mpm__LastError = 0;
    return code;
}

// The image of sample.ddl, with a subentity entry and a let instruction
// for corruptions to point at.
DdfImage Sample() {
    DdfImage image = ddftest::Compiled(mvxtest::ReadFile(mvxtest::TestDataPath("sample.ddl")));
    image.Find("subent_tfis")->data = Bytes{0, 0};
    image.Find("opcodes")->data = Bytes{0, 0, 0, 0, 0, 'd'};
    return image;
}

class Ddf : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(every_.Load(mvxtest::TestDataPath("every.ddl")));
        Use(every_.get());
    }
    void TearDown() override {
        ddf__Current = nullptr;
        ddf__Counters = nullptr;
        LibraryTest::TearDown();
    }
    static void Use(DDF_DICT* dict) {
        ddf__Current = dict;
        ddf__SavedTF = MVX_NULL_TF;
    }
    DDF_LETOP* Ops() { return reinterpret_cast<DDF_LETOP*>(every_->opcodes); }

    // Writes bytes to the test's file, loads it and returns the status, with
    // the dictionary in *dict.
    int32_t Load(const Bytes& bytes, DDF_DICT** dict) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        *dict = reinterpret_cast<DDF_DICT*>(dict); // must be reset
        return ddf_LoadDDF(0, path_.c_str(), dict);
    }
    bool Unchanged(const Bytes& bytes) const {
        return mvxtest::ReadFile(path_) == std::string(bytes.begin(), bytes.end());
    }

    mvxtest::TempDir dir_;
    const std::string path_ = dir_ / "d.ddf";
    mvxtest::CompiledDict every_;
};

// Reversed order, reserved bytes set, one section left out (its pointer
// keeps the file's value), one twice (the second copy wins): the header
// comes back byte for byte once the section pointers are put back.
TEST_F(Ddf, LoadsSectionsInAnyOrderAndKeepsTheHeader) {
    DdfImage image = Sample();
    std::memset(image.header.reserved140, 0xA5, sizeof image.header.reserved140);
    std::memset(image.header.reserved352, 0xA5, sizeof image.header.reserved352);
    std::reverse(image.sections.begin(), image.sections.end());
    image.Remove("attr_masks");
    image.header.attr_masks = reinterpret_cast<void*>(uintptr_t{0x1234});
    image.sections.push_back({"ent_uattrs", Bytes{9, 8, 7}});
    const Bytes file = image.File();
    ASSERT_EQ(file.size(), static_cast<std::size_t>(DDF_PAGE_SIZE));
    DDF_DICT* dict = nullptr;
    ASSERT_EQ(Load(file, &dict), 0);
    EXPECT_TRUE(Unchanged(file));
    DDF_DICT header = *dict;
    for (const DDF_SECTION* s = ddf__Sections; s->name != nullptr; ++s)
        if (s->offset != offsetof(DDF_DICT, attr_masks))
            std::memcpy(reinterpret_cast<uint8_t*>(&header) + s->offset,
                        reinterpret_cast<uint8_t*>(&image.header) + s->offset, 8);
    EXPECT_EQ(std::memcmp(&header, &image.header, sizeof header), 0);
    EXPECT_EQ(std::memcmp(dict->ent_uattrs, "\x09\x08\x07", 3), 0);
    dict->attr_masks = nullptr;
    mvxtest::FreeDict(dict);

    // No sections: the header's pointers as stored; a negative count reads
    // no section, not even one that is there; an empty section gets a block.
    DdfImage empty;
    empty.sections.push_back({"opcodes", {}});
    for (int16_t count : {0, -2, 1}) {
        empty.section_count = count;
        ASSERT_EQ(Load(empty.File(), &dict), 0);
        EXPECT_EQ(dict->opcodes != nullptr, count == 1) << count;
        mvxtest::FreeDict(dict);
    }
}

TEST_F(Ddf, RefusesHostileFiles) {
    DDF_DICT* dict = nullptr;
    const std::string missing = dir_ / "missing.ddf";
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), &dict), DDF_OPEN_ERR);
    EXPECT_TRUE(mvxtest::LastText().ends_with("Error opening DDF file " + missing + ".\n"));
    EXPECT_EQ(ddf_LoadDDF(0, dir_.path().c_str(), &dict), DDF_OPEN_ERR); // a directory
    EXPECT_EQ(ddf_LoadDDF(0, nullptr, &dict), DDF_INVALID_ARG);
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), nullptr), DDF_INVALID_ARG);
    EXPECT_EQ(mpm__LastError, DDF_INVALID_ARG);

    using Change = std::function<void(DdfImage&)>;
    auto field = [](int index, auto change) -> Change {
        return [=](DdfImage& d) { d.Field(index, change); };
    };
    auto entry = [](const char* section, std::size_t at, auto value) -> Change {
        return [=](DdfImage& d) { Put(d.Find(section)->data, at, value); };
    };
    // Files cut, or with the size of the first section (whose data starts at
    // byte 464) changed.
    using Cut = std::function<void(Bytes&)>;
    auto sized = [](int32_t size) -> Cut {
        return [=](Bytes& file) { Put(file, sizeof(DDF_FILEHDR) + sizeof(DDF_DICT) + 32, size); };
    };
    const struct {
        const char* what;
        Change change;
        int32_t code = DDF_READ_ERR;
        Cut cut = nullptr;
    } cases[] = {
        {"wrong version", [](DdfImage& d) { d.version = 101; }, DDF_VERSION_ERR},
        {"wrong magic and version: the magic is looked at first",
         [](DdfImage& d) { d.magic = "Mor/Vex Binary DDG", d.version = 101; }, DDF_ID_ERR},
        {"magic without NUL", [](DdfImage& d) { d.magic = std::string(32, 'M'); }, DDF_ID_ERR},
        {"empty file", nullptr, DDF_READ_ERR, [](Bytes& file) { file.clear(); }},
        {"a partial last page", nullptr, DDF_OPEN_ERR, [](Bytes& file) { file.pop_back(); }},
        {"section one byte beyond the file", nullptr, DDF_READ_ERR, sized(DDF_PAGE_SIZE - 464 + 1)},
        {"negative section size", nullptr, DDF_READ_ERR, sized(-1)},
        {"unknown section name", [](DdfImage& d) { d.Find("fld_names")->name = "FLD_NAMES"; }},
        {"section name without NUL",
         [](DdfImage& d) { d.sections[0].name = std::string(32, 'a'); }},
        {"names beyond their section", [](DdfImage& d) { d.header.fld_name_count = 100; }},
        {"negative description count", [](DdfImage& d) { d.header.fld_desc_count = -1; }},
        {"attribute count without its section", [](DdfImage& d) { d.Remove("attr_names"); }},
        {"types without typeforms", [](DdfImage& d) { d.Remove("typeforms"); }},
        {"types without field descriptors", [](DdfImage& d) { d.Remove("fld_data"); }},
        {"typeforms shorter than the types",
         [](DdfImage& d) { d.Find("typeforms")->data.resize(4); }},
        {"string offset at the section's end",
         [](DdfImage& d) {
             Bytes& names = d.Find("fld_names")->data;
             Put(names, 8, uint64_t{names.size()});
         }},
        {"string without NUL", [](DdfImage& d) { d.Find("ent_names")->data.back() = 'x'; }},
        {"value name offset out", entry("vdescs", 24, uint64_t{4096})},
        {"descriptor run beyond fld_data", entry("fld_indices", 2, int16_t{6})},
        {"negative descriptor index", entry("fld_indices", 0, int16_t{-1})},
        {"field name index out", field(0, [](DDF_FIELD& f) { f.name = 6; })},
        {"field name index below -1", field(0, [](DDF_FIELD& f) { f.name = -2; })},
        {"description index out", field(1, [](DDF_FIELD& f) { f.desc = 7; })},
        {"reference list beyond ptr_data", field(6, [](DDF_FIELD& f) { f.ref_first = 2; })},
        {"value descriptions beyond vdescs", field(2, [](DDF_FIELD& f) { f.aux = 1; })},
        {"six dimensions", field(3, [](DDF_FIELD& f) { f.dim_count = 6; })},
        {"subentity index out", field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 1; })},
        {"subentity of no type",
         [](DdfImage& d) {
             d.Field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 0; });
             Put(d.Find("subent_tfis")->data, 0, uint16_t{2});
         }},
        {"let index beyond opcodes", field(3, [](DDF_FIELD& f) { f.type = DDF_LET, f.let = 1; })},
        {"struct reaching past its type",
         field(3, [](DDF_FIELD& f) { f.type = DDF_STRUCT, f.aux = 2; })},
        {"bad name in a descriptor of no type",
         [](DdfImage& d) {
             DDF_FIELD f{};
             f.name = 99;
             ddftest::Append(d.Find("fld_data")->data, f);
         }},
    };
    for (const auto& c : cases) {
        DdfImage image = Sample();
        if (c.change) c.change(image);
        Bytes file = image.File();
        if (c.cut) c.cut(file);
        EXPECT_EQ(Load(file, &dict), c.code) << c.what;
        EXPECT_NE(mvxtest::LastText().find(path_), std::string::npos) << c.what;
        EXPECT_EQ(dict, nullptr) << c.what;
        EXPECT_TRUE(Unchanged(file)) << c.what;
        mpm_ClearStack(0);
    }

    // The boundary cases just inside are accepted.
    DdfImage inside = Sample();
    inside.Field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 0; });
    Put(inside.Find("subent_tfis")->data, 0, uint16_t{1});
    inside.Field(0, [](DDF_FIELD& f) { f.type = DDF_STRUCT, f.aux = 4; });
    ASSERT_EQ(Load(inside.File(), &dict), 0);
    mvxtest::FreeDict(dict);
}

TEST_F(Ddf, EveryAllocationFailureIsReportedAndLeavesNothing) {
    const Bytes file = Sample().File();
    DDF_DICT* dict = nullptr;
    int open_errors = 0;
    const long failures = mvxtest::FailEachAllocation(
        [&] { Load(file, &dict); },
        [&](bool failed) {
            // The paged file's check of the name's encoding running out of
            // memory is reported as an open failure.
            open_errors += failed && mpm__LastError == DDF_OPEN_ERR;
            if (failed && mpm__LastError != DDF_OPEN_ERR) {
                EXPECT_EQ(mpm__LastError, DDF_MALLOC_ERR);
                EXPECT_TRUE(mvxtest::LastText().ends_with("Error allocating memory.\n"));
            }
            EXPECT_EQ(dict == nullptr, failed);
            mpm_ClearStack(0);
            mpm__LastError = 0;
        },
        100);
    EXPECT_LE(open_errors, 1);
    // The paged file's handle, buffers and page, the header and the sections.
    EXPECT_GT(failures, static_cast<long>(Sample().sections.size()));
    ASSERT_NE(dict, nullptr);
    EXPECT_STREQ(dict->fld_names[5], "y");
    mvxtest::FreeDict(dict);
    EXPECT_TRUE(Unchanged(file));
}

// Checks descriptor k of type t (whose run starts at run); returns its dump.
std::string CheckDescriptor(const DDF_DICT* d, int32_t t, const DDF_FIELD* run, int32_t k) {
    const DDF_FIELD& f = run[k];
    const int32_t tf = d->typeforms[t];
    SCOPED_TRACE(::testing::Message() << "descriptor " << k);
    EXPECT_EQ(f.number, k);
    if (f.name >= 0) {
        const char* name = d->fld_names[f.name];
        const DDF_FIELD* first = run;
        while (first->name != f.name)
            ++first;
        DDF_FIELD *by_tfi = nullptr, *by_tf = nullptr;
        EXPECT_EQ(ddf_FindTFIField(t, name, &by_tfi), 0) << name;
        EXPECT_EQ(ddf_GetFieldFromName(name, tf, &by_tf), 0) << name;
        EXPECT_TRUE(by_tfi == first && by_tf == first) << name;
    }
    // The default with its type's width, nothing more.
    uint8_t out[16];
    std::memset(out, 0xA5, sizeof out);
    EXPECT_EQ(ddf_GetFieldDefault(&f, out), 0);
    std::vector<uint8_t> want = DefaultOf(f.type, f.key);
    want.resize(sizeof out, 0xA5);
    EXPECT_EQ(std::vector<uint8_t>(out, out + sizeof out), want);
    // Each value described, and the value after it, as a scan finds them.
    for (int v = 0; v < 2 * f.vdesc_count; ++v) {
        const int32_t value = d->vdescs[f.aux + v / 2].value + v % 2;
        const char* name = nullptr;
        for (int i = f.vdesc_count - 1; i >= 0; --i)
            if (d->vdescs[f.aux + i].value == value) name = d->vdescs[f.aux + i].name;
        EXPECT_EQ(ddf_GetFieldVdescVal(&f, value), name) << value;
    }
    // Each listed TF and its neighbours, no TF and the largest one.
    std::vector<int32_t> probes = {MVX_NULL_TF, MVX_TF(32767, 65535)};
    const int32_t* refs = d->ptr_data + f.ref_first;
    for (int r = 0; r < f.ref_count; ++r)
        probes.insert(probes.end(), {refs[r] - 1, refs[r], refs[r] + 1});
    for (int32_t p : probes) {
        const bool ok = (f.flags & DDF_REFANY) != 0 ||
                        std::find(refs, refs + f.ref_count, p) != refs + f.ref_count ||
                        (p == MVX_NULL_TF && (f.flags & DDF_REFNONE) != 0);
        EXPECT_EQ(ddf_CheckFieldReftype(&f, p), ok ? 1 : 0) << std::hex << p;
    }
    if ((f.flags & DDF_ARRAY) != 0 && f.dims[0].a < 0) {
        const DDF_FIELD* counter = run;
        while (counter->type != DDF_ENDENT &&
               (counter->type != DDF_COUNT || counter->dims[0].a != f.dims[0].a))
            ++counter;
        if (counter->type == DDF_ENDENT) counter = nullptr;
        DDF_FIELD* found = nullptr;
        EXPECT_EQ(ddf_GetPFixedCount(tf, &f, &found), counter ? 0 : DDF_FIELD_NOT_FOUND);
        EXPECT_EQ(found, counter);
        EXPECT_EQ(ddf_GetPFixedCount(MVX_NULL_TF, &f, &found), DDF_FIELD_NOT_FOUND);
        EXPECT_EQ(Reported(), DDF_FIELD_NOT_FOUND);
    }
    if (f.type == DDF_STRUCT && (f.flags & DDF_UNION) != 0) {
        // Each member's name and type, and the union's end, looked up.
        auto first_member = [&](auto matches) {
            for (int32_t m = k + 1; m < k + f.aux; ++m)
                if (run[m].type != DDF_ENDSTRUCT && matches(run[m])) return m - k - 1;
            return -1;
        };
        for (int32_t m = k + 1; m <= k + f.aux; ++m) {
            const std::string name = run[m].name >= 0 ? d->fld_names[run[m].name] : "x.none";
            const int32_t by_name = first_member([&](const DDF_FIELD& c) {
                return c.name >= 0 && LastPart(d->fld_names[c.name]) == LastPart(name);
            });
            const int32_t by_type =
                first_member([&](const DDF_FIELD& c) { return c.type == run[m].type; });
            int32_t index = -7;
            EXPECT_EQ(ddf_GetUnionTypeByName(&f, name.c_str(), &index),
                      by_name < 0 ? DDF_NOT_FOUND : 0);
            EXPECT_EQ(index, by_name) << name;
            EXPECT_EQ(ddf_GetUnionTypeByType(&f, run[m].type, &index),
                      by_type < 0 ? DDF_NOT_FOUND : 0);
            EXPECT_EQ(index, by_type) << int{run[m].type};
        }
    }
    // The dump's text is pinned once, below; here it must be given.
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(ddf_DbgDumpField(0, &f), 0);
    return capture.Finish();
}

// Every query of the current dictionary d against its loaded tables.
void CheckEveryQuery(const DDF_DICT* d) {
    for (int32_t i = 0; i < d->fld_name_count; ++i) {
        int32_t index = -7;
        ASSERT_EQ(ddf_MakeFieldNum(d->fld_names[i], &index), 0) << d->fld_names[i];
        EXPECT_EQ(index, i);
        if (i > 0) {
            EXPECT_LT(std::string(d->fld_names[i - 1]), d->fld_names[i]);
        }
        const std::string absent = d->fld_names[i] + std::string("\x01");
        EXPECT_EQ(ddf_MakeFieldNum(absent.c_str(), &index), DDF_NOT_FOUND);
        EXPECT_EQ(index, -1);
    }
    for (int32_t t = 0; t < d->type_count; ++t) {
        const int32_t tf = d->typeforms[t];
        SCOPED_TRACE(::testing::Message() << "type " << (tf >> 16) << ":" << (tf & 0xFFFF));
        EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, tf), t);
        const bool next = t + 1 < d->type_count && d->typeforms[t + 1] == tf + 1;
        EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, tf + 1), next ? t + 1 : -1);
        std::string upper = d->ent_names[t];
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        int32_t first_named = 0;
        while (std::strcmp(d->ent_names[first_named], d->ent_names[t]) != 0)
            ++first_named;
        EXPECT_EQ(ddf_GetNameTF(upper.c_str()), d->typeforms[first_named]);
        std::vector<int32_t> forms;
        for (int32_t u = 0; u < d->type_count; ++u)
            if (MVX_TF_TYPE(d->typeforms[u]) == MVX_TF_TYPE(tf)) forms.push_back(d->typeforms[u]);
        int32_t count = -1;
        int32_t* tfs = nullptr;
        ASSERT_EQ(ddf_ExpandForms(MVX_TF_TYPE(tf), &count, &tfs), 0);
        EXPECT_EQ(std::vector<int32_t>(tfs, tfs + count), forms);
        std::free(tfs);

        const DDF_FIELD* run = d->fld_data + d->fld_indices[t];
        const int32_t n = d->ent_fldcnts[t];
        EXPECT_EQ(run[n - 1].type, DDF_ENDENT);
        std::string dumps;
        for (int32_t k = 0; k < n; ++k)
            dumps += CheckDescriptor(d, t, run, k);
        mvxtest::StreamCapture out(stdout);
        EXPECT_EQ(ddf_DbgDumpEntityFields(0, tf), 0);
        EXPECT_EQ(out.Finish(), dumps);
    }
    EXPECT_EQ(Reported(), 0);
}

TEST_F(Ddf, EveryQueryAgreesWithTheTablesOfEveryDictionary) {
    // Field names of high bytes too: their order is that of unsigned bytes.
    mvxtest::TempDir dir;
    std::ofstream(dir / "bytes.ddl") << "dictionary bytes;\nentity 1 t { int \"\\x80\"; int "
                                        "\"\\xe9t\"; int \"\\x7f\"; int \"Z\"; int \"a\"; }\n";
    std::vector<std::string> sources = {dir / "bytes.ddl"};
    for (const char* folder : {MVX_TEST_DATA_DIR, MVX_EXAMPLES_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().extension() == ".ddl") sources.push_back(entry.path());
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        mvxtest::CompiledDict dict;
        ASSERT_TRUE(dict.Load(source));
        Use(dict.get());
        CheckEveryQuery(dict.get());
    }
    EXPECT_GT(sources.size(), 4u);
}

// The reference evaluation of an operand: a literal, or a slot of the table.
std::optional<int64_t> Operand(int16_t x, const int32_t* slots) {
    if (x >= 0) return x;
    if (slots == nullptr || -x >= DDF_COUNT_SLOTS) return std::nullopt;
    return slots[-x];
}
// ... and of an operation, kept modulo 2^32; none for x / 0 or a bad letter.
std::optional<int32_t> Apply(char op, int64_t a, int64_t b) {
    const int64_t r = op == 'f' ? a + b : op == 'g' ? a - b : op == 'h' ? a * b : 0;
    if (op == 'i' && b != 0) return static_cast<int32_t>(static_cast<uint32_t>(a / b));
    if (op < 'f' || op > 'h') return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(r));
}

// Random instruction sequences written over every.ddl's six instructions,
// and random dimension expressions, against the reference evaluation.
TEST_F(Ddf, LetsAndDimensionsEvaluateAsTheReference) {
    std::mt19937 rng(8128);
    auto pick = [&](const auto& values) { return values[rng() % std::size(values)]; };
    const int16_t operands[] = {0, 1, 7, 30000, -1, -2, -3, -128, -255, -256, -300};
    const int8_t dests[] = {-1, -2, -3, -128, 0, 1};
    const int32_t values[] = {0, 1, -1, 3, INT32_MIN, INT32_MAX, 65536, -70000};
    for (int round = 0; round < 3000; ++round) {
        std::vector<int32_t> slots(DDF_COUNT_SLOTS), expected;
        for (int32_t& v : slots)
            v = pick(values);
        expected = slots;
        ddf__Counters = round % 10 == 0 ? nullptr : slots.data();
        for (int i = 0; i < 6; ++i)
            Ops()[i] = {pick(operands), pick(operands), pick(dests), pick("fghidddx")};
        const int start = static_cast<int>(rng() % 6);
        int32_t want = 0, want_rc = DDF_BAD_LET, written = -1;
        for (int i = start; i < 6; ++i) {
            const DDF_LETOP& op = Ops()[i];
            if (op.op == 'd') {
                if (written >= 0) want = expected[written], want_rc = 0;
                break;
            }
            const int32_t* table = ddf__Counters != nullptr ? expected.data() : nullptr;
            const auto a = Operand(op.a, table), b = Operand(op.b, table);
            const auto r =
                a && b && op.dest <= 0 && ddf__Counters ? Apply(op.op, *a, *b) : std::nullopt;
            if (!r) break;
            expected[written = -op.dest] = *r;
        }
        int32_t value = -1;
        ASSERT_EQ(ddf__ComputeLet(Ops() + start, &value), want_rc) << round;
        EXPECT_EQ(value, want) << round;
        EXPECT_EQ(slots, expected) << round;

        const DDF_DIMEXPR expr{pick(operands), pick(operands), pick("efghix"), 0};
        const auto a = Operand(expr.a, ddf__Counters), b = Operand(expr.b, ddf__Counters);
        std::optional<int32_t> dim = expr.op == 'e' ? a : std::nullopt;
        if (expr.op != 'e' && a && b) dim = expr.op == 'i' && *b == 0 ? 0 : Apply(expr.op, *a, *b);
        ASSERT_EQ(ddf__DimValue(&expr, &value), dim ? 0 : DDF_BAD_LET) << round;
        EXPECT_EQ(value, dim.value_or(0)) << round;
    }
    EXPECT_EQ(Reported(), 0); // none of these is a message
    // Instructions that are not the dictionary's.
    int32_t value = -1;
    const DDF_LETOP own[2] = {{1, 2, -1, 'f'}, {0, 0, 0, 'd'}};
    const DDF_LETOP* const foreign[] = {own, Ops() + 6, Ops() - 1, nullptr,
                                        reinterpret_cast<DDF_LETOP*>(every_->opcodes + 3)};
    for (const DDF_LETOP* ops : foreign)
        EXPECT_EQ(ddf__ComputeLet(ops, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__DimValue(nullptr, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__ComputeLet(Ops(), nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
}

// The status each query on a field returns, which must be the one it
// reports (cleared after each); -1 for a value other than a failure's.
std::vector<int32_t> FieldQueryReports(const DDF_FIELD* f) {
    std::vector<int32_t> reports;
    auto report = [&reports](int32_t rc) {
        EXPECT_EQ(rc, mpm__LastError);
        reports.push_back(rc);
        mpm_ClearStack(0);
        mpm__LastError = 0;
    };
    uint8_t out[8];
    int32_t index = 5;
    DDF_FIELD* found = reinterpret_cast<DDF_FIELD*>(&index); // must be reset
    report(ddf_GetFieldDefault(f, out));
    report(ddf_GetFieldVdescVal(f, 0) == nullptr ? mpm__LastError : -1);
    report(ddf_CheckFieldReftype(f, MVX_NULL_TF) == 0 ? mpm__LastError : -1);
    report(ddf_GetPFixedCount(kShapes, f, &found));
    report(ddf_GetUnionTypeByName(f, "x1", &index));
    report(ddf_GetUnionTypeByType(f, DDF_INT, &index));
    report(ddf_DbgDumpField(0, f));
    EXPECT_TRUE(found == nullptr && index == -1);
    return reports;
}

// Absent names, types and forms; fields that are no union; a union in a
// union. Every query given a field that is not one of ddf__Current's
// descriptors fails with DDF_INVALID_ARG and reads nothing (the sanitizer
// build checks that); with no current dictionary, with DDF_NULL_MEMPTR.
TEST_F(Ddf, AbsentNamesForeignDescriptorsAndNoDictionary) {
    const std::string too_long(200, 'A');
    for (const char* absent : {"point ", "scalar", "", too_long.c_str()})
        EXPECT_EQ(ddf_GetNameTF(absent), MVX_NULL_TF) << absent;
    DDF_FIELD* field = every_->fld_data;
    EXPECT_EQ(ddf_FindTFIField(1, "d", &field), DDF_NOT_FOUND); // 1:5's field, not 1:1's
    EXPECT_EQ(ddf_FindTFIField(8, "x", &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_FindTFIField(-1, "x", &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_GetFieldFromName("x", MVX_TF(6, 1), &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_GetFieldFromName("z", kShapes, &field), DDF_NOT_FOUND);
    EXPECT_EQ(field, nullptr);
    const int32_t tfs_sorted[] = {-MVX_TF(3, 0), MVX_TF(1, 0), MVX_TF(300, 0)};
    EXPECT_EQ(ddf_FindTF(tfs_sorted, 3, -MVX_TF(3, 0)), 0);   // signed order
    EXPECT_EQ(ddf_FindTF(tfs_sorted, 2, MVX_TF(300, 0)), -1); // only count entries
    EXPECT_EQ(ddf_FindTF(tfs_sorted, -3, MVX_TF(1, 0)), -1);
    EXPECT_EQ(ddf_FindTF(nullptr, 2, MVX_TF(1, 0)), -1);
    int32_t count = -1;
    int32_t* tfs = reinterpret_cast<int32_t*>(&count); // must be overwritten
    EXPECT_EQ(ddf_ExpandForms(7, &count, &tfs), 0);
    EXPECT_TRUE(count == 0 && tfs == nullptr);
    EXPECT_EQ(Reported(), 0);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ddf_ExpandForms(1, &count, &tfs), DDF_MALLOC_ERR);
    EXPECT_EQ(Reported(), DDF_MALLOC_ERR);
    EXPECT_TRUE(count == 0 && tfs == nullptr);
    // A double whose key names no constant; a field without descriptions.
    DDF_FIELD* real = every_.Field(kScalars, 4);
    real->key = 55;
    double value = -1;
    EXPECT_EQ(ddf_GetFieldDefault(real, &value), 0);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(ddf_GetFieldVdescVal(real, 0), nullptr);

    every_.Field(kShapes, 10)->flags = DDF_UNION;
    int32_t index = 0;
    EXPECT_EQ(ddf_GetUnionTypeByType(every_.Field(kShapes, 3), DDF_UNIONTYPE, &index), 0);
    EXPECT_EQ(index, 6);
    for (int number : {1, 25, 5}) {
        EXPECT_EQ(ddf_GetUnionTypeByName(every_.Field(kShapes, number), "id", &index),
                  DDF_NOT_UNION_TYPE);
        EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
    }

    mvxtest::CompiledDict other;
    ASSERT_TRUE(other.Load(mvxtest::TestDataPath("every.ddl")));
    DDF_FIELD* shape = every_.Field(kShapes, 3);
    const int32_t last = every_->type_count - 1;
    DDF_FIELD* end = every_->fld_data + every_->fld_indices[last] + every_->ent_fldcnts[last];
    const DDF_FIELD copy = *shape;
    auto* odd = reinterpret_cast<DDF_FIELD*>(reinterpret_cast<uint8_t*>(shape) + 30);
    const DDF_FIELD* const foreign[] = {&copy, other.Field(kShapes, 3), every_->fld_data - 1, end,
                                        odd};
    for (const DDF_FIELD* f : foreign)
        EXPECT_EQ(FieldQueryReports(f), std::vector<int32_t>(7, DDF_INVALID_ARG));
    // The last descriptor is still one.
    EXPECT_EQ(ddf_GetFieldDefault(end - 1, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByName(shape, nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(nullptr, DDF_INT, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(shape, DDF_INT, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_MakeFieldNum(nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF(nullptr), MVX_NULL_TF);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpField(0, nullptr), 0); // prints nothing, as described
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, MVX_NULL_TF), 0);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, MVX_TF(77, 0)), DDF_NOT_FOUND);
    // A dictionary changed under its record is bounded by its own tables:
    // the stale record goes, and the next query finds none.
    const DDF_DICT saved = *every_.get();
    every_->type_count = 1;
    const DDF_FIELD* beyond = every_->fld_data + every_->fld_indices[0] + every_->ent_fldcnts[0];
    for (int query = 0; query < 2; ++query)
        EXPECT_EQ(ddf_DbgDumpField(0, beyond), DDF_INVALID_ARG);
    EXPECT_EQ(Reported(), DDF_INVALID_ARG);
    *every_.get() = saved;

    Use(nullptr);
    EXPECT_EQ(FieldQueryReports(shape), std::vector<int32_t>(7, DDF_NULL_MEMPTR));
    EXPECT_EQ(ddf_MakeFieldNum("x", &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_FindTFIField(0, "x", &field), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldFromName("x", kHolder, &field), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF("point"), MVX_NULL_TF);
    EXPECT_EQ(ddf_ExpandForms(5, &index, &tfs), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf__ComputeLet(Ops(), &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, kHolder), DDF_NULL_MEMPTR);
    EXPECT_EQ(mvxtest::StackTexts().size(), 7u);
}

// One whole descriptor dump: every bit, a negative gap and no name (the
// type name "char " keeps its blank).
TEST_F(Ddf, FieldDumpPrintsEveryLineExactly) {
    DDF_FIELD* odd = every_.Field(kScalars, 14);
    odd->modifiers = 0xFF;
    odd->flags = 0xFF;
    odd->gap = -3;
    odd->key = 0x141;
    char address[64];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(odd));
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(ddf_DbgDumpField(0, odd), 0);
    EXPECT_EQ(capture.Finish(),
              "char  **Field not named** (\"\")\n   Address: " + std::string(address) +
                  "\n   Modifiers:  ATTR  DEFAULT  FUNCTION  RANGE  REFTYPE  LENGTH  MAXLENGTH"
                  "  METHOD\n   Flags:  ARRAY  FIXED  PTRFIXED  VARIABLE  REFANY  REFNONE  UNION"
                  "  UNSIZED\n   Field #: 14  NDims: 0   Offset: -3  Default value key:  321\n");
}

} // namespace
