// Every test and example dictionary compiled, dumped and compiled again to
// the same bytes; the coverage every.ddl promises; the mvx ddf command; and
// loads that fail for want of memory.
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>

#include "ddfc/ddfc_test_support.h"
#include "support/compiled_dict.h"

namespace {

using ddfctest::DdfcTest;

const char* const kHand = R"(
dictionary hand version 2 revision 9;
attr_names { "visible" }
ptr_names { "r" "s" }
section subtype_tfs { i32 7:1 }
entity 7:1 b "Bee" info 0x10 uattrs 0x5 method 4 {
    short s "S" default -2 mod ATTR|RANGE;
    double d default 52;
    count n;
    int a[n + 1] release 12;
    struct st[2] { char c; int i; }
    ptr p refs { none 7:0 3:0 };
    int v values { 1 "one" 2 "two" };
    let l { $5 = n * 2; }
    derived dv method 6;
}
entity 7:0 a { double x; }
entity 3:0 "C" "Sea" { subent e 7:0; char z; }
)";

TEST_F(DdfcTest, EveryDictionaryDumpsAndCompilesBackByteForByte) {
    RoundTrip(kHand, "hand");
    for (const char* dir : {MVX_TEST_DATA_DIR, MVX_EXAMPLES_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".ddl")
                RoundTrip(mvxtest::ReadFile(entry.path()), entry.path());
}

TEST_F(DdfcTest, EveryDictionaryHoldsWhatItsCommentPromises) {
    ddfc::LoadedDict loaded;
    ASSERT_NO_FATAL_FAILURE(
        CompileLoad(mvxtest::ReadFile(mvxtest::TestDataPath("every.ddl")), &loaded));
    const DDF_DICT& d = loaded.dict();
    std::vector<int32_t> tfs(d.typeforms, d.typeforms + d.type_count);
    EXPECT_EQ(tfs, (std::vector<int32_t>{1 << 16, 1 << 16 | 1, 1 << 16 | 5, 2 << 16, 3 << 16,
                                         4 << 16, 5 << 16, 6 << 16}));
    // Every field type code from 1 to 19 and every flag and modifier bit.
    bool types[DDF_FIELD_TYPES] = {};
    uint32_t flags = 0;
    uint32_t mods = 0;
    for (int32_t i = 0; i < d.fld_indices[d.type_count - 1] + d.ent_fldcnts[d.type_count - 1];
         ++i) {
        types[d.fld_data[i].type] = true;
        flags |= d.fld_data[i].flags;
        mods |= d.fld_data[i].modifiers;
    }
    for (int t = 1; t < DDF_FIELD_TYPES; ++t)
        EXPECT_TRUE(types[t]) << "type " << t;
    EXPECT_EQ(flags, 0xFFu);
    EXPECT_EQ(mods & 0xFF, 0xFFu);
}

TEST_F(DdfcTest, CommandCompilesDumpsAndRefusesBadSourceWithoutOutput) {
    using mvxtest::RunTool;
    WriteText(Path("good.ddl"), "dictionary g;\nentity 1 one { int a; }\n");
    ASSERT_EQ(RunTool("ddf compile " + Path("good.ddl") + " -o " + Path("good.ddf")).status, 0);
    EXPECT_EQ(RunTool("ddf dump " + Path("good.ddf")).out,
              "dictionary g version 0 revision 0;\n\nentity 1:0 one {\n    int a;\n}\n");
    const std::string header = RunTool("ddf header " + Path("good.ddf")).out;
    EXPECT_NE(
        header.find("struct g_one {\n    int32_t   tf;\n    int32_t   tfi;\n    MDA_PTR   self;\n"
                    "    MDA_PTR   origin;\n    int       a;\n};\n"
                    "_Static_assert(sizeof(struct g_one) == 32, \"g_one: body size\");\n"
                    "_Static_assert(offsetof(struct g_one, a) == 24, \"g_one.a\");\n"),
        std::string::npos)
        << header;

    WriteText(Path("bad.ddl"), "dictionary g;\nentity 1 one {\n  int a[k];\n}\n");
    const auto bad = RunTool("ddf compile " + Path("bad.ddl") + " -o " + Path("bad.ddf"),
                             mvxtest::ToolStreams::kStderr);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out,
              Path("bad.ddl") + ":3:9: 'k' names no count field or let slot declared before it\n");
    // Nothing else was left in the directory (no temporary file either).
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"good.ddl", "good.ddf", "bad.ddl"}));

    const struct {
        std::string args;
        int status;
        std::string err; // its beginning
    } refusals[] = {
        {"ddf compile " + Path("good.ddl"), 2, ""},
        {"ddf frobnicate x", 2, "mvx ddf: unknown subcommand 'frobnicate'\n"},
        {"ddf dump " + Path("good.ddl"), 1, ""},
        {"ddf fields " + Path("good.ddf"), 2, ""},
    };
    for (const auto& r : refusals) {
        const auto run = RunTool(r.args, mvxtest::ToolStreams::kStderr);
        EXPECT_EQ(run.status, r.status) << r.args;
        EXPECT_EQ(run.out.rfind(r.err, 0), 0u) << run.out;
    }
}

// The fields subcommand finds a type by name in any case or as TYPE:FORM
// and prints the library's field dump; the address lines vary per run.
TEST_F(DdfcTest, FieldsCommandDumpsATypeByNameOrTypeForm) {
    WriteText(Path("f.ddl"), "dictionary f;\n"
                             "entity 3:5 Pair \"Two values\" {\n"
                             "    short s \"Small\" default 7 mod ATTR|RANGE;\n"
                             "    double d;\n"
                             "}\n");
    ASSERT_EQ(mvxtest::RunTool("ddf compile " + Path("f.ddl") + " -o " + Path("f.ddf")).status, 0);
    const std::regex address("   Address: 0x[0-9a-f]+\n");
    const std::string expected = "short s (\"Small\")\n"
                                 "   Modifiers:  ATTR  RANGE\n"
                                 "   Flags:\n"
                                 "   Field #: 0  NDims: 0   Offset: 6  Default value key:  7\n"
                                 "double d (\"\")\n"
                                 "   Modifiers:\n"
                                 "   Flags:\n"
                                 "   Field #: 1  NDims: 0   Offset: 0  Default value key:  0\n"
                                 "endent **Field not named** (\"\")\n"
                                 "   Modifiers:\n"
                                 "   Flags:\n"
                                 "   Field #: 2  NDims: 0   Offset: 0  fld_methods index:  0\n";
    for (const char* type : {"PAIR", "pair", "3:5"}) {
        const auto run = mvxtest::RunTool("ddf fields " + Path("f.ddf") + " " + type);
        ASSERT_EQ(run.status, 0) << type;
        EXPECT_EQ(std::regex_replace(run.out, address, ""), expected) << type;
        EXPECT_EQ(std::distance(std::sregex_iterator(run.out.begin(), run.out.end(), address),
                                std::sregex_iterator()),
                  3);
    }
    for (const char* type : {"3:4", "single", "3:", ":5", "x:1", "70000:0"}) {
        const auto run = mvxtest::RunTool("ddf fields " + Path("f.ddf") + " " + type,
                                          mvxtest::ToolStreams::kBoth);
        EXPECT_EQ(run.status, 1) << type;
        EXPECT_EQ(run.out, "mvx ddf fields: " + Path("f.ddf") + " has no entity type '" + type + "'\n");
    }
}

TEST_F(DdfcTest, FailedLoadsUnderAllocationFailureLeaveNothingBehind) {
    Write(Path("t.ddf"), MustCompile(kHand));
    int failures = 0;
    for (int n = 1; n < 200; ++n) {
        mvxc::SetAllocFailure(n);
        ddfc::LoadedDict dict;
        std::string error;
        const bool ok = dict.Load(Path("t.ddf"), &error);
        mvxc::SetAllocFailure(0);
        mpm_ClearError(0);
        if (ok) {
            EXPECT_EQ(dict.dict().type_count, 3);
            break;
        }
        ++failures;
        EXPECT_NE(error.find("not a loadable binary dictionary"), std::string::npos);
    }
    EXPECT_GT(failures, 20); // the header and every section allocate
}

} // namespace
