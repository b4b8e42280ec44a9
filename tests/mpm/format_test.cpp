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

// Random conversions (flags, width and precision given or by star, length
// modifiers, text around) through both engines; they differ only where 'l'
// means 32 bits, which snprintf must not see. Star values stay non-negative:
// a negative one is dropped by our engine where printf reads a '-' flag.
TEST_F(ExtendedFormat, AgreesWithTheCLibraryOverGeneratedConversions) {
    static const struct {
        char conversion;
        const char* flags;
        char kind; // i int, d double, s string, p pointer, % none
    } kinds[] = {{'c', "-", 'i'},     {'d', "-+ 0", 'i'},  {'i', "-+ 0", 'i'},  {'o', "-#0", 'i'},
                 {'u', "-#0", 'i'},   {'x', "-#0", 'i'},   {'X', "-#0", 'i'},   {'e', "-+ #0", 'd'},
                 {'E', "-+ #0", 'd'}, {'f', "-+ #0", 'd'}, {'g', "-+ #0", 'd'}, {'G', "-+ #0", 'd'},
                 {'s', "-", 's'},     {'p', "-", 'p'},     {'%', "", '%'}};
    const char* strings[] = {"", "a", "translator", "mixed Case text", "0123456789abcdef"};
    const double doubles[] = {0.0,    -0.0,          1.0,         -2.5, 3.14159265358979,
                              1e-300, 6.02214076e23, -123456.789, 0.1,  1e100};
    std::mt19937 rng(20261205);
    auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    for (int round = 0; round < 20000 && !HasFatalFailure(); ++round) {
        const auto& c = kinds[pick(15)];
        char kind = c.kind; // with 'q' long long and 'L' long double
        std::string middle, ours_mod, theirs_mod;
        for (const char* f = c.flags; *f != 0; ++f)
            if (pick(4) == 0) middle += *f;
        const unsigned w = c.kind == '%' ? 0 : pick(4);
        const unsigned p = std::strchr("cp%", c.conversion) != nullptr ? 0 : pick(4);
        middle += w == 1 ? std::to_string(pick(25)) : w == 2 ? "*" : "";
        middle += p == 1 ? "." + std::to_string(pick(12)) : p == 2 ? ".*" : "";
        const unsigned m = pick(4);
        if (c.kind == 'i' && c.conversion != 'c' && m > 0) {
            ours_mod = m == 1 ? "h" : m == 2 ? "ll" : "l";
            theirs_mod = m == 3 ? "" : ours_mod;
            if (m == 2) kind = 'q';
        }
        if (c.kind == 'd' && m == 0) ours_mod = theirs_mod = "L", kind = 'L';
        const std::string before = pick(2) ? "<" : "", after = pick(2) ? "> tail" : "";
        const std::string ours = before + "%" + middle + ours_mod + c.conversion + after;
        const std::string theirs = before + "%" + middle + theirs_mod + c.conversion + after;
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
        if (c.conversion == 'c' && (i & 0xFF) == 0) i |= 'A'; // a NUL would end the text
        const double d = doubles[pick(10)] * (pick(2) ? 1 : 7.25);
        const auto q = static_cast<long long>((uint64_t{rng()} << 32) | rng());
        const char* str = strings[pick(5)];
        void* ptr = reinterpret_cast<void*>(uintptr_t{rng()} * 16u);
        if (kind == 'i' || kind == '%') // "%%" ignores its value, on both sides
            compare(i, i);
        else if (kind == 'q')
            compare(q, q);
        else if (kind == 'd')
            compare(d, d);
        else if (kind == 'L')
            compare(d, static_cast<long double>(d));
        else if (kind == 's')
            compare(str, str);
        else
            compare(ptr, ptr);
    }
}

// A directive that formats an extended text of its own from inside the engine.
int32_t Nested(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    const int value = va_arg(*args, int);
    char* inner = nullptr;
    static const char* const texts[] = {"+(%2$s:%1$d)"};
    static const MVX_MSGNAME names[] = {{"INNER", 1, 0}};
    mvx__Table[90] = MVX_MODULE{90, 1, 0, "TST", texts, names};
    mpm_GetMessage(0, 0x5A0001, &inner, value * 10, "in");
    conv->result = inner;
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
        {Ours("%2$s|%3$.2f|%1$d|", 7, "str", 2.5), "str|2.50|7|"},
        {Ours("%3$.2f|%1$d|%2$s|", 7, "str", 2.5), "2.50|7|str|"},
        {Ours("%3$.2f|%2$s|%1$d|", 7, "str", 2.5), "2.50|str|7|"},
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
    };
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);
    EXPECT_EQ(written, 77); // %n writes nothing
    // A plain message text formatted as extended on request; the stream entry point.
    char* text = nullptr;
    mpm_GetMessage(MPM_EXTENDED, OLM_SIZENOTEQ, &text, 1, 2);
    EXPECT_EQ(mpmtest::Take(text), "Data size one (1) does not equal data size two (2)\n");
    FILE* file = std::tmpfile();
    mpm_Fprintf(file, "%2$s-%1$03d", 9, "x");
    std::rewind(file);
    char read[16] = {};
    ASSERT_NE(std::fgets(read, sizeof read, file), nullptr);
    EXPECT_STREQ(read, "x-009");
    std::fclose(file);
}

} // namespace
