// The message log and message table files: which replacement texts are
// used and what they format to (table texts are hostile input), the bounds
// of the plain formatter, and tables of random bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mpm/mpm_test_util.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using mpmtest::Take;

// A message table file: the module index (one offset per module, -1 for
// none) at 0, one module's directory at 1024 with a record (offset, length)
// per text index, then the texts. An empty text has no record.
std::string TableBytes(int module, const std::vector<std::string>& texts) {
    std::string bytes(1024 + 8 * 64, '\0');
    auto put = [&](size_t at, size_t v) {
        const auto value = static_cast<int32_t>(v);
        std::memcpy(&bytes[at], &value, 4);
    };
    for (int m = 0; m < 256; ++m)
        put(4 * static_cast<size_t>(m), m == module ? 1024 : static_cast<size_t>(-1));
    for (size_t i = 0; i < texts.size() && i < 64; ++i) {
        if (texts[i].empty()) continue;
        put(1024 + 8 * i, bytes.size());
        put(1024 + 8 * i + 4, texts[i].size());
        bytes += texts[i];
    }
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, '\0'); // whole pages
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

class Tables : public mvxtest::LibraryTest {
protected:
    void TearDown() override {
        mpm_CloseLog(0);
        mpm_CloseTable(0);
        LibraryTest::TearDown();
    }
    std::string Path(const char* name) const { return dir_ / name; }
    mvxtest::TempDir dir_;
};

// Each message formatted with the arguments its built-in text takes.
std::string Formatted(int32_t code) {
    char* s = nullptr;
    switch (code) {
    case MPM__DEBUG:
        mpm_GetMessage(0, code, &s, "file.c", 12);
        break;
    case MPM_OPENERROR:
        mpm_GetMessage(0, code, &s, "name.txt");
        break;
    case MPM_DOFERROR:
    case OTM_INVALIDSIZE:
    case OLM_INVALIDSIZE:
        mpm_GetMessage(0, code, &s, 5);
        break;
    case OTM_SIZENOTEQ:
        mpm_GetMessage(0, code, &s, 1, 2);
        break;
    case MDA_BAD_MBLOCK:
        mpm_GetMessage(0, code, &s, static_cast<void*>(nullptr)); // %n through it would crash
        break;
    case FMT_STEP_ORIG:
        mpm_GetMessage(0, code, &s, "part", 42L);
        break;
    case FMT_MDA_ORIG:
        mpm_GetMessage(0, code, &s, "model", MDA_MAKE_PTR(3, 17));
        break;
    default:
        mpm_GetMessage(0, code, &s);
    }
    return Take(s);
}

TEST_F(Tables, LogReceivesEveryIssuedLineUnlessToldAndASecondLogReplacesIt) {
    const std::string first = Path("run.log"), second = Path("b\xc3\xa4.log"); // a UTF-8 name
    ASSERT_EQ(mpm_OpenLog(0, first.c_str()), 0);
    {
        mvxtest::StreamCapture err(stderr);
        mpm__IssueError(MPM_NO_LOG, OTM_INVALIDSIZE, MPM_WARNING, 1);
        mpm__IssueError(MPM_NO_STREAM, OTM_INVALIDSIZE, MPM_WARNING, 2);
        mpm_IssueMessage(MPM_NO_STREAM, OLM_INVALIDPOSITION, 3);
        EXPECT_EQ(err.Finish(), "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 1\n\n");
    }
    ASSERT_EQ(mpm_OpenLog(0, second.c_str()), 0);
    mpm_IssueMessage(MPM_NO_STREAM, OTM_NULLPOINTER);
    EXPECT_EQ(mpm_CloseLog(0) | mpm_CloseLog(0), 0); // the second: none open
    EXPECT_EQ(mpm__Stream, nullptr);
    EXPECT_EQ(mvxtest::ReadFile(first),
              "*** Warning (OTM_INVALIDSIZE) ***\nInvalid size = 2\n\nInvalid position = 3\n\n");
    EXPECT_EQ(mvxtest::ReadFile(second), "NULL pointer\n\n");
    const std::string bad = Path("missing/dir/x.log");
    EXPECT_EQ(mpm_OpenLog(0, bad.c_str()), MPM_OPENERROR);
    EXPECT_EQ(mpm__Stream, nullptr);
    EXPECT_EQ(mvxtest::LastText(),
              "*** Error (MPM_OPENERROR) ***\nError opening file " + bad + " for write.\n");
}

// A table of several texts replaces those it holds and leaves the others
// (no record, another module) to the built-in ones until it is closed; an
// updated table is created with an empty index and gets its index back.
TEST_F(Tables, TablesAreOpenedUpdatedAndClosed) {
    const std::string path = Path("texts.tbl"), created = Path("new.tbl");
    WriteFile(path, TableBytes(3, {"", " Ung\xc3\xbcltig = %d\n", "", "", "", " Objekt fehlt\n"}));
    ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
    EXPECT_EQ(Formatted(OTM_INVALIDSIZE) + Formatted(OTM_NOTFOUND) + Formatted(OTM_NOMEMORY) +
                  Formatted(OLM_INVALIDSIZE),
              "Ung\xc3\xbcltig = 5\nObjekt fehlt\nOut of memory\nInvalid size = 5\n");
    EXPECT_EQ(Take(mpm__GetText(0, 3, 2)), " Ung\xc3\xbcltig = %d\n");
    EXPECT_EQ(mpm_CloseTable(0), 0);
    EXPECT_EQ(Formatted(OTM_INVALIDSIZE), "Invalid size = 5\n");
    ASSERT_EQ(mpm_OpenTable(MPM_TABLE_UPDATE, created.c_str()), 0);
    for (int m = 0; m < MVX_MAX_MODULES; ++m)
        ASSERT_EQ(mpm__Index[m], -1);
    mpm__Index[3] = 4096; // beyond the end: every text falls back
    ASSERT_EQ(mpm_CloseTable(MPM_TABLE_UPDATE), 0);
    ASSERT_EQ(mpm_OpenTable(MPM_TABLE_UPDATE, created.c_str()), 0);
    EXPECT_TRUE(mpm__Index[3] == 4096 && mpm__Index[4] == -1);
    EXPECT_EQ(Formatted(OTM_NOTFOUND), "Object not found\n");
    EXPECT_EQ(mpm_CloseTable(0), 0);
    mvxtest::OutputRecorder rec; // a missing table is reported at once
    EXPECT_EQ(mpm_OpenTable(0, Path("none.tbl").c_str()), MPM_DOFERROR);
    EXPECT_EQ(mpm__Table, nullptr);
    EXPECT_EQ(rec.On(stderr).rfind("*** Error (MPM_DOFERROR) ***\nDOF error ", 0), 0u);
}

TEST_F(Tables, UsedOnlyWhenTheFormatterTakesALeadingPartOfTheBuiltInArguments) {
    std::string repeated = "+MDA %99999999s";
    for (int i = 0; i < 20; ++i)
        repeated += "%1$s";
    struct Row {
        int32_t code;
        int index; // text index in its module
        std::string text;
        bool used;
        std::string expected;
    } rows[] = {
        // Rejected by vsnprintf: never formatted.
        {MPM__STARS, 5, std::string(6, '\xff') + "%", false, "***\n"},
        {MPM_DOFERROR, 11, " DOF error %2147483647d\n", false, "DOF error 5\n"},
        // Plain texts take their arguments in text order and name no numbers.
        {MPM__DEBUG, 6, " @%2$s(%1$d) ", false, "@file.c(12) "},
        {MPM__DEBUG, 6, "+@%2$d(%1$s) ", true, "@12(file.c) "},
        // %n writes; vsnprintf conversions the grammar does not hold.
        {MDA_BAD_MBLOCK, 37, " Bad MBlock at%n.\n", false,
         "Bad MBlock found at address 0x(nil).\n"},
        {MPM__STARS, 5, " %hhn", false, "***\n"},
        {MPM_DOFERROR, 11, " %jd", false, "DOF error 5\n"},
        {MPM_DOFERROR, 11, " %'d", false, "DOF error 5\n"},
        {MPM_DOFERROR, 11, " %1$*2$d", false, "DOF error 5\n"},
        {MPM_OPENERROR, 9, " %zs", false, "Error opening file name.txt for write.\n"},
        {MPM_OPENERROR, 9, " %ls", false, "Error opening file name.txt for write.\n"},
        {MPM_OPENERROR, 9, " %S", false, "Error opening file name.txt for write.\n"},
        {MPM__STARS, 5, " %a", false, "***\n"},
        // Widths beyond the line buffer; an argument number used twice.
        {FMT_MDA_ORIG, 21, repeated, false, "MDA model model:entity #3:17"},
        {FMT_MDA_ORIG, 21, "+%1$s/%1$s", false, "MDA model model:entity #3:17"},
        {MPM_DOFERROR, 11, "+%1$8194d", false, "DOF error 5\n"},
        {MPM_DOFERROR, 11, " %8193d", true, std::string(8192, ' ') + "5"},
        // Either flag kind; fewer arguments; any order and numbering.
        {OTM_SIZENOTEQ, 7, "+Sizes %2$d and %1$d differ\n", true, "Sizes 2 and 1 differ\n"},
        {OTM_SIZENOTEQ, 7, "+%9$d > %3$d\n", true, "2 > 1\n"},
        {OTM_INVALIDSIZE, 1, " Invalid size\n", true, "Invalid size\n"},
        {OTM_LOGICERROR, 3, "+Logikfehler\n", true, "Logikfehler\n"},
        {FMT_STEP_ORIG, 19, "+#%2$ld (%1$s)", true, "#42 (part)"},
        {MPM_OPENERROR, 9, " Datei %-12.4s|%%\n", true, "Datei name        |%\n"},
        {MPM_OPENERROR, 9, "+%lls %%%*% 100%", true, "name.txt %% 100%"},
        // Other kinds, more arguments, another order, a directive out of place.
        {OTM_INVALIDSIZE, 1, " Size %s\n", false, "Invalid size = 5\n"},
        {OTM_SIZENOTEQ, 7, " %d %d %d\n", false,
         "Data size one (1) does not equal data size two (2)\n"},
        {FMT_STEP_ORIG, 19, " #%ld %s", false, "STEP part PFID #42"},
        {FMT_STEP_ORIG, 19, " %s %lld", false, "STEP part PFID #42"},
        {MPM_DOFERROR, 11, "+%*d", false, "DOF error 5\n"},
        {FMT_MDA_ORIG, 21, "+%<PTR> %s", false, "MDA model model:entity #3:17"},
        {FMT_MDA_ORIG, 21, "+%2$<PTR> %1$s", true, "#3:17 model"},
    };
    const std::string path = dir_ / "one.tbl";
    for (const Row& row : rows) {
        std::vector<std::string> texts(static_cast<size_t>(row.index) + 1);
        texts.back() = row.text;
        WriteFile(path, TableBytes(row.code >> 16, texts));
        ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
        const std::string looked_up = Take(mpm__GetText(0, row.code >> 16, row.code & 0xFFFF));
        EXPECT_EQ(looked_up == row.text, row.used) << row.text;
        EXPECT_EQ(Formatted(row.code), row.expected) << row.text;
        EXPECT_EQ(mpm_CloseTable(0), 0);
    }
}

// The plain formatter's result is what the line buffer holds, terminated,
// whatever the text; one vsnprintf rejects stands unformatted.
TEST_F(Tables, PlainResultsAreTerminatedAndFitTheLineBuffer) {
    static const char* const texts[] = {" ab%", " %9000d|"};
    static const MVX_MSGNAME names[] = {{"A", 1, 0}, {"B", 1, 1}};
    mvx__Table[90] = MVX_MODULE{90, 2, 0, "TST", texts, names};
    auto format = [](int32_t code) {
        char* s = nullptr;
        mpm_GetMessage(0, code, &s, 7);
        return Take(s);
    };
    EXPECT_EQ(format(0x5A0001), "ab%");
    EXPECT_EQ(format(0x5A0002), std::string(MPM_MSGBUFFER_SIZE - 1, ' ')); // cut
    mvx__Table[90] = MVX_MODULE{};
}

// A table of random bytes with plausible-looking index entries: every text
// falls back or is used, nothing crashes, nothing is read outside the file.
TEST_F(Tables, CorruptTablesNeverCrash) {
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
        WriteFile(path, bytes);
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
