// The line output: width, breaking at blanks, margins, justification, the
// final newline, the last-line flag, and the stream and log switches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::OutputRecorder;
using Lines = std::vector<std::string>;

class LineOutput : public mvxtest::LibraryTest {};

// One text through mpm__IssueMessage: the lines written, "|" marking the
// one written as the last line.
Lines Issue(uint32_t options, const std::string& text) {
    char* heap = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(heap, text.c_str(), text.size() + 1);
    OutputRecorder rec;
    mpm__IssueMessage(options, stdout, heap);
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
        // Left, centred, right and unknown justification within the margins.
        {80, 2, 0, 1, 0, ten + "\n", {"  " + ten + "\n", "|\n"}},
        {80, 2, 0, 3, 0, ten + "\n", {std::string(36, ' ') + ten + "\n", "|\n"}},
        {80, 2, 0, 2, 0, ten + "\n", {std::string(70, ' ') + ten + "\n", "|\n"}},
        {80, 2, 0, 9, 0, ten + "\n", {"  " + ten + "\n", "|\n"}},
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

// Messages go to standard output, and to the log unless told; with no
// output function nothing is written at all.
TEST_F(LineOutput, MessagesStreamAndLogSwitches) {
    FILE* log = std::tmpfile();
    {
        OutputRecorder rec;
        mpm_IssueMessage(MPM_NO_NEWLINE, OTM_INVALIDSIZE, 5);
        EXPECT_TRUE(rec.lines().size() == 1 && mpm__LastLine == 0 && mpm__Count == 0);
        mpm__Stream = log;
        mpm_IssueMessage(MPM_NO_STREAM, OTM_NOTFOUND);
        mpm_IssueMessage(MPM_NO_LOG, OTM_NULLPOINTER);
        mpm_IssueMessage(0, OTM_LOGICERROR);
        EXPECT_EQ(rec.On(log), "Object not found\n\nObject Tree Manager Logic Error\n\n");
        EXPECT_EQ(rec.On(stdout),
                  "Invalid size = 5\nNULL pointer\n\nObject Tree Manager Logic Error\n\n");
    }
    mpm__Output = nullptr;
    mpm_IssueMessage(0, OTM_LOGICERROR);
    mpm__Output = [](const char* line, FILE* stream) { return std::fputs(line, stream); };
    EXPECT_EQ(std::ftell(log), 0);
    mpm__Stream = nullptr;
    std::fclose(log);
}

} // namespace
