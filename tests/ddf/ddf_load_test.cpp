// Loading binary dictionaries: a complete sample dictionary with every
// header field, section and relocated string checked; the sections' order
// and repetition; then hostile files, each of which must be refused with
// its exact message, hand out nothing, leak nothing (the sanitizer build
// checks) and leave the file on disk byte for byte as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "ddf/ddf_builder.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using ddftest::Bytes;
using ddftest::DdfImage;
using ddftest::Get;
using ddftest::Put;

class DdfLoad : public mvxtest::LibraryTest {
protected:
    std::string Path(const std::string& leaf) const { return dir_ / leaf; }

    static void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes Disk(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Frees a loaded dictionary: its header and the sections the image had.
    static void Free(DDF_DICT* dict, const DdfImage& image) {
        std::vector<std::string> freed;
        for (const auto& s : image.sections) {
            if (std::find(freed.begin(), freed.end(), s.name) != freed.end()) continue;
            freed.push_back(s.name);
            for (const DDF_SECTION* t = ddf__Sections; t->name != nullptr; ++t) {
                if (s.name == t->name) {
                    void* block = nullptr;
                    std::memcpy(&block, reinterpret_cast<uint8_t*>(dict) + t->offset, sizeof block);
                    std::free(block);
                }
            }
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

    // Loads bytes written to a file and expects code with its message
    // (" Error reading DDF file %s.\n" and the like), a null dictionary and
    // the file unchanged.
    ::testing::AssertionResult Refused(const Bytes& bytes, int32_t code, const std::string& text) {
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
        std::string want = text;
        const auto at = want.find("%s");
        if (at != std::string::npos) want.replace(at, 2, path);
        if (message.size() < want.size() ||
            message.compare(message.size() - want.size(), want.size(), want) != 0) {
            return ::testing::AssertionFailure()
                   << "text '" << message << "' does not end in '" << want << "'";
        }
        if (dict != nullptr) return ::testing::AssertionFailure() << "a dictionary was handed out";
        if (Disk(path) != bytes) return ::testing::AssertionFailure() << "the file was changed";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult ReadError(const DdfImage& image) {
        return Refused(image.File(), DDF_READ_ERR, "Error reading DDF file %s.\n");
    }

    mvxtest::TempDir dir_;
};

TEST_F(DdfLoad, LoadsEveryHeaderFieldSectionAndRelocatedString) {
    const DdfImage image = ddftest::Sample();
    const Bytes file = image.File();
    ASSERT_EQ(file.size(), static_cast<std::size_t>(DDF_PAGE_SIZE));
    const std::string path = Path("sample.ddf");
    Write(path, file);
    DDF_DICT* dict = nullptr;
    ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(Disk(path), file);

    // Header fields and the reserved bytes between them, as in the file.
    EXPECT_STREQ(dict->name, "sample dictionary");
    EXPECT_EQ(dict->version, 3);
    EXPECT_EQ(dict->revision, 7);
    EXPECT_EQ(dict->attr_count, 2);
    EXPECT_EQ(dict->ptr_name_count, 1);
    EXPECT_EQ(dict->vdesc_count, 2);
    EXPECT_EQ(dict->type_count, 2);
    EXPECT_EQ(dict->fld_name_count, 6); // end, label, start, style, x, y
    EXPECT_EQ(dict->fld_desc_count, 7);
    for (const auto* reserved : {dict->reserved140, dict->reserved164, dict->reserved204,
                                 dict->reserved244, dict->reserved260, dict->reserved276}) {
        EXPECT_EQ(Get<uint32_t>(Bytes(reserved, reserved + 4), 0), 0xA5A5A5A5u);
    }
    for (const auto* reserved : {dict->reserved216, dict->reserved232, dict->reserved352}) {
        EXPECT_EQ(Get<uint64_t>(Bytes(reserved, reserved + 8), 0), 0xA5A5A5A5A5A5A5A5u);
    }

    // Every section pointer holds a copy of its section's data; sections of
    // strings point each entry at base + its stored offset.
    for (const auto& s : image.sections) {
        const DDF_SECTION* t = ddf__Sections;
        while (t->name != nullptr && s.name != t->name)
            ++t;
        ASSERT_NE(t->name, nullptr) << s.name;
        const uint8_t* block = nullptr;
        std::memcpy(&block, reinterpret_cast<uint8_t*>(dict) + t->offset, sizeof block);
        ASSERT_NE(block, nullptr) << s.name;
        const int kind = t->kind;
        const bool strings =
            kind == 1 || kind == 4 || kind == 10 || kind == 11 || kind == 14 || kind == 16;
        if (strings) {
            // The table of offsets ends where the first string begins.
            const std::size_t table = Get<uint64_t>(s.data, 0);
            for (std::size_t at = 0; at < table; at += 8) {
                const auto* entry = Get<const uint8_t*>(Bytes(block + at, block + at + 8), 0);
                EXPECT_EQ(entry, block + Get<uint64_t>(s.data, at)) << s.name << " " << at;
            }
            EXPECT_EQ(0, std::memcmp(block + table, s.data.data() + table, s.data.size() - table));
        } else if (kind == 7) {
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_EQ(0, std::memcmp(block + i * 16, s.data.data() + i * 16, 8));
                const uint8_t* name =
                    Get<const uint8_t*>(Bytes(block + i * 16 + 8, block + i * 16 + 16), 0);
                EXPECT_EQ(name, block + Get<uint64_t>(s.data, i * 16 + 8));
            }
        } else {
            EXPECT_EQ(0, std::memcmp(block, s.data.data(), s.data.size())) << s.name;
        }
    }

    // A few values through the loaded tables (the loop above compared the bytes).
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
    const std::string path = Path("order.ddf");
    Write(path, image.File());
    DDF_DICT* dict = nullptr;
    ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    EXPECT_EQ(dict->attr_masks, reinterpret_cast<void*>(uintptr_t{0x1234}));
    EXPECT_EQ(0, std::memcmp(dict->ent_uattrs, "\x09\x08\x07", 3)); // the second copy
    EXPECT_STREQ(dict->ent_names[1], "line");
    image.Remove("ent_uattrs"); // its first block was freed by the loader
    image.sections.push_back({"ent_uattrs", {}});
    Free(dict, image);

    // Zero sections and zero counts: only the header, pointers as stored.
    DdfImage empty;
    empty.header.ent_info = reinterpret_cast<uint8_t*>(uintptr_t{0x77});
    std::strcpy(empty.header.name, "empty");
    Write(path, empty.File());
    ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    EXPECT_STREQ(dict->name, "empty");
    EXPECT_EQ(dict->ent_info, reinterpret_cast<uint8_t*>(uintptr_t{0x77}));
    std::free(dict);

    // A negative section count reads no section, not even one that is there.
    empty.sections.push_back({"attr_masks", {1}});
    empty.section_count = -2;
    Write(path, empty.File());
    ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    EXPECT_EQ(dict->attr_masks, nullptr);
    std::free(dict);
    empty.sections.clear();
    empty.section_count = -1;

    // An empty section is loaded as a block of its own.
    empty.sections.push_back({"opcodes", {}});
    Write(path, empty.File());
    ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    EXPECT_NE(dict->opcodes, nullptr);
    Free(dict, empty);
}

TEST_F(DdfLoad, RefusesFilesThatAreNoDictionaryOrOfAnotherVersion) {
    DdfImage image = ddftest::Sample();
    image.version = 101;
    EXPECT_TRUE(
        Refused(image.File(), DDF_VERSION_ERR, "Binary DDF file %s has wrong version number.\n"));
    // The magic is looked at first: a wrong one wins over a wrong version.
    image.magic = "Mor/Vex Binary DDG";
    EXPECT_TRUE(Refused(image.File(), DDF_ID_ERR, "File %s is not a binary DDF.\n"));
    image.magic = "Mor/Vex Binary DDF trailing";
    EXPECT_TRUE(Refused(image.File(), DDF_ID_ERR, "File %s is not a binary DDF.\n"));
    image.magic = std::string(32, 'M'); // no NUL at all
    EXPECT_TRUE(Refused(image.File(), DDF_ID_ERR, "File %s is not a binary DDF.\n"));
}

TEST_F(DdfLoad, RefusesFilesThatCannotBeOpened) {
    DDF_DICT* dict = nullptr;
    const std::string missing = Path("missing.ddf");
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), &dict), DDF_OPEN_ERR);
    EXPECT_TRUE(Newest().second.ends_with("Error opening DDF file " + missing + ".\n"));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ddf_LoadDDF(0, dir_.path().c_str(), &dict), DDF_OPEN_ERR); // a directory
    Newest();
    // A partial last page is refused by the paged file before any read.
    EXPECT_TRUE(
        Refused(ddftest::Sample().File(false), DDF_OPEN_ERR, "Error opening DDF file %s.\n"));
    EXPECT_EQ(ddf_LoadDDF(0, nullptr, &dict), DDF_INVALID_ARG);
    EXPECT_EQ(dict, nullptr);
    EXPECT_EQ(ddf_LoadDDF(0, missing.c_str(), nullptr), DDF_INVALID_ARG);
    EXPECT_EQ(Newest().first, DDF_INVALID_ARG);
}

TEST_F(DdfLoad, RefusesTruncatedFilesWithoutExtendingThem) {
    EXPECT_TRUE(Refused(Bytes{}, DDF_READ_ERR, "Error reading DDF file %s.\n"));
    // A dictionary of two pages cut to its first page.
    DdfImage big = ddftest::Sample();
    big.sections.push_back({"sub_super_data", Bytes(DDF_PAGE_SIZE, 1)});
    Bytes file = big.File();
    ASSERT_EQ(file.size(), 2u * DDF_PAGE_SIZE);
    file.resize(DDF_PAGE_SIZE);
    EXPECT_TRUE(Refused(file, DDF_READ_ERR, "Error reading DDF file %s.\n"));
    // A section size beyond the end of the file.
    file = ddftest::Sample().File();
    const std::size_t first_size = 36 + 392 + 32;
    Put<int32_t>(file, first_size, DDF_PAGE_SIZE);
    EXPECT_TRUE(Refused(file, DDF_READ_ERR, "Error reading DDF file %s.\n"));
    Put<int32_t>(file, first_size, -1);
    EXPECT_TRUE(Refused(file, DDF_READ_ERR, "Error reading DDF file %s.\n"));
    // More sections announced than the file holds: the next header is
    // zeros, a section with an empty name.
    DdfImage more = ddftest::Sample();
    more.section_count = 24;
    EXPECT_TRUE(ReadError(more));
    // Only the header fits the page.
    Bytes only(36 + 392, 0);
    std::memcpy(only.data(), DDF_MAGIC, sizeof DDF_MAGIC);
    Put<int16_t>(only, 32, 100);
    Put<int16_t>(only, 34, 1);
    only.resize(DDF_PAGE_SIZE);
    Put<int32_t>(only, 36 + 392 + 32, DDF_PAGE_SIZE - 36 - 392 - 35);
    EXPECT_TRUE(Refused(only, DDF_READ_ERR, "Error reading DDF file %s.\n"));
}

TEST_F(DdfLoad, RefusesUnknownSectionNames) {
    DdfImage image = ddftest::Sample();
    image.Find("fld_names")->name = "fld_name";
    EXPECT_TRUE(ReadError(image));
    image.Find("fld_name")->name = "FLD_NAMES";
    EXPECT_TRUE(ReadError(image));
    Bytes file = ddftest::Sample().File();
    std::memset(file.data() + 36 + 392, 'a', 32); // a name without its NUL
    EXPECT_TRUE(Refused(file, DDF_READ_ERR, "Error reading DDF file %s.\n"));
}

// One corruption of the sample dictionary and what it breaks.
struct Corruption {
    const char* what;
    std::function<void(DdfImage&)> apply;
};

TEST_F(DdfLoad, RefusesCountsAndIndexesBeyondTheirSections) {
    auto entry = [](DdfImage& d, const char* section, std::size_t at, auto value) {
        Put(d.Find(section)->data, at, value);
    };
    auto field = [](DdfImage& d, int index, std::size_t at, auto value) {
        Put(d.Find("fld_data")->data, index * sizeof(DDF_FIELD) + at, value);
    };
    const Corruption cases[] = {
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
         [&](DdfImage& d) {
             entry(d, "fld_names", 8, uint64_t(d.Find("fld_names")->data.size()));
         }},
        {"string offset far out", [&](DdfImage& d) { entry(d, "ent_descs", 0, ~uint64_t{0}); }},
        {"string without NUL", [](DdfImage& d) { d.Find("ent_names")->data.back() = 'x'; }},
        {"value name offset out", [&](DdfImage& d) { entry(d, "vdescs", 24, uint64_t{4096}); }},
        {"descriptor run beyond fld_data",
         [&](DdfImage& d) { entry(d, "fld_indices", 2, int16_t{6}); }},
        {"descriptor count beyond fld_data",
         [&](DdfImage& d) { entry(d, "ent_fldcnts", 0, int16_t{10}); }},
        {"negative descriptor index",
         [&](DdfImage& d) { entry(d, "fld_indices", 0, int16_t{-1}); }},
        {"field name index out", [&](DdfImage& d) { field(d, 0, 8, int16_t{6}); }},
        {"field name index below -1", [&](DdfImage& d) { field(d, 0, 8, int16_t{-2}); }},
        {"description index out", [&](DdfImage& d) { field(d, 1, 10, int16_t{7}); }},
        {"reference list beyond ptr_data", [&](DdfImage& d) { field(d, 6, 18, uint16_t{2}); }},
        {"value descriptions beyond vdescs", [&](DdfImage& d) { field(d, 2, 14, uint16_t{1}); }},
        {"six dimensions", [&](DdfImage& d) { field(d, 3, 27, uint8_t{6}); }},
        {"subentity index beyond subent_tfis",
         [&](DdfImage& d) {
             field(d, 3, 22, uint8_t{DDF_SUBENT});
             field(d, 3, 20, int16_t{1});
         }},
        {"subentity of no type",
         [&](DdfImage& d) {
             field(d, 3, 22, uint8_t{DDF_SUBENT});
             entry(d, "subent_tfis", 0, uint16_t{2});
         }},
        {"let index beyond opcodes",
         [&](DdfImage& d) {
             field(d, 3, 22, uint8_t{DDF_LET});
             field(d, 3, 12, uint16_t{1});
         }},
        {"bad name index in a descriptor of no type",
         [](DdfImage& d) {
             DDF_FIELD f{};
             f.type = DDF_INT;
             f.name = 99;
             ddftest::Append(d.Find("fld_data")->data, f);
         }},
        {"struct reaching past its type",
         [&](DdfImage& d) {
             field(d, 3, 22, uint8_t{DDF_STRUCT});
             field(d, 3, 14, uint16_t{2});
         }},
    };
    for (const auto& c : cases) {
        DdfImage image = ddftest::Sample();
        c.apply(image);
        EXPECT_TRUE(ReadError(image)) << c.what;
    }
    // The boundary cases just inside are accepted.
    DdfImage image = ddftest::Sample();
    Put(image.Find("fld_data")->data, 3 * sizeof(DDF_FIELD) + 22, uint8_t{DDF_SUBENT});
    Put(image.Find("subent_tfis")->data, 0, uint16_t{1});
    Put(image.Find("fld_data")->data, 0 * sizeof(DDF_FIELD) + 22, uint8_t{DDF_STRUCT});
    Put(image.Find("fld_data")->data, 0 * sizeof(DDF_FIELD) + 14, uint16_t{4});
    const std::string path = Path("edge.ddf");
    Write(path, image.File());
    DDF_DICT* dict = nullptr;
    EXPECT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
    if (dict != nullptr) Free(dict, image);
}

TEST_F(DdfLoad, EveryAllocationFailureIsReportedAndLeavesNothing) {
    const DdfImage image = ddftest::Sample();
    const Bytes file = image.File();
    const std::string path = Path("alloc.ddf");
    Write(path, file);
    DDF_DICT* dict = nullptr;
    long n = 1;
    int open_errors = 0;
    for (;; ++n) {
        mvxc::SetAllocFailure(n);
        const int32_t rc = ddf_LoadDDF(0, path.c_str(), &dict);
        mvxc::SetAllocFailure(0);
        if (rc == 0) break;
        EXPECT_EQ(dict, nullptr);
        const auto [code, text] = Newest();
        EXPECT_EQ(code, rc);
        if (rc == DDF_OPEN_ERR) {
            // The paged file's check of the name's encoding ran out of
            // memory: it reports that as an open failure.
            ++open_errors;
            EXPECT_TRUE(text.ends_with("Error opening DDF file " + path + ".\n")) << text;
        } else {
            EXPECT_EQ(rc, DDF_MALLOC_ERR) << n;
            EXPECT_TRUE(text.ends_with("Error allocating memory.\n")) << text;
        }
        ASSERT_LT(n, 100);
    }
    EXPECT_LE(open_errors, 1);
    // The paged file's handle, buffers and page, the header and 23 sections.
    EXPECT_GE(n, 24);
    ASSERT_NE(dict, nullptr);
    EXPECT_STREQ(dict->fld_names[5], "y");
    Free(dict, image);
    EXPECT_EQ(Disk(path), file);
}

} // namespace
