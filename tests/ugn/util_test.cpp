// The utilities: ugn_FormatDouble at its boundaries and on random doubles
// read back; moves and fills against byte loops; arrays; texts and codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "support/fixture.h"

namespace {

// Formats into a buffer full of junk, which must be cleared after the text.
std::string Format(double value, int32_t* status) {
    char out[24];
    std::memset(out, 'x', sizeof out);
    *status = ugn_FormatDouble(value, out);
    const std::size_t n = strnlen(out, sizeof out);
    EXPECT_LE(n, 22u) << value;
    EXPECT_EQ(std::count(out + n, out + sizeof out, '\0'), 24 - static_cast<long>(n)) << value;
    return std::string(out, n);
}

// The documented examples, the form at its boundaries, rounding carries and
// the limits: below 1e-307 the digits are kept and -307 is written, with
// UGN_MINEXP_ERR returned (never reported); infinities and NaNs are refused
// with an empty text.
TEST(FormatDouble, ExamplesBoundariesAndLimits) {
    const std::tuple<double, const char*, int32_t> rows[] = {
        {123.456, "123.456D0", 0},
        {-0.0625, "-.0625D0", 0},
        {1.7e308, "1.70000000000003D308", 0}, // the last digit carries the scaling error
        {-0.0, "0.0D0", 0},
        // Exponents 0 to 13 are written out, below 1 while zeros and digits fit 15 places.
        {1.0e13, "10000000000000.0D0", 0},
        {123456789012345.0, "1.23456789012345D14", 0},
        {1.5e-14, ".000000000000015D0", 0},
        {1.0e-16, "1.0D-16", 0},
        {0.0123456789012345, "1.23456789012345D-2", 0},
        // Rounding on the 16th digit, with a carry through all 15 into the exponent.
        {9.999999999999999, "10.0D0", 0},
        {0.9999999999999999, "1.0D0", 0},
        {1.0000000000000002, "1.0D0", 0},
        {3.0e-308, "3.0D-307", UGN_MINEXP_ERR},
        {-std::numeric_limits<double>::denorm_min(), "-4.94065645841247D-307", UGN_MINEXP_ERR},
        {-std::numeric_limits<double>::infinity(), "", UGN_BAD_FLOAT},
        {std::numeric_limits<double>::quiet_NaN(), "", UGN_BAD_FLOAT},
    };
    mvx_Initialize(0);
    for (const auto& [value, text, expected] : rows) {
        int32_t status = -1;
        EXPECT_EQ(Format(value, &status), text) << value;
        EXPECT_EQ(status, expected) << value;
    }
    EXPECT_EQ(mpm__ErrorStack->count, 0);
    mvx_Terminate(0);
}

// Random bit patterns cover every exponent, subnormals included. Each text
// has one of the two forms with at most 15 digits, and reads back (with 'D'
// read as 'e') to the value within one unit in the 15th digit for the
// rounding plus 0.17 units per decade of exponent for the scaling, each step
// by 0.1 or 10 rounding once (the 1.7e308 example is 3 units off).
TEST(FormatDouble, RandomValuesReadBackWithinTheLastDigit) {
    const std::regex shape(
        R"(-?((0|[1-9][0-9]*)?\.([0-9]*[1-9]|0)D0|)"
        R"([1-9]\.([0-9]*[1-9]|0)D(-[1-9][0-9]*|1[4-9]|[2-9][0-9]|[1-3][0-9]{2})))");
    std::mt19937_64 rng(0x5EEDF00D);
    int tiny = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint64_t bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        int32_t status = 0;
        std::string text = Format(value, &status);
        if (!std::isfinite(value)) {
            ASSERT_EQ(status, UGN_BAD_FLOAT);
            continue;
        }
        ASSERT_TRUE(std::regex_match(text, shape)) << text;
        const std::size_t d = text.find('D');
        ASSERT_LE(std::count_if(text.begin(), text.begin() + d, ::isdigit), 15) << text;
        text[d] = 'e';
        const long double back = std::strtold(text.c_str(), nullptr);
        const long double magnitude = std::fabs(static_cast<long double>(value));
        if (status == UGN_MINEXP_ERR) { // the digits of the value with exponent -307
            ASSERT_LT(magnitude, 1.001e-307L) << text;
            ++tiny;
            continue;
        }
        ASSERT_EQ(status, 0) << text;
        ASSERT_GT(magnitude, 0.999e-307L) << text;
        const long double decades = std::fabs(std::floor(std::log10(magnitude)));
        const long double unit = std::pow(10.0L, std::floor(std::log10(magnitude)) - 14);
        ASSERT_LE(std::fabs(back - value), unit * (0.6L + 0.17L * decades))
            << text << " for " << value;
    }
    EXPECT_GT(tiny, 100); // subnormals and values below 1e-307 came up
}

// Each swap exchanges the first two of three elements of its width;
// counts below 1 and null arrays do nothing. -0.0 must stay -0.0.
TEST(UtilMemory, SwapsExchangeArraysOfEveryWidth) {
    auto swapped = [](auto swap, auto x, auto y) {
        decltype(x) a[] = {x, x, x}, b[] = {y, y, y};
        for (int count : {2, 0, -5})
            swap(count, a, b);
        swap(2, nullptr, b);
        swap(2, a, nullptr);
        return std::signbit(double(a[1])) == std::signbit(double(y)) && a[0] == y && a[1] == y &&
               a[2] == x && b[0] == x && b[1] == x && b[2] == y;
    };
    EXPECT_TRUE(swapped(ugn_SwapByte, uint8_t{1}, uint8_t{200}));
    EXPECT_TRUE(swapped(ugn_SwapShort, int16_t{-1}, int16_t{0x1234}));
    EXPECT_TRUE(swapped(ugn_SwapInt, 1, INT32_MIN));
    EXPECT_TRUE(swapped(ugn_SwapLong, INT32_MAX, -9));
    EXPECT_TRUE(swapped(ugn_SwapFloat, 1.5f, 0.25f));
    EXPECT_TRUE(swapped(ugn_SwapDouble, 1e300, -0.0));
}

// Random moves, fills and zeroings in one buffer against byte loops: every
// alignment, both directions of a move, overlapping or not, counts below 1.
// A move must give what copying byte by byte in its direction gives.
TEST(UtilMemory, MoveFillAndZeroMatchByteLoops) {
    std::mt19937 rng(20240611);
    std::array<uint8_t, 256> actual{}, expected{};
    for (int round = 0; round < 40000; ++round) {
        for (auto& b : actual)
            b = static_cast<uint8_t>(rng());
        expected = actual;
        const int length = static_cast<int>(rng() % 100);
        const int from = static_cast<int>(rng() % (256 - length));
        // Targets near the source as often as far ones.
        const int near = std::clamp(from + static_cast<int>(rng() % 41) - 20, 0, 256 - length);
        const int to = round % 2 == 0 ? near : static_cast<int>(rng() % (256 - length));
        const int op = static_cast<int>(rng() % 4); // 0, 1 move; 2 fill; 3 zero
        const int count = op == 0 ? -length : op == 1 ? length : length - 3;
        const auto byte = static_cast<uint8_t>(op == 2 ? rng() : 0);
        if (op < 2) {
            ugn_MoveByte(count, actual.data() + from, actual.data() + to);
        } else if (op == 2) {
            ugn_FillByte(count, byte, actual.data() + to);
        } else {
            ugn_ZeroByte(count, actual.data() + to);
        }
        for (int k = 0; k < (op < 2 ? length : count); ++k) {
            const int i = op == 0 ? length - 1 - k : k;
            expected[to + i] = op < 2 ? expected[from + i] : byte;
        }
        ASSERT_EQ(actual, expected)
            << "op " << op << " count " << count << " from " << from << " to " << to;
    }
    ugn_MoveByte(5, nullptr, actual.data());
    ugn_MoveByte(5, actual.data(), nullptr);
    ugn_FillByte(4, 1, nullptr);
    ugn_ZeroByte(4, nullptr);
}

// One array of 8-byte elements through calls by the table, some with the
// allocation failing: the result and the element count afterwards. A call
// that leaves the count leaves the array where it was; growth keeps the
// first 9 elements and makes the whole size usable; mode 1 creates zeroed.
TEST(UtilMemory, GetMemoryCreatesGrowsAndRefusesByTheTable) {
    const struct {
        int32_t mode, used, extra, step, size;
        bool fail_allocation;
        int32_t result, allocated;
    } rows[] = {
        {1, 0, 0, 10, 8, true, 1, 0},   // failed creation changes nothing
        {1, 0, 0, 10, 8, false, 0, 10}, // mode 1: zeroed, step elements
        {1, 0, 0, 10, 8, false, 1, 10}, // mode 1 once there is an array
        {0, 9, 0, 5, 8, false, 0, 10},  // room left: unchanged
        {0, 10, 0, 5, 8, true, 1, 10},  // failed growth keeps the array
        {0, 10, 0, 5, 8, false, 0, 15}, // full: grows by step
        {2, 6, 9, 5, 8, false, 0, 20},  // used + extra counts
        {0, 0, 0, 0, 8, false, 1, 20},  // step, size below 1
        {1, 0, 0, 4, -8, false, 1, 20},
        {0, INT32_MAX, INT32_MAX, INT32_MAX, 1, false, 1, 20}, // the count would pass INT32_MAX
    };
    int32_t allocated = 0;
    void* block = nullptr;
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.mode << " " << row.used << " " << row.step);
        void* before = block;
        const int32_t count = allocated;
        mvxc::SetAllocFailure(row.fail_allocation ? 1 : 0);
        EXPECT_EQ(
            ugn_GetMemory(row.mode, row.used, row.extra, row.step, row.size, &allocated, &block),
            row.result);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(allocated, row.allocated);
        EXPECT_TRUE(allocated != count || block == before);
        if (allocated == 0) continue;
        auto* values = static_cast<int64_t*>(block);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(values[i], count == 0 ? 0 : i * 11);
            values[i] = i * 11;
        }
        values[allocated - 1] = 7;
    }
    EXPECT_EQ(ugn_GetMemory(0, 0, 0, 4, 8, nullptr, &block) +
                  ugn_GetMemory(0, 0, 0, 4, 8, &allocated, nullptr),
              2);
    int32_t used = 17;
    ugn_FreeMemory(&used, &allocated, &block);
    EXPECT_TRUE(block == nullptr && used == 0 && allocated == 0);
    // Any other mode creates an uninitialised array of step elements.
    ASSERT_EQ(ugn_GetMemory(0, 0, 0, 3, 4, &allocated, &block), 0);
    EXPECT_EQ(allocated, 3);
    ugn_FreeMemory(nullptr, nullptr, &block);
    ugn_FreeMemory(nullptr, nullptr, nullptr);

    // The one-call allocation: zeroed with mode 1; refused, or failing,
    // without touching the block pointer.
    for (int mode : {1, 0}) {
        ASSERT_EQ(ugn_GetMemoryShort(mode, 100, 3, &block), 0);
        EXPECT_TRUE(mode == 0 || std::count(static_cast<uint8_t*>(block),
                                            static_cast<uint8_t*>(block) + 300, 0) == 300);
        ugn_FreeMemoryShort(&block);
        mvxc::SetAllocFailure(1);
        EXPECT_EQ(ugn_GetMemoryShort(mode, 8, 8, &block), 1);
        mvxc::SetAllocFailure(0);
    }
    EXPECT_EQ(ugn_GetMemoryShort(0, -1, 8, &block) + ugn_GetMemoryShort(1, 8, -1, &block) +
                  ugn_GetMemoryShort(1, 8, 8, nullptr),
              3);
    EXPECT_EQ(block, nullptr);
    ugn_FreeMemoryShort(nullptr);
}

// The EBCDIC codes that have an ASCII counterpart, as runs of characters:
// the EBCDIC code of the first character, then the characters.
TEST(UtilText, EbcdicMapsTheWholeTableAndNothingElse) {
    const std::vector<std::pair<int, std::string>> runs = {
        {0x40, " "},         {0x4B, ".<(+!&"},      {0x5A, "!$*);^-/"},   {0x6A, "|,%_>?"},
        {0x79, "`:#@'=\""},  {0x81, "abcdefghi"},   {0x8B, "{"},          {0x8E, "+"},
        {0x91, "jklmnopqr"}, {0x9B, "}"},           {0xA1, "~stuvwxyz"},  {0xAD, "["},
        {0xBD, "]"},         {0xC0, "{ABCDEFGHI"},  {0xD0, "}JKLMNOPQR"}, {0xE0, "\\"},
        {0xE2, "STUVWXYZ"},  {0xF0, "0123456789|"},
    };
    std::map<int, int> expected;
    for (const auto& [first, chars] : runs) {
        for (std::size_t i = 0; i < chars.size(); ++i)
            expected[first + static_cast<int>(i)] = static_cast<unsigned char>(chars[i]);
    }
    ASSERT_EQ(expected.size(), 100u);
    for (int code : {-1, INT_MIN, INT_MAX, 256, 0x1C1})
        EXPECT_EQ(ugn_EbcdicToAscii(code), -1);
    for (int code = 0; code < 256; ++code) {
        const auto it = expected.find(code);
        EXPECT_EQ(ugn_EbcdicToAscii(code), it == expected.end() ? -1 : it->second) << code;
    }
}

// Random pairs (equal ones included, differences that would overflow
// included) against the operators; NaN compares equal to everything.
TEST(UtilText, ComparisonsOrderLikeTheOperators) {
    std::mt19937_64 rng(77);
    auto sign = [](auto a, auto b) { return a < b ? -1 : (a > b ? 1 : 0); };
    for (int i = 0; i < 10000; ++i) {
        const auto a = static_cast<int64_t>(rng()),
                   b = i % 7 == 0 ? a : static_cast<int64_t>(rng());
        const auto x = static_cast<int32_t>(a), y = static_cast<int32_t>(b);
        const double u = x / 7.0, v = y / 7.0;
        ASSERT_EQ(ugn_DbptrCompare(&a, &b), sign(a, b));
        ASSERT_EQ(ugn_IntCompare(&x, &y), sign(x, y));
        ASSERT_EQ(ugn_DoubleCompare(&u, &v), sign(u, v));
    }
    const double nan = std::numeric_limits<double>::quiet_NaN(), one = 1.0;
    EXPECT_EQ(ugn_DoubleCompare(&nan, &one) + 10 * ugn_DoubleCompare(&one, &nan), 0);
}

TEST(UtilText, CommentsBlanksAndCaseChanges) {
    const std::tuple<const char*, const char*, int> comments[] = {
        {"$$", "   $$", 1},    {"$$", "  ; $$ text", 1}, // punctuation is passed over
        {"$$", " 1$$", 0},     {"$$", "  $", 0},         // the end of the line comes first
        {"C", "C comment", 1},                           // a letter marker matches first
        {"C", "c comment", 0}, {nullptr, "x", 1},
        {"#", nullptr, 0},     {"#", "\t\xE9#", 1}, // bytes above 127 are not letters
    };
    for (const auto& [marker, line, comment] : comments)
        EXPECT_EQ(ugn_IsComment(marker, line), comment) << (line ? line : "null");
    EXPECT_EQ(ugn_IsNull(nullptr), 1);
    for (int c = 0; c < 256; ++c) {
        const char text[] = {' ', static_cast<char>(c), '\t', '\0'};
        EXPECT_EQ(ugn_IsNull(text), (c >= 33 && c <= 126) ? 0 : 1) << c;
    }
    const std::tuple<void (*)(char*), const char*, const char*> cases[] = {
        {ugn_GetLower, "MiXeD 123 _Z\xC9", "mixed 123 _z\xC9"},
        {ugn_GetUpper, "MiXeD 123 _z\xE9", "MIXED 123 _Z\xE9"},
        {ugn_LowerProper, "  HELLO WORLD", "  Hello world"},
        {ugn_LowerProper, "\tHELLO", "\thello"}, // only blanks are skipped
        {ugn_LowerProper, "   ", "   "},
    };
    for (const auto& [change, in, out] : cases) {
        std::string text = in;
        change(text.data());
        EXPECT_EQ(text, out);
        change(nullptr);
    }
}

} // namespace
