// The mvx program reads its command line with ugn_ParseCommandLine and
// prints its help with ugn_PrintUsage: help on standard output with status
// 0, a wrong option's message and the usage on standard error with status 2.
#include <gtest/gtest.h>

#include <string>

#include "support/tempdir.h"

namespace {

using mvxtest::ToolRun;

// Runs mvx with args; collects standard output, or with errors_only standard
// error (the other stream discarded).
ToolRun Mvx(const std::string& args, bool errors_only) {
    return mvxtest::RunTool(args, errors_only ? mvxtest::ToolStreams::kStderr
                                              : mvxtest::ToolStreams::kStdout);
}

const std::string kTopUsage =
    "Usage:\n"
    "\n"
    "mvx [--help | -h] COMMAND [ARGS]\n"
    "\n"
    "   --help   show this help and exit\n"
    "   -h       the same as --help\n"
    "\n"
    "Commands:\n"
    "   info     show the library's version texts and module registry\n"
    "   msg      show a message by name or code, or a module's message table\n"
    "   filetype tell which exchange format each file holds\n"
    "   ddf      compile, dump or write a C header of a data dictionary\n"
    "\n"
    "Run 'mvx COMMAND --help' for the options of a command.\n"
    "\n";

// The start of the msg command's usage; the top usage is pinned whole.
const std::string kMsgUsage = "Usage:\n\nmvx msg [--help | -h] [--module MODULE] [NAME | CODE]\n";

// The help goes to standard output with status 0; a wrong option's message
// and the usage go to standard error with status 2 (the stack dump ends the
// message with an empty line). Of other commands only the start of their
// usage is compared.
TEST(MvxProgram, HelpAndWrongOptionsPrintTheUsageWhereTheyShould) {
    const std::string info = "Usage:\n\nmvx info [--help | -h] \n";
    const std::string unknown = "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option ";
    const struct {
        const char* args;
        int status;
        std::string out;
    } cases[] = {
        {"--help", 0, kTopUsage},
        {"-h", 0, kTopUsage},
        {"info -h", 0, info},
        {"msg --help", 0, kMsgUsage},
        {"msg -h OTM_NOSUCH", 0, kMsgUsage},
        {"msg --module EAM --help", 0, kMsgUsage},
        {"--bogus", 2, unknown + "\"--bogus\" found.\n\n" + kTopUsage},
        {"--help -h", 2,
         "*** Error (UGN_OPTS_CONFLICT) ***\n"
         "Options \"-h\" and \"--help\" can not be specified at the same time.\n\n" +
             kTopUsage},
        {"info -x", 2, unknown + "\"-x\" found.\n\n" + info},
        {"msg --module -3", 2,
         "*** Error (UGN_OPTS_VALUE_MISSING) ***\n"
         "Option \"--module\" requires a value to be specified.\n\n" +
             kMsgUsage},
        {"msg --Module EAM", 2, unknown + "\"--Module\" found.\n\n" + kMsgUsage},
        {"", 2, kTopUsage},
        {"bogus --help", 2, "mvx: unknown command 'bogus'\n" + kTopUsage},
    };
    for (const auto& c : cases) {
        const ToolRun printed = Mvx(c.args, c.status != 0);
        EXPECT_EQ(printed.status, c.status) << c.args;
        EXPECT_EQ(printed.out.substr(0, c.out.size()), c.out) << c.args;
        if (c.out.find(kTopUsage) != std::string::npos) {
            EXPECT_EQ(printed.out.size(), c.out.size()) << c.args;
        }
        EXPECT_EQ(Mvx(c.args, c.status == 0).out, "") << c.args;
    }
}

TEST(MvxProgram, CheckedOptionsReachTheCommand) {
    // --module is checked by the parser and left for the command.
    const ToolRun list = Mvx("msg --module EAM", false);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out.rfind("EAM: module 6, 3 messages\n", 0), 0u) << list.out;
    const ToolRun info = Mvx("info", false);
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("module  code  messages\n"), std::string::npos);
}

} // namespace
