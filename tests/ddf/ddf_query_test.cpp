// Dictionary queries on compiled dictionaries. A property run checks every
// query on every dictionary of the tests and examples (and on one of random
// field names) against a direct walk of the loaded tables. The test
// dictionary every.ddl, which uses every construct of the language, gives
// the hand-worked cases: expected values come from its source text and the
// rules of docs/ddf-language.md, not from the compiler. Hostile descriptors,
// let sequences and dictionary states are made by changing a loaded
// every.ddl in memory.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

constexpr int32_t kScalars = MVX_TF(1, 0);
constexpr int32_t kScalarsFive = MVX_TF(1, 5);
constexpr int32_t kArrays = MVX_TF(2, 0);
constexpr int32_t kShapes = MVX_TF(3, 0);
constexpr int32_t kComputed = MVX_TF(4, 0);
constexpr int32_t kHolder = MVX_TF(5, 0);
constexpr int32_t kPoint = MVX_TF(6, 0);

// The last part of a qualified name, as union members are matched.
std::string LastPart(const std::string& name) {
    return name.substr(name.find_last_of('.') + 1);
}

// How many bytes ddf_GetFieldDefault writes for a field type.
std::size_t DefaultWidth(int type) {
    switch (type) {
    case DDF_CHAR:
    case DDF_FSTRING: return 1;
    case DDF_SHORT: return 2;
    case DDF_INT:
    case DDF_LONG:
    case DDF_COUNT:
    case DDF_FLOAT: return 4;
    case DDF_DOUBLE:
    case DDF_VSTRING:
    case DDF_PTR: return 8;
    default: return 0;
    }
}

class DdfQuery : public mvxtest::LibraryTest {
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
    // The last reported code, cleared.
    static int32_t Reported() {
        const int32_t code = mpm__LastError;
        mpm_ClearStack(0);
        mpm__LastError = 0;
        return code;
    }
    DDF_FIELD* Named(int32_t tf, const char* name) {
        DDF_FIELD* field = nullptr;
        EXPECT_EQ(ddf_GetFieldFromName(name, tf, &field), 0) << name;
        return field;
    }
    DDF_LETOP* Ops() { return reinterpret_cast<DDF_LETOP*>(every_->opcodes); }
    // One past the last descriptor of the dictionary.
    DDF_FIELD* End() {
        const int32_t last = every_->type_count - 1;
        return every_->fld_data + every_->fld_indices[last] + every_->ent_fldcnts[last];
    }

    void CheckEveryQuery(const DDF_DICT* d);

    mvxtest::CompiledDict every_;
};

// Every query of the current dictionary d against the loaded tables.
void DdfQuery::CheckEveryQuery(const DDF_DICT* d) {
    for (int32_t i = 0; i < d->fld_name_count; ++i) {
        int32_t index = -7;
        ASSERT_EQ(ddf_MakeFieldNum(d->fld_names[i], &index), 0) << d->fld_names[i];
        EXPECT_EQ(index, i);
        if (i > 0) {
            EXPECT_LT(std::string(d->fld_names[i - 1]), d->fld_names[i]);
        }
    }
    for (int32_t t = 0; t < d->type_count; ++t) {
        const int32_t tf = d->typeforms[t];
        SCOPED_TRACE(::testing::Message() << "type " << (tf >> 16) << ":" << (tf & 0xFFFF));
        EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, tf), t);
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
        for (int32_t k = 0; k < n; ++k) {
            const DDF_FIELD& f = run[k];
            EXPECT_EQ(f.number, k);
            if (f.name >= 0) {
                const char* name = d->fld_names[f.name];
                const DDF_FIELD* first = run;
                while (first->name != f.name)
                    ++first;
                DDF_FIELD* by_tfi = nullptr;
                DDF_FIELD* by_tf = nullptr;
                EXPECT_EQ(ddf_FindTFIField(t, name, &by_tfi), 0) << name;
                EXPECT_EQ(ddf_GetFieldFromName(name, tf, &by_tf), 0) << name;
                EXPECT_EQ(by_tfi, first) << name;
                EXPECT_EQ(by_tf, first) << name;
            }
            // The default is written with its type's width, nothing more.
            uint8_t low[16], high[16];
            std::memset(low, 0, sizeof low);
            std::memset(high, 0xFF, sizeof high);
            ASSERT_EQ(ddf_GetFieldDefault(&f, low), 0);
            ASSERT_EQ(ddf_GetFieldDefault(&f, high), 0);
            std::size_t written = 0;
            for (std::size_t b = 0; b < sizeof low; ++b)
                if (low[b] == high[b]) written = b + 1;
            EXPECT_EQ(written, DefaultWidth(f.type)) << "descriptor " << k;
            for (int v = 0; v < f.vdesc_count; ++v) {
                const DDF_VDESC* first = d->vdescs + f.aux;
                while (first->value != d->vdescs[f.aux + v].value)
                    ++first;
                EXPECT_EQ(ddf_GetFieldVdescVal(&f, first->value), first->name);
            }
            if (f.type == DDF_PTR) {
                for (int r = 0; r < f.ref_count; ++r)
                    EXPECT_EQ(ddf_CheckFieldReftype(&f, d->ptr_data[f.ref_first + r]), 1);
                EXPECT_EQ(ddf_CheckFieldReftype(&f, MVX_NULL_TF) == 1,
                          (f.flags & (DDF_REFANY | DDF_REFNONE)) != 0);
            }
            if ((f.flags & DDF_ARRAY) != 0 && f.dims[0].a < 0) {
                const DDF_FIELD* counter = run;
                while (counter < run + n &&
                       (counter->type != DDF_COUNT || counter->dims[0].a != f.dims[0].a))
                    ++counter;
                DDF_FIELD* found = nullptr;
                EXPECT_EQ(ddf_GetPFixedCount(tf, &f, &found),
                          counter < run + n ? 0 : DDF_FIELD_NOT_FOUND);
                EXPECT_EQ(found, counter < run + n ? counter : nullptr);
                EXPECT_EQ(Reported(), counter < run + n ? 0 : DDF_FIELD_NOT_FOUND);
            }
            if (f.type == DDF_STRUCT && (f.flags & DDF_UNION) != 0) {
                for (int32_t m = k + 1; m < k + f.aux; ++m) {
                    if (run[m].name < 0 || run[m].type == DDF_ENDSTRUCT) continue;
                    const std::string want = LastPart(d->fld_names[run[m].name]);
                    int32_t j = k + 1;
                    while (run[j].name < 0 || run[j].type == DDF_ENDSTRUCT ||
                           LastPart(d->fld_names[run[j].name]) != want)
                        ++j;
                    int32_t index = -7;
                    EXPECT_EQ(ddf_GetUnionTypeByName(&f, d->fld_names[run[m].name], &index), 0);
                    EXPECT_EQ(index, j - k - 1);
                }
            }
        }
        // The dump prints one block per descriptor.
        mvxtest::StreamCapture out(stdout);
        EXPECT_EQ(ddf_DbgDumpEntityFields(0, tf), 0);
        const std::string text = out.Finish();
        std::size_t blocks = 0;
        for (std::size_t at = 0; (at = text.find("   Address: ", at)) != std::string::npos; ++at)
            ++blocks;
        EXPECT_EQ(blocks, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(Reported(), 0);
}

TEST_F(DdfQuery, EveryQueryAgreesWithTheTablesOfEveryDictionary) {
    for (const char* dir : {MVX_TEST_DATA_DIR, MVX_EXAMPLES_DIR}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().extension() != ".ddl") continue;
            SCOPED_TRACE(entry.path().string());
            mvxtest::CompiledDict dict;
            ASSERT_TRUE(dict.Load(entry.path()));
            Use(dict.get());
            CheckEveryQuery(dict.get());
        }
    }
}

// Field names of random bytes (high bytes included: the order is that of
// unsigned bytes), and probes of absent names against std::lower_bound.
TEST_F(DdfQuery, RandomFieldNamesAreSortedAndFoundAsLowerBoundFindsThem) {
    std::mt19937 rng(7781);
    auto random_name = [&rng](std::size_t longest) {
        std::string name(1 + rng() % longest, ' ');
        for (char& c : name)
            c = static_cast<char>("aAz._\x7f\x80\xe9"[rng() % 8]);
        return name;
    };
    std::set<std::string> names;
    while (names.size() < 250)
        names.insert(random_name(6));
    std::string source = "dictionary random;\nentity 1 t {\n";
    for (const std::string& name : names) {
        source += "    int \"";
        for (unsigned char c : name) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            source += hex;
        }
        source += "\";\n";
    }
    mvxtest::TempDir dir;
    std::ofstream(dir / "random.ddl") << source << "}\n";
    mvxtest::CompiledDict random;
    ASSERT_TRUE(random.Load(dir / "random.ddl"));
    Use(random.get());
    CheckEveryQuery(random.get());
    const std::vector<std::string> sorted(names.begin(), names.end());
    for (int probe = 0; probe < 2000; ++probe) {
        const std::string name = random_name(7);
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), name);
        const bool present = at != sorted.end() && *at == name;
        int32_t index = 12345;
        ASSERT_EQ(ddf_MakeFieldNum(name.c_str(), &index), present ? 0 : DDF_NOT_FOUND) << name;
        ASSERT_EQ(index, present ? static_cast<int32_t>(at - sorted.begin()) : -1) << name;
    }
}

// TF search: random sorted arrays (negative TFs included, the order is
// signed) checked against std::lower_bound for present and absent TFs,
// then the degenerate arguments.
TEST(DdfFindTF, AgreesWithLowerBoundOnRandomArrays) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int32_t> value(-2000, 2000);
    for (int round = 0; round < 400; ++round) {
        std::set<int32_t> unique;
        const auto size = rng() % 40;
        while (unique.size() < size)
            unique.insert(value(rng) * 4099);
        const std::vector<int32_t> tfs(unique.begin(), unique.end());
        for (int probe = 0; probe < 30; ++probe) {
            const int32_t tf = (probe % 2 == 0 && !tfs.empty()) ? tfs[rng() % tfs.size()]
                                                                : value(rng) * 4099 + probe % 3;
            const auto at = std::lower_bound(tfs.begin(), tfs.end(), tf);
            const int32_t want =
                (at != tfs.end() && *at == tf) ? static_cast<int32_t>(at - tfs.begin()) : -1;
            ASSERT_EQ(ddf_FindTF(tfs.data(), static_cast<int32_t>(tfs.size()), tf), want)
                << "round " << round << " tf " << tf;
        }
    }
    const int32_t tfs[] = {MVX_TF(1, 0), MVX_TF(300, 0)};
    EXPECT_EQ(ddf_FindTF(tfs, 1, MVX_TF(300, 0)), -1); // only count entries are searched
    EXPECT_EQ(ddf_FindTF(tfs, -3, MVX_TF(1, 0)), -1);
    EXPECT_EQ(ddf_FindTF(nullptr, 2, MVX_TF(1, 0)), -1);
}

TEST_F(DdfQuery, NamesFormsAndAbsentTypes) {
    for (const std::string& absent : {std::string("point "), std::string("scalar"), std::string(),
                                      std::string(200, 'A')})
        EXPECT_EQ(ddf_GetNameTF(absent.c_str()), MVX_NULL_TF) << absent;
    int32_t index = 0;
    EXPECT_EQ(ddf_MakeFieldNum("t1", &index), DDF_NOT_FOUND); // a let slot, not a field
    DDF_FIELD* field = nullptr;
    EXPECT_EQ(ddf_FindTFIField(1, "d", &field), DDF_NOT_FOUND); // 1:5's field, not 1:1's
    EXPECT_EQ(field, nullptr);
    EXPECT_EQ(ddf_FindTFIField(8, "x", &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_FindTFIField(-1, "x", &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_GetFieldFromName("x", kShapes, &field), 0); // vert's member
    EXPECT_EQ(ddf_GetFieldFromName("z", kShapes, &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_GetFieldFromName("x", MVX_TF(6, 1), &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf__SavedTF, kShapes); // the last TF found stays cached
    EXPECT_EQ(ddf__SavedTFI, 4);

    int32_t count = -1;
    int32_t* tfs = nullptr;
    for (int32_t absent : {0, 7, 16000, -1, 0x10005}) {
        tfs = reinterpret_cast<int32_t*>(&count); // must be overwritten
        ASSERT_EQ(ddf_ExpandForms(absent, &count, &tfs), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(tfs, nullptr);
    }
    EXPECT_EQ(Reported(), 0);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ddf_ExpandForms(1, &count, &tfs), DDF_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(Reported(), DDF_MALLOC_ERR);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tfs, nullptr);
}

// Each default with its bytes; then keys no source can state, set on a
// descriptor of the loaded dictionary.
TEST_F(DdfQuery, DefaultsOfEveryTypeAndKey) {
    auto of = [](auto v) {
        std::vector<uint8_t> b(sizeof v);
        std::memcpy(b.data(), &v, sizeof v);
        return b;
    };
    const double pi = std::acos(-1.0);
    const struct {
        int32_t tf;
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {kScalars, "s", of(int16_t{-5})},      {kScalars, "i", of(int32_t{1234})},
        {kScalars, "l", of(int32_t{-1})},      {kScalars, "f", of(static_cast<float>(pi))},
        {kScalars, "d0", of(0.0)},             {kScalars, "d50", of(0.0)},
        {kScalars, "d51", of(1.0)},            {kScalars, "d52", of(pi)},
        {kScalars, "d53", of(pi / 2)},         {kScalars, "d54", of(pi / 4)},
        {kScalars, "c", of('A')},              {kScalarsFive, "d", of(1.0)},
        {kArrays, "n", of(int32_t{0})},        {kHolder, "style", of(int16_t{0})},
    };
    for (const auto& c : cases) {
        uint8_t out[8];
        ASSERT_EQ(ddf_GetFieldDefault(Named(c.tf, c.name), out), 0);
        EXPECT_EQ(std::vector<uint8_t>(out, out + c.bytes.size()), c.bytes) << c.name;
    }
    const struct {
        uint8_t type;
        int16_t key;
        std::vector<uint8_t> bytes;
    } keys[] = {
        {DDF_LONG, -32768, of(int32_t{-32768})},
        {DDF_FLOAT, 51, of(1.0f)},
        {DDF_FLOAT, 53, of(static_cast<float>(pi / 2))},
        {DDF_FLOAT, 54, of(static_cast<float>(pi / 4))},
        {DDF_FLOAT, 7, of(0.0f)},
        {DDF_DOUBLE, 55, of(0.0)},
        {DDF_CHAR, 0x1FF, {0xFF}},
    };
    DDF_FIELD* field = Named(kScalars, "i");
    for (const auto& k : keys) {
        field->type = k.type;
        field->key = k.key;
        uint8_t out[8];
        ASSERT_EQ(ddf_GetFieldDefault(field, out), 0);
        EXPECT_EQ(std::vector<uint8_t>(out, out + k.bytes.size()), k.bytes) << k.key;
    }
    EXPECT_EQ(Reported(), 0);
}

TEST_F(DdfQuery, ValueDescriptionsAndReferenceLists) {
    const DDF_FIELD* color = Named(kHolder, "color");
    const DDF_FIELD* style = Named(kHolder, "style");
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, 2), "green");
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, -1), "by layer");
    EXPECT_EQ(ddf_GetFieldVdescVal(color, 3), nullptr);
    EXPECT_EQ(ddf_GetFieldVdescVal(color, 5), nullptr); // style's value, outside color's run
    EXPECT_STREQ(ddf_GetFieldVdescVal(style, 5), "dashed");
    EXPECT_EQ(ddf_GetFieldVdescVal(Named(kScalars, "i"), 0), nullptr);

    const DDF_FIELD* first = Named(kHolder, "first");
    const DDF_FIELD* any = Named(kHolder, "any");
    const DDF_FIELD* maybe = Named(kHolder, "maybe");
    const DDF_FIELD* nothing = Named(kHolder, "nothing");
    const struct {
        const DDF_FIELD* field;
        int32_t tf;
        int32_t ok;
    } checks[] = {
        {first, MVX_TF(110, 1), 1},     {first, MVX_TF(110, 0), 0},
        {first, MVX_TF(101, 0), 0},     {first, MVX_NULL_TF, 0},
        {first, MVX_TF(99, 0), 0},      {first, MVX_TF(200, 0), 0},
        {any, MVX_TF(32767, 65535), 1}, {maybe, MVX_TF(100, 0), 1},
        {maybe, MVX_TF(102, 0), 0},     {nothing, MVX_NULL_TF, 1},
        {nothing, MVX_TF(6, 0), 0},     {Named(kScalars, "p"), MVX_TF(8, 8), 1},
    };
    for (const auto& c : checks)
        EXPECT_EQ(ddf_CheckFieldReftype(c.field, c.tf), c.ok)
            << every_->fld_names[c.field->name] << " " << std::hex << c.tf;
    EXPECT_EQ(Reported(), 0);
}

TEST_F(DdfQuery, CountFieldsAndDimensionsOfArrays) {
    DDF_FIELD* count = nullptr;
    ASSERT_EQ(ddf_GetPFixedCount(kArrays, Named(kArrays, "cube"), &count), 0);
    EXPECT_EQ(count, every_.Field(kArrays, 1));
    EXPECT_EQ(count->key, 2); // the fields it counts: mat cube
    // Literal and let-sized arrays have no count field, nor has another type.
    EXPECT_EQ(ddf_GetPFixedCount(kArrays, Named(kArrays, "fixed"), &count), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(Reported(), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(ddf_GetPFixedCount(kComputed, Named(kComputed, "cells"), &count),
              DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(ddf_GetPFixedCount(kScalars, Named(kArrays, "pts"), &count), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(ddf_GetPFixedCount(MVX_TF(77, 0), Named(kArrays, "pts"), &count),
              DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(count, nullptr);
    EXPECT_EQ(Reported(), DDF_FIELD_NOT_FOUND);

    // Dimension expressions and storage flags, as the source states them.
    auto e = [](int16_t a, int16_t b = 0, char op = 'e') { return DDF_DIMEXPR{a, b, op, 0}; };
    const uint16_t kFixed = DDF_ARRAY | DDF_FIXED;
    const uint16_t kPtr = DDF_ARRAY | DDF_PTRFIXED;
    const uint16_t kVar = DDF_ARRAY | DDF_VARIABLE;
    const struct {
        const char* name;
        uint16_t flags;
        std::vector<DDF_DIMEXPR> dims;
    } table[] = {
        {"names", kFixed, {e(4), e(8)}},
        {"plus", kPtr, {e(-1, 1, 'f')}},
        {"minus", kPtr, {e(-1, 1, 'g')}},
        {"times", kPtr, {e(-1, 3, 'h')}},
        {"half", kPtr, {e(-1, 2, 'i')}},
        {"cube", kVar, {e(-2), e(2), e(-1)}},
        {"tags", kPtr, {e(-1), e(12)}},
        {"any", kPtr | DDF_UNSIZED, {e(-1)}},
        {"five", kVar, {e(2), e(2), e(2), e(2), e(-1)}},
        {"pfix", kPtr, {e(4)}},
    };
    for (const auto& t : table) {
        const DDF_FIELD* f = Named(kArrays, t.name);
        EXPECT_EQ(f->flags, t.flags) << t.name;
        ASSERT_EQ(f->dim_count, t.dims.size()) << t.name;
        for (std::size_t k = 0; k < t.dims.size(); ++k) {
            EXPECT_EQ(f->dims[k].a, t.dims[k].a) << t.name << k;
            EXPECT_EQ(f->dims[k].op, t.dims[k].op) << t.name << k;
            if (t.dims[k].op != 'e') {
                EXPECT_EQ(f->dims[k].b, t.dims[k].b) << t.name << k;
            }
        }
    }
    EXPECT_EQ(Named(kScalars, "label")->flags, 0); // an fstring that is one string
}

// 3:0's descriptors: 3 shape(union) 4 a.line 5 x1 6 y1 7 x2 8 y2 9 end
// 10 b.circle 11 cx 12 cy 13 r 14 end 15 c.code 16 end; 29 alt(union)
// 30 s.small 31 s.big 32 end. Members are matched by the part of the name
// after the last '.'; nested structures' descriptors count in the index.
TEST_F(DdfQuery, UnionMembersByNameAndByType) {
    const DDF_FIELD* shape = every_.Field(kShapes, 3);
    const DDF_FIELD* alt = every_.Field(kShapes, 29);
    EXPECT_EQ(alt->flags, DDF_UNION | DDF_ARRAY | DDF_FIXED);
    const struct {
        const DDF_FIELD* u;
        const char* name;
        int32_t type;
        int32_t index;
    } cases[] = {
        {shape, "q.circle", 0, 6},     {shape, "code", 0, 11},        {alt, "x.y.big", 0, 1},
        {shape, "tag", 0, -1},         {shape, "kind", 0, -1},        {shape, "shape", 0, -1},
        {shape, "", 0, -1},            {alt, "last", 0, -1},          {shape, nullptr, DDF_STRUCT, 0},
        {shape, nullptr, DDF_DOUBLE, 1}, {shape, nullptr, DDF_FLOAT, 9}, {shape, nullptr, DDF_INT, 11},
        {alt, nullptr, DDF_DOUBLE, 1}, {shape, nullptr, DDF_UNIONTYPE, -1}, {shape, nullptr, DDF_ENDSTRUCT, -1},
        {shape, nullptr, DDF_SHORT, -1},
    };
    for (const auto& c : cases) {
        int32_t index = -5;
        const int32_t rc = c.name != nullptr ? ddf_GetUnionTypeByName(c.u, c.name, &index)
                                             : ddf_GetUnionTypeByType(c.u, c.type, &index);
        EXPECT_EQ(rc, c.index >= 0 ? 0 : DDF_NOT_FOUND) << (c.name ? c.name : "") << c.type;
        EXPECT_EQ(index, c.index) << (c.name ? c.name : "") << c.type;
    }
    EXPECT_EQ(Reported(), 0);
    // A union inside a union matches DDF_UNIONTYPE; a plain structure is no union.
    every_.Field(kShapes, 10)->flags = DDF_UNION;
    int32_t index = 0;
    EXPECT_EQ(ddf_GetUnionTypeByType(shape, DDF_UNIONTYPE, &index), 0);
    EXPECT_EQ(index, 6);
    for (int number : {1, 25, 5}) {
        EXPECT_EQ(ddf_GetUnionTypeByName(every_.Field(kShapes, number), "id", &index),
                  DDF_NOT_UNION_TYPE);
        EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
        EXPECT_EQ(ddf_GetUnionTypeByType(every_.Field(kShapes, number), DDF_INT, &index),
                  DDF_NOT_UNION_TYPE);
        EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
    }
}

// The lets of 4:0 with w = 5 and h = 3: t1 = w*h (slot 3) = 15,
// t2 = t1+2 (slot 4) = 17, area = t2/2 (slot 5) = 8; twice writes $9 = 10.
TEST_F(DdfQuery, LetsOfComputedWriteTheirSlots) {
    const DDF_FIELD* area = Named(kComputed, "area");
    const DDF_FIELD* twice = Named(kComputed, "twice");
    EXPECT_EQ(area->let, 0);  // the dictionary's first instructions
    EXPECT_EQ(twice->let, 4); // three instructions and done before it
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, -77);
    slots[1] = 5;
    slots[2] = 3;
    ddf__Counters = slots.data();
    int32_t value = -1;
    ASSERT_EQ(ddf__ComputeLet(Ops() + area->let, &value), 0);
    EXPECT_EQ(value, 8);
    EXPECT_EQ(std::vector<int32_t>(slots.begin() + 3, slots.begin() + 6),
              (std::vector<int32_t>{15, 17, 8}));
    ASSERT_EQ(ddf__ComputeLet(Ops() + twice->let, &value), 0);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(slots[9], 10);
    for (int k : {0, 6, 7, 8, 10, 255})
        EXPECT_EQ(slots[k], -77) << "slot " << k;
    EXPECT_EQ(Named(kComputed, "cells")->dims[0].a, -5); // the arrays they size name the slots
    EXPECT_EQ(Named(kComputed, "wide")->dims[0].a, -3);
    slots[2] = -3; // a negative quotient rounds towards zero
    ASSERT_EQ(ddf__ComputeLet(Ops() + area->let, &value), 0);
    EXPECT_EQ(value, -6); // (-15 + 2) / 2
    EXPECT_EQ(every_.Field(kComputed, 11)->key, 7); // the method indexes
    EXPECT_EQ(Named(kComputed, "len")->key, 3);
    EXPECT_EQ(Reported(), 0);
}

// Instruction sequences written over every.ddl's six instructions: results
// that wrap, and bad sequences that stop without running on.
TEST_F(DdfQuery, LetsWrapAndBadSequencesStopWithoutRunningOn) {
    const DDF_LETOP done{0, 0, 0, 'd'};
    const struct {
        const char* what;
        std::vector<DDF_LETOP> ops;
        int at;                  // where they are written and run from
        int32_t rc;
        int slot;                // the slot to look at afterwards
        int32_t want;
    } cases[] = {
        {"product kept modulo 2^32", {{-1, -2, -127, 'h'}, done}, 0, 0, 127, 605032704},
        {"INT32_MIN / -1", {{-1, -2, -128, 'i'}, done}, 0, 0, 128, INT32_MIN},
        {"division by zero", {{5, 0, -1, 'i'}, done}, 0, DDF_BAD_LET, 1, 70000},
        {"unknown operation", {{1, 1, -1, 'x'}, done}, 0, DDF_BAD_LET, 1, 70000},
        {"nothing before 'd'", {done}, 0, DDF_BAD_LET, 1, 70000},
        {"positive destination", {{1, 1, -1, 'f'}, {1, 1, 3, 'f'}, done}, 0, DDF_BAD_LET, 1, 2},
        {"slot outside the table", {{-300, 0, -1, 'f'}, done}, 0, DDF_BAD_LET, 1, 70000},
        {"runs off the end", {{2, 2, -1, 'f'}, {1, 1, -2, 'f'}}, 4, DDF_BAD_LET, 1, 4},
    };
    for (const auto& c : cases) {
        int32_t slots[DDF_COUNT_SLOTS] = {};
        slots[2] = c.slot == 128 ? -1 : 70000;
        slots[1] = c.slot == 128 ? INT32_MIN : 70000;
        ddf__Counters = slots;
        std::copy(c.ops.begin(), c.ops.end(), Ops() + c.at);
        int32_t value = -1;
        EXPECT_EQ(ddf__ComputeLet(Ops() + c.at, &value), c.rc) << c.what;
        EXPECT_EQ(slots[c.slot], c.want) << c.what;
        if (c.rc != 0) {
            EXPECT_EQ(value, 0) << c.what;
        }
    }
    EXPECT_EQ(Reported(), 0); // none of these is a message
    // Instructions that are not the dictionary's, and no count slots.
    int32_t value = -1;
    const DDF_LETOP own[2] = {{1, 2, -1, 'f'}, done};
    const DDF_LETOP* foreign[] = {own, Ops() + 6, Ops() - 1, nullptr,
                                  reinterpret_cast<const DDF_LETOP*>(every_->opcodes + 3)};
    for (const DDF_LETOP* ops : foreign)
        EXPECT_EQ(ddf__ComputeLet(ops, &value), DDF_BAD_LET);
    Ops()[0] = {3, 4, -2, 'h'};
    Ops()[1] = done;
    ddf__Counters = nullptr;
    EXPECT_EQ(ddf__ComputeLet(Ops(), &value), DDF_BAD_LET);
    EXPECT_EQ(Reported(), 0);
    EXPECT_EQ(ddf__ComputeLet(Ops(), nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
}

TEST_F(DdfQuery, DimensionValuesReadSlotsAndDivideByZeroToNothing) {
    int32_t slots[DDF_COUNT_SLOTS] = {};
    slots[3] = 9;
    slots[4] = -2;
    ddf__Counters = slots;
    auto e = [](int16_t a, int16_t b = 0, char op = 'e') { return DDF_DIMEXPR{a, b, op, 0}; };
    const std::pair<DDF_DIMEXPR, int32_t> cases[] = {
        {e(6), 6},           {e(-3), 9},          {e(-3, 5, 'f'), 14}, {e(5, -4, 'g'), 7},
        {e(-3, -4, 'h'), -18}, {e(-3, -4, 'i'), -4}, {e(7, 0, 'i'), 0},   {e(-3, 0, 'i'), 0},
    };
    for (const auto& [expr, want] : cases) {
        int32_t value = -1;
        ASSERT_EQ(ddf__DimValue(&expr, &value), 0) << expr.a << expr.op << expr.b;
        EXPECT_EQ(value, want) << expr.a << expr.op << expr.b;
    }
    int32_t value = -1;
    for (const DDF_DIMEXPR& bad : {e(1, 1, 'x'), e(-DDF_COUNT_SLOTS)})
        EXPECT_EQ(ddf__DimValue(&bad, &value), DDF_BAD_LET);
    EXPECT_EQ(value, 0);
    ddf__Counters = nullptr;
    const DDF_DIMEXPR slot = e(-1), literal = e(3, 4, 'h');
    EXPECT_EQ(ddf__DimValue(&slot, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__DimValue(&literal, &value), 0);
    EXPECT_EQ(value, 12);
}

// Every query given a field that is not one of ddf__Current's descriptors,
// or called with no current dictionary, fails with its documented status
// and reads nothing (the sanitizer build checks the "reads nothing").
TEST_F(DdfQuery, ForeignAndNullDescriptorsAndNoDictionaryFailCleanly) {
    mvxtest::CompiledDict other;
    ASSERT_TRUE(other.Load(mvxtest::TestDataPath("every.ddl")));
    const DDF_FIELD* shape = every_.Field(kShapes, 3);
    DDF_FIELD copy = *shape;
    const DDF_FIELD* foreign[] = {
        &copy,
        other.Field(kShapes, 3),
        every_->fld_data - 1,
        End(),
        reinterpret_cast<const DDF_FIELD*>(reinterpret_cast<const uint8_t*>(shape) + 30),
    };
    for (const DDF_FIELD* f : foreign) {
        int32_t index = 5;
        uint8_t out[8] = {};
        DDF_FIELD* found = every_->fld_data;
        EXPECT_EQ(ddf_GetFieldDefault(f, out), DDF_INVALID_ARG);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_GetFieldVdescVal(f, 0), nullptr);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_CheckFieldReftype(f, MVX_NULL_TF), 0);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_GetPFixedCount(kShapes, f, &found), DDF_INVALID_ARG);
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(ddf_GetUnionTypeByName(f, "x1", &index), DDF_INVALID_ARG);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(ddf_GetUnionTypeByType(f, DDF_INT, &index), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_DbgDumpField(0, f), DDF_INVALID_ARG);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
    }
    // The last descriptor is still one.
    EXPECT_EQ(ddf_GetFieldDefault(End() - 1, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
    int32_t index = 0;
    EXPECT_EQ(ddf_GetUnionTypeByName(nullptr, "i", &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByName(shape, nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(shape, DDF_INT, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_MakeFieldNum(nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF(nullptr), MVX_NULL_TF);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpField(0, nullptr), 0); // prints nothing, as described

    // The same calls with no current dictionary.
    Use(nullptr);
    DDF_FIELD* found = nullptr;
    int32_t count = 0;
    int32_t* tfs = nullptr;
    uint8_t out[8] = {};
    EXPECT_EQ(ddf_MakeFieldNum("x", &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_FindTFIField(0, "x", &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldFromName("x", kPoint, &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF("point"), MVX_NULL_TF);
    EXPECT_EQ(ddf_ExpandForms(5, &count, &tfs), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldDefault(shape, out), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldVdescVal(shape, 0), nullptr);
    EXPECT_EQ(ddf_CheckFieldReftype(every_.Field(kHolder, 1), 0), 0);
    EXPECT_EQ(ddf_GetPFixedCount(kShapes, shape, &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(shape, DDF_INT, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf__ComputeLet(Ops(), &count), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, kPoint), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, MVX_NULL_TF), 0);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
}

std::string Dump(const DDF_FIELD* field) {
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(ddf_DbgDumpField(0, field), 0);
    return capture.Finish();
}

// One whole descriptor dump: every bit, a negative gap and no name (the
// type name "char " keeps its blank); then the last lines, which differ by
// the kind of descriptor.
TEST_F(DdfQuery, FieldDumpsPrintEveryLineExactly) {
    DDF_FIELD* odd = every_.Field(kScalars, 14);
    odd->modifiers = 0xFF;
    odd->flags = 0xFF;
    odd->gap = -3;
    odd->key = 0x141;
    char address[64];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(odd));
    EXPECT_EQ(Dump(odd),
              "char  **Field not named** (\"\")\n   Address: " + std::string(address) +
                  "\n   Modifiers:  ATTR  DEFAULT  FUNCTION  RANGE  REFTYPE  LENGTH  MAXLENGTH"
                  "  METHOD\n   Flags:  ARRAY  FIXED  PTRFIXED  VARIABLE  REFANY  REFNONE  UNION"
                  "  UNSIZED\n   Field #: 14  NDims: 0   Offset: -3  Default value key:  321\n");
    const struct {
        const DDF_FIELD* field;
        const char* first; // the first line
        const char* last;  // the lines after "Flags:"
    } cases[] = {
        {every_.Field(kHolder, 1), "ptr any (\"Anything\")\n",
         "   Field #: 1  NDims: 0   Offset: 0  Default value key:  0\n"},
        {every_.Field(kHolder, 6), "subent where (\"Location\")\n",
         "   Field #: 6  NDims: 0   Offset: 0  Subentity form:  0\n   # of bytes in subent:  24\n"},
        {every_.Field(kHolder, 9), "endent **Field not named** (\"\")\n",
         "   Field #: 9  NDims: 0   Offset: 0  fld_methods index:  0\n"},
        {every_.Field(kArrays, 0), "count n (\"Elements\")\n",
         "   Field #: 0  NDims: 1   Offset: 0  # of referencing fields:  10\n"},
        {every_.Field(kShapes, 1), "struct geom (\"A struct holding a union\")\n",
         "   Field #: 1  NDims: 0   Offset: 0  Structure size:  56\n"
         "   # of fields to endstruct:  17\n"},
    };
    for (const auto& c : cases) {
        const std::string text = Dump(c.field);
        EXPECT_EQ(text.substr(0, text.find('\n') + 1), c.first);
        EXPECT_EQ(text.substr(text.find('\n', text.find("Flags:")) + 1), c.last);
    }
}

} // namespace
