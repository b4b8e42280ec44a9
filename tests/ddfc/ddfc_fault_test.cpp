// Hostile and edge dictionaries for the dictionary tools and the loader:
// type codes without a table entry, fstrings without a length, inline
// arrays too large to size, runs shared between types and fields, deep
// subentity chains, long names, clashing struct names, outputs that are
// links or pipes, and a dictionary header that changed under its record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "ddf/ddf_builder.h"
#include "ddfc/ddfc_test_support.h"
#include "support/compiled_dict.h"

namespace {

using ddfctest::DdfcTest;
using ddftest::DdfImage;

DDF_DIMEXPR Lit(int16_t a) {
    return DDF_DIMEXPR{a, 0, 'e', 0};
}

// A point and a line, with what a case changes in the line's second field
// "odd" (descriptor 3: point's x and end come first, then the line's a).
DdfImage Line(const std::function<void(DDF_FIELD&)>& change) {
    DdfImage image = ddftest::Compiled("dictionary faults;\n"
                                       "entity 100:0 point { double x \"x\"; }\n"
                                       "entity 110:1 line { int a \"a\"; int odd \"odd\"; }\n");
    image.Field(3, change);
    return image;
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

TEST_F(DdfcFault, LoadableDictionariesTheToolsRefuseOrStepOver) {
    const struct {
        const char* what;
        std::function<void(DDF_FIELD&)> change;
        const char* dump_error;   // the dump's refusal
        const char* header_error; // the header's refusal, or null when it is written
    } cases[] = {
        {"type code above 19", [](DDF_FIELD& f) { f.type = 25; },
         "entity type 110:1: field 'odd' has type code 25, which the language cannot state",
         nullptr},
        {"fstring without dimensions", [](DDF_FIELD& f) { f.type = DDF_FSTRING; },
         "entity type 110:1: fstring 'odd' has no literal length, which the language cannot state",
         "entity type 110:1: fstring 'odd' has no literal length, which C cannot declare"},
        {"fstring sized by a slot",
         [](DDF_FIELD& f) {
             f.type = DDF_FSTRING;
             f.dim_count = 1;
             f.dims[0] = Lit(-1);
         },
         "entity type 110:1: fstring 'odd' has no literal length, which the language cannot state",
         "entity type 110:1: fstring 'odd' has no literal length, which C cannot declare"},
        {"five dimensions of 32767",
         [](DDF_FIELD& f) {
             f.flags = DDF_ARRAY | DDF_FIXED;
             f.dim_count = 5;
             std::fill(f.dims, f.dims + 5, Lit(32767));
         },
         "the language cannot state this dictionary: dump:9:5: inline array larger than an "
         "entity body can be",
         "entity type 110:1: inline array 'odd' is larger than an entity body can be"},
        {"inline array sized by a slot",
         [](DDF_FIELD& f) {
             f.flags = DDF_ARRAY | DDF_FIXED;
             f.dim_count = 1;
             f.dims[0] = Lit(-2);
         },
         "the language cannot state this dictionary: dump:9:5: an inline array needs literal "
         "dimensions",
         "entity type 110:1: inline array 'odd' has a dimension that is no positive literal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Tools t = Run(Line(c.change));
        EXPECT_FALSE(t.dumped);
        EXPECT_EQ(t.dump, "");
        EXPECT_EQ(t.dump_error, c.dump_error);
        EXPECT_EQ(t.headed, c.header_error == nullptr) << t.header_error;
        if (c.header_error != nullptr) {
            EXPECT_EQ(t.header_error, c.header_error);
        }
    }
    // A code above 19 holds no data: the header says so, and the field
    // after it lies where it would without it.
    const Tools t = Run(Line([](DDF_FIELD& f) { f.type = 25; }));
    EXPECT_NE(t.header.find("    /* type code 25 odd: holds no data */\n"), std::string::npos)
        << t.header;
}

// The queries and the field dump on a descriptor whose code has no entry in
// ddf__FldData.
TEST_F(DdfcFault, LoaderKeepsTypeCodesAboveNineteenAndQueriesBoundThem) {
    DdfImage image = Line([](DDF_FIELD& f) { f.type = 200; });
    DDF_FIELD stray{};
    stray.type = 30; // a descriptor of no type's run
    stray.name = -1;
    stray.desc = -1;
    ddftest::Append(image.Find("fld_data")->data, stray);
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
    EXPECT_EQ(ddf_DbgDumpField(0, &dict->fld_data[5]), 0);
    const std::string text = out.Finish();
    EXPECT_EQ(text.substr(0, 11), " odd (\"odd\"") << text;
    EXPECT_NE(text.find("\n **Field not named** (\"\")\n"), std::string::npos) << text;
    double value = -1;
    EXPECT_EQ(ddf_GetFieldDefault(odd, &value), 0);
    EXPECT_EQ(value, -1) << "no default for a code without a type";
    ddf__Current = nullptr;
    // Layout: the unknown code holds no data and moves nothing.
    std::vector<ddfc::TypeLayout> walked;
    ASSERT_TRUE(ddfc::WalkLayout(loaded.dict(), loaded.sizes(), &walked, &error)) << error;
    EXPECT_EQ(walked[1].offsets, (std::vector<int32_t>{24, -1, -1}));
}

// Types sharing one descriptor run, fields sharing runs of the sections
// they own: refused by both tools before anything is decoded twice.
TEST_F(DdfcFault, SharedRunsAreRefusedByDumpAndHeader) {
    const struct {
        const char* what;
        std::function<void(DdfImage&)> change;
        const char* error;
    } cases[] = {
        {"types on one run",
         [](DdfImage& d) { ddftest::Put(d.Find("fld_indices")->data, 2, int16_t{0}); },
         "entity types 100:0 and 110:1 share field descriptors, which the language cannot state"},
        {"runs that overlap",
         [](DdfImage& d) {
             ddftest::Put(d.Find("fld_indices")->data, 2, int16_t{1});
             ddftest::Put(d.Find("ent_fldcnts")->data, 2, int16_t{1});
         },
         "entity types 100:0 and 110:1 share field descriptors, which the language cannot state"},
        {"one description for two fields",
         [](DdfImage& d) { d.Field(2, [](DDF_FIELD& f) { f.desc = 0; }); },
         "entity type 110:1: fields that share a description"},
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
         "entity type 110:1: fields that share a reference list"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DdfImage image = Line([](DDF_FIELD&) {});
        c.change(image);
        const Tools t = Run(image);
        EXPECT_FALSE(t.dumped);
        EXPECT_FALSE(t.headed);
        EXPECT_EQ(t.dump_error, c.error);
        EXPECT_EQ(t.header_error, c.error);
    }
}

// Field names are shared legitimately, but no source can state more than
// 16 MiB of them: 17 types of 255 fields all named by one 4096-byte name.
TEST_F(DdfcFault, SharedFieldNamesAreBoundedByWhatASourceCanHold) {
    std::string source = "dictionary names;\n";
    for (int t = 1; t <= 17; ++t) {
        source += "entity " + std::to_string(t) + " t {";
        for (int i = 0; i < 255; ++i)
            source += " char -;";
        source += " }\n";
    }
    DdfImage image = ddftest::Compiled(source);
    for (int i = 0; i < 17 * 256; ++i)
        image.Field(i, [](DDF_FIELD& f) { f.name = f.type == DDF_ENDENT ? -1 : 0; });
    image.Find("fld_names")->data = ddftest::StringSection({std::string(4096, 'n')});
    image.header.fld_name_count = 1;
    const Tools t = Run(image);
    EXPECT_EQ(t.dump_error,
              "entity type 17:0: more field names than a dictionary source can hold (16 MiB)");
    EXPECT_EQ(t.header_error, t.dump_error);
}

std::string Chain(int types, bool embeds_previous) {
    std::string s = "dictionary chain;\n";
    for (int i = 1; i <= types; ++i) {
        const int inner = embeds_previous ? i - 1 : i + 1;
        s += "entity " + std::to_string(i) + " t" + std::to_string(i) + " { int v; ";
        if (inner >= 1 && inner <= types) s += "subent s " + std::to_string(inner) + "; ";
        s += "}\n";
    }
    return s;
}

TEST_F(DdfcFault, SubentityDepthIsLimitedInEveryOrderOfTypes) {
    for (const bool forward : {true, false}) {
        SCOPED_TRACE(forward ? "each type embeds the one before" : "each embeds the one after");
        EXPECT_FALSE(MustCompile(Chain(33, forward)).empty()) << "32 levels";
        for (const int n : {34, 40, 2000})
            EXPECT_NE(ErrorOf(Chain(n, forward)).find("subentities nested more than 32 deep"),
                      std::string::npos)
                << n;
    }
}

// The same limit on loaded dictionaries, which the compiler cannot write:
// a type that embeds itself, and a chain one longer than allowed, made by
// pointing a subentity at another type.
TEST_F(DdfcFault, ToolsRefuseSubentityChainsTheCompilerWouldRefuse) {
    // Points the subentity of type `tf` (its second descriptor) at TFI `target`.
    auto embed = [](DdfImage& image, int32_t tfi, uint16_t target) {
        const auto first = ddftest::Get<int16_t>(image.Find("fld_indices")->data, tfi * 2);
        int16_t key = 0;
        image.Field(first + 1, [&](DDF_FIELD& f) { key = f.key; });
        ddftest::Put(image.Find("subent_tfis")->data, key * 2u, target);
    };
    const DdfImage longest = ddftest::Compiled(Chain(33, true));
    EXPECT_EQ(Run(longest).header_error, "");
    DdfImage deep = ddftest::Compiled(Chain(33, true) + "entity 34 t34 { int v; subent s 1; }\n");
    ddftest::Append(deep.Find("subent_tfis")->data, uint16_t{0});
    deep.Field(ddftest::Get<int16_t>(deep.Find("fld_indices")->data, 33 * 2) + 1, [&](DDF_FIELD& f) {
        f.key = static_cast<int16_t>(deep.Find("subent_tfis")->data.size() / 2 - 1);
    });
    embed(deep, 33, 32);
    const Tools too_deep = Run(deep);
    EXPECT_EQ(too_deep.dump_error, "subentities nested more than 32 deep");
    EXPECT_EQ(too_deep.header_error, too_deep.dump_error);
    DdfImage self = ddftest::Compiled("dictionary c;\nentity 1 a { int v; subent s 2; }\n"
                                      "entity 2 b { int v; }\n");
    embed(self, 0, 0);
    const Tools cycle = Run(self);
    EXPECT_EQ(cycle.dump_error, "entity type 1:0 contains itself through subentities");
    EXPECT_EQ(cycle.header_error, cycle.dump_error);
}

TEST_F(DdfcFault, DescriptorLimitHoldsForTheWholeDictionary) {
    // 127 types of 256 descriptors (255 fields and the end), then one more.
    auto source = [](int last_fields) {
        std::string fields;
        for (int i = 0; i < 255; ++i)
            fields += "char -;";
        std::string s = "dictionary big;\n";
        for (int t = 1; t <= 127; ++t)
            s += "entity " + std::to_string(t) + " t {" + fields + "}\n";
        s += "entity 128 t {";
        for (int i = 0; i < last_fields; ++i)
            s += "char -;";
        return s + "}\n";
    };
    EXPECT_FALSE(MustCompile(source(254)).empty()) << "32767 descriptors";
    EXPECT_EQ(ErrorOf(source(255)), "t.ddl:129:8: more than 32767 field descriptors");
}

TEST_F(DdfcFault, LongNamesDumpAsStringsAndCompileBack) {
    const std::string n1500(1500, 'n');
    const std::string n4096(4096, 'f');
    RoundTrip("dictionary long;\nentity 1 a { count \"" + n1500 + "\"; int v[" + "$1" +
                  "]; double \"" + n4096 + "\"; int " + std::string(1024, 'b') + "; }\n",
              "a count and fields named beyond what a bare name can be");
}

// clash.ddl's entity names would give clashing C struct names.
TEST_F(DdfcFault, HeaderStructNamesAreUnique) {
    ddfc::LoadedDict dict;
    ASSERT_NO_FATAL_FAILURE(
        CompileLoad(mvxtest::ReadFile(mvxtest::TestDataPath("clash.ddl")), &dict));
    std::string header, error;
    ASSERT_TRUE(ddfc::Header(dict.dict(), dict.sizes(), "D_H", &header, &error)) << error;
    std::set<std::string> names;
    const std::regex tag("\nstruct (\\w+) \\{");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), tag);
         it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(names.insert((*it)[1]).second) << (*it)[1] << " twice";
    EXPECT_EQ(names.size(), 12u);
    EXPECT_TRUE(names.count("clash_x_1_0") && names.count("clash_x_1_0_2") &&
                names.count("clash_p_data_2"));
}

// What stands at the output's path is replaced or written as it should be,
// and nothing beside it is followed or removed.
TEST_F(DdfcFault, HeaderOutputUsesAFreshTemporaryAndWritesPipesDirectly) {
    WriteText(Path("d.ddl"), "dictionary d; entity 1 a { int v; }\n");
    ASSERT_EQ(mvxtest::RunTool("ddf compile " + Path("d.ddl") + " -o " + Path("d.ddf")).status, 0);
    const std::string expected = mvxtest::RunTool("ddf header " + Path("d.ddf")).out;
    WriteText(Path("victim"), "keep");
    ASSERT_EQ(symlink(Path("victim").c_str(), Path("h.h.tmp").c_str()), 0);
    // '-o' before the subcommand, as the usage shows it.
    const auto run = mvxtest::RunTool("ddf -o " + Path("h.h") + " header " + Path("d.ddf"),
                                      mvxtest::ToolStreams::kBoth);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(mvxtest::ReadFile(Path("victim")), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(Path("h.h.tmp")));
    EXPECT_EQ(mvxtest::ReadFile(Path("h.h")),
              std::regex_replace(expected, std::regex("D_H\\b"), "H_H"));
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"d.ddl", "d.ddf", "victim", "h.h.tmp", "h.h"}));

    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    const int reader = open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(mvxtest::RunTool("ddf header " + Path("d.ddf") + " -o " + Path("pipe")).status, 0);
    std::string got(65536, '\0');
    const ssize_t n = read(reader, got.data(), got.size());
    close(reader);
    ASSERT_GT(n, 0);
    got.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(got, std::regex_replace(expected, std::regex("D_H\\b"), "PIPE"));
    struct stat st;
    ASSERT_EQ(lstat(Path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe is still a pipe";
}

// A loaded dictionary's record holds only while its header is the one the
// loader handed out: another dictionary at the same address (simulated by
// giving the block another header) gets the bounds of a hand-made one.
TEST_F(DdfcFault, ExtentRecordIsNotInheritedByAnotherDictionaryAtTheAddress) {
    ddfc::LoadedDict dict;
    ASSERT_NO_FATAL_FAILURE(
        CompileLoad("dictionary d; entity 1 a { int v; int w; int x; int y; }\n", &dict));
    auto* loaded = const_cast<DDF_DICT*>(&dict.dict());
    const DDF_DICT saved = *loaded;
    ddf__Current = loaded;
    {
        mvxtest::StreamCapture out(stdout);
        EXPECT_EQ(ddf_DbgDumpField(0, &loaded->fld_data[3]), 0);
        EXPECT_NE(out.Finish(), "");
    }
    // The new dictionary at that address: one type of two descriptors.
    std::vector<DDF_FIELD> small(2);
    small[0].type = DDF_INT;
    small[0].name = -1;
    small[1].type = DDF_ENDENT;
    small[1].name = -1;
    int16_t first = 0, count = 2;
    loaded->fld_data = small.data();
    loaded->fld_indices = &first;
    loaded->ent_fldcnts = &count;
    mpm_ClearStack(0);
    const auto past = [&small](std::size_t i) {
        return reinterpret_cast<const DDF_FIELD*>(reinterpret_cast<uintptr_t>(small.data()) +
                                                  i * sizeof(DDF_FIELD));
    };
    EXPECT_EQ(ddf_DbgDumpField(0, past(3)), DDF_INVALID_ARG);
    EXPECT_EQ(ddf_DbgDumpField(0, past(2)), DDF_INVALID_ARG);
    mpm_ClearStack(0);
    ddf__Current = nullptr;
    *loaded = saved;
}

} // namespace
