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

const std::string kInfoUsage =
    "Usage:\n"
    "\n"
    "mvx info [--help | -h] \n"
    "\n"
    "   --help   show this help and exit\n"
    "   -h       the same as --help\n"
    "\n"
    "Shows the library's version texts, its module registry after start-up and\n"
    "a sample of its text encodings.\n"
    "\n";

const std::string kMsgUsage =
    "Usage:\n"
    "\n"
    "mvx msg [--help | -h] [--module MODULE] [NAME | CODE]\n"
    "\n"
    "   --help     show this help and exit\n"
    "   -h         the same as --help\n"
    "   --module   list every message of a module, given by code (MDA) or number (9)\n"
    "\n"
    "Shows a message of the library's message tables.\n"
    "  NAME    full message name: module code, '_', message name (OTM_INVALIDSIZE)\n"
    "  CODE    status code, hexadecimal with 0x (0x30002) or decimal (196610)\n"
    "Texts are shown as stored, in double quotes with C escapes: the first\n"
    "character is the flag (' ' plain printf text, '+' extended text) and is\n"
    "never printed; 'body' is the text without it.\n"
    "\n";

TEST(MvxProgram, HelpPrintsTheUsageOnStandardOutputAndExitsZero) {
    const std::pair<const char*, const std::string*> cases[] = {
        {"--help", &kTopUsage},
        {"-h", &kTopUsage},
        {"info --help", &kInfoUsage},
        {"info -h", &kInfoUsage},
        {"msg --help", &kMsgUsage},
        {"msg -h OTM_NOSUCH", &kMsgUsage},
        {"msg --module EAM --help", &kMsgUsage},
    };
    for (const auto& [args, usage] : cases) {
        const ToolRun out = Mvx(args, false);
        EXPECT_EQ(out.status, 0) << args;
        EXPECT_EQ(out.out, *usage) << args;
        const ToolRun err = Mvx(args, true);
        EXPECT_EQ(err.out, "") << args;
    }
}

TEST(MvxProgram, WrongOptionPrintsTheMessageAndTheUsageAndExitsTwo) {
    struct Case {
        const char* args;
        std::string message;
        const std::string* usage;
    };
    const Case cases[] = {
        {"--bogus", "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option \"--bogus\" found.\n",
         &kTopUsage},
        {"--help -h",
         "*** Error (UGN_OPTS_CONFLICT) ***\n"
         "Options \"-h\" and \"--help\" can not be specified at the same time.\n",
         &kTopUsage},
        {"info -x", "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option \"-x\" found.\n",
         &kInfoUsage},
        {"msg --module",
         "*** Error (UGN_OPTS_VALUE_MISSING) ***\n"
         "Option \"--module\" requires a value to be specified.\n",
         &kMsgUsage},
        {"msg --module -3",
         "*** Error (UGN_OPTS_VALUE_MISSING) ***\n"
         "Option \"--module\" requires a value to be specified.\n",
         &kMsgUsage},
        {"msg --Module EAM",
         "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option \"--Module\" found.\n",
         &kMsgUsage},
    };
    for (const Case& c : cases) {
        const ToolRun err = Mvx(c.args, true);
        EXPECT_EQ(err.status, 2) << c.args;
        // The stack dump ends each message with an empty line.
        EXPECT_EQ(err.out, c.message + "\n" + *c.usage) << c.args;
        EXPECT_EQ(Mvx(c.args, false).out, "") << c.args;
    }
}

TEST(MvxProgram, MissingOrUnknownCommandPrintsTheUsageAndExitsTwo) {
    const ToolRun none = Mvx("", true);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, kTopUsage);
    const ToolRun unknown = Mvx("bogus --help", true);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "mvx: unknown command 'bogus'\n" + kTopUsage);
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
