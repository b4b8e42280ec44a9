// The extended formatting engine: agreement with the C library over many
// generated conversions, numbered arguments, directives and the open cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "mpm/mpm_test_util.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

class ExtendedFormat : public LibraryTest {};

std::string Ours(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char* text = mpm__ExtendedPrint(0, format, &ap);
    va_end(ap);
    return mpmtest::Take(text);
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
    std::string ours, theirs;
    bool star_width = false, star_precision = false;
    char conversion = 'd';
    char kind = 'i'; // i int, q long long, d double, L long double, s string, p pointer, % none
};

Generated Generate(std::mt19937& rng) {
    // Each conversion with the flags it defines and the kind of its argument.
    static const struct {
        char conversion;
        const char* flags;
        char kind;
    } kConversions[] = {{'c', "-", 'i'},     {'d', "-+ 0", 'i'},  {'i', "-+ 0", 'i'},
                        {'o', "-#0", 'i'},   {'u', "-#0", 'i'},   {'x', "-#0", 'i'},
                        {'X', "-#0", 'i'},   {'e', "-+ #0", 'd'}, {'E', "-+ #0", 'd'},
                        {'f', "-+ #0", 'd'}, {'g', "-+ #0", 'd'}, {'G', "-+ #0", 'd'},
                        {'s', "-", 's'},     {'p', "-", 'p'},     {'%', "", '%'}};
    auto pick = [&](unsigned n) { return rng() % n; };
    const auto& c = kConversions[pick(15)];
    Generated g;
    g.conversion = c.conversion, g.kind = c.kind;
    std::string middle, ours_mod, theirs_mod;
    for (const char* f = c.flags; *f != 0; ++f)
        if (pick(4) == 0) middle += *f;
    const unsigned w = c.kind == '%' ? 0 : pick(4),
                   p = std::strchr("cp%", c.conversion) ? 0 : pick(4);
    g.star_width = w == 2, g.star_precision = p == 2;
    middle += w == 1 ? std::to_string(pick(25)) : w == 2 ? "*" : "";
    middle += p == 1 ? "." + std::to_string(pick(12)) : p == 2 ? ".*" : "";
    const unsigned m = pick(4);
    if (c.kind == 'i' && c.conversion != 'c') {
        if (m == 1) ours_mod = theirs_mod = "h";
        if (m == 2) ours_mod = theirs_mod = "ll", g.kind = 'q';
        if (m == 3) ours_mod = "l"; // 32 bits: snprintf sees no modifier
    }
    if (c.kind == 'd' && m == 0) ours_mod = theirs_mod = "L", g.kind = 'L';
    const std::string before = pick(2) ? "<" : "", after = pick(2) ? "> tail" : "";
    g.ours = before + "%" + middle + ours_mod + c.conversion + after;
    g.theirs = before + "%" + middle + theirs_mod + c.conversion + after;
    return g;
}

// Calls both sides with the argument shape of the generated conversion.
template <typename V, typename W>
void Compare(const Generated& g, V ours_value, W their_value, int w, int p) {
    auto both = [&](auto... stars) {
        ASSERT_EQ(Ours(g.ours.c_str(), stars..., ours_value),
                  Theirs(g.theirs, stars..., their_value))
            << "format " << g.ours;
    };
    if (g.star_width && g.star_precision)
        both(w, p);
    else if (g.star_width || g.star_precision)
        both(g.star_width ? w : p);
    else
        both();
}

TEST_F(ExtendedFormat, AgreesWithTheCLibraryOverGeneratedConversions) {
    std::mt19937 rng(20261205);
    const char* strings[] = {"", "a", "translator", "mixed Case text", "0123456789abcdef"};
    const double doubles[] = {0.0,    -0.0,          1.0,         -2.5, 3.14159265358979,
                              1e-300, 6.02214076e23, -123456.789, 0.1,  1e100};
    for (int round = 0; round < 20000; ++round) {
        Generated g = Generate(rng);
        // Star values stay non-negative: a negative one is dropped by our
        // engine, where printf reads it as a '-' flag (checked separately).
        int w = static_cast<int>(rng() % 20);
        int p = static_cast<int>(rng() % 12);
        auto i = static_cast<int>(rng());
        if (g.conversion == 'c' && (i & 0xFF) == 0) i |= 'A'; // a NUL would end the text
        const auto q = static_cast<long long>((static_cast<uint64_t>(rng()) << 32) | rng());
        const double d = doubles[rng() % 10] * ((rng() % 2) ? 1 : 7.25);
        const char* s = strings[rng() % 5];
        void* ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(rng()) * 16u);
        if (g.kind == 'i')
            Compare(g, i, i, w, p);
        else if (g.kind == 'q')
            Compare(g, q, q, w, p);
        else if (g.kind == 'd')
            Compare(g, d, d, w, p);
        else if (g.kind == 'L')
            Compare(g, d, static_cast<long double>(d), w, p);
        else if (g.kind == 's')
            Compare(g, s, s, w, p);
        else if (g.kind == 'p')
            Compare(g, ptr, ptr, w, p);
        else // "%%" takes no value; the extra argument is ignored by both
            Compare(g, 0, 0, w, p);
        if (HasFatalFailure()) return;
    }
}

TEST_F(ExtendedFormat, ArgumentsAreConsumedInAscendingNumberInEveryPermutation) {
    // Argument 1 is an int, 2 a string, 3 a double; the text names them in
    // every order.
    const char* conv[] = {"%1$d", "%2$s", "%3$.2f"};
    const char* value[] = {"7", "str", "2.50"};
    int order[] = {0, 1, 2}, permutations = 0;
    do {
        std::string format, expected;
        for (int k : order)
            format += std::string(conv[k]) + "|", expected += std::string(value[k]) + "|";
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
        const int32_t status = mpm__FormatMessage(0, &text, &ap);
        va_end(ap);
        return std::make_pair(status, mpmtest::Take(text));
    };
    using Result = std::pair<int32_t, std::string>;
    EXPECT_EQ(run(" plain %d", 3), Result(0, "plain 3"));
    EXPECT_EQ(run("+ext %2$s%1$d", 3, "x"), Result(0, "ext x3"));
    Result result;
    mvxtest::FailEachAllocation([&] { result = run("+%s %d %f %s %d", "a", 1, 2.0, "b", 3); },
                                [&](bool failed) {
                                    // On failure the text is left as it was.
                                    EXPECT_EQ(result,
                                              failed ? Result(MVX_EXC_MEMORY, "+%s %d %f %s %d")
                                                     : Result(0, "a 1 2.000000 b 3"));
                                });
}

} // namespace
