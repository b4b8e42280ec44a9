// ugn_ParseCommandLine: the table check, the argument scan with every type
// letter, groups, repeats, required options, compaction, failures and
// allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

// A mutable argv built from texts, with the usual null after the last one.
class Args {
public:
    Args(std::initializer_list<const char*> texts) {
        for (const char* t : texts)
            storage_.emplace_back(t);
        for (std::string& s : storage_)
            argv_.push_back(s.data());
        argv_.push_back(nullptr);
        argc = static_cast<int32_t>(storage_.size());
    }
    char** argv() { return argv_.data(); }
    // The first n entries of argv as texts ("(null)" for null).
    std::vector<std::string> Entries(int32_t n) const {
        std::vector<std::string> out;
        for (int32_t i = 0; i < n; ++i)
            out.emplace_back(argv_[i] ? argv_[i] : "(null)");
        return out;
    }
    std::vector<std::string> Left() const { return Entries(argc); }
    int32_t argc;

private:
    std::vector<std::string> storage_;
    std::vector<char*> argv_;
};

using Texts = std::vector<std::string>;

const UGN_OPTION kEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kOpen = {"[", nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kClose = {"]", nullptr, nullptr, nullptr, nullptr};

class CommandLine : public LibraryTest {
protected:
    // The text of the most recent record on the error stack.
    static std::string LastMessage() {
        auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
        return rec != nullptr && rec->text != nullptr ? rec->text : "";
    }
    static std::string Error(const char* name, const std::string& text) {
        return std::string("*** Error (") + name + ") ***\n" + text + "\n";
    }
};

TEST_F(CommandLine, TableCheckReportsEachFaultWithItsIndex) {
    int32_t value = 0;
    const UGN_OPTION f = {"a", "f", nullptr, nullptr, nullptr};
    struct Case {
        std::vector<UGN_OPTION> table;
        int32_t status;
        std::string text;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{{"a", "f", nullptr, &value, nullptr}, {"", "f", nullptr, nullptr, nullptr}, kEnd},
         UGN_OPTS_INVALID_NAME, "Zero length name found in options structure at index 1."},
        {{{"a", nullptr, nullptr, &value, nullptr}, kEnd},
         UGN_OPTS_INVALID_TYPE, "Invalid type string found in options structure at index 0."},
        {{kOpen, f, kClose, {"b", "", nullptr, nullptr, nullptr}, kEnd},
         UGN_OPTS_INVALID_TYPE, "Invalid type string found in options structure at index 3."},
        {{kOpen, f, kOpen, kEnd},
         UGN_OPTS_INVALID_GROUP, "Invalid group found in options structure at index 2."},
        {{f, kClose, kEnd},
         UGN_OPTS_INVALID_GROUP, "Invalid group found in options structure at index 1."},
        {{kOpen, f, {"file", "s+", "name", nullptr, nullptr}, kClose, kEnd},
         UGN_OPTS_REQUIRED_IN_GROUP, "Required option \"-file\" is inside an option group."},
    };
    // clang-format on
    for (const Case& c : cases) {
        // An argument that would be unknown: the table is checked first.
        Args args{"prog", "-zz", "in"};
        EXPECT_EQ(ugn_ParseCommandLine(0, c.table.data(), &args.argc, args.argv()), c.status);
        EXPECT_EQ(LastMessage(), Error(mpm_GetMsgName(c.status), c.text));
        EXPECT_EQ(args.Left(), (Texts{"prog", "-zz", "in"}));
        mpm_ClearError(0);
    }

    // Group markers need no type; a group left open at the end is accepted.
    const UGN_OPTION open_group[] = {
        {"x", "i", "n", &value, nullptr}, kOpen, {"a", "f", nullptr, nullptr, nullptr}, kEnd};
    Args args{"prog", "-x", "4"};
    EXPECT_EQ(ugn_ParseCommandLine(0, open_group, &args.argc, args.argv()), 0);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(mpm__ErrorStack->count, 0);
}

// Values stored by the main option table, and their state as text: only
// what differs from the starting values, so that rows name what changed.
struct Stored {
    int32_t f = 0, i = 42, l = 0, t = 5, alpha = 0, beta = 0, opt = 0;
    double d = 4.5;
    MDA_PTR m = 99;
    char* s = nullptr;
    std::string Text() const {
        std::string out;
        auto put = [&](bool changed, const std::string& text) {
            if (changed) out += (out.empty() ? "" : " ") + text;
        };
        put(f != 0, "f=" + std::to_string(f));
        put(d != 4.5, "d=" + std::to_string(d));
        put(i != 42, "i=" + std::to_string(i));
        put(l != 0, "l=" + std::to_string(l));
        put(m != 99, "m=" + std::to_string(static_cast<uint64_t>(m) >> 57) + ":" +
                         std::to_string(m & ((MDA_PTR{1} << 57) - 1)));
        put(s != nullptr, std::string("s=") + (s ? s : ""));
        put(t != 5, "t=" + std::to_string(t >> 16) + ":" + std::to_string(t & 0xFFFF));
        put(alpha != 0, "alpha=" + std::to_string(alpha));
        put(beta != 0, "beta=" + std::to_string(beta));
        return out;
    }
};

// Each row is one command line (words split at blanks, after "prog") parsed
// with one table of every type letter, a group, options without a value
// pointer and an unknown type letter: the status, the message text (after
// its banner), argv afterwards and the values stored.
TEST_F(CommandLine, ParsesStoresCompactsAndRefusesByTheTable) {
    Stored v;
    const UGN_OPTION table[] = {
        {"f", "f", nullptr, &v.f, "a flag"},    {"d", "d", "x", &v.d, nullptr},
        {"i", "i", "n", &v.i, nullptr},         {"l", "l", "n", &v.l, nullptr},
        {"m", "m", "ptr", &v.m, nullptr},       {"s", "s", "text", &v.s, nullptr},
        {"t", "t", "tf", &v.t, nullptr},        {"x", "x", "v", nullptr, nullptr},
        {"opt", "x", "v", &v.opt, nullptr},     kOpen,
        {"alpha", "i", "x", &v.alpha, nullptr}, {"beta", "f", nullptr, &v.beta, nullptr},
        {"k", "s", "key", nullptr, nullptr},    kClose,
        {"v", "f", nullptr, nullptr, nullptr},  kEnd};
    const std::string missing = " requires a value to be specified.";
    struct Case {
        std::string args;
        int32_t status;
        std::string message, left, stored;
    };
    std::vector<Case> cases = {
        {"-f -d 2.5 -i -7 -l 123456 -m 3:17 -s hello -t 110:2 in.igs out.dxf", 0, "",
         "prog in.igs out.dxf", "f=1 d=2.500000 i=-7 l=123456 m=3:17 s=hello t=110:2"},
        {"-m 17", 0, "", "prog", "m=0:17"}, // an entity of model 0
        // Numbers are read like scanf: what is there at the start, clamped.
        {"-i abc rest", 0, "", "prog rest", ""},
        {"-i 12abc rest", 0, "", "prog rest", "i=12"},
        {"-i \t7", 0, "", "prog", "i=7"},
        {"-i 99999999999", 0, "", "prog", "i=2147483647"},
        {"-i -99999999999 -l -9 -d -2.5e3", 0, "", "prog", "d=-2500.000000 i=-2147483648 l=-9"},
        {"-d x1", 0, "", "prog", ""},
        {"-d 1e3xyz", 0, "", "prog", "d=1000.000000"},
        {"-m 3:x", 0, "", "prog", ""},
        {"-m 3\t:4", 0, "", "prog", ""}, // ':' must follow the model at once
        {"-m x", 0, "", "prog", ""},
        {"-m 200:5", 0, "", "prog", "m=72:5"}, // 7 model bits
        {"-m 1:-1", 0, "", "prog", "m=1:144115188075855871"},
        // Only numeric values may begin with a minus.
        {"-s -x", UGN_OPTS_VALUE_MISSING, "Option \"-s\"" + missing, "prog -s -x", ""},
        {"-m -x", UGN_OPTS_VALUE_MISSING, "Option \"-m\"" + missing, "prog -m -x", ""},
        {"-t -x", UGN_OPTS_VALUE_MISSING, "Option \"-t\"" + missing, "prog -t -x", ""},
        {"-i", UGN_OPTS_VALUE_MISSING, "Option \"-i\"" + missing, "prog -i", ""},
        {"-k -v", UGN_OPTS_VALUE_MISSING, "Option \"-k\"" + missing, "prog -k -v", ""},
        {"-t 110", UGN_OPTS_INVALID_TF, "Invalid type/form \"110\" specified for option \"-t\".",
         "prog -t 110", ""},
        {"-t a:b", UGN_OPTS_INVALID_TF, "Invalid type/form \"a:b\" specified for option \"-t\".",
         "prog -t a:b", ""},
        {"-t 110:", UGN_OPTS_INVALID_TF, "Invalid type/form \"110:\" specified for option \"-t\".",
         "prog -t 110:", ""},
        {"-t :2", UGN_OPTS_INVALID_TF, "Invalid type/form \":2\" specified for option \"-t\".",
         "prog -t :2", ""},
        // An unknown type letter matters only where a value is stored.
        {"-opt 1", UGN_OPTS_ILLEGAL_TYPE, "Type \"x\" for option \"opt\" is not a known type.",
         "prog -opt 1", ""},
        {"-x 1 in", 0, "", "prog -x 1 in", ""},
        // Groups take one member; what was taken before a failure stays
        // stored and null in argv, which is not compacted.
        {"-f -beta -alpha 3", UGN_OPTS_CONFLICT,
         "Options \"-alpha\" and \"-beta\" can not be specified at the same time.",
         "prog (null) (null) -alpha 3", "f=1 beta=1"},
        {"-f -f", UGN_OPTS_REPEATED_OPTION, "Option \"-f\" was specified more than once.",
         "prog (null) -f", "f=1"},
        {"-alpha 8 file", 0, "", "prog file", "alpha=8"},
        // Options without a value pointer stay in argv, may repeat, and a
        // group member of them seen first still conflicts (not the other order).
        {"-v -k one -v -k two rest", 0, "", "prog -v -k one -v -k two rest", ""},
        {"-k a -beta", UGN_OPTS_CONFLICT,
         "Options \"-beta\" and \"-k\" can not be specified at the same time.", "prog -k a -beta",
         ""},
        {"-beta -k a", 0, "", "prog -k a", "beta=1"},
        // The scan ends at the first positional argument.
        {"in.igs -f -zz", 0, "", "prog in.igs -f -zz", ""},
        // Unknown options, hostile ones included.
        {"-f -", UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"-\" found.", "prog (null) -", "f=1"},
        {"--f", UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"--f\" found.", "prog --f", ""},
        {"-F", UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"-F\" found.", "prog -F", ""},
        {"-[", UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"-[\" found.", "prog -[", ""},
        {"-]", UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"-]\" found.", "prog -]", ""},
    };
    const std::string huge = "-" + std::string(100000, 'q');
    cases.push_back({huge, UGN_OPTS_UNKNOWN_OPTION, "Unknown option \"" + huge + "\" found.",
                     "prog " + huge, ""});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.substr(0, 60));
        std::vector<std::string> words = {"prog"};
        for (std::size_t at = 0; at < c.args.size();) {
            const std::size_t end = std::min(c.args.find(' ', at), c.args.size());
            words.push_back(c.args.substr(at, end - at));
            at = end + 1;
        }
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        auto argc = static_cast<int32_t>(words.size());
        v = Stored{};
        mpm_ClearError(0);
        EXPECT_EQ(ugn_ParseCommandLine(0, table, &argc, argv.data()), c.status);
        EXPECT_EQ(mvxtest::LastText(),
                  c.status == 0 ? "" : Error(mpm_GetMsgName(c.status), c.message));
        std::string left;
        for (int32_t i = 0; i < argc; ++i)
            left += (i ? " " : "") + std::string(argv[i] ? argv[i] : "(null)");
        EXPECT_EQ(left, c.left);
        for (std::size_t i = static_cast<std::size_t>(argc); i < words.size(); ++i)
            EXPECT_EQ(argv[i], nullptr) << "compacted entry " << i;
        EXPECT_EQ(v.Text(), c.stored);
        if (v.s != nullptr) { // the argument itself, not a copy
            EXPECT_TRUE(
                std::any_of(words.begin(), words.end(), [&](auto& w) { return w.data() == v.s; }));
        }
    }
}

TEST_F(CommandLine, RequiredOptionsNullTablesCountsAndEntries) {
    char* file = nullptr;
    int32_t v = 0, b = 0;
    const UGN_OPTION table[] = {
        {"v", "f", nullptr, &v, nullptr}, {"file", "s+", "name", &file, "input"}, kEnd};
    Args without{"prog", "-v", "in.igs"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &without.argc, without.argv()),
              UGN_OPTS_REQUIRED_NOT_FOUND);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_REQUIRED_NOT_FOUND", "Required option \"-file\" not specified."));
    EXPECT_EQ(without.Left(), (Texts{"prog", "(null)", "in.igs"})); // not compacted
    Args bare{"prog"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &bare.argc, bare.argv()), UGN_OPTS_REQUIRED_NOT_FOUND);
    EXPECT_EQ(ugn_ParseCommandLine(0, table, nullptr, nullptr), UGN_OPTS_REQUIRED_NOT_FOUND);
    Args with{"prog", "-file", "a.igs", "b.dxf"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &with.argc, with.argv()), 0);
    EXPECT_STREQ(file, "a.igs");
    EXPECT_EQ(with.Left(), (Texts{"prog", "b.dxf"}));

    // A null table knows no options; without arguments it is fine.
    Args any{"prog", "-a"};
    EXPECT_EQ(ugn_ParseCommandLine(0, nullptr, &any.argc, any.argv()), UGN_OPTS_UNKNOWN_OPTION);
    Args none{"prog", "x"};
    EXPECT_EQ(ugn_ParseCommandLine(0, nullptr, &none.argc, none.argv()), 0);
    EXPECT_EQ(none.Left(), (Texts{"prog", "x"}));
    const UGN_OPTION flags[] = {
        {"v", "f", nullptr, &v, nullptr}, {"b", "f", nullptr, &b, nullptr}, kEnd};
    // A count of 0 or below leaves everything alone.
    for (int32_t count : {0, -3}) {
        int32_t argc = count;
        EXPECT_EQ(ugn_ParseCommandLine(0, flags, &argc, any.argv()), 0);
        EXPECT_EQ(argc, count);
    }
    // A null entry inside argv ends the options.
    v = 0;
    Args args{"prog", "-v", "x", "-b"};
    args.argv()[2] = nullptr;
    ASSERT_EQ(ugn_ParseCommandLine(0, flags, &args.argc, args.argv()), 0);
    EXPECT_EQ(v + 10 * b, 1);
    EXPECT_EQ(args.Entries(4), (Texts{"prog", "(null)", "-b", "(null)"}));
}

// With each allocation failing in turn the parse reports UGN_MALLOC_ERR
// (raising the memory exception), stores nothing and leaves argv alone; a
// parse that fails on its own keeps its status whichever later allocation
// (inside the message module) fails.
int g_memory_raised = 0;

TEST_F(CommandLine, AllocationFailureIsReportedAndChangesNothing) {
    mpm_SetException(MVX_EXC_MEMORY, [](uint32_t, int32_t) { ++g_memory_raised; });
    int32_t a = 0;
    const UGN_OPTION table[] = {{"a", "i", "n", &a, nullptr}, kEnd};
    for (const bool good : {true, false}) {
        Args args = good ? Args{"prog", "-a", "5", "in"} : Args{"prog", "-zz"};
        int32_t status = 0;
        long n = 0;
        auto run = [&] {
            g_memory_raised = 0, a = 0, ++n;
            args = good ? Args{"prog", "-a", "5", "in"} : Args{"prog", "-zz"};
            status = ugn_ParseCommandLine(0, table, &args.argc, args.argv());
        };
        mvxtest::FailEachAllocation(run, [&](bool failed) {
            EXPECT_EQ(mpm__LastError, status);
            if (!good) {
                EXPECT_EQ(status, n == 1 ? UGN_MALLOC_ERR : UGN_OPTS_UNKNOWN_OPTION);
                return mpm_ClearError(0), void();
            }
            EXPECT_EQ(status, failed ? UGN_MALLOC_ERR : 0);
            EXPECT_EQ(g_memory_raised >= 1, failed);
            EXPECT_EQ(a, failed ? 0 : 5);
            EXPECT_EQ(args.Left(),
                      failed ? Texts({"prog", "-a", "5", "in"}) : Texts({"prog", "in"}));
            mpm_ClearError(0);
        });
    }
}

} // namespace
