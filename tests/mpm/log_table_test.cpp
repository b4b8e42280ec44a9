// The message log and message table files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "mpm/mpm_test_util.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using mvxtest::ReadFile;
using mvxtest::StreamCapture;

class LogAndTable : public mvxtest::LibraryTest {
protected:
    void TearDown() override {
        mpm_CloseLog(0);
        mpm_CloseTable(0);
        LibraryTest::TearDown();
    }
    std::string Path(const char* name) const { return dir_ / name; }
    mvxtest::TempDir dir_;
};

std::string Message(int32_t code, ...) {
    va_list ap;
    va_start(ap, code);
    char* text = nullptr;
    mpm__GetMessage(0, code, &text, ap);
    va_end(ap);
    return mpmtest::Take(text);
}

TEST_F(LogAndTable, LogReceivesEveryIssuedLineUnlessToldAndASecondLogReplacesIt) {
    const std::string first = Path("run.log"), second = Path("b\xc3\xa4.log"); // a UTF-8 name
    ASSERT_EQ(mpm_OpenLog(0, first.c_str()), 0);
    {
        StreamCapture err(stderr);
        StreamCapture out(stdout);
        mpm__IssueError(MPM_NO_LOG, OTM_INVALIDSIZE, MPM_WARNING, 1);
        mpm__IssueError(MPM_NO_STREAM, OTM_INVALIDSIZE, MPM_WARNING, 2);
        mpm_IssueMessage(0, OLM_INVALIDPOSITION, 3);
        EXPECT_EQ(err.Finish(), "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 1\n\n");
        EXPECT_EQ(out.Finish(), "Invalid position = 3\n\n");
    }
    ASSERT_EQ(mpm_OpenLog(0, second.c_str()), 0);
    mpm_IssueMessage(MPM_NO_STREAM, OTM_NULLPOINTER);
    EXPECT_EQ(mpm_CloseLog(0), 0);
    EXPECT_EQ(mpm__Stream, nullptr);
    EXPECT_EQ(mpm_CloseLog(0), 0); // none open: nothing to do
    EXPECT_EQ(ReadFile(first),
              "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 2\n\nInvalid position = 3\n\n");
    EXPECT_EQ(ReadFile(second), "NULL pointer\n\n");

    const std::string bad = Path("missing/dir/x.log");
    EXPECT_EQ(mpm_OpenLog(0, bad.c_str()), MPM_OPENERROR);
    EXPECT_EQ(mpm__Stream, nullptr);
    EXPECT_EQ(mvxtest::LastText(),
              "*** Error (MPM_OPENERROR) ***\nError opening file " + bad + " for write.\n");
}

TEST_F(LogAndTable, TableReplacesTextsThatTakeTheSameArgumentsAndFallsBackOtherwise) {
    const std::string path = Path("texts.tbl");
    mpmtest::WriteFile(path, mpmtest::TableBytes(3, {"", // NOMEMORY: no record
                                                     " Ung\xc3\xbcltig = %d\n",
                                                     " Null-Zeiger %s\n", // an argument too many
                                                     "+Logikfehler\n", // extended for a plain one
                                                     "", " Objekt fehlt\n", "",
                                                     " Eins (%d) ungleich zwei (%d)\n"}));
    ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
    EXPECT_EQ(Message(OTM_INVALIDSIZE, 5), "Ung\xc3\xbcltig = 5\n");
    EXPECT_EQ(Message(OTM_SIZENOTEQ, 1, 2), "Eins (1) ungleich zwei (2)\n");
    EXPECT_EQ(Message(OTM_NOTFOUND), "Objekt fehlt\n");
    EXPECT_EQ(Message(OTM_NOMEMORY), "Out of memory\n");
    EXPECT_EQ(Message(OTM_NULLPOINTER), "NULL pointer\n");
    EXPECT_EQ(Message(OTM_LOGICERROR), "Logikfehler\n");
    EXPECT_EQ(Message(OLM_INVALIDSIZE, 4), "Invalid size = 4\n"); // module not in the table
    EXPECT_EQ(mpmtest::Take(mpm__GetText(0, 3, 2)), " Ung\xc3\xbcltig = %d\n");
    EXPECT_EQ(mpm_CloseTable(0), 0);
    EXPECT_EQ(Message(OTM_INVALIDSIZE, 5), "Invalid size = 5\n");

    // Updating creates a table with an empty index and writes the index back.
    const std::string created = Path("new.tbl");
    ASSERT_EQ(mpm_OpenTable(MPM_TABLE_UPDATE, created.c_str()), 0);
    for (int m = 0; m < MVX_MAX_MODULES; ++m)
        ASSERT_EQ(mpm__Index[m], -1);
    mpm__Index[3] = 4096; // beyond the end: every text falls back
    ASSERT_EQ(mpm_CloseTable(MPM_TABLE_UPDATE), 0);
    ASSERT_EQ(mpm_OpenTable(MPM_TABLE_UPDATE, created.c_str()), 0);
    EXPECT_TRUE(mpm__Index[3] == 4096 && mpm__Index[4] == -1);
    EXPECT_EQ(Message(OTM_NOTFOUND), "Object not found\n");
}

TEST_F(LogAndTable, MissingTablesFailWithDofError) {
    StreamCapture err(stderr);
    EXPECT_EQ(mpm_OpenTable(0, Path("none.tbl").c_str()), MPM_DOFERROR);
    EXPECT_EQ(mpm__Table, nullptr);
    const std::string printed = err.Finish();
    EXPECT_EQ(printed.rfind("*** Error (MPM_DOFERROR) ***\nDOF error ", 0), 0u) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 2), "\n\n");
}

// A table of random bytes with plausible-looking index entries: every text
// falls back or is used, nothing crashes, nothing is read outside the file.
TEST_F(LogAndTable, CorruptTablesNeverCrash) {
    std::mt19937 rng(7);
    const std::string path = Path("corrupt.tbl");
    for (int round = 0; round < 40; ++round) {
        std::string bytes(2048 * (1 + rng() % 3), '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        auto put = [&](size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); };
        for (size_t m = 0; m < 256; ++m)
            put(4 * m, rng() % 4 == 0 ? ~0u : static_cast<uint32_t>(rng() % bytes.size()));
        for (size_t at = 1024; at + 8 <= bytes.size(); at += 8) {
            put(at, static_cast<uint32_t>(rng() % (bytes.size() + 64) - 32));
            put(at + 4, rng() % 8 == 0 ? rng() : rng() % 40);
        }
        mpmtest::WriteFile(path, bytes);
        ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
        for (int m = 0; m < 256; ++m) {
            for (int i = 1; i <= mvx__Table[m].count; ++i) {
                char* text = nullptr;
                mpm_GetMessage(MPM_RAW_TEXT, (m << 16) | i, &text);
                ASSERT_NE(text, nullptr);
                std::free(text);
            }
        }
        const int64_t end = mpm__Table->end;
        EXPECT_EQ(mpm_CloseTable(0), 0);
        EXPECT_EQ(end, static_cast<int64_t>(bytes.size())); // never extended
    }
}

} // namespace
