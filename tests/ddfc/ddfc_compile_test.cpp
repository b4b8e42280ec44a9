// Every test and example dictionary compiled, dumped and compiled again to
// the same bytes; every source error with its text; the mvx ddf command; and
// loads that fail for want of memory.
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>
#include <string>

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
    // The dump's text is the library's (pinned by the query tests): here the
    // type it shows, one block per descriptor.
    const std::regex address("   Address: 0x[0-9a-f]+\n");
    for (const char* type : {"PAIR", "pair", "3:5"}) {
        const auto run = mvxtest::RunTool("ddf fields " + Path("f.ddf") + " " + type);
        ASSERT_EQ(run.status, 0) << type;
        EXPECT_EQ(run.out.rfind("short s (\"Small\")\n", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("\ndouble d (\"\")\n"), std::string::npos) << run.out;
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

// Source errors: one row per diagnostic with its exact FILE:LINE:COLUMN
// text, syntax and semantic errors and hostile sources (garbage, deep
// nesting, huge numbers, long names, too many fields) alike. Each source
// gets its diagnostic and no output.
std::string Wrap(const std::string& fields) {
    return "dictionary d;\nentity 1:0 e {\n" + fields + "}\n";
}

// A source of `n` copies of a line numbered from 0.
std::string Repeat(int n, const std::string& before, const std::string& after) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += before + std::to_string(i) + after;
    return s;
}

TEST_F(DdfcTest, EachErrorNamesThePlaceAndWhatWasWrong) {
    std::string garbage("dictionary d;\n");
    for (int i = 0; i < 256; ++i)
        garbage += static_cast<char>(i);
    const struct {
        std::string source;
        std::string error;
    } cases[] = {
        // Syntax.
        {"", "t.ddl:1:1: expected 'dictionary', found end of file"},
        {"dictionary d\nentity 1 e {}", "t.ddl:2:1: expected ';', found 'entity'"},
        {"dictionary d;\nentity 1 e { int a }", "t.ddl:2:20: expected ';', found '}'"},
        {"dictionary d;\nentity 1 e {\n  int a;\n",
         "t.ddl:4:1: expected a field or '}', found end of file"},
        {Wrap("  struct s { int a;\n"), "t.ddl:5:1: expected a field or '}', found end of file"},
        {Wrap("  float f \"x\n"), "t.ddl:3:11: string without its closing '\"'"},
        {Wrap("  quad q;\n"), "t.ddl:3:3: expected a field type or '}', found 'quad'"},
        {Wrap("  int a @;\n"), "t.ddl:3:9: unexpected character '@'"},
        {"dictionary d;\nentity 1 e {\n\x01", "t.ddl:3:1: unexpected byte 0x01"},
        {Wrap("  int a[3;\n"), "t.ddl:3:10: expected ']', found ';'"},
        {Wrap("  int a mod BOLD;\n"),
         "t.ddl:3:13: expected a modifier (ATTR DEFAULT FUNCTION RANGE REFTYPE LENGTH MAXLENGTH "
         "METHOD), found 'BOLD'"},
        {Wrap("  ptr p refs { 1:0 x };\n"),
         "t.ddl:3:20: expected a TF, 'any', 'none' or '}', found 'x'"},
        {Wrap("  let l { a = 1; }\n"), "t.ddl:3:16: expected an operator + - * /, found ';'"},
        {"dictionary d;\nsection ent_info { 1 }",
         "t.ddl:2:9: expected one of the sections attr_masks, ptr_counts, ptr_indices, "
         "sub_super_data, supertype_tfs, subtype_tfs"},
        {"dictionary d;\nattr_names { \"a\" 7 }",
         "t.ddl:2:18: expected a string or '}', found number 7"},
        {Wrap("  fstring s[0x];\n"), "t.ddl:3:13: expected hexadecimal digits after '0x'"},
        {Wrap("  int a[12ab];\n"), "t.ddl:3:9: expected a number, found '12a'"},
        // Meaning.
        {Wrap("  int a[n];\n  count n;\n"),
         "t.ddl:3:9: 'n' names no count field or let slot declared before it"},
        {"dictionary d;\nentity 1:0 a { int x; }\nentity 1 b { int y; }\n",
         "t.ddl:3:8: entity type 1:0 defined twice"},
        {Wrap("  int a[1][2][3][4][5][6];\n"), "t.ddl:3:23: more than 5 dimensions"},
        {Wrap("  let l { }\n"), "t.ddl:3:9: a let needs at least one instruction"},
        {Wrap("  int a[40000];\n"), "t.ddl:3:9: a literal out of range 0 to 32767"},
        {Wrap("  int a default 40000;\n"),
         "t.ddl:3:17: a default key out of range -32768 to 32767"},
        {Wrap("  count n slot 128;\n"), "t.ddl:3:16: a slot number out of range 1 to 127"},
        {Wrap("  int v values { 1 \"a\" 2 }\n"), "t.ddl:3:26: expected a string, found '}'"},
        {Wrap("  double d default 7;\n"),
         "t.ddl:3:3: the default key of a float or double is 0 or 50 to 54"},
        {Wrap("  int a[4 / 0];\n"), "t.ddl:3:13: division by zero in a dimension"},
        {Wrap("  int a[2][2][2][2][2] release 9;\n"),
         "t.ddl:3:24: a field with five dimensions cannot carry a release: its release bytes are "
         "the fifth dimension's"},
        {Wrap("  int a refs { 2:0 };\n"), "t.ddl:3:9: only a ptr field has a reference list"},
        {Wrap("  ptr p refs { 2:0 2 };\n"), "t.ddl:3:20: 2:0 listed twice"},
        {Wrap("  subent s 9:0;\n"), "t.ddl:3:3: subentity type 9:0 is not defined"},
        {"dictionary d;\nentity 1 a { subent s 2; }\nentity 2 b { subent t 1; }\n",
         "t.ddl:2:8: type 1:0 contains itself through subentities"},
        {Wrap("  derived x;\n  int a;\n"),
         "t.ddl:4:3: only derived and method fields can follow a derived field"},
        {Wrap("  struct s { method m; }\n"),
         "t.ddl:3:12: a struct needs at least one member that holds data"},
        {Wrap("  int a[2] variable;\n"),
         "t.ddl:3:12: a variable array needs at least two dimensions"},
        {Wrap("  int a unsized;\n"),
         "t.ddl:3:9: 'ptrfixed', 'variable' and 'unsized' need array dimensions"},
        {Wrap("  fstring s;\n"), "t.ddl:3:3: an fstring needs its length as last dimension"},
        {Wrap("  double big[5000][2];\n"),
         "t.ddl:3:3: inline array larger than an entity body can be"},
        {"dictionary d;\nentity 16000:16000 n {}\n",
         "t.ddl:2:8: 16000:16000 is the null TF and cannot be used"},
        {"dictionary d;\nentity 1:70000 n {}\n",
         "t.ddl:2:10: a form number out of range 0 to 65535"},
        {Wrap("  count n;\n  int a[n] flags 0x3;\n"),
         "t.ddl:4:3: an inline array needs literal dimensions"},
        // Hostile sources.
        {Wrap(Repeat(40, "struct s", " {\n")), "t.ddl:35:1: structures nested more than 32 deep"},
        {Wrap(Repeat(300, "int f", ";\n")),
         "t.ddl:259:1: entity type with more than 256 field descriptors"},
        {Wrap("int a[99999999999999999999];\n"), "t.ddl:3:7: number out of range"},
        {"dictionary " + std::string(2000, 'n') + ";",
         "t.ddl:1:12: name longer than 1024 characters"},
        {"dictionary " + std::string(200, 'n') + ";",
         "t.ddl:1:12: dictionary name longer than 127 bytes"},
        {"dictionary d;\nentity 1 \"" + std::string(5000, 'x') + "\" {}",
         "t.ddl:2:10: string longer than 4096 bytes"},
        {garbage, "t.ddl:2:1: unexpected byte 0x00"},
        {Wrap("vstring v \"a\\x00b\";"), "t.ddl:3:13: a string cannot hold a NUL byte"},
        {std::string(ddfc::kMaxSourceSize + 1, ' '), "t.ddl:1:1: source larger than 16 MiB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.source), c.error) << c.source.substr(0, 200);
}

} // namespace
