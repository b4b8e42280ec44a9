// ugn_ParseCommandLine and ugn_PrintUsage by tables of command lines and of
// options, and the mvx program, which reads its command line with both.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

const UGN_OPTION kEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kOpen = {"[", nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kClose = {"]", nullptr, nullptr, nullptr, nullptr};

// A mutable argv: "prog", then the words of a text, then the usual null.
struct Argv {
    explicit Argv(const std::string& args) : words{"prog"} {
        std::istringstream in(args);
        for (std::string word; in >> word;)
            words.push_back(word);
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        argc = static_cast<int32_t>(words.size());
    }
    int32_t Parse(const UGN_OPTION* table) {
        return ugn_ParseCommandLine(0, table, &argc, argv.data());
    }
    // The first n entries ("(null)" for null), by default those left.
    std::string Left(int32_t n = -1) const {
        std::string out;
        for (int32_t i = 0; i < (n < 0 ? argc : n); ++i)
            out += (i ? " " : "") + std::string(argv[i] ? argv[i] : "(null)");
        return out;
    }
    std::vector<std::string> words;
    std::vector<char*> argv;
    int32_t argc;
};

// The parts of the latest error message in double quotes, then the index it
// names, joined by blanks.
std::string Quoted() {
    const std::string text = mvxtest::LastText();
    std::string out;
    for (std::size_t at = text.find('"'), end; at != std::string::npos;
         at = text.find('"', end + 1)) {
        end = text.find('"', at + 1);
        out += (out.empty() ? "" : " ") + text.substr(at + 1, end - at - 1);
    }
    const std::size_t at = text.find("index ");
    return at == std::string::npos ? out : out + text.substr(at + 6, text.find('.', at) - at - 6);
}

using CommandLine = mvxtest::LibraryTest;

// Values stored by the option tables; Text names those that changed.
struct Stored {
    int32_t f = 0, i = 42, l = 0, t = 5, alpha = 0, beta = 0, opt = 0;
    double d = 4.5;
    MDA_PTR m = 99;
    char* s = nullptr;
    std::string Text() const {
        std::ostringstream out;
        if (f != 0) out << " f=" << f;
        if (d != 4.5) out << " d=" << d;
        if (i != 42) out << " i=" << i;
        if (l != 0) out << " l=" << l;
        if (m != 99)
            out << " m=" << (static_cast<uint64_t>(m) >> 57) << ":"
                << (m & ((MDA_PTR{1} << 57) - 1));
        if (s != nullptr) out << " s=" << s;
        if (t != 5) out << " t=" << (t >> 16) << ":" << (t & 0xFFFF);
        if (alpha != 0) out << " alpha=" << alpha;
        if (beta != 0) out << " beta=" << beta;
        return out.str().empty() ? "" : out.str().substr(1);
    }
};

// Each row is one command line parsed with one options table: the main one
// (every type letter, a group, options without a value pointer, an unknown
// type letter), one with a required option, or a faulty one, which is
// refused before any argument is looked at. The row gives the status, the
// quoted parts of its message, argv afterwards and the values stored.
TEST_F(CommandLine, ParsesStoresCompactsAndRefusesByTheTable) {
    Stored v;
    const std::vector<UGN_OPTION> all = {
        {"f", "f", nullptr, &v.f, "a flag"},    {"d", "d", "x", &v.d, nullptr},
        {"i", "i", "n", &v.i, nullptr},         {"l", "l", "n", &v.l, nullptr},
        {"m", "m", "ptr", &v.m, nullptr},       {"s", "s", "text", &v.s, nullptr},
        {"t", "t", "tf", &v.t, nullptr},        {"x", "x", "v", nullptr, nullptr},
        {"opt", "x", "v", &v.opt, nullptr},     kOpen,
        {"alpha", "i", "x", &v.alpha, nullptr}, {"beta", "f", nullptr, &v.beta, nullptr},
        {"k", "s", "key", nullptr, nullptr},    kClose,
        {"v", "f", nullptr, nullptr, nullptr}};
    const std::vector<UGN_OPTION> required = {{"f", "f", nullptr, &v.f, nullptr},
                                              {"s", "s+", "name", &v.s, nullptr}};
    const UGN_OPTION f = {"a", "f", nullptr, nullptr, nullptr},
                     nameless = {"", "f", nullptr, nullptr, nullptr},
                     untyped = {"a", nullptr, nullptr, &v.f, nullptr},
                     empty_type = {"b", "", nullptr, nullptr, nullptr};
    const std::string huge = "-" + std::string(100000, 'q');
    const int32_t kMissing = UGN_OPTS_VALUE_MISSING, kBadTf = UGN_OPTS_INVALID_TF,
                  kUnknown = UGN_OPTS_UNKNOWN_OPTION, kConflict = UGN_OPTS_CONFLICT,
                  kBadType = UGN_OPTS_INVALID_TYPE, kBadGroup = UGN_OPTS_INVALID_GROUP;
    // Options, arguments, status, quoted parts, argv left, values stored.
    using Row = std::tuple<std::vector<UGN_OPTION>, std::string, int32_t, std::string, std::string,
                           std::string>;
    const Row rows[] = {
        {all, "-f -d 2.5 -i -7 -l 123456 -m 3:17 -s hello -t 110:2 in.igs out.dxf", 0, "",
         "prog in.igs out.dxf", "f=1 d=2.5 i=-7 l=123456 m=3:17 s=hello t=110:2"},
        // Numbers are read like scanf: what is there at the start, clamped;
        // an entity alone is of model 0, which has 7 bits.
        {all, "-m 17 -i +7 -d 1e3xyz -l 12abc", 0, "", "prog", "d=1000 i=7 l=12 m=0:17"},
        {all, "-i abc -d x1 -m 3:x rest", 0, "", "prog rest", ""},
        {all, "-m 3x:4 -i 99999999999 -l -99999999999", 0, "", "prog",
         "i=2147483647 l=-2147483648"},
        {all, "-m 200:-1", 0, "", "prog", "m=72:144115188075855871"},
        // Only numeric values may begin with a minus.
        {all, "-s -x", kMissing, "-s", "prog -s -x", ""},
        {all, "-i", kMissing, "-i", "prog -i", ""},
        {all, "-t 110", kBadTf, "110 -t", "prog -t 110", ""},
        {all, "-t 110:", kBadTf, "110: -t", "prog -t 110:", ""},
        {all, "-t :2", kBadTf, ":2 -t", "prog -t :2", ""},
        // An unknown type letter matters only where a value is stored.
        {all, "-opt 1", UGN_OPTS_ILLEGAL_TYPE, "x opt", "prog -opt 1", ""},
        {all, "-x 1 in", 0, "", "prog -x 1 in", ""},
        // Groups take one member; what was taken before a failure stays
        // stored and null in argv, which is not compacted.
        {all, "-f -beta -alpha 3", kConflict, "-alpha -beta", "prog (null) (null) -alpha 3",
         "f=1 beta=1"},
        {all, "-f -f", UGN_OPTS_REPEATED_OPTION, "-f", "prog (null) -f", "f=1"},
        {all, "-alpha 8 file", 0, "", "prog file", "alpha=8"},
        // Options without a value pointer stay in argv, may repeat, and a
        // group member of them seen first still conflicts (not the other order).
        {all, "-v -k one -v -k two rest", 0, "", "prog -v -k one -v -k two rest", ""},
        {all, "-k a -beta", kConflict, "-beta -k", "prog -k a -beta", ""},
        {all, "-beta -k a", 0, "", "prog -k a", "beta=1"},
        // The scan ends at the first positional argument.
        {all, "in.igs -f -zz", 0, "", "prog in.igs -f -zz", ""},
        // Unknown options, hostile ones included.
        {all, "-f -", kUnknown, "-", "prog (null) -", "f=1"},
        {all, "-[", kUnknown, "-[", "prog -[", ""},
        {all, huge, kUnknown, huge, "prog " + huge, ""},
        // A missing required option fails after the scan; argv is not compacted.
        {required, "-f in.igs", UGN_OPTS_REQUIRED_NOT_FOUND, "-s", "prog (null) in.igs", "f=1"},
        {required, "-s a.igs b.dxf", 0, "", "prog b.dxf", "s=a.igs"},
        // Faulty tables, with the index of the faulty record; group markers
        // need no type, and a group may stay open to the end.
        {{f, nameless}, "-f", UGN_OPTS_INVALID_NAME, "1", "prog -f", ""},
        {{untyped}, "-f", kBadType, "0", "prog -f", ""},
        {{kOpen, f, kClose, empty_type}, "-f", kBadType, "3", "prog -f", ""},
        {{kOpen, f, kOpen}, "-f", kBadGroup, "2", "prog -f", ""},
        {{f, kClose}, "-f", kBadGroup, "1", "prog -f", ""},
        {{kOpen, f, required[1], kClose}, "-f", UGN_OPTS_REQUIRED_IN_GROUP, "-s", "prog -f", ""},
        {{f, kOpen, f}, "-f", kUnknown, "-f", "prog -f", ""},
    };
    for (const auto& [options, line, status, quoted, left, stored] : rows) {
        SCOPED_TRACE(line.substr(0, 60));
        std::vector<UGN_OPTION> table = options;
        table.push_back(kEnd);
        // Each allocation failing in turn: UGN_MALLOC_ERR stores nothing
        // and leaves argv alone. The last run meets no failure.
        std::optional<Argv> args;
        int32_t result = 0;
        const auto parse = [&, &line = line] {
            v = Stored{};
            result = args.emplace(line).Parse(table.data());
        };
        mvxtest::FailEachAllocation(parse, [&, &line = line, &status = status](bool failed) {
            if (!failed) return;
            const bool untouched = v.Text() + args->Left() == "prog " + line;
            EXPECT_TRUE(result == status || (result == UGN_MALLOC_ERR && untouched)) << result;
            mpm_ClearError(0);
        });
        EXPECT_EQ(result, status);
        EXPECT_EQ(mpm__LastError, status);
        EXPECT_EQ(Quoted(), quoted);
        EXPECT_EQ(args->Left(), left);
        for (auto i = static_cast<std::size_t>(args->argc); i < args->words.size(); ++i)
            EXPECT_EQ(args->argv[i], nullptr) << "compacted entry " << i;
        EXPECT_EQ(v.Text(), stored);
        const auto word = std::find(args->words.begin(), args->words.end(), v.s ? v.s : "");
        EXPECT_TRUE(!v.s || word->data() == v.s); // the argument itself, not a copy
        mpm_ClearError(0);
    }

    // A null table knows no options; without arguments only the required
    // options matter; a count below 2 leaves argv alone; a null entry ends
    // the options.
    EXPECT_EQ(Argv("-f").Parse(nullptr), UGN_OPTS_UNKNOWN_OPTION);
    const UGN_OPTION table[] = {required[0], required[1], kEnd}, flags[] = {required[0], kEnd};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, nullptr, nullptr), UGN_OPTS_REQUIRED_NOT_FOUND);
    Argv args("-f x -f");
    for (int32_t count : {1, 0, -3}) {
        int32_t argc = count;
        EXPECT_EQ(ugn_ParseCommandLine(0, flags, &argc, args.argv.data()), 0);
        EXPECT_EQ(argc, count);
    }
    args.argv[2] = nullptr; // else the second "-f" would repeat
    ASSERT_EQ(args.Parse(flags), 0);
    EXPECT_EQ(args.Left(4), "prog (null) -f (null)");
}

std::string Usage(const UGN_OPTION* table, const char* program, const char* trailing,
                  const char* const* extra) {
    mvxtest::StreamCapture capture(stderr);
    EXPECT_EQ(ugn_PrintUsage(0, table, program, trailing, extra), 0);
    return capture.Finish();
}

// Required, optional and grouped options, an empty group, a stray "]", a
// group cut short by the next "[" and one left open. After "trans " the
// pieces end at column 60, so a 19-letter trailing text ends at 79 and
// stays; after a 25-letter program name the last piece would reach column
// 80 and moves to a new line, indented under the first.
TEST(Usage, PrintsTheTableAndWrapsBeforeColumn80) {
    // clang-format off
    const UGN_OPTION table[] = {
        kOpen, kClose, {"in", "s+", "file", nullptr, "input file"}, kClose,
        {"o", "s", "file", nullptr, "output file"}, kOpen, {"alpha", "i", "x", nullptr, "first"},
        {"beta", "f", "ignored", nullptr, "second"}, kClose, kOpen,
        {"gamma", "d", nullptr, nullptr, nullptr}, kOpen, {"c", nullptr, "n", nullptr, "untyped"},
        kEnd};
    // clang-format on
    const std::string line = "-in file [-o file] [-alpha x | -beta] [-gamma] ";
    const std::string list = "   -in      input file\n   -o       output file\n   -alpha   first\n"
                             "   -beta    second\n   -gamma    \n   -c       untyped\n\n";
    const char* const extra[] = {"Example:", "  trans -in a.igs", nullptr};
    EXPECT_EQ(Usage(table, "/usr/local/bin/trans", "input.igs [out.dxf]", extra),
              "Usage:\n\ntrans " + line + "[-c n] input.igs [out.dxf]\n\n" + list +
                  "Example:\n  trans -in a.igs\n\n");
    const char* const no_lines[] = {nullptr};
    EXPECT_EQ(Usage(table, "C:\\bin\\iges-to-dxf-translator-v2", nullptr, no_lines),
              "Usage:\n\niges-to-dxf-translator-v2 " + line + "\n" + std::string(26, ' ') +
                  "[-c n] \n\n" + list + "\n");
    EXPECT_EQ(Usage(nullptr, nullptr, "FILE", nullptr), "Usage:\n\n FILE\n\n\n\n");
    // A program name past column 80 wraps every piece without looping.
    const std::string program = "/x/" + std::string(100, 'p');
    EXPECT_EQ(Usage(table + 12, program.c_str(), nullptr, nullptr),
              "Usage:\n\n" + program.substr(3) + " \n" + std::string(101, ' ') +
                  "[-c n] \n\n   -c   untyped\n\n\n");
}

// The mvx program: help on standard output with status 0; a wrong option's
// message and the usage, or the usage alone, on standard error with status 2;
// otherwise the command runs.
TEST(MvxProgram, HelpAndWrongOptionsPrintTheUsageWhereTheyShould) {
    const std::string top = "Usage:\n\nmvx [--help | -h] COMMAND [ARGS]\n\n"
                            "   --help   show this help and exit\n   -h       the same as --help\n";
    const std::pair<std::string, std::string> rows[] = {
        {"--help", top}, // status 0 as for info, the others 2
        {"--bogus",
         "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option \"--bogus\" found.\n\n" + top},
        {"", top},
        {"bogus --help", "mvx: unknown command 'bogus'\n" + top},
        {"info", "module  code  messages\n"}, // anywhere in the output
    };
    for (const auto& [args, out] : rows) {
        using mvxtest::ToolStreams;
        const bool ok = args == "--help" || args == "info";
        const auto run = mvxtest::RunTool(args, ok ? ToolStreams::kStdout : ToolStreams::kStderr);
        EXPECT_EQ(run.status, ok ? 0 : 2) << args;
        const std::size_t at = run.out.find(out);
        EXPECT_TRUE(args == "info" ? at != std::string::npos : at == 0) << run.out;
    }
}

} // namespace
