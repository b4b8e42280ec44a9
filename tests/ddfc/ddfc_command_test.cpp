// The mvx ddf command: compile, dump, header and fields by a table of runs;
// a header written over a symbolic link left at its temporary name, and
// into a pipe; nothing left behind by a run that fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>

#include "ddfc/ddfc_test_support.h"

namespace {

using ddfctest::DdfcTest;

TEST_F(DdfcTest, CommandCompilesDumpsPrintsAndRefusesByTheTable) {
    const std::string dict = Path("g.ddf");
    Write(Path("g.ddl"), std::string("dictionary g;\n"
                                     "entity 3:5 Pair \"Two values\" {\n"
                                     "    short s \"Small\" default 7 mod ATTR|RANGE;\n"
                                     "    double d;\n"
                                     "}\n"));
    Write(Path("bad.ddl"), std::string("dictionary g;\nentity 1 one {\n  int a[k];\n}\n"));
    struct Run {
        std::string args;
        int status;
        std::string out; // found in stdout and stderr together
    };
    std::vector<Run> runs = {
        {"ddf compile " + Path("g.ddl") + " -o " + dict, 0, ""},
        {"ddf dump " + dict, 0,
         "dictionary g version 0 revision 0;\n\nentity 3:5 pair \"Two values\" {\n"
         "    short s \"Small\" default 7 mod ATTR|RANGE;\n    double d;\n}\n"},
        {"ddf header " + dict, 0,
         "struct g_pair {\n    int32_t   tf;\n    int32_t   tfi;\n    MDA_PTR   self;\n"
         "    MDA_PTR   origin;\n    short     s;\n    double    d;\n};\n"
         "_Static_assert(sizeof(struct g_pair) == 40, \"g_pair: body size\");\n"
         "_Static_assert(offsetof(struct g_pair, s) == 24, \"g_pair.s\");\n"
         "_Static_assert(offsetof(struct g_pair, d) == 32, \"g_pair.d\");\n"},
        {"ddf fields " + dict, 2, ""},
        {"ddf compile " + Path("bad.ddl") + " -o " + Path("bad.ddf"), 1,
         Path("bad.ddl") + ":3:9: 'k' names no count field or let slot declared before it\n"},
        {"ddf compile " + Path("g.ddl"), 2, ""},
        {"ddf frobnicate x", 2, "mvx ddf: unknown subcommand 'frobnicate'\n"},
        {"ddf dump " + Path("g.ddl"), 1, ""},
    };
    // A type by name in any case or as TYPE:FORM, or none of that name.
    for (const std::string type : {"PAIR", "pair", "3:5"})
        runs.push_back({"ddf fields " + dict + " " + type, 0, "short s (\"Small\")\n"});
    for (const std::string type : {"3:4", "single", "3:", ":5", "x:1", "70000:0"})
        runs.push_back({"ddf fields " + dict + " " + type, 1,
                        "mvx ddf fields: " + dict + " has no entity type '" + type + "'\n"});
    for (const auto& r : runs) {
        const auto run = mvxtest::RunTool(r.args, mvxtest::ToolStreams::kBoth);
        EXPECT_EQ(run.status, r.status) << r.args;
        EXPECT_NE(run.out.find(r.out), std::string::npos) << r.args << "\n" << run.out;
    }

    // '-o' before the subcommand, as the usage shows it; a link standing at
    // the temporary name is neither followed nor removed.
    const std::string expected = mvxtest::RunTool("ddf header " + dict).out;
    Write(Path("victim"), std::string("keep"));
    ASSERT_EQ(symlink(Path("victim").c_str(), Path("h.h.tmp").c_str()), 0);
    EXPECT_EQ(mvxtest::RunTool("ddf -o " + Path("h.h") + " header " + dict).status, 0);
    EXPECT_EQ(mvxtest::ReadFile(Path("victim")), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(Path("h.h.tmp")));
    EXPECT_EQ(mvxtest::ReadFile(Path("h.h")),
              std::regex_replace(expected, std::regex("G_H\\b"), "H_H"));

    // A pipe is written directly and stays a pipe.
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    const int reader = open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(mvxtest::RunTool("ddf header " + dict + " -o " + Path("pipe")).status, 0);
    std::string got(65536, '\0');
    const ssize_t n = read(reader, got.data(), got.size());
    close(reader);
    got.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    EXPECT_EQ(got, std::regex_replace(expected, std::regex("G_H\\b"), "PIPE"));
    struct stat st;
    ASSERT_EQ(lstat(Path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // The failed compiles and the header left no output or temporary file.
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"g.ddl", "g.ddf", "bad.ddl", "victim", "h.h.tmp", "h.h",
                                           "pipe"}));
}

} // namespace
