// The extended formatting engine: agreement with the C library over many
// generated conversions, numbered arguments, directives and the open cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

class ExtendedFormat : public LibraryTest {};

std::string Ours(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char* text = mpm__ExtendedPrint(0, format, &ap);
    va_end(ap);
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
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

// One generated conversion: the text our engine gets, the text snprintf
// gets (they differ only where 'l' means 32 bits), and its argument shape.
struct Generated {
    std::string ours;
    std::string theirs;
    bool star_width = false;
    bool star_precision = false;
    char conversion = 'd';
    char kind = 'i'; // i int, q long long, d double, L long double, s string, p pointer, % none
};

Generated Generate(std::mt19937& rng) {
    static const char kConversions[] = "cdiouxXeEfgGsp%";
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    char c = kConversions[pick(15)];
    Generated g;
    g.conversion = c;
    std::string flags;
    // Only the flags each conversion defines.
    std::string allowed = "-";
    if (std::strchr("di", c)) allowed = "-+ 0";
    if (std::strchr("ouxX", c)) allowed = "-#0";
    if (std::strchr("eEfgG", c)) allowed = "-+ #0";
    if (c != '%') {
        for (char f : allowed) {
            if (pick(4) == 0) flags += f;
        }
    }
    std::string width;
    std::string precision;
    if (c != '%') {
        int w = pick(4);
        if (w == 1) width = std::to_string(pick(25));
        if (w == 2) {
            width = "*";
            g.star_width = true;
        }
        if (!std::strchr("cp", c)) {
            int p = pick(4);
            if (p == 1) precision = "." + std::to_string(pick(12));
            if (p == 2) {
                precision = ".*";
                g.star_precision = true;
            }
        }
    }
    std::string ours_mod;
    std::string theirs_mod;
    g.kind = 'i';
    if (std::strchr("diouxX", c)) {
        int m = pick(4);
        if (m == 1) ours_mod = theirs_mod = "h";
        if (m == 2) {
            ours_mod = theirs_mod = "ll";
            g.kind = 'q';
        }
        if (m == 3) ours_mod = "l"; // 32 bits: snprintf sees no modifier
    } else if (std::strchr("eEfgG", c)) {
        g.kind = 'd';
        if (pick(3) == 0) {
            ours_mod = theirs_mod = "L";
            g.kind = 'L';
        }
    } else if (c == 's') {
        g.kind = 's';
    } else if (c == 'p') {
        g.kind = 'p';
    } else if (c == '%') {
        g.kind = '%';
    }
    const std::string before = pick(2) ? "<" : "";
    const std::string after = pick(2) ? "> tail" : "";
    g.ours = before + "%" + flags + width + precision + ours_mod + c + after;
    g.theirs = before + "%" + flags + width + precision + theirs_mod + c + after;
    return g;
}

// Calls both sides with the argument shape of the generated conversion.
template <typename V, typename W>
void Compare(const Generated& g, V ours_value, W their_value, int w, int p) {
    std::string expected;
    std::string actual;
    if (g.star_width && g.star_precision) {
        actual = Ours(g.ours.c_str(), w, p, ours_value);
        expected = Theirs(g.theirs, w, p, their_value);
    } else if (g.star_width) {
        actual = Ours(g.ours.c_str(), w, ours_value);
        expected = Theirs(g.theirs, w, their_value);
    } else if (g.star_precision) {
        actual = Ours(g.ours.c_str(), p, ours_value);
        expected = Theirs(g.theirs, p, their_value);
    } else {
        actual = Ours(g.ours.c_str(), ours_value);
        expected = Theirs(g.theirs, their_value);
    }
    ASSERT_EQ(actual, expected) << "format " << g.ours;
}

TEST_F(ExtendedFormat, AgreesWithTheCLibraryOverGeneratedConversions) {
    std::mt19937 rng(20261205);
    const char* strings[] = {"", "a", "translator", "mixed Case text", "0123456789abcdef"};
    const double doubles[] = {0.0,    -0.0,          1.0,         -2.5, 3.14159265358979,
                              1e-300, 6.02214076e23, -123456.789, 0.1,  1e100};
    for (int i = 0; i < 20000; ++i) {
        Generated g = Generate(rng);
        // Star values stay non-negative: a negative one is dropped by our
        // engine, where printf reads it as a '-' flag (checked separately).
        int w = static_cast<int>(rng() % 20);
        int p = static_cast<int>(rng() % 12);
        switch (g.kind) {
        case 'i': {
            auto v = static_cast<int>(rng());
            if (g.conversion == 'c' && (v & 0xFF) == 0) v |= 'A'; // a NUL would end the text
            Compare(g, v, v, w, p);
            break;
        }
        case 'q': {
            auto v = static_cast<long long>((static_cast<uint64_t>(rng()) << 32) | rng());
            Compare(g, v, v, w, p);
            break;
        }
        case 'd': {
            double v = doubles[rng() % 10] * ((rng() % 2) ? 1 : 7.25);
            Compare(g, v, v, w, p);
            break;
        }
        case 'L': {
            double v = doubles[rng() % 10];
            Compare(g, v, static_cast<long double>(v), w, p);
            break;
        }
        case 's': {
            const char* v = strings[rng() % 5];
            Compare(g, v, v, w, p);
            break;
        }
        case 'p': {
            void* v = reinterpret_cast<void*>(static_cast<uintptr_t>(rng()) * 16u);
            Compare(g, v, v, w, p);
            break;
        }
        default: // "%%" takes no value; the extra argument is ignored by both
            Compare(g, 0, 0, w, p);
            break;
        }
        if (HasFatalFailure()) return;
    }
}

TEST_F(ExtendedFormat, ArgumentsAreConsumedInAscendingNumberInEveryPermutation) {
    // Argument 1 is an int, 2 a string, 3 a double; the text names them in
    // every order.
    const char* conv[] = {"", "%1$d", "%2$s", "%3$.2f"};
    const char* value[] = {"", "7", "str", "2.50"};
    int order[] = {1, 2, 3};
    int permutations = 0;
    do {
        std::string format =
            std::string(conv[order[0]]) + "|" + conv[order[1]] + "|" + conv[order[2]];
        std::string expected =
            std::string(value[order[0]]) + "|" + value[order[1]] + "|" + value[order[2]];
        EXPECT_EQ(Ours(format.c_str(), 7, "str", 2.5), expected) << format;
        ++permutations;
    } while (std::next_permutation(order, order + 3));
    EXPECT_EQ(permutations, 6);
}

TEST_F(ExtendedFormat, NumberedAndRunningArgumentsAndPrintfEntryPoints) {
    char buffer[128];
    EXPECT_EQ(mpm_Sprintf(buffer, "%2$s=%1$d", 7, "abc"), 0);
    EXPECT_STREQ(buffer, "abc=7");
    EXPECT_EQ(Ours("%5.2f%%", 3.14159), " 3.14%");
    // "%%" takes a number from the running counter, so the next plain
    // conversion is argument 3; numbers only order the consumption.
    EXPECT_EQ(Ours("%d%%%d", 1, 2), "1%2");
    EXPECT_EQ(Ours("%9$s %1$d", 5, "gap"), "gap 5");
    EXPECT_EQ(Ours("%2$d %1$d %2$d", 1, 2), "2 1 2");      // a number used twice repeats its text
    EXPECT_EQ(Ours("%*d|%-*d|", -4, 12, 3, 5), "12|5  |"); // negative star width dropped
    EXPECT_EQ(Ours("%.*f", -1, 2.5), "2.500000");
    EXPECT_EQ(Ours("%.f|%ld|%lld", 2.5, 70000, 1LL << 40), "2|70000|1099511627776");
    EXPECT_EQ(Ours("100%"), "100%");
    EXPECT_EQ(Ours("%y and %q%d", 4), "%y and %q4");
    EXPECT_EQ(Ours("%<NoSuchDirective> and %<open", 1), "%<NoSuchDirective> and %<open");
    int written = 77;
    EXPECT_EQ(Ours("ab%ncd", &written), "abcd");
    EXPECT_EQ(written, 77); // %n writes nothing

    FILE* file = std::tmpfile();
    mpm_Fprintf(file, "%2$s-%1$03d", 9, "x");
    std::rewind(file);
    char read[16] = {};
    ASSERT_NE(std::fgets(read, sizeof read, file), nullptr);
    EXPECT_STREQ(read, "x-009");
    std::fclose(file);
}

TEST_F(ExtendedFormat, LongStringsAreNeverCut) {
    const std::string big(30000, 's');
    EXPECT_EQ(Ours("[%s|%2$-8193s]", big.c_str(), "x"),
              "[" + big + "|x" + std::string(8192, ' ') + "]");
}

// A directive that formats an extended text of its own from inside the engine.
int32_t Nested(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    int value = va_arg(*args, int);
    char* inner = nullptr;
    static const char* const texts[] = {"+(%2$s:%1$d)"};
    static const MVX_MSGNAME names[] = {{"INNER", 1, 0}};
    mvx__Table[90] = MVX_MODULE{90, 1, 0, "TST", texts, names};
    mpm_GetMessage(0, 0x5A0001, &inner, value * 10, "in");
    conv->result = inner;
    return 0;
}

TEST_F(ExtendedFormat, DirectiveHandlersMayFormatExtendedTexts) {
    MPM_SPEC record{};
    std::strcpy(record.name, "Nest");
    auto* stored = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &record));
    ASSERT_NE(stored, nullptr);
    stored->handler = Nested;
    EXPECT_EQ(Ours("a %<Nest> b %s %<Nest>", 4, "mid", 5), "a (in:40) b mid (in:50)");
    // A plain message text formatted as extended on request.
    char* text = nullptr;
    mpm_GetMessage(MPM_EXTENDED, OLM_SIZENOTEQ, &text, 1, 2);
    EXPECT_STREQ(text, "Data size one (1) does not equal data size two (2)\n");
    mvx_Free(0, text);
}

TEST_F(ExtendedFormat, FormatMessageReplacesTheTextAndSurvivesAllocationFailure) {
    auto run = [](const char* source, ...) {
        va_list ap;
        va_start(ap, source);
        char* text = static_cast<char*>(std::malloc(std::strlen(source) + 1));
        std::strcpy(text, source);
        int32_t status = mpm__FormatMessage(0, &text, &ap);
        va_end(ap);
        std::string out = text;
        std::free(text);
        return std::make_pair(status, out);
    };
    EXPECT_EQ(run(" plain %d", 3), std::make_pair(0, std::string("plain 3")));
    EXPECT_EQ(run("+ext %2$s%1$d", 3, "x"), std::make_pair(0, std::string("ext x3")));
    for (long n = 1; n < 50; ++n) {
        mvxc::SetAllocFailure(n);
        auto result = run("+%s %d %f %s %d", "a", 1, 2.0, "b", 3);
        bool failed = mvxc::AllocCount() >= n;
        mvxc::SetAllocFailure(0);
        if (!failed) {
            EXPECT_EQ(result.second, "a 1 2.000000 b 3");
            return;
        }
        EXPECT_EQ(result.first, MVX_EXC_MEMORY);
        EXPECT_EQ(result.second, "+%s %d %f %s %d"); // unchanged
    }
    FAIL() << "never completed";
}

} // namespace
