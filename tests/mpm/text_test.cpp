// Message texts: the extended formatting engine against the C library and
// in the cases it cannot be compared with; the log; message table files,
// whose texts are hostile input (which replacements are used and what they
// format to; the fuzz target feeds them random bytes).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mpm/mpm_test_util.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using mpmtest::Message;
using mpmtest::Take;

class ExtendedFormat : public mvxtest::LibraryTest {};

std::string Ours(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char* text = mpm__ExtendedPrint(0, format, &ap);
    va_end(ap);
    return Take(text);
}

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#endif
template <typename... A> std::string Theirs(const std::string& format, A... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format.c_str(), args...);
    return buffer;
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Random conversions (flags, width and precision given or by star, length
// modifiers, text around) through both engines; they differ only where 'l'
// means 32 bits, which snprintf must not see. Star values stay non-negative:
// a negative one is dropped by our engine where printf reads a '-' flag.
TEST_F(ExtendedFormat, AgreesWithTheCLibraryOverGeneratedConversions) {
    static const struct {
        char conversion;
        const char* flags;
    } kinds[] = {{'c', "-"},     {'d', "-+ 0"},  {'i', "-+ 0"},  {'o', "-#0"},   {'u', "-#0"},
                 {'x', "-#0"},   {'X', "-#0"},   {'e', "-+ #0"}, {'E', "-+ #0"}, {'f', "-+ #0"},
                 {'g', "-+ #0"}, {'G', "-+ #0"}, {'s', "-"},     {'p', "-"},     {'%', ""}};
    const char* strings[] = {"", "a", "translator", "mixed Case text", "0123456789abcdef"};
    const double doubles[] = {0.0,    -0.0,          1.0,         -2.5, 3.14159265358979,
                              1e-300, 6.02214076e23, -123456.789, 0.1,  1e100};
    std::mt19937 rng(20261205);
    auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    for (int round = 0; round < 20000 && !HasFatalFailure(); ++round) {
        const auto& [conversion, flags] = kinds[pick(15)];
        const bool integer = std::strchr("diouxX", conversion) != nullptr;
        const bool real = std::strchr("eEfgG", conversion) != nullptr;
        std::string middle;
        for (const char* f = flags; *f != 0; ++f)
            if (pick(4) == 0) middle += *f;
        const unsigned w = conversion == '%' ? 0 : pick(4);
        const unsigned p = std::strchr("cp%", conversion) != nullptr ? 0 : pick(4);
        middle += w == 1 ? std::to_string(pick(25)) : w == 2 ? "*" : "";
        middle += p == 1 ? "." + std::to_string(pick(12)) : p == 2 ? ".*" : "";
        // h, ll, l (32 bits: none for snprintf) on integers; L on some reals.
        const unsigned m = integer ? pick(4) : real && pick(4) == 0 ? 4 : 0;
        const char* const ours_mods[] = {"", "h", "ll", "l", "L"};
        const std::string before = pick(2) ? "<" : "", after = pick(2) ? "> tail" : "";
        const std::string ours = before + "%" + middle + ours_mods[m] + conversion + after;
        const std::string theirs =
            before + "%" + middle + ours_mods[m == 3 ? 0 : m] + conversion + after;
        const int stars[2] = {static_cast<int>(pick(20)), static_cast<int>(pick(12))};
        // Both engines with the stars the text takes, then the value.
        auto compare = [&](auto ours_value, auto their_value) {
            auto both = [&](auto... star) {
                ASSERT_EQ(Ours(ours.c_str(), star..., ours_value),
                          Theirs(theirs, star..., their_value))
                    << ours;
            };
            if (w == 2 && p == 2)
                both(stars[0], stars[1]);
            else if (w == 2 || p == 2)
                both(stars[0]);
            else
                both();
        };
        auto i = static_cast<int>(rng());
        if (conversion == 'c' && (i & 0xFF) == 0) i |= 'A'; // a NUL would end the text
        const double d = doubles[pick(10)] * (pick(2) ? 1 : 7.25);
        const auto q = static_cast<long long>((uint64_t{rng()} << 32) | rng());
        const char* str = strings[pick(5)];
        void* ptr = reinterpret_cast<void*>(uintptr_t{rng()} * 16u);
        if (m == 2)
            compare(q, q);
        else if (m == 4)
            compare(d, static_cast<long double>(d));
        else if (real)
            compare(d, d);
        else if (conversion == 's')
            compare(str, str);
        else if (conversion == 'p')
            compare(ptr, ptr);
        else // "%%" ignores its value, on both sides
            compare(i, i);
    }
}

// A directive that formats an extended text of its own from inside the engine.
int32_t Nested(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    const int value = va_arg(*args, int);
    static const char* const texts[] = {"+(%2$s:%1$d)"};
    static const MVX_MSGNAME names[] = {{"INNER", 1, 0}};
    mvx__Table[90] = MVX_MODULE{90, 1, 0, "TST", texts, names};
    conv->result = nullptr;
    mpm_GetMessage(0, 0x5A0001, &conv->result, value * 10, "in");
    return 0;
}

// Numbered arguments are consumed in ascending number whatever order the
// text names them in; what snprintf cannot be compared with, one row each.
TEST_F(ExtendedFormat, NumberedArgumentsDirectivesAndTheOpenCases) {
    MPM_SPEC record{};
    std::strcpy(record.name, "Nest");
    auto* stored = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &record));
    ASSERT_NE(stored, nullptr);
    stored->handler = Nested;
    int written = 77;
    char buffer[128];
    const std::string big(30000, 's');
    const std::pair<std::string, std::string> rows[] = {
        {Ours("%1$d|%3$.2f|%2$s|", 7, "str", 2.5), "7|2.50|str|"},
        {Ours("%2$s|%1$d|%3$.2f|", 7, "str", 2.5), "str|7|2.50|"},
        {Ours("%3$.2f|%1$d|%2$s|", 7, "str", 2.5), "2.50|7|str|"},
        // "%%" takes a number from the running counter, so the next plain
        // conversion is argument 3; numbers only order the consumption.
        {Ours("%d%%%d", 1, 2), "1%2"},
        {Ours("%9$s %1$d", 5, "gap"), "gap 5"},
        {Ours("%2$d %1$d %2$d", 1, 2), "2 1 2"},      // a number used twice repeats its text
        {Ours("%*d|%-*d|", -4, 12, 3, 5), "12|5  |"}, // a negative star value is dropped
        {Ours("%.*f", -1, 2.5), "2.500000"},
        {Ours("%.f|%ld|%lld", 2.5, 70000, 1LL << 40), "2|70000|1099511627776"},
        {Ours("100%"), "100%"},
        {Ours("%y and %q%d", 4), "%y and %q4"},
        {Ours("%<NoSuchDirective> and %<open", 1), "%<NoSuchDirective> and %<open"},
        {Ours("ab%ncd", &written), "abcd"},
        {Ours("[%s|%2$-8193s]", big.c_str(), "x"), "[" + big + "|x" + std::string(8192, ' ') + "]"},
        {Ours("a %<Nest> b %s %<Nest>", 4, "mid", 5), "a (in:40) b mid (in:50)"},
        {std::to_string(mpm_Sprintf(buffer, "%2$s=%1$d", 7, "abc")) + buffer, "0abc=7"},
        // A plain message text formatted as extended on request.
        {Message(MPM_EXTENDED, OLM_SIZENOTEQ, 1, 2),
         "Data size one (1) does not equal data size two (2)\n"},
    };
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);
    EXPECT_EQ(written, 77);      // %n writes nothing
    FILE* file = std::tmpfile(); // the stream entry point
    mpm_Fprintf(file, "%2$s-%1$03d", 9, "x");
    std::rewind(file);
    char read[16] = {};
    EXPECT_TRUE(std::fgets(read, sizeof read, file) != nullptr && std::string(read) == "x-009");
    std::fclose(file);
    mvxtest::StreamCapture out(stdout); // and standard output
    mpm_Printf("%2$s+%1$d", 4, "y");
    EXPECT_EQ(out.Finish(), "y+4");
}

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
    switch (code) {
    case MPM__DEBUG:
        return Message(0, code, "file.c", 12);
    case MPM_OPENERROR:
        return Message(0, code, "name.txt");
    case MPM_DOFERROR:
    case OTM_INVALIDSIZE:
    case OLM_INVALIDSIZE:
        return Message(0, code, 5);
    case OTM_SIZENOTEQ:
        return Message(0, code, 1, 2);
    case MDA_BAD_MBLOCK:
        return Message(0, code, static_cast<void*>(nullptr)); // %n through it would crash
    case FMT_STEP_ORIG:
        return Message(0, code, "part", 42L);
    case FMT_MDA_ORIG:
        return Message(0, code, "model", MDA_MAKE_PTR(3, 17));
    default:
        return Message(0, code);
    }
}

// Lines go to the log unless told, a second log replaces the first; with no
// output function nothing is written at all.
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
    const MPM_OUTPUT output = mpm__Output;
    mpm__Output = nullptr;
    mpm_IssueMessage(0, OTM_LOGICERROR);
    mpm__Output = output;
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
    std::ofstream(path, std::ios::binary)
        << TableBytes(3, {"", " Ung\xc3\xbcltig = %d\n", "", "", "", " Objekt fehlt\n"});
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
        // %n writes; conversions of vsnprintf the grammar does not hold.
        {MDA_BAD_MBLOCK, 37, " Bad MBlock at%n.\n", false,
         "Bad MBlock found at address 0x(nil).\n"},
        {MPM_DOFERROR, 11, " %jd", false, "DOF error 5\n"},
        {MPM_OPENERROR, 9, " %ls", false, "Error opening file name.txt for write.\n"},
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
        std::ofstream(path, std::ios::binary) << TableBytes(row.code >> 16, texts);
        ASSERT_EQ(mpm_OpenTable(0, path.c_str()), 0);
        const std::string looked_up = Take(mpm__GetText(0, row.code >> 16, row.code & 0xFFFF));
        EXPECT_EQ(looked_up == row.text, row.used) << row.text;
        EXPECT_EQ(Formatted(row.code), row.expected) << row.text;
        EXPECT_EQ(mpm_CloseTable(0), 0);
    }
}

} // namespace
