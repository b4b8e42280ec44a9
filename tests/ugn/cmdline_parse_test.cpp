// ugn_ParseCommandLine: the table check, the argument scan with every type
// letter, groups, repeats, required options, compaction, failures and
// allocation failures.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

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
    struct Case {
        std::vector<UGN_OPTION> table;
        int32_t status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{"a", "f", nullptr, &value, nullptr}, {"", "f", nullptr, nullptr, nullptr}, kEnd},
         UGN_OPTS_INVALID_NAME,
         Error("UGN_OPTS_INVALID_NAME", "Zero length name found in options structure at index 1.")},
        {{{"a", nullptr, nullptr, &value, nullptr}, kEnd},
         UGN_OPTS_INVALID_TYPE,
         Error("UGN_OPTS_INVALID_TYPE",
               "Invalid type string found in options structure at index 0.")},
        {{kOpen,
          {"a", "f", nullptr, nullptr, nullptr},
          kClose,
          {"b", "", nullptr, nullptr, nullptr},
          kEnd},
         UGN_OPTS_INVALID_TYPE,
         Error("UGN_OPTS_INVALID_TYPE",
               "Invalid type string found in options structure at index 3.")},
        {{kOpen, {"a", "f", nullptr, nullptr, nullptr}, kOpen, kEnd},
         UGN_OPTS_INVALID_GROUP,
         Error("UGN_OPTS_INVALID_GROUP", "Invalid group found in options structure at index 2.")},
        {{{"a", "f", nullptr, nullptr, nullptr}, kClose, kEnd},
         UGN_OPTS_INVALID_GROUP,
         Error("UGN_OPTS_INVALID_GROUP", "Invalid group found in options structure at index 1.")},
        {{kOpen,
          {"a", "f", nullptr, nullptr, nullptr},
          {"file", "s+", "name", nullptr, nullptr},
          kClose,
          kEnd},
         UGN_OPTS_REQUIRED_IN_GROUP,
         Error("UGN_OPTS_REQUIRED_IN_GROUP",
               "Required option \"-file\" is inside an option group.")},
    };
    for (const Case& c : cases) {
        // An argument that would be unknown: the table is checked first.
        Args args{"prog", "-zz", "in"};
        EXPECT_EQ(ugn_ParseCommandLine(0, c.table.data(), &args.argc, args.argv()), c.status);
        EXPECT_EQ(LastMessage(), c.message);
        EXPECT_EQ(args.argc, 3);
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

TEST_F(CommandLine, StoresEveryTypeLetterAndCompactsArgv) {
    int32_t flag = 0, integer = 0, lng = 0, tf = 0;
    double real = 0;
    MDA_PTR ptr = 0;
    char* text = nullptr;
    const UGN_OPTION table[] = {
        {"f", "f", nullptr, &flag, "a flag"}, {"d", "d", "x", &real, nullptr},
        {"i", "i", "n", &integer, nullptr},   {"l", "l", "n", &lng, nullptr},
        {"m", "m", "ptr", &ptr, nullptr},     {"s", "s", "text", &text, nullptr},
        {"t", "t", "tf", &tf, nullptr},       kEnd};
    Args args{"prog", "-f",   "-d", "2.5",   "-i", "-7",    "-l",     "123456",
              "-m",   "3:17", "-s", "hello", "-t", "110:2", "in.igs", "out.dxf"};
    char* hello = args.argv()[11];
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(integer, -7);
    EXPECT_EQ(lng, 123456);
    EXPECT_EQ(ptr, (static_cast<MDA_PTR>(3) << 57) | 17);
    EXPECT_EQ(text, hello); // the argument itself, not a copy
    EXPECT_EQ(tf, 110 * 65536 + 2);
    EXPECT_EQ(args.argc, 3);
    EXPECT_EQ(args.Entries(16), (Texts{"prog", "in.igs", "out.dxf", "(null)", "(null)", "(null)",
                                       "(null)", "(null)", "(null)", "(null)", "(null)", "(null)",
                                       "(null)", "(null)", "(null)", "(null)"}));

    // "m" without a colon is an entity of model 0.
    Args entity{"prog", "-m", "17"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &entity.argc, entity.argv()), 0);
    EXPECT_EQ(ptr, 17);
    EXPECT_EQ(entity.Left(), Texts{"prog"});
}

TEST_F(CommandLine, OnlyNumericValuesMayBeginWithAMinus) {
    int32_t n = 0, l = 0, tf = 0;
    double d = 0;
    MDA_PTR m = 0;
    char* name = nullptr;
    const UGN_OPTION table[] = {{"n", "i", "count", &n, nullptr},
                                {"l", "l", "n", &l, nullptr},
                                {"d", "d", "x", &d, nullptr},
                                {"m", "m", "p", &m, nullptr},
                                {"name", "s", "text", &name, nullptr},
                                {"t", "t", "tf", &tf, nullptr},
                                kEnd};
    Args numbers{"prog", "-n", "-5", "-l", "-9", "-d", "-2.5e3"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &numbers.argc, numbers.argv()), 0);
    EXPECT_EQ(n, -5);
    EXPECT_EQ(l, -9);
    EXPECT_EQ(d, -2500.0);
    EXPECT_EQ(numbers.Left(), Texts{"prog"});

    for (const char* option : {"-name", "-m", "-t"}) {
        Args args{"prog", option, "-x"};
        EXPECT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), UGN_OPTS_VALUE_MISSING);
        EXPECT_EQ(LastMessage(),
                  Error("UGN_OPTS_VALUE_MISSING", std::string("Option \"") + option +
                                                      "\" requires a value to be specified."));
        EXPECT_EQ(args.Left(), (Texts{"prog", option, "-x"}));
    }
    // A value missing at the end of the line, for a numeric option too.
    Args last{"prog", "-n"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &last.argc, last.argv()), UGN_OPTS_VALUE_MISSING);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_VALUE_MISSING", "Option \"-n\" requires a value to be specified."));
    EXPECT_EQ(name, nullptr);
}

TEST_F(CommandLine, NumbersAreReadLikeScanfAndClamped) {
    int32_t n = 42;
    double d = 4.5;
    MDA_PTR m = 99;
    const UGN_OPTION table[] = {{"n", "i", "count", &n, nullptr},
                                {"d", "d", "x", &d, nullptr},
                                {"m", "m", "p", &m, nullptr},
                                kEnd};
    struct Case {
        const char* option;
        const char* value;
        int32_t n;
        double d;
        MDA_PTR m;
    };
    const MDA_PTR entity_mask = (static_cast<MDA_PTR>(1) << 57) - 1;
    const Case cases[] = {
        {"-n", "abc", 42, 4.5, 99},   // no number: unchanged, but consumed
        {"-n", "12abc", 12, 4.5, 99}, // the number at the start
        {"-n", " 7", 7, 4.5, 99},     // leading blanks skipped
        {"-n", "99999999999", INT32_MAX, 4.5, 99},
        {"-n", "-99999999999", INT32_MIN, 4.5, 99},
        {"-d", "x1", INT32_MIN, 4.5, 99},
        {"-d", "1e3xyz", INT32_MIN, 1000.0, 99},
        {"-m", "3:x", INT32_MIN, 1000.0, 99},  // entity unreadable: unchanged
        {"-m", "3 :4", INT32_MIN, 1000.0, 99}, // ':' must follow the model at once
        {"-m", "x", INT32_MIN, 1000.0, 99},
        {"-m", "200:5", INT32_MIN, 1000.0,
         static_cast<MDA_PTR>(static_cast<uint64_t>(200 & 0x7F) << 57) | 5}, // 7 model bits
        {"-m", "1:-1", INT32_MIN, 1000.0, (static_cast<MDA_PTR>(1) << 57) | entity_mask},
    };
    for (const Case& c : cases) {
        Args args{"prog", c.option, c.value, "rest"};
        ASSERT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), 0) << c.value;
        EXPECT_EQ(n, c.n) << c.value;
        EXPECT_EQ(d, c.d) << c.value;
        EXPECT_EQ(m, c.m) << c.value;
        EXPECT_EQ(args.Left(), (Texts{"prog", "rest"})) << c.value;
    }
}

TEST_F(CommandLine, TypeFormNeedsTwoNumbersAroundAColon) {
    int32_t tf = 5;
    const UGN_OPTION table[] = {{"t", "t", "tf", &tf, nullptr}, kEnd};
    for (const char* bad : {"110", "a:b", "110:", ":2"}) {
        Args args{"prog", "-t", bad};
        EXPECT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), UGN_OPTS_INVALID_TF);
        EXPECT_EQ(LastMessage(),
                  Error("UGN_OPTS_INVALID_TF", std::string("Invalid type/form \"") + bad +
                                                   "\" specified for option \"-t\"."));
        EXPECT_EQ(tf, 5);
        EXPECT_EQ(args.Left(), (Texts{"prog", "-t", bad}));
    }
    Args good{"prog", "-t", "110:2"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &good.argc, good.argv()), 0);
    EXPECT_EQ(tf, 110 * 65536 + 2);
}

TEST_F(CommandLine, UnknownTypeLetterIsReportedOnlyWhereAValueIsStored) {
    int32_t value = 0;
    const UGN_OPTION stored[] = {{"opt", "x", "v", &value, nullptr}, kEnd};
    Args args{"prog", "-opt", "1"};
    EXPECT_EQ(ugn_ParseCommandLine(0, stored, &args.argc, args.argv()), UGN_OPTS_ILLEGAL_TYPE);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_ILLEGAL_TYPE", "Type \"x\" for option \"opt\" is not a known type."));

    const UGN_OPTION passed[] = {{"opt", "x", "v", nullptr, nullptr}, kEnd};
    Args kept{"prog", "-opt", "1", "in"};
    EXPECT_EQ(ugn_ParseCommandLine(0, passed, &kept.argc, kept.argv()), 0);
    EXPECT_EQ(kept.Left(), (Texts{"prog", "-opt", "1", "in"}));
}

TEST_F(CommandLine, GroupsRejectASecondMemberAndOptionsRejectRepeats) {
    int32_t a = 0, b = 0, c = 0, other = 0;
    const UGN_OPTION table[] = {kOpen,
                                {"alpha", "i", "x", &a, nullptr},
                                {"beta", "f", nullptr, &b, nullptr},
                                {"gamma", "f", nullptr, &c, nullptr},
                                kClose,
                                {"o", "f", nullptr, &other, nullptr},
                                kEnd};
    Args conflict{"prog", "-o", "-beta", "-alpha", "3"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &conflict.argc, conflict.argv()), UGN_OPTS_CONFLICT);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_CONFLICT",
                    "Options \"-alpha\" and \"-beta\" can not be specified at the same time."));
    // What was taken before the failure stays stored and null in argv.
    EXPECT_EQ(other, 1);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(conflict.argc, 5);
    EXPECT_EQ(conflict.Left(), (Texts{"prog", "(null)", "(null)", "-alpha", "3"}));

    Args repeat{"prog", "-o", "-o"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &repeat.argc, repeat.argv()),
              UGN_OPTS_REPEATED_OPTION);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_REPEATED_OPTION", "Option \"-o\" was specified more than once."));

    // One member of a group alone is fine.
    a = 0;
    Args single{"prog", "-alpha", "8", "file"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &single.argc, single.argv()), 0);
    EXPECT_EQ(a, 8);
    EXPECT_EQ(single.Left(), (Texts{"prog", "file"}));
}

TEST_F(CommandLine, OptionsWithoutValuePointerAreCheckedButStayInArgv) {
    int32_t x = 0;
    const UGN_OPTION table[] = {
        kOpen,  {"k", "s", "key", nullptr, nullptr},   {"x", "f", nullptr, &x, nullptr},
        kClose, {"v", "f", nullptr, nullptr, nullptr}, kEnd};
    // Repeats of such options are allowed, and they stay with their values.
    Args args{"prog", "-v", "-k", "one", "-v", "-k", "two", "rest"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), 0);
    EXPECT_EQ(args.Left(), (Texts{"prog", "-v", "-k", "one", "-v", "-k", "two", "rest"}));
    // The value is still required, and for a string it may not begin with '-'.
    Args missing{"prog", "-k", "-v"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &missing.argc, missing.argv()),
              UGN_OPTS_VALUE_MISSING);
    // A group member without value pointer seen first still conflicts with
    // a member that stores; the other order is not checked.
    Args first{"prog", "-k", "a", "-x"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &first.argc, first.argv()), UGN_OPTS_CONFLICT);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_CONFLICT",
                    "Options \"-x\" and \"-k\" can not be specified at the same time."));
    x = 0;
    Args second{"prog", "-x", "-k", "a"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &second.argc, second.argv()), 0);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(second.Left(), (Texts{"prog", "-k", "a"}));
}

TEST_F(CommandLine, RequiredOptionsMustBeGiven) {
    char* file = nullptr;
    int32_t v = 0;
    const UGN_OPTION table[] = {
        {"v", "f", nullptr, &v, nullptr}, {"file", "s+", "name", &file, "input"}, kEnd};
    Args without{"prog", "-v", "in.igs"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &without.argc, without.argv()),
              UGN_OPTS_REQUIRED_NOT_FOUND);
    EXPECT_EQ(LastMessage(),
              Error("UGN_OPTS_REQUIRED_NOT_FOUND", "Required option \"-file\" not specified."));
    EXPECT_EQ(without.argc, 3); // not compacted after a failure
    EXPECT_EQ(without.Left(), (Texts{"prog", "(null)", "in.igs"}));

    // Also with no arguments at all, or no argv.
    Args bare{"prog"};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &bare.argc, bare.argv()), UGN_OPTS_REQUIRED_NOT_FOUND);
    EXPECT_EQ(ugn_ParseCommandLine(0, table, nullptr, nullptr), UGN_OPTS_REQUIRED_NOT_FOUND);

    Args with{"prog", "-file", "a.igs", "b.dxf"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &with.argc, with.argv()), 0);
    EXPECT_STREQ(file, "a.igs");
    EXPECT_EQ(with.Left(), (Texts{"prog", "b.dxf"}));
}

TEST_F(CommandLine, ScanStopsAtTheFirstPositionalArgument) {
    int32_t a = 0, b = 0;
    const UGN_OPTION table[] = {
        {"a", "i", "n", &a, nullptr}, {"b", "f", nullptr, &b, nullptr}, kEnd};
    Args args{"prog", "-a", "1", "in.igs", "out.dxf"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(args.argc, 3);
    EXPECT_EQ(args.Entries(5), (Texts{"prog", "in.igs", "out.dxf", "(null)", "(null)"}));

    Args later{"prog", "in.igs", "-b", "-zz"};
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &later.argc, later.argv()), 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(later.Left(), (Texts{"prog", "in.igs", "-b", "-zz"}));
}

TEST_F(CommandLine, UnknownOptionsIncludingHostileOnes) {
    int32_t a = 0;
    const UGN_OPTION table[] = {{"a", "f", nullptr, &a, nullptr}, kOpen, kClose, kEnd};
    const std::string huge = "-" + std::string(100000, 'q');
    for (const std::string& arg : {std::string("-"), std::string("--a"), std::string("-A"),
                                   std::string("-["), std::string("-]"), huge}) {
        Args args{"prog", "-a", arg.c_str()};
        a = 0;
        EXPECT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), UGN_OPTS_UNKNOWN_OPTION);
        EXPECT_EQ(LastMessage(),
                  Error("UGN_OPTS_UNKNOWN_OPTION", "Unknown option \"" + arg + "\" found."))
            << arg.substr(0, 10);
        EXPECT_EQ(a, 1);
        mpm_ClearError(0);
    }
    // A null table knows no options; without arguments it is fine.
    Args any{"prog", "-a"};
    EXPECT_EQ(ugn_ParseCommandLine(0, nullptr, &any.argc, any.argv()), UGN_OPTS_UNKNOWN_OPTION);
    Args none{"prog", "x"};
    EXPECT_EQ(ugn_ParseCommandLine(0, nullptr, &none.argc, none.argv()), 0);
    EXPECT_EQ(none.Left(), (Texts{"prog", "x"}));
    // A count of 0 or a negative count leaves everything alone.
    int32_t zero = 0;
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &zero, any.argv()), 0);
    EXPECT_EQ(zero, 0);
    int32_t negative = -3;
    EXPECT_EQ(ugn_ParseCommandLine(0, table, &negative, any.argv()), 0);
    EXPECT_EQ(negative, -3);
}

TEST_F(CommandLine, NullEntryInsideArgvEndsTheOptions) {
    int32_t a = 0, b = 0;
    const UGN_OPTION table[] = {
        {"a", "f", nullptr, &a, nullptr}, {"b", "f", nullptr, &b, nullptr}, kEnd};
    Args args{"prog", "-a", "x", "-b"};
    args.argv()[2] = nullptr;
    ASSERT_EQ(ugn_ParseCommandLine(0, table, &args.argc, args.argv()), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(args.argc, 3);
    EXPECT_EQ(args.Entries(4), (Texts{"prog", "(null)", "-b", "(null)"}));
}

TEST_F(CommandLine, LargeTableFindsEveryOption) {
    // 3000 options, every tenth given on the command line in reverse order.
    const int count = 3000;
    std::vector<std::string> names;
    std::vector<int32_t> values(count, -1);
    for (int i = 0; i < count; ++i)
        names.push_back("opt" + std::to_string(i));
    std::vector<UGN_OPTION> table;
    for (int i = 0; i < count; ++i)
        table.push_back({names[i].c_str(), "i", "n", &values[i], nullptr});
    table.push_back(kEnd);
    std::vector<std::string> texts = {"prog"};
    for (int i = count - 1; i >= 0; i -= 10) {
        texts.push_back("-" + names[i]);
        texts.push_back(std::to_string(i));
    }
    texts.push_back("tail");
    std::vector<char*> argv;
    for (std::string& t : texts)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    int32_t argc = static_cast<int32_t>(texts.size());
    ASSERT_EQ(ugn_ParseCommandLine(0, table.data(), &argc, argv.data()), 0);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(values[i], (count - 1 - i) % 10 == 0 ? i : -1);
    EXPECT_EQ(argc, 2);
    EXPECT_STREQ(argv[1], "tail");
}

// Fails the 1st, 2nd, ... allocation in turn until the call no longer meets
// the failure: the parse reports UGN_MALLOC_ERR (raising the memory
// exception), stores nothing and leaves argv alone; later failures inside
// the message module do not change the status a failing parse returns.
int g_memory_raised = 0;

TEST_F(CommandLine, AllocationFailureIsReportedAndChangesNothing) {
    mpm_SetException(MVX_EXC_MEMORY, [](uint32_t, int32_t) { ++g_memory_raised; });
    int32_t a = 0;
    const UGN_OPTION table[] = {{"a", "i", "n", &a, nullptr}, kEnd};
    bool completed = false;
    for (long n = 1; n < 50 && !completed; ++n) {
        g_memory_raised = 0;
        a = 0;
        Args args{"prog", "-a", "5", "in"};
        mvxc::SetAllocFailure(n);
        const int32_t status = ugn_ParseCommandLine(0, table, &args.argc, args.argv());
        completed = mvxc::AllocCount() < n;
        mvxc::SetAllocFailure(0);
        if (completed) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(a, 5);
            EXPECT_EQ(args.Left(), (Texts{"prog", "in"}));
        } else {
            EXPECT_EQ(status, UGN_MALLOC_ERR);
            EXPECT_GE(g_memory_raised, 1);
            EXPECT_EQ(a, 0);
            EXPECT_EQ(args.Left(), (Texts{"prog", "-a", "5", "in"}));
        }
        mpm_ClearError(0);
    }
    EXPECT_TRUE(completed);

    // A parse that fails on its own keeps its status whichever allocation fails.
    completed = false;
    for (long n = 1; n < 50 && !completed; ++n) {
        Args args{"prog", "-zz"};
        mvxc::SetAllocFailure(n);
        const int32_t status = ugn_ParseCommandLine(0, table, &args.argc, args.argv());
        completed = mvxc::AllocCount() < n;
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(status, n == 1 ? UGN_MALLOC_ERR : UGN_OPTS_UNKNOWN_OPTION);
        EXPECT_EQ(mpm__LastError, status);
        mpm_ClearError(0);
    }
    EXPECT_TRUE(completed);
}

} // namespace
