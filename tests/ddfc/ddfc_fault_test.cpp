// Hostile and edge dictionaries for the dictionary tools and the loader:
// type codes without a table entry, fstrings without a length, inline
// arrays too large to size, runs shared between types and fields, deep and
// cyclic subentity chains.
#include "ddf/ddf_builder.h"
#include "ddfc/ddfc_test_support.h"
#include "support/compiled_dict.h"

namespace {

using ddfctest::DdfcTest;
using ddftest::DdfImage;

// A point and a line: the cases change the line's second field "odd"
// (descriptor 3: point's x and end come first, then the line's a).
const char* const kLine = "dictionary faults;\n"
                          "entity 100:0 point { double x \"x\"; }\n"
                          "entity 110:1 line { int a \"a\"; int odd \"odd\"; }\n";
template <typename Change> std::function<void(DdfImage&)> Odd(Change change) {
    return [=](DdfImage& image) { image.Field(3, change); };
}

// Points the subentity of type `tfi` (its second descriptor) at TFI `target`.
void Embed(DdfImage& image, int32_t tfi, uint16_t target) {
    const auto first = ddftest::Get<int16_t>(image.Find("fld_indices")->data, tfi * 2);
    int16_t key = 0;
    image.Field(first + 1, [&](DDF_FIELD& f) { key = f.key; });
    ddftest::Put(image.Find("subent_tfis")->data, key * 2u, target);
}

// Dump and header of a loaded image: their results and messages.
struct Tools {
    bool dumped = false, headed = false;
    std::string dump, header, dump_error, header_error;
};

class DdfcFault : public DdfcTest {
protected:
    Tools Run(const DdfImage& image) {
        Tools t;
        Write(Path("f.ddf"), image.File());
        ddfc::LoadedDict dict;
        std::string error;
        EXPECT_TRUE(dict.Load(Path("f.ddf"), &error)) << error;
        if (!error.empty()) return t;
        t.dumped = ddfc::Dump(dict.dict(), dict.sizes(), &t.dump, &t.dump_error);
        t.headed = ddfc::Header(dict.dict(), dict.sizes(), "F_H", &t.header, &t.header_error);
        return t;
    }
};

// Dictionaries that load but that the language or C cannot state. Each row
// changes the image of a source (the line's by default) and gives the
// dump's refusal and the header's, null where the tool succeeds.
constexpr const char* kAsDump = "the header's refusal is the dump's";

TEST_F(DdfcFault, LoadableDictionariesTheToolsRefuseOrStepOver) {
    const struct {
        const char* what;
        std::function<void(DdfImage&)> change;
        const char* dump_error;
        const char* header_error;
        std::string source = kLine;
    } cases[] = {
        {"type code above 19", Odd([](DDF_FIELD& f) { f.type = 25; }),
         "entity type 110:1: field 'odd' has type code 25, which the language cannot state",
         nullptr},
        {"fstring without dimensions", Odd([](DDF_FIELD& f) { f.type = DDF_FSTRING; }),
         "entity type 110:1: fstring 'odd' has no literal length, which the language cannot state",
         "entity type 110:1: fstring 'odd' has no literal length, which C cannot declare"},
        {"five dimensions of 32767", Odd([](DDF_FIELD& f) {
             f.flags = DDF_ARRAY | DDF_FIXED;
             f.dim_count = 5;
             std::fill(f.dims, f.dims + 5, DDF_DIMEXPR{32767, 0, 'e', 0});
         }),
         "the language cannot state this dictionary: dump:9:5: inline array larger than an "
         "entity body can be",
         "entity type 110:1: inline array 'odd' is larger than an entity body can be"},
        {"inline array sized by a slot", Odd([](DDF_FIELD& f) {
             f.flags = DDF_ARRAY | DDF_FIXED;
             f.dim_count = 1;
             f.dims[0] = DDF_DIMEXPR{-2, 0, 'e', 0};
         }),
         "the language cannot state this dictionary: dump:9:5: an inline array needs literal "
         "dimensions",
         "entity type 110:1: inline array 'odd' has a dimension that is no positive literal"},
        // Runs shared between types, or between fields: refused before
        // anything is decoded twice.
        {"runs that overlap",
         [](DdfImage& d) {
             ddftest::Put(d.Find("fld_indices")->data, 2, int16_t{1});
             ddftest::Put(d.Find("ent_fldcnts")->data, 2, int16_t{1});
         },
         "entity types 100:0 and 110:1 share field descriptors, which the language cannot state",
         kAsDump},
        {"one description for two fields",
         [](DdfImage& d) { d.Field(2, [](DDF_FIELD& f) { f.desc = 0; }); },
         "entity type 110:1: fields that share a description", kAsDump},
        {"one reference list for two fields",
         [](DdfImage& d) {
             for (int i : {2, 3}) {
                 d.Field(i, [](DDF_FIELD& f) {
                     f.type = DDF_PTR;
                     f.ref_count = 1;
                     f.ref_first = 0;
                 });
             }
             d.Find("ptr_data")->data = ddftest::Bytes(4, 0);
         },
         "entity type 110:1: fields that share a reference list", kAsDump},
        // No source can state more than 16 MiB of field names: 17 types of
        // 255 fields all named by one 4096-byte name.
        {"field names shared beyond 16 MiB",
         [](DdfImage& d) {
             for (int i = 0; i < 17 * 256; ++i)
                 d.Field(i, [](DDF_FIELD& f) { f.name = f.type == DDF_ENDENT ? -1 : 0; });
             d.Find("fld_names")->data = ddftest::StringSection({std::string(4096, 'n')});
             d.header.fld_name_count = 1;
         },
         "entity type 17:0: more field names than a dictionary source can hold (16 MiB)", kAsDump,
         ddfctest::Wide(16, 255)},
        // Subentity chains: the longest the compiler writes; one longer, as
        // type 34 is made to embed type 33 instead of 35; a cycle.
        {"32 levels", [](DdfImage&) {}, nullptr, nullptr, ddfctest::Chain(33, true)},
        {"33 levels", [](DdfImage& d) { Embed(d, 33, 32); }, "subentities nested more than 32 deep",
         kAsDump,
         ddfctest::Chain(33, true) +
             "entity 34 t34 { int v; subent s 35; }\nentity 35 t35 { int v; }\n"},
        {"a type that embeds itself", [](DdfImage& d) { Embed(d, 0, 0); },
         "entity type 1:0 contains itself through subentities", kAsDump,
         "dictionary c;\nentity 1 a { int v; subent s 2; }\nentity 2 b { int v; }\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DdfImage image = ddftest::Compiled(c.source);
        c.change(image);
        const Tools t = Run(image);
        EXPECT_EQ(t.dumped, c.dump_error == nullptr) << t.dump_error;
        EXPECT_EQ(t.dump_error, c.dump_error ? c.dump_error : "");
        EXPECT_EQ(t.dump.empty(), c.dump_error != nullptr);
        const char* header_error = c.header_error == kAsDump ? c.dump_error : c.header_error;
        EXPECT_EQ(t.headed, header_error == nullptr) << t.header_error;
        EXPECT_EQ(t.header_error, header_error ? header_error : "");
    }
    // A code above 19 holds no data: the header says so.
    DdfImage image = ddftest::Compiled(kLine);
    Odd([](DDF_FIELD& f) { f.type = 25; })(image);
    EXPECT_NE(Run(image).header.find("    /* type code 25 odd: holds no data */\n"),
              std::string::npos);
}

// The queries, the field dump and the layout walk on a descriptor whose code
// has no entry in ddf__FldData.
TEST_F(DdfcFault, DescriptorsOfUnknownCodesHoldNoData) {
    DdfImage image = ddftest::Compiled(kLine);
    Odd([](DDF_FIELD& f) { f.type = 200; })(image);
    Write(Path("f.ddf"), image.File());
    ddfc::LoadedDict loaded;
    std::string error;
    ASSERT_TRUE(loaded.Load(Path("f.ddf"), &error)) << error;
    DDF_DICT* dict = const_cast<DDF_DICT*>(&loaded.dict());
    ddf__Current = dict;
    DDF_FIELD* odd = &dict->fld_data[3];
    ASSERT_EQ(odd->type, 200);
    mvxtest::StreamCapture out(stdout);
    EXPECT_EQ(ddf_DbgDumpField(0, odd), 0);
    EXPECT_EQ(out.Finish().substr(0, 11), " odd (\"odd\"");
    double value = -1;
    EXPECT_EQ(ddf_GetFieldDefault(odd, &value), 0);
    EXPECT_EQ(value, -1) << "no default for a code without a type";
    // Layout: the unknown code holds no data and moves nothing.
    std::vector<ddfc::TypeLayout> walked;
    ASSERT_TRUE(ddfc::WalkLayout(loaded.dict(), loaded.sizes(), &walked, &error)) << error;
    EXPECT_EQ(walked[1].offsets, (std::vector<int32_t>{24, -1, -1}));
    ddf__Current = nullptr;
}

} // namespace
