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

using mvxtest::LibraryTest;
using mvxtest::OutputLine;
using mvxtest::OutputRecorder;

char* Heap(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

std::vector<std::string> Lines(const OutputRecorder& rec) {
    std::vector<std::string> out;
    for (const OutputLine& l : rec.lines())
        out.push_back(l.text);
    return out;
}

class LineOutput : public LibraryTest {};

TEST_F(LineOutput, MessageEndingInNewlineIsFollowedByAnEmptyLine) {
    OutputRecorder rec;
    mpm_IssueMessage(0, OTM_INVALIDSIZE, 5);
    ASSERT_EQ(rec.lines().size(), 2u);
    EXPECT_EQ(rec.lines()[0].text, "Invalid size = 5\n");
    EXPECT_EQ(rec.lines()[0].last_line, 0);
    EXPECT_EQ(rec.lines()[1].text, "\n");
    EXPECT_EQ(rec.lines()[1].last_line, 1);
    EXPECT_EQ(rec.lines()[0].stream, stdout);
}

TEST_F(LineOutput, NoNewlineOptionWritesOnlyTheFirstLineAsTheLast) {
    OutputRecorder rec;
    mpm_IssueMessage(MPM_NO_NEWLINE, OTM_INVALIDSIZE, 5);
    ASSERT_EQ(rec.lines().size(), 1u);
    EXPECT_EQ(rec.lines()[0].text, "Invalid size = 5\n");
    EXPECT_EQ(rec.lines()[0].last_line, 1);
    EXPECT_EQ(mpm__LastLine, 0);
    EXPECT_EQ(mpm__Count, 0);

    OutputRecorder rec2;
    mpm__IssueMessage(MPM_NO_NEWLINE, stdout, Heap("no end"));
    ASSERT_EQ(rec2.lines().size(), 1u);
    EXPECT_EQ(rec2.lines()[0].text, "no end");
    EXPECT_EQ(rec2.lines()[0].last_line, 1);
}

TEST_F(LineOutput, LongLinesBreakAtTheLastBlankOrAreCutAtTheWidth) {
    std::string text(100, 'a');
    text[75] = ' ';
    {
        OutputRecorder rec;
        mpm__IssueMessage(0, stdout, Heap(text));
        EXPECT_EQ(Lines(rec), (std::vector<std::string>{std::string(75, 'a') + "\n",
                                                        std::string(24, 'a') + "\n"}));
        EXPECT_EQ(rec.lines()[1].last_line, 1);
    }
    text[75] = 'a';
    text[81] = ' '; // beyond column 80: not a break point for the first line
    {
        OutputRecorder rec;
        mpm__IssueMessage(0, stdout, Heap(text));
        EXPECT_EQ(Lines(rec), (std::vector<std::string>{std::string(80, 'a') + "\n",
                                                        std::string(1, 'a') + " " +
                                                            std::string(18, 'a') + "\n"}));
    }
    text = std::string(80, 'b') + " " + std::string(5, 'c'); // blank exactly at column 80
    {
        OutputRecorder rec;
        mpm__IssueMessage(0, stdout, Heap(text));
        EXPECT_EQ(Lines(rec), (std::vector<std::string>{std::string(80, 'b') + "\n", "ccccc\n"}));
    }
    text = std::string(80, 'd') + "\n"; // exactly the width: no break
    {
        OutputRecorder rec;
        mpm__IssueMessage(0, stdout, Heap(text));
        EXPECT_EQ(Lines(rec), (std::vector<std::string>{std::string(80, 'd') + "\n", "\n"}));
    }
}

TEST_F(LineOutput, MarginsAndJustification) {
    const std::string ten = "0123456789";
    mpm__LeftMargin = 2;
    struct Case {
        int justify;
        size_t blanks;
    } cases[] = {{1, 2}, {3, 36}, {2, 70}, {9, 2}};
    for (const Case& c : cases) {
        mpm__Justify = c.justify;
        OutputRecorder rec;
        mpm__IssueMessage(0, stdout, Heap(ten + "\n"));
        EXPECT_EQ(Lines(rec),
                  (std::vector<std::string>{std::string(c.blanks, ' ') + ten + "\n", "\n"}))
            << "justify " << c.justify;
    }
    // The right margin narrows the width: 80 - 2 - 8 = 70.
    mpm__Justify = 1;
    mpm__RightMargin = 8;
    OutputRecorder rec;
    mpm__IssueMessage(MPM_NO_NEWLINE, stdout, Heap(std::string(75, 'z')));
    EXPECT_EQ(Lines(rec),
              (std::vector<std::string>{"  " + std::string(70, 'z') + "\n", "  zzzzz"}));
}

TEST_F(LineOutput, DegenerateWidthStillMakesProgress) {
    mpm__LineWidth = 3;
    mpm__LeftMargin = 5;
    OutputRecorder rec;
    mpm__IssueMessage(MPM_NO_NEWLINE, stdout, Heap("ab c"));
    EXPECT_EQ(Lines(rec), (std::vector<std::string>{"     a\n", "     b\n", "     c"}));
}

TEST_F(LineOutput, StreamAndLogSwitches) {
    FILE* log = std::tmpfile();
    mpm__Stream = log;
    {
        OutputRecorder rec;
        mpm_IssueMessage(MPM_NO_STREAM, OTM_NOTFOUND);
        mpm_IssueMessage(MPM_NO_LOG, OTM_NULLPOINTER);
        mpm_IssueMessage(0, OTM_LOGICERROR);
        EXPECT_EQ(rec.On(log), "Object not found\n\nObject Tree Manager Logic Error\n\n");
        EXPECT_EQ(rec.On(stdout), "NULL pointer\n\nObject Tree Manager Logic Error\n\n");
    }
    mpm__Output = nullptr; // nothing is written at all
    mpm_IssueMessage(0, OTM_LOGICERROR);
    mpm__Output = [](const char* line, FILE* stream) { return std::fputs(line, stream); };
    EXPECT_EQ(std::ftell(log), 0);
    mpm__Stream = nullptr;
    std::fclose(log);
}

TEST_F(LineOutput, VeryLongSingleLineIsWrittenInPiecesOfAtMost8192Bytes) {
    mpm__LineWidth = 20000;
    const std::string line(10000, 'q');
    OutputRecorder rec;
    mpm__IssueMessage(0, stdout, Heap(line + "\n"));
    ASSERT_EQ(rec.lines().size(), 3u);
    EXPECT_EQ(rec.lines()[0].text.size(), 8192u);
    EXPECT_EQ(rec.lines()[0].text + rec.lines()[1].text, line + "\n");
    EXPECT_EQ(rec.lines()[2].text, "\n");
}

TEST_F(LineOutput, EmptyTextGivesOneEmptyLine) {
    OutputRecorder rec;
    mpm__IssueMessage(0, stderr, Heap(""));
    EXPECT_EQ(Lines(rec), std::vector<std::string>{"\n"});
    OutputRecorder rec2;
    mpm__IssueMessage(MPM_NO_NEWLINE, stderr, Heap(""));
    EXPECT_TRUE(rec2.lines().empty());
}

} // namespace
