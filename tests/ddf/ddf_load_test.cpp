// Loading binary dictionaries: a valid file with its sections in any order;
// hostile files, each refused with its status and a message naming the
// file, handing out nothing, leaking nothing (the sanitizer build checks)
// and leaving the file as it was; every allocation failing in turn.
#include <fstream>
#include <functional>

#include "ddf/ddf_builder.h"
#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

using ddftest::Bytes;
using ddftest::DdfImage;
using ddftest::Put;

// The image of sample.ddl, with a subentity entry and a let instruction
// for corruptions to point at.
DdfImage Sample() {
    DdfImage image = ddftest::Compiled(mvxtest::ReadFile(mvxtest::TestDataPath("sample.ddl")));
    image.Find("subent_tfis")->data = Bytes{0, 0};
    image.Find("opcodes")->data = Bytes{0, 0, 0, 0, 0, 'd'};
    return image;
}

class DdfLoad : public mvxtest::LibraryTest {
protected:
    std::string Write(const Bytes& bytes) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path_;
    }
    bool Unchanged(const Bytes& bytes) const {
        return mvxtest::ReadFile(path_) == std::string(bytes.begin(), bytes.end());
    }
    // Loads bytes; returns the status, with the dictionary in *dict.
    int32_t Load(const Bytes& bytes, DDF_DICT** dict) {
        *dict = reinterpret_cast<DDF_DICT*>(dict); // must be reset
        return ddf_LoadDDF(0, Write(bytes).c_str(), dict);
    }

    mvxtest::TempDir dir_;
    const std::string path_ = dir_ / "d.ddf";
};

// Reversed order, reserved bytes set, one section left out (its pointer
// keeps the file's value), one twice (the second copy wins): the header
// comes back byte for byte once the section pointers are put back.
TEST_F(DdfLoad, LoadsSectionsInAnyOrderAndKeepsTheHeader) {
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
    EXPECT_STREQ(dict->ent_descs[1], "a line between two points");
    EXPECT_STREQ(dict->attr_names[1], "layer");
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

TEST_F(DdfLoad, RefusesHostileFiles) {
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
        {"names beyond their section", [](DdfImage& d) { d.header.fld_name_count = 7; }},
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

TEST_F(DdfLoad, EveryAllocationFailureIsReportedAndLeavesNothing) {
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

    // Each dictionary handed out is recorded in a table that grows by
    // doubling: loads at new addresses, each allowed only the allocations of
    // a load that does not grow the table, until one has to grow it.
    std::vector<DDF_DICT*> held;
    long usual = 1L << 30;
    int32_t rc = 0;
    while (rc == 0 && held.size() < 300) {
        mvxc::SetAllocFailure(usual + 1);
        rc = ddf_LoadDDF(0, path_.c_str(), &dict);
        if (rc == 0) usual = std::min(usual, mvxc::AllocCount());
        mvxc::SetAllocFailure(0);
        if (rc == 0) held.push_back(dict);
    }
    EXPECT_EQ(rc, DDF_MALLOC_ERR);
    EXPECT_EQ(dict, nullptr);
    for (DDF_DICT* d : held)
        mvxtest::FreeDict(d);
}

} // namespace
