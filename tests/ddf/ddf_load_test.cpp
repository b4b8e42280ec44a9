// Loading binary dictionaries: the sample dictionary with its header and
// every section and relocated string checked; the sections' order and
// repetition; then hostile files, each of which must be refused with its
// exact message, hand out nothing, leak nothing (the sanitizer build checks)
// and leave the file on disk byte for byte as it was.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "ddf/ddf_builder.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using ddftest::Bytes;
using ddftest::DdfImage;
using ddftest::Get;
using ddftest::Put;

// The address of a dictionary's pointer to section s.
void* SectionPointer(DDF_DICT* dict, const DDF_SECTION& s) {
    return reinterpret_cast<uint8_t*>(dict) + s.offset;
}

class DdfLoad : public mvxtest::LibraryTest {
protected:
    std::string Path(const std::string& leaf) const { return dir_ / leaf; }

    static void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes Disk(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DDF_DICT* Load(const Bytes& file) {
        Write(Path("d.ddf"), file);
        DDF_DICT* dict = nullptr;
        EXPECT_EQ(ddf_LoadDDF(0, Path("d.ddf").c_str(), &dict), 0);
        return dict;
    }

    // Frees a loaded dictionary: its header and the sections the image had.
    static void Free(DDF_DICT* dict, const DdfImage& image) {
        for (const DDF_SECTION* t = ddf__Sections; t->name != nullptr; ++t) {
            if (std::none_of(image.sections.begin(), image.sections.end(),
                             [t](const ddftest::Section& s) { return s.name == t->name; }))
                continue;
            void* block = nullptr;
            std::memcpy(&block, SectionPointer(dict, *t), sizeof block);
            std::free(block);
        }
        std::free(dict);
    }

    // The newest report's code and text; clears the stack.
    static std::pair<int32_t, std::string> Newest() {
        std::pair<int32_t, std::string> out{0, ""};
        if (mpm__ErrorStack != nullptr && mpm__ErrorStack->head != nullptr) {
            MPM_STACKREC rec;
            std::memcpy(&rec,
                        reinterpret_cast<const unsigned char*>(mpm__ErrorStack->head) +
                            sizeof(OLM_ELEM),
                        sizeof rec);
            out = {static_cast<int32_t>(rec.code), rec.text != nullptr ? rec.text : ""};
        }
        mpm_ClearStack(0);
        return out;
    }

    // Loads bytes written to a file and expects code with its message, a
    // null dictionary and the file unchanged.
    ::testing::AssertionResult Refused(const Bytes& bytes, int32_t code) {
        static const std::map<int32_t, std::string> texts = {
            {DDF_OPEN_ERR, "Error opening DDF file %s.\n"},
            {DDF_READ_ERR, "Error reading DDF file %s.\n"},
            {DDF_VERSION_ERR, "Binary DDF file %s has wrong version number.\n"},
            {DDF_ID_ERR, "File %s is not a binary DDF.\n"},
        };
        const std::string path = Path("bad.ddf");
        Write(path, bytes);
        DDF_DICT* dict = reinterpret_cast<DDF_DICT*>(&dict); // must be reset
        const int32_t rc = ddf_LoadDDF(0, path.c_str(), &dict);
        const auto [got, message] = Newest();
        if (rc != code || got != code) {
            return ::testing::AssertionFailure()
                   << std::hex << "returned 0x" << rc << ", reported 0x" << got << ", expected 0x"
                   << code << " ('" << message << "')";
        }
        std::string want = texts.at(code);
        want.replace(want.find("%s"), 2, path);
        if (!message.ends_with(want))
            return ::testing::AssertionFailure() << "'" << message << "' is not '" << want << "'";
        if (dict != nullptr) return ::testing::AssertionFailure() << "a dictionary was handed out";
        if (Disk(path) != bytes) return ::testing::AssertionFailure() << "the file was changed";
        return ::testing::AssertionSuccess();
    }

    mvxtest::TempDir dir_;
};

TEST_F(DdfLoad, LoadsTheHeaderEverySectionAndEveryRelocatedString) {
    DdfImage image = ddftest::Sample();
    std::memset(image.header.reserved140, 0xA5, sizeof image.header.reserved140);
    std::memset(image.header.reserved352, 0xA5, sizeof image.header.reserved352);
    const Bytes file = image.File();
    ASSERT_EQ(file.size(), static_cast<std::size_t>(DDF_PAGE_SIZE));
    DDF_DICT* dict = Load(file);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(Disk(Path("d.ddf")), file);

    // The header byte for byte, once the section pointers are put back.
    DDF_DICT header = *dict;
    for (const DDF_SECTION* t = ddf__Sections; t->name != nullptr; ++t)
        std::memcpy(SectionPointer(&header, *t), SectionPointer(&image.header, *t), 8);
    EXPECT_EQ(std::memcmp(&header, &image.header, sizeof header), 0);
    EXPECT_STREQ(dict->name, "sample dictionary");

    // Every section pointer holds a copy of its section's data; sections of
    // strings point each entry at base + its stored offset.
    for (const auto& s : image.sections) {
        const DDF_SECTION* t = ddf__Sections;
        while (t->name != nullptr && s.name != t->name)
            ++t;
        ASSERT_NE(t->name, nullptr) << s.name;
        const uint8_t* block = nullptr;
        std::memcpy(&block, SectionPointer(dict, *t), sizeof block);
        ASSERT_NE(block, nullptr) << s.name; // an empty section too has a block
        if (s.data.empty()) continue;
        const int kind = t->kind;
        const bool strings =
            kind == 1 || kind == 4 || kind == 10 || kind == 11 || kind == 14 || kind == 16;
        // Strings: 8-byte entries up to the first string; value
        // descriptions: a name pointer in the second half of each 16 bytes.
        const std::size_t table = strings ? Get<uint64_t>(s.data, 0) : kind == 7 ? 32 : 0;
        const std::size_t step = strings ? 8 : 16;
        for (std::size_t at = strings ? 0 : 8; at < table; at += step) {
            const auto* entry = Get<const uint8_t*>(Bytes(block + at, block + at + 8), 0);
            EXPECT_EQ(entry, block + Get<uint64_t>(s.data, at)) << s.name << " " << at;
            if (!strings) {
                EXPECT_EQ(std::memcmp(block + at - 8, s.data.data() + at - 8, 8), 0);
            }
        }
        EXPECT_EQ(0, std::memcmp(block + table, s.data.data() + table, s.data.size() - table))
            << s.name;
    }
    // A few values through the loaded tables.
    EXPECT_STREQ(dict->attr_names[1], "layer");
    EXPECT_STREQ(dict->ent_names[1], "line");
    EXPECT_STREQ(dict->vdescs[1].name, "dashed");
    EXPECT_STREQ(dict->fld_descs[dict->fld_data[1].desc], "y coordinate");
    EXPECT_EQ(dict->ptr_data[dict->fld_data[6].ref_first + 1], MVX_TF(110, 1));
    Free(dict, image);
}

TEST_F(DdfLoad, SectionsComeInAnyOrderAndOmittedOnesKeepTheirFileValue) {
    // Reversed order, one section left out, one section twice.
    DdfImage image = ddftest::Sample();
    std::reverse(image.sections.begin(), image.sections.end());
    image.Remove("attr_masks");
    image.header.attr_masks = reinterpret_cast<void*>(uintptr_t{0x1234});
    image.sections.push_back({"ent_uattrs", Bytes{9, 8, 7}});
    DDF_DICT* dict = Load(image.File());
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->attr_masks, reinterpret_cast<void*>(uintptr_t{0x1234}));
    EXPECT_EQ(0, std::memcmp(dict->ent_uattrs, "\x09\x08\x07", 3)); // the second copy
    EXPECT_STREQ(dict->ent_names[1], "line");
    Free(dict, image);

    // Zero sections: only the header, pointers as stored; a negative count
    // reads no section, not even one that is there; an empty section is
    // loaded as a block of its own.
    DdfImage empty;
    empty.header.ent_info = reinterpret_cast<uint8_t*>(uintptr_t{0x77});
    dict = Load(empty.File());
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->ent_info, reinterpret_cast<uint8_t*>(uintptr_t{0x77}));
    std::free(dict);
    empty.sections.push_back({"opcodes", {}});
    empty.section_count = -2;
    dict = Load(empty.File());
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(dict->opcodes, nullptr);
    std::free(dict);
    empty.section_count = -1;
    dict = Load(empty.File());
    ASSERT_NE(dict, nullptr);
    EXPECT_NE(dict->opcodes, nullptr);
    Free(dict, empty);
}

TEST_F(DdfLoad, RefusesFilesThatCannotBeOpened) {
    DDF_DICT* dict = nullptr;
    const std::string missing = Path("missing.ddf");
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), &dict), DDF_OPEN_ERR);
    EXPECT_TRUE(Newest().second.ends_with("Error opening DDF file " + missing + ".\n"));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ddf_LoadDDF(0, dir_.path().c_str(), &dict), DDF_OPEN_ERR); // a directory
    Newest();
    EXPECT_EQ(ddf_LoadDDF(0, nullptr, &dict), DDF_INVALID_ARG);
    EXPECT_EQ(dict, nullptr);
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), nullptr), DDF_INVALID_ARG);
    EXPECT_EQ(Newest().first, DDF_INVALID_ARG);
}

// One corruption of the sample dictionary and the error it must give.
struct Corruption {
    const char* what;
    std::function<void(DdfImage&)> apply;
    int32_t code = DDF_READ_ERR;
};

TEST_F(DdfLoad, RefusesEveryCorruptionWithItsMessage) {
    auto field = [](int index, auto change) {
        return [=](DdfImage& d) { d.Field(index, change); };
    };
    auto entry = [](const char* section, std::size_t at, auto value) {
        return [=](DdfImage& d) { Put(d.Find(section)->data, at, value); };
    };
    const Corruption cases[] = {
        {"wrong version", [](DdfImage& d) { d.version = 101; }, DDF_VERSION_ERR},
        {"wrong magic and version: the magic is looked at first",
         [](DdfImage& d) { d.magic = "Mor/Vex Binary DDG", d.version = 101; }, DDF_ID_ERR},
        {"magic with more after it", [](DdfImage& d) { d.magic = "Mor/Vex Binary DDF trailing"; },
         DDF_ID_ERR},
        {"magic without NUL", [](DdfImage& d) { d.magic = std::string(32, 'M'); }, DDF_ID_ERR},
        {"more sections announced than the file holds",
         [](DdfImage& d) { d.section_count = static_cast<int16_t>(d.sections.size() + 1); }},
        {"unknown section name", [](DdfImage& d) { d.Find("fld_names")->name = "fld_name"; }},
        {"section name in capitals", [](DdfImage& d) { d.Find("fld_names")->name = "FLD_NAMES"; }},
        {"section name without NUL", [](DdfImage& d) { d.sections[0].name = std::string(32, 'a'); }},
        {"field names counted beyond their section",
         [](DdfImage& d) { d.header.fld_name_count = 7; }},
        {"negative description count", [](DdfImage& d) { d.header.fld_desc_count = -1; }},
        {"more types than names", [](DdfImage& d) { d.header.type_count = 3; }},
        {"value descriptions beyond vdescs", [](DdfImage& d) { d.header.vdesc_count = 3; }},
        {"attribute count without its section", [](DdfImage& d) { d.Remove("attr_names"); }},
        {"types without typeforms", [](DdfImage& d) { d.Remove("typeforms"); }},
        {"types without field descriptors", [](DdfImage& d) { d.Remove("fld_data"); }},
        {"typeforms shorter than the types",
         [](DdfImage& d) { d.Find("typeforms")->data.resize(4); }},
        {"ent_info shorter than the types",
         [](DdfImage& d) { d.Find("ent_info")->data.resize(1); }},
        {"ent_sizes missing", [](DdfImage& d) { d.Remove("ent_sizes"); }},
        {"string offset at the section's end",
         [](DdfImage& d) {
             Put(d.Find("fld_names")->data, 8, uint64_t(d.Find("fld_names")->data.size()));
         }},
        {"string offset far out", entry("ent_descs", 0, ~uint64_t{0})},
        {"string without NUL", [](DdfImage& d) { d.Find("ent_names")->data.back() = 'x'; }},
        {"value name offset out", entry("vdescs", 24, uint64_t{4096})},
        {"descriptor run beyond fld_data", entry("fld_indices", 2, int16_t{6})},
        {"descriptor count beyond fld_data", entry("ent_fldcnts", 0, int16_t{10})},
        {"negative descriptor index", entry("fld_indices", 0, int16_t{-1})},
        {"field name index out", field(0, [](DDF_FIELD& f) { f.name = 6; })},
        {"field name index below -1", field(0, [](DDF_FIELD& f) { f.name = -2; })},
        {"description index out", field(1, [](DDF_FIELD& f) { f.desc = 7; })},
        {"reference list beyond ptr_data", field(6, [](DDF_FIELD& f) { f.ref_first = 2; })},
        {"value descriptions beyond vdescs", field(2, [](DDF_FIELD& f) { f.aux = 1; })},
        {"six dimensions", field(3, [](DDF_FIELD& f) { f.dim_count = 6; })},
        {"subentity index beyond subent_tfis",
         field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 1; })},
        {"subentity of no type",
         [](DdfImage& d) {
             d.Field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 0; });
             Put(d.Find("subent_tfis")->data, 0, uint16_t{2});
         }},
        {"let index beyond opcodes", field(3, [](DDF_FIELD& f) { f.type = DDF_LET, f.let = 1; })},
        {"bad name index in a descriptor of no type",
         [](DdfImage& d) {
             DDF_FIELD f{};
             f.type = DDF_INT;
             f.name = 99;
             ddftest::Append(d.Find("fld_data")->data, f);
         }},
        {"struct reaching past its type",
         field(3, [](DDF_FIELD& f) { f.type = DDF_STRUCT, f.aux = 2; })},
    };
    for (const auto& c : cases) {
        DdfImage image = ddftest::Sample();
        c.apply(image);
        EXPECT_TRUE(Refused(image.File(), c.code)) << c.what;
    }
    // Files cut short: empty, two pages cut to one, a partial last page
    // (refused by the paged file before any read), section sizes beyond
    // the end, only the header in the page.
    DdfImage big = ddftest::Sample();
    big.sections.push_back({"sub_super_data", Bytes(DDF_PAGE_SIZE, 1)});
    const Bytes two = big.File();
    ASSERT_EQ(two.size(), 2u * DDF_PAGE_SIZE);
    const std::size_t size_at = sizeof(DDF_FILEHDR) + sizeof(DDF_DICT) + 32; // the first section's
    Bytes only(DDF_PAGE_SIZE, 0);
    std::memcpy(only.data(), DDF_MAGIC, sizeof DDF_MAGIC);
    Put<int16_t>(only, 32, DDF_FILE_VERSION);
    Put<int16_t>(only, 34, 1);
    Put<int32_t>(only, size_at, static_cast<int32_t>(DDF_PAGE_SIZE - size_at - 3));
    EXPECT_TRUE(Refused(Bytes{}, DDF_READ_ERR));
    EXPECT_TRUE(Refused(Bytes(two.begin(), two.begin() + DDF_PAGE_SIZE), DDF_READ_ERR));
    EXPECT_TRUE(Refused(ddftest::Sample().File(false), DDF_OPEN_ERR));
    EXPECT_TRUE(Refused(only, DDF_READ_ERR));
    for (int32_t size : {DDF_PAGE_SIZE, -1}) {
        Bytes file = ddftest::Sample().File();
        Put<int32_t>(file, size_at, size);
        EXPECT_TRUE(Refused(file, DDF_READ_ERR)) << size;
    }

    // The boundary cases just inside are accepted.
    DdfImage image = ddftest::Sample();
    image.Field(3, [](DDF_FIELD& f) { f.type = DDF_SUBENT, f.key = 0; });
    Put(image.Find("subent_tfis")->data, 0, uint16_t{1});
    image.Field(0, [](DDF_FIELD& f) { f.type = DDF_STRUCT, f.aux = 4; });
    DDF_DICT* dict = Load(image.File());
    if (dict != nullptr) Free(dict, image);
}

TEST_F(DdfLoad, EveryAllocationFailureIsReportedAndLeavesNothing) {
    const DdfImage image = ddftest::Sample();
    const Bytes file = image.File();
    const std::string path = Path("alloc.ddf");
    Write(path, file);
    DDF_DICT* dict = nullptr;
    int open_errors = 0;
    const long failures = mvxtest::FailEachAllocation(
        [&] { ddf_LoadDDF(0, path.c_str(), &dict); },
        [&](bool failed) {
            const auto [code, text] = Newest();
            if (!failed) return;
            EXPECT_EQ(dict, nullptr);
            // The paged file's check of the name's encoding running out of
            // memory is reported as an open failure.
            if (code == DDF_OPEN_ERR) {
                ++open_errors;
                EXPECT_TRUE(text.ends_with("Error opening DDF file " + path + ".\n")) << text;
            } else {
                EXPECT_EQ(code, DDF_MALLOC_ERR);
                EXPECT_TRUE(text.ends_with("Error allocating memory.\n")) << text;
            }
        },
        100);
    EXPECT_LE(open_errors, 1);
    // The paged file's handle, buffers and page, the header and the sections.
    EXPECT_GT(failures, static_cast<long>(image.sections.size()));
    ASSERT_NE(dict, nullptr);
    EXPECT_STREQ(dict->fld_names[5], "y");
    Free(dict, image);
    EXPECT_EQ(Disk(path), file);

    // Each dictionary handed out is recorded in a table that grows by
    // doubling: loads at new addresses, each allowed only the allocations of
    // a load that does not grow the table, until one has to grow it.
    std::vector<DDF_DICT*> held;
    long usual = 1L << 30;
    int32_t rc = 0;
    while (rc == 0 && held.size() < 300) {
        mvxc::SetAllocFailure(usual + 1);
        rc = ddf_LoadDDF(0, path.c_str(), &dict);
        if (rc == 0) usual = std::min(usual, mvxc::AllocCount());
        mvxc::SetAllocFailure(0);
        if (rc == 0) held.push_back(dict);
    }
    EXPECT_EQ(rc, DDF_MALLOC_ERR);
    EXPECT_EQ(dict, nullptr);
    EXPECT_TRUE(Newest().second.ends_with("Error allocating memory.\n"));
    for (DDF_DICT* d : held)
        Free(d, image);
}

} // namespace
