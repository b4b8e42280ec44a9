// The message log and message table files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using mvxtest::LibraryTest;
using mvxtest::ReadFile;
using mvxtest::StreamCapture;

class LogAndTable : public LibraryTest {
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
    std::string out = text != nullptr ? text : "";
    std::free(text);
    return out;
}

TEST_F(LogAndTable, LogReceivesEveryIssuedLineUnlessTold) {
    const std::string log = Path("run.log");
    ASSERT_EQ(mpm_OpenLog(0, log.c_str()), 0);
    {
        StreamCapture err(stderr);
        StreamCapture out(stdout);
        mpm__IssueError(MPM_NO_LOG, OTM_INVALIDSIZE, MPM_WARNING, 1);
        mpm__IssueError(MPM_NO_STREAM, OTM_INVALIDSIZE, MPM_WARNING, 2);
        mpm_IssueMessage(0, OLM_INVALIDPOSITION, 3);
        EXPECT_EQ(err.Finish(), "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 1\n\n");
        EXPECT_EQ(out.Finish(), "Invalid position = 3\n\n");
    }
    EXPECT_EQ(mpm_CloseLog(0), 0);
    EXPECT_EQ(mpm__Stream, nullptr);
    EXPECT_EQ(ReadFile(log),
              "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 2\n\nInvalid position = 3\n\n");
    EXPECT_EQ(mpm_CloseLog(0), 0); // none open: nothing to do
}

TEST_F(LogAndTable, OpeningASecondLogClosesTheFirstAndAFailedOpenReports) {
    const std::string first = Path("a.log");
    const std::string second = Path("b\xc3\xa4.log"); // a UTF-8 name
    ASSERT_EQ(mpm_OpenLog(0, first.c_str()), 0);
    mpm_IssueMessage(MPM_NO_STREAM, OTM_NOTFOUND);
    ASSERT_EQ(mpm_OpenLog(0, second.c_str()), 0);
    mpm_IssueMessage(MPM_NO_STREAM, OTM_NULLPOINTER);
    mpm_CloseLog(0);
    EXPECT_EQ(ReadFile(first), "Object not found\n\n");
    EXPECT_EQ(ReadFile(second), "NULL pointer\n\n");

    const std::string bad = Path("missing/dir/x.log");
    EXPECT_EQ(mpm_OpenLog(0, bad.c_str()), MPM_OPENERROR);
    EXPECT_EQ(mpm__Stream, nullptr);
    auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(std::string(rec->text),
              "*** Error (MPM_OPENERROR) ***\nError opening file " + bad + " for write.\n");
}

// Writes a table that replaces some of OTM's texts.
void WriteTable(const std::string& path) {
    ASSERT_EQ(mpm_OpenTable(MPM_TABLE_UPDATE, path.c_str()), 0);
    ASSERT_NE(mpm__Table, nullptr);
    for (int m = 0; m < MVX_MAX_MODULES; ++m)
        ASSERT_EQ(mpm__Index[m], -1);
    const char* texts[9] = {
        nullptr, // NOMEMORY: no record (length 0)
        " Ung\xc3\xbcltige Gr\xc3\xb6\xc3\x9f"
        "e = %d\n",          // INVALIDSIZE: same argument
        " Null-Zeiger %s\n", // NULLPOINTER: takes an argument the original does not
        "+Logikfehler\n",    // LOGICERROR: extended where the original is plain
        nullptr,
        " Objekt fehlt\n",
        nullptr,
        " Gr\xc3\xb6\xc3\x9f"
        "e eins (%d) ungleich zwei (%d)\n", // SIZENOTEQ
        nullptr};
    int64_t directory = 0;
    ASSERT_EQ(dof_AllocateBlock(mpm__Table, 9 * 8, &directory), 0);
    for (int i = 0; i < 9; ++i) {
        int32_t record[2] = {0, 0};
        if (texts[i] != nullptr) {
            int64_t at = 0;
            auto len = static_cast<uint32_t>(std::strlen(texts[i]));
            ASSERT_EQ(dof_AllocateBlock(mpm__Table, len, &at), 0);
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, mpm__Table, len, at, const_cast<char*>(texts[i])),
                      0);
            record[0] = static_cast<int32_t>(at);
            record[1] = static_cast<int32_t>(len);
        }
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, mpm__Table, 8, directory + 8 * i, record), 0);
    }
    mpm__Index[3] = static_cast<int32_t>(directory);
    ASSERT_EQ(mpm_CloseTable(MPM_TABLE_UPDATE), 0);
    EXPECT_EQ(mpm__Table, nullptr);
}

TEST_F(LogAndTable, TableReplacesTextsThatTakeTheSameArgumentsAndFallsBackOtherwise) {
    const std::string path = Path("texts.tbl");
    WriteTable(path);
    ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
    EXPECT_EQ(Message(OTM_INVALIDSIZE, 5), "Ung\xc3\xbcltige Gr\xc3\xb6\xc3\x9f"
                                           "e = 5\n");
    EXPECT_EQ(Message(OTM_SIZENOTEQ, 1, 2), "Gr\xc3\xb6\xc3\x9f"
                                            "e eins (1) ungleich zwei (2)\n");
    EXPECT_EQ(Message(OTM_NOTFOUND), "Objekt fehlt\n");
    EXPECT_EQ(Message(OTM_NOMEMORY), "Out of memory\n");          // no record
    EXPECT_EQ(Message(OTM_NULLPOINTER), "NULL pointer\n");        // other arguments
    EXPECT_EQ(Message(OTM_LOGICERROR), "Logikfehler\n");          // either flag kind
    EXPECT_EQ(Message(OLM_INVALIDSIZE, 4), "Invalid size = 4\n"); // module not in the table
    char* raw = mpm__GetText(0, 3, 2);
    EXPECT_STREQ(raw, " Ung\xc3\xbcltige Gr\xc3\xb6\xc3\x9f"
                      "e = %d\n");
    std::free(raw);
    EXPECT_EQ(mpm_CloseTable(0), 0);
    EXPECT_EQ(Message(OTM_INVALIDSIZE, 5), "Invalid size = 5\n");
}

TEST_F(LogAndTable, MissingOrTruncatedTablesFailWithDofError) {
    StreamCapture err(stderr);
    EXPECT_EQ(mpm_OpenTable(0, Path("none.tbl").c_str()), MPM_DOFERROR);
    EXPECT_EQ(mpm__Table, nullptr);
    std::string printed = err.Finish();
    EXPECT_EQ(printed.rfind("*** Error (MPM_DOFERROR) ***\nDOF error ", 0), 0u) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 2), "\n\n");
    EXPECT_EQ(mpm_CloseTable(0), 0);
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
        auto put = [&](size_t at, int32_t v) {
            if (at + 4 <= bytes.size()) std::memcpy(&bytes[at], &v, 4);
        };
        for (int m = 0; m < 256; ++m) {
            int choice = static_cast<int>(rng() % 4);
            put(4 * static_cast<size_t>(m),
                choice == 0 ? -1 : static_cast<int32_t>(rng() % bytes.size()));
        }
        for (size_t at = 1024; at + 8 <= bytes.size(); at += 8) {
            put(at, static_cast<int32_t>(rng() % (bytes.size() + 64)) - 32);
            put(at + 4,
                (rng() % 8 == 0) ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % 40));
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        {
            StreamCapture err(stderr);
            ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0) << err.Finish();
        }
        for (int m = 0; m < 256; ++m) {
            const MVX_MODULE& mod = mvx__Table[m];
            for (int i = 1; i <= mod.count; ++i) {
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
