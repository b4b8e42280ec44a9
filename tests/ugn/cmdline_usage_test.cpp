// ugn_PrintUsage: the usage text byte for byte, its wrap rule and odd tables.
#include <gtest/gtest.h>

#include <string>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::StreamCapture;

const UGN_OPTION kEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kOpen = {"[", nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kClose = {"]", nullptr, nullptr, nullptr, nullptr};

std::string Usage(const UGN_OPTION* table, const char* program, const char* trailing,
                  const char* const* extra) {
    StreamCapture capture(stderr);
    EXPECT_EQ(ugn_PrintUsage(0, table, program, trailing, extra), 0);
    return capture.Finish();
}

TEST(Usage, ShowsOptionalRequiredAndGroupedOptionsThenTheList) {
    const UGN_OPTION table[] = {{"in", "s+", "file", nullptr, "input file"},
                                {"o", "s", "file", nullptr, "output file"},
                                kOpen,
                                {"alpha", "i", "x", nullptr, "first"},
                                {"beta", "f", nullptr, nullptr, "second"},
                                {"gamma", "d", nullptr, nullptr, nullptr},
                                kClose,
                                {"v", "f", "ignored", nullptr, "verbose"},
                                {"lvl", "i+", "n", nullptr, "level"},
                                kEnd};
    const char* const extra[] = {"Example:", "  trans -in a.igs", nullptr};
    EXPECT_EQ(Usage(table, "/usr/local/bin/trans", "input output", extra),
              "Usage:\n"
              "\n"
              "trans -in file [-o file] [-alpha x | -beta | -gamma] [-v] -lvl n input output\n"
              "\n"
              "   -in      input file\n"
              "   -o       output file\n"
              "   -alpha   first\n"
              "   -beta    second\n"
              "   -gamma    \n"
              "   -v       verbose\n"
              "   -lvl     level\n"
              "\n"
              "Example:\n"
              "  trans -in a.igs\n"
              "\n");
}

TEST(Usage, WrapsWhenAPieceWouldReachColumn80) {
    // "prog " puts the first option at column 5. A 67-letter optional flag
    // is a piece of 71 characters, up to column 76; "-b " then ends at 79
    // and stays on the line.
    const std::string n67(67, 'a');
    const UGN_OPTION fits[] = {
        {n67.c_str(), "f", nullptr, nullptr, "x"}, {"b", "f+", nullptr, nullptr, "y"}, kEnd};
    EXPECT_EQ(Usage(fits, "prog", nullptr, nullptr), "Usage:\n\nprog [-" + n67 + "] -b \n\n   -" +
                                                         n67 + "   x\n   -b" +
                                                         std::string(66, ' ') + "   y\n\n\n");

    // One letter more and "-b " would reach column 80: it moves to a new
    // line, indented by the program name's length plus one.
    const std::string n68(68, 'a');
    const UGN_OPTION wraps[] = {{n68.c_str(), "f", nullptr, nullptr, "x"},
                                {"b", "f+", nullptr, nullptr, "y"},
                                {"c", "s", "file", nullptr, "z"},
                                kEnd};
    EXPECT_EQ(Usage(wraps, "prog", "in out", nullptr),
              "Usage:\n\nprog [-" + n68 + "] \n     -b [-c file] in out\n\n   -" + n68 +
                  "   x\n   -b" + std::string(67, ' ') + "   y\n   -c" + std::string(67, ' ') +
                  "   z\n\n\n");
}

TEST(Usage, GroupsAlwaysBalanceAndNullArgumentsAreAllowed) {
    // A group left open runs to the end of the table and is closed there; a
    // group interrupted by "[" is closed before the next one; an empty group
    // and a stray "]" print nothing.
    const UGN_OPTION table[] = {kOpen,
                                kClose,
                                {"r", "s+", "v", nullptr, "required"},
                                kClose,
                                kOpen,
                                {"a", "f", nullptr, nullptr, "a"},
                                kOpen,
                                {"b", "f", nullptr, nullptr, "b"},
                                {"c", nullptr, "n", nullptr, "untyped"},
                                kEnd};
    EXPECT_EQ(Usage(table, "p/q", nullptr, nullptr),
              "Usage:\n\nq -r v [-a] [-b | -c n] \n\n"
              "   -r   required\n   -a   a\n   -b   b\n   -c   untyped\n\n\n");

    // No table, no program, no extra lines.
    EXPECT_EQ(Usage(nullptr, nullptr, "FILE", nullptr), "Usage:\n\n FILE\n\n\n\n");
    const char* const no_lines[] = {nullptr};
    EXPECT_EQ(Usage(nullptr, "dir/", nullptr, no_lines), "Usage:\n\n \n\n\n\n");
}

TEST(Usage, HugeProgramNameWrapsEveryPieceWithoutLooping) {
    const std::string program = "/x/" + std::string(100, 'p');
    const UGN_OPTION table[] = {
        {"a", "f", nullptr, nullptr, "a"}, {"b", "f", nullptr, nullptr, "b"}, kEnd};
    const std::string indent(101, ' ');
    EXPECT_EQ(Usage(table, program.c_str(), nullptr, nullptr),
              "Usage:\n\n" + std::string(100, 'p') + " \n" + indent + "[-a] \n" + indent +
                  "[-b] \n\n   -a   a\n   -b   b\n\n\n");
}

} // namespace
