// Recording, issuing, dumping and clearing messages; counts, limits and
// exceptions; message names; tagged argument lists; the line output (width,
// breaking at blanks, margins, justification, the final newline).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "mpm/mpm_test_util.h"
#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mpmtest::Message;
using mpmtest::Take;
using mvxtest::OutputRecorder;
using mvxtest::StackTexts;
using Lines = std::vector<std::string>;
using LineOutput = mvxtest::LibraryTest;
using Raised = std::vector<std::pair<uint32_t, int32_t>>;
using Texts = std::vector<std::string>;

Raised g_raised;

const char kNotFound[] = "*** Error (OTM_NOTFOUND) ***\nObject not found\n";
const char kNullWarning[] = "*** Warning (OTM_NULLPOINTER) ***\nNULL pointer\n";

// A text on the heap, as the prefix tag takes it.
char* Heap(const char* text) {
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    return std::strcpy(copy, text);
}

// mpm__FormatMessage on a heap copy of source: its status and the text after.
std::string Format(const char* source, ...) {
    va_list ap;
    va_start(ap, source);
    char* text = Heap(source);
    const int32_t status = mpm__FormatMessage(0, &text, &ap);
    va_end(ap);
    return std::to_string(status) + " " + Take(text);
}

class Messages : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        g_raised.clear();
        for (uint32_t key : {1u, 2u, 3u, 4u, 0x10001u, 0x10002u, 0x10003u, 0x10004u, 0x10005u})
            mpm_SetException(key, [](uint32_t k, int32_t code) { g_raised.emplace_back(k, code); });
    }
    static const MPM_ERRCOUNT* Count(int32_t code) {
        return static_cast<const MPM_ERRCOUNT*>(otm_GetObject(OTM_QUIET, mpm__ErrorTree, &code));
    }
    // What mpm_DumpStack(mode) prints on standard error (nothing on standard output).
    static std::string Dump(uint32_t mode) {
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(mpm_DumpStack(mode), 0);
        EXPECT_EQ(rec.On(stdout), "");
        return rec.On(stderr);
    }
};

TEST_F(Messages, SetErrorStacksBannerAndTextAndRaisesClassThenSeverityToItsHandlers) {
    EXPECT_EQ(mpm__SetError(0, 0x30002, 0x10004, 7), 0x30002);
    EXPECT_TRUE(mpm__LastError == 0x30002 && mpm__LastErrorLevel == 0x10004);
    EXPECT_EQ(g_raised, (Raised{{1, 0x30002}, {0x10004, 0x30002}}));
    EXPECT_TRUE(Count(0x30002)->issued == 1 && mpm__ErrorLevelCount[3] == 1);
    g_raised.clear();
    mpm__SetError(0, OTM_NOMEMORY, MPM_FATAL); // class 2: the memory exception
    EXPECT_EQ(g_raised, (Raised{{2, OTM_NOMEMORY}, {0x10005, OTM_NOMEMORY}}));
    // Without a banner; with a prefix and a source location from the tags.
    mpm__SetError(MPM_NO_BANNER, OLM_INVALIDPOSITION, MPM_WARNING, 12);
    // Prefixes are appended (a null one ignored); the arguments follow the tags.
    mpm__SetError(MPM_TAGGED, OLM_SIZENOTEQ, MPM_INFO, MPM_TAG_PREFIX, Heap("[read"),
                  MPM_TAG_PREFIX, static_cast<char*>(nullptr), MPM_TAG_SOURCE, "reader.c", 42,
                  MPM_TAG_PREFIX, Heap("] "), MPM_TAG_END, 4, 8);
    EXPECT_EQ(StackTexts(),
              (Texts{"*** Information (OLM_SIZENOTEQ) ***\n[read] Data size one (4) "
                     "does not equal data size two (8)\n",
                     "Invalid position = 12\n", "*** Fatal (OTM_NOMEMORY) ***\nOut of memory\n",
                     "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 7\n"}));
    EXPECT_TRUE(std::string(mpm__File) == "reader.c" && mpm__Line == 42);
    // Invalid codes print the invalid message and raise only the severity.
    mpm_ClearStack(0);
    g_raised.clear();
    mpm__SetError(0, 0x7F0001, MPM_ERROR, 1, 2, 3); // no such module
    mpm__SetError(0, 0, MPM_WARNING);
    EXPECT_EQ(StackTexts(), (Texts{"*** Warning (NOERR) ***\n..... INVALID MESSAGE .....\n",
                                   "*** Error (UNKNOWN) ***\n..... INVALID MESSAGE .....\n"}));
    EXPECT_EQ(g_raised, (Raised{{0x10004, 0x7F0001}, {0x10003, 0}}));
    EXPECT_EQ(Count(0x7F0001)->total, 1); // counted as passed

    // A handler replaced or removed; an unknown key raises nothing.
    static int other_calls = 0;
    mpm_SetException(MVX_EXC_NONE, [](uint32_t, int32_t) { ++other_calls; });
    mpm_SetException(MPM_ERROR, nullptr);
    g_raised.clear();
    EXPECT_EQ(mpm__RaiseException(0, 0x999, 1), 0);
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    EXPECT_TRUE(g_raised.empty() && other_calls == 1);
}

TEST_F(Messages, DumpModesChooseWhichRecordsArePrintedAndKeepTheCounts) {
    const std::string first = "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 1\n\n";
    const std::string second = "*** Warning (OLM_INVALIDPOSITION) ***\nInvalid position = 2\n\n";
    const std::string third = "*** Status (OTM_NOTFOUND) ***\nObject not found\n\n";
    const std::pair<uint32_t, std::string> cases[] = {
        {0, ""},    {4, third + second + first}, {1, first},
        {2, third}, {3, third + first},          {5, third + second + first}};
    for (const auto& [mode, expected] : cases) {
        mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 1);
        mpm__SetError(0, OLM_INVALIDPOSITION, MPM_WARNING, 2);
        mpm__SetError(0, OTM_NOTFOUND, MPM_STATUS);
        EXPECT_EQ(Dump(mode), expected) << "mode " << mode;
        EXPECT_TRUE(mpm__ErrorStack->count == 0 && mpm__LastError == 0 && mpm__LastErrorLevel == 0);
    }
    EXPECT_EQ(Count(OTM_INVALIDSIZE)->issued, 6);
    // Clearing the stack uncounts its records; a reset forgets all counts
    // but keeps the limits.
    mpm_ClearError(0);
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    EXPECT_EQ(mpm_ClearStack(0), 0);
    EXPECT_TRUE(Count(OTM_NOTFOUND)->total == 0 && mpm__ErrorLevelCount[3] == 0);
    mpm__MaxErrorLevel[3] = 9;
    mpm_ClearError(0);
    EXPECT_TRUE(Count(OTM_NOTFOUND) == nullptr && mpm__MaxErrorLevel[3] == 9);
}

TEST_F(Messages, LimitsSuppressFromThePointTheyArePassed) {
    mpm__MaxError = 2;
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    g_raised.clear();
    EXPECT_EQ(mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR), OTM_NOTFOUND);
    EXPECT_EQ(mpm__ErrorStack->count, 2);
    EXPECT_EQ(g_raised, (Raised{{4, OTM_NOTFOUND}, {1, OTM_NOTFOUND}, {0x10004, OTM_NOTFOUND}}));
    EXPECT_EQ(mpm__CheckErrorCount2(OTM_NOTFOUND, MPM_ERROR), 0);
    EXPECT_EQ(Count(OTM_NOTFOUND)->issued, 3); // the second check does not count
    EXPECT_EQ(mpm__CheckErrorCount2(OTM_NULLPOINTER, MPM_ERROR), 1);
    // The limit is fixed when a code is first counted; not counting is not
    // suppressing.
    mpm__MaxError = -1;
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    EXPECT_EQ(mpm__ErrorStack->count, 2);
    mpm__SetError(MPM_NO_COUNT, OTM_NOTFOUND, MPM_ERROR);
    EXPECT_EQ(mpm__ErrorStack->count, 3);
    EXPECT_EQ(Count(OTM_NOTFOUND)->issued, 4);
    // A level limit of 0 suppresses every message of that severity.
    mpm_ClearError(0);
    mpm__MaxErrorLevel[3] = 0;
    mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
    mpm__SetError(0, OTM_NULLPOINTER, MPM_WARNING);
    EXPECT_EQ(StackTexts(), Texts{kNullWarning});
    EXPECT_EQ(mpm__ErrorLevelCount[3], 1);
}

// Issuing prints at once (and the whole stack after it with MPM_DUMP_ALL),
// then clears or keeps the stack; MPM_ISSUE_NOW prints without stacking, to
// standard error or a stream given by tag; mpm_IssueMessage prints on
// standard output and neither stacks nor counts.
TEST_F(Messages, IssuingPrintsAtOnceThenDumpsClearsOrKeepsTheStack) {
    mvxtest::OutputRecorder rec;
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    EXPECT_EQ(mpm__IssueError(MPM_DUMP_ALL, OTM_INVALIDSIZE, MPM_FATAL, -3), OTM_INVALIDSIZE);
    EXPECT_EQ(rec.On(stderr), "*** Fatal (OTM_INVALIDSIZE) ***\nInvalid size = -3\n\n" +
                                  std::string(kNotFound) + "\n");
    EXPECT_TRUE(mpm__LastError == 0 && Count(OTM_INVALIDSIZE)->issued == 1); // the dump clears it
    const size_t printed = rec.On(stderr).size();
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    mpm__IssueError(MPM_CLEAR_AFTER, OTM_NULLPOINTER, MPM_WARNING);
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    mpm__IssueError(MPM_KEEP_STACK | MPM_NO_BANNER | MPM_NO_NEWLINE, OTM_NULLPOINTER, MPM_WARNING);
    EXPECT_EQ(StackTexts(), Texts{kNotFound}); // the cleared record uncounted, the kept one here
    EXPECT_TRUE(Count(OTM_NOTFOUND)->issued == 2 && mpm__LastError == OTM_NULLPOINTER);
    EXPECT_EQ(mpm__SetError(MPM_ISSUE_NOW, OLM_INVALIDSIZE, MPM_WARNING, 0), OLM_INVALIDSIZE);
    FILE* file = std::tmpfile();
    mpm__SetError(MPM_ISSUE_NOW | MPM_TAGGED, OLM_SIZENOTEQ, MPM_ERROR, MPM_TAG_STREAM, file,
                  MPM_TAG_PREFIX, Heap("ab "), MPM_TAG_SOURCE, "x.c", 9, MPM_TAG_END, 1, 2);
    EXPECT_EQ(rec.On(file), "*** Error (OLM_SIZENOTEQ) ***\nab Data size one (1) does not "
                            "equal data size two (2)\n\n");
    std::fclose(file);
    EXPECT_EQ(rec.On(stderr).substr(printed),
              std::string(kNullWarning) + "\nNULL pointer\n" +
                  "*** Warning (OLM_INVALIDSIZE) ***\nInvalid size = 0\n\n");
    // 99 is an unknown tag: skipped, it consumes nothing.
    EXPECT_EQ(mpm_IssueMessage(MPM_TAGGED, OLM_SIZENOTEQ, 99, MPM_TAG_PREFIX, Heap("> "),
                               MPM_TAG_END, 3, 4),
              0);
    EXPECT_EQ(rec.On(stdout), "> Data size one (3) does not equal data size two (4)\n\n");
    EXPECT_EQ(StackTexts(), Texts{kNotFound});
    EXPECT_TRUE(mpm__LastError == OLM_SIZENOTEQ && Count(OTM_INVALIDSIZE)->issued == 1);
}

// Names outside the tables, computed once and kept; raw, formatted and
// invalid texts, the flag character kept by mpm__GetText, the banner, a long
// text kept whole, and a negative text index selecting a pair of texts.
TEST_F(Messages, MessageNamesAndTexts) {
    EXPECT_STREQ(mpm_GetMsgName(0), "NOERR");
    EXPECT_STREQ(mpm_GetMsgName(0x7F0001), "UNKNOWN");
    const char* kept = mpm_GetMsgName(0x30002);
    EXPECT_EQ(mpm_GetMsgName(0x30002), kept);
    EXPECT_EQ(mpm__MsgNameTree->count, 3);
    EXPECT_EQ(Message(MPM_RAW_TEXT, OTM_SIZENOTEQ) + Message(0, OTM_SIZENOTEQ, 1, 2) +
                  Message(0, 0x3000A),
              "Data size one (%d) does not equal data size two (%d)\n"
              "Data size one (1) does not equal data size two (2)\n"
              "..... INVALID MESSAGE .....\n");
    EXPECT_EQ(Take(mpm__GetText(0, 3, 2)), " Invalid size = %d\n");
    EXPECT_TRUE(mvx__Index == 1 && mpm__GetText(0, 3, 10) == nullptr);
    const std::string big(20000, 'x');
    EXPECT_EQ(Message(0, MVX_NOT_FOUND, big.c_str()), "File '" + big + "' does not exist.\n");

    static const char* const texts[] = {" short form\n", " long form\n", " other %d\n"};
    static const MVX_MSGNAME names[] = {{"PAIR", 1, -1}, {"OTHER", 1, 2}};
    mvx__Table[77] = MVX_MODULE{77, 2, 0, "APP", texts, names};
    EXPECT_EQ(Message(0, 0x4D0001) + Message(MPM_ALT_TEXT, 0x4D0001), "long form\nshort form\n");
    mpm__Option = MPM_ALT_TEXT; // the process-wide word selects it too
    EXPECT_EQ(Message(0, 0x4D0001), "short form\n");
    EXPECT_STREQ(mpm_GetMsgName(0x4D0002), "APP_OTHER");
}

// Allocation failures: each operation gives its whole result once it
// completes; while an allocation fails it gives that or `kept` (unless
// empty), raises the memory exception (with code 0) if `raises`, and the
// record stacked before stays intact. Nothing leaks.
TEST_F(Messages, EveryOperationSurvivesEveryAllocationFailure) {
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    const struct {
        std::function<std::string()> run;
        std::string whole;
        std::string kept;
        bool raises;
    } ops[] = {
        {[] {
             const int32_t rc = mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 3);
             return std::to_string(rc) + StackTexts().front();
         },
         std::to_string(OTM_INVALIDSIZE) + "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 3\n",
         "", true},
        {[] {
             mvxtest::OutputRecorder rec;
             mpm__IssueError(MPM_KEEP_STACK, OLM_INVALIDPOSITION, MPM_WARNING, 4);
             return rec.On(stderr);
         },
         "*** Warning (OLM_INVALIDPOSITION) ***\nInvalid position = 4\n\n", "", true},
        {[] { return Message(0, OLM_INVALIDPOSITION, 4); }, "Invalid position = 4\n", "<null>",
         true},
        {[] { return std::string(mpm_GetMsgName(0x20003)); }, "OLM_NULLPOINTER", "", false},
        {[] { return Format(" plain %d", 3); }, "0 plain 3",
         std::to_string(MVX_EXC_MEMORY) + "  plain %d", true},
        {[] { return Format("+%s %d %f %s %d", "a", 1, 2.0, "b", 3); }, "0 a 1 2.000000 b 3",
         std::to_string(MVX_EXC_MEMORY) + " +%s %d %f %s %d", true},
    };
    for (size_t i = 0; i < std::size(ops); ++i) {
        std::string got;
        mvxtest::FailEachAllocation(
            [&] { got = ops[i].run(); },
            [&](bool failed) {
                if (!failed || got == ops[i].whole) {
                    EXPECT_EQ(got, ops[i].whole) << "operation " << i;
                } else if (!ops[i].kept.empty()) {
                    EXPECT_EQ(got, ops[i].kept);
                }
                const auto memory = std::make_pair(2u, 0);
                EXPECT_TRUE(!failed || !ops[i].raises ||
                            std::count(g_raised.begin(), g_raised.end(), memory) != 0);
                EXPECT_EQ(StackTexts().back(), kNotFound) << "op " << i;
                EXPECT_TRUE(i != 0 || mpm__LastError == OTM_INVALIDSIZE);
                g_raised.clear();
            });
    }
}

// A start-up that ran out of memory at any point still leaves a library
// that takes and prints reports.
TEST_F(Messages, StartUpWithoutMemoryLeavesAUsableLibrary) {
    mvx_Terminate(0); // before start-up reports do not crash and names resolve
    ASSERT_EQ(mpm__ErrorStack, nullptr);
    EXPECT_EQ(otm_CreateTree(0, 0, nullptr, 0), nullptr);
    EXPECT_EQ(mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR), OTM_NOTFOUND);
    EXPECT_TRUE(mpm__LastError == OTM_NOTFOUND && std::string(mpm_GetMsgName(0)) == "NOERR");
    mpm_SetException(1, nullptr);
    EXPECT_EQ(mpm_DumpStack(4) + mpm_ClearStack(0), 0);
    for (long n = 1; n < 60; ++n) {
        mvxc::SetAllocFailure(n);
        mvx_Initialize(0);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR), OTM_NOTFOUND);
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(mpm_DumpStack(4), 0);
        mvx_Terminate(0);
    }
    mvx_Initialize(0);
}

// One text through mpm__IssueMessage: the lines written, "|" marking the
// one written as the last line.
Lines Issue(uint32_t options, const std::string& text) {
    OutputRecorder rec;
    mpm__IssueMessage(options, stdout, Heap(text.c_str()));
    Lines out;
    for (const auto& line : rec.lines())
        out.push_back((line.last_line != 0 ? "|" : "") + line.text);
    return out;
}

TEST_F(LineOutput, BreaksMarginsJustificationAndTheFinalLine) {
    const std::string a75(75, 'a'), a24(24, 'a'), a80(80, 'a'), z75(75, 'z'), ten = "0123456789";
    const struct {
        int width, left, right, justify;
        uint32_t options;
        std::string text;
        Lines lines;
    } cases[] = {
        // Breaks at the last blank within the width, or cuts at the width.
        {80, 0, 0, 1, 0, a75 + " " + a24, {a75 + "\n", "|" + a24 + "\n"}},
        {80, 0, 0, 1, 0, a80 + "a " + a24, {a80 + "\n", "|a " + a24 + "\n"}},
        {80, 0, 0, 1, 0, a80 + " ccccc", {a80 + "\n", "|ccccc\n"}},
        // A text ending in a newline is followed by an empty line, unless told.
        {80, 0, 0, 1, 0, a80 + "\n", {a80 + "\n", "|\n"}},
        {80, 0, 0, 1, MPM_NO_NEWLINE, "no end", {"|no end"}},
        {80, 0, 0, 1, MPM_NO_NEWLINE, "", {}},
        {80, 0, 0, 1, 0, "", {"|\n"}},
        // Left, centred and right justification within the margins.
        {80, 2, 0, 1, 0, ten + "\n", {"  " + ten + "\n", "|\n"}},
        {80, 2, 0, 3, 0, ten + "\n", {std::string(36, ' ') + ten + "\n", "|\n"}},
        {80, 2, 0, 2, 0, ten + "\n", {std::string(70, ' ') + ten + "\n", "|\n"}},
        {80, 2, 8, 1, MPM_NO_NEWLINE, z75, {"  " + z75.substr(5) + "\n", "|  zzzzz"}},
        // Right and centre justification count a negative left margin in full.
        {80, -5, 0, 2, MPM_NO_NEWLINE, "abc", {"|" + std::string(77, ' ') + "abc"}},
        {80, -5, 0, 3, MPM_NO_NEWLINE, "abc", {"|" + std::string(36, ' ') + "abc"}},
        {80, -5, 0, 1, MPM_NO_NEWLINE, "abc", {"|abc"}},
        // A width smaller than the margin still makes progress.
        {3, 5, 0, 1, MPM_NO_NEWLINE, "ab c", {"     a\n", "     b\n", "|     c"}},
    };
    for (const auto& c : cases) {
        mpm__LineWidth = c.width, mpm__LeftMargin = c.left, mpm__RightMargin = c.right;
        mpm__Justify = c.justify;
        EXPECT_EQ(Issue(c.options, c.text), c.lines) << c.text;
    }
    // One very long line goes out in pieces of at most 8192 bytes.
    mpm__LineWidth = 20000, mpm__LeftMargin = 0, mpm__RightMargin = 0;
    const Lines pieces = Issue(0, std::string(10000, 'q') + "\n");
    EXPECT_EQ(pieces, (Lines{std::string(8192, 'q'), std::string(1808, 'q') + "\n", "|\n"}));
}

} // namespace
