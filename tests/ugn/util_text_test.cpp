// EBCDIC conversion over the whole table, the three comparisons, the comment
// and blank tests and the case changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/fixture.h"

namespace {

// The EBCDIC codes that have an ASCII counterpart, written out as runs of
// characters: EBCDIC code of the first character, then the characters.
std::map<int, int> ExpectedEbcdic() {
    const std::vector<std::pair<int, std::string>> runs = {
        {0x40, " "},         {0x4B, ".<(+!&"},      {0x5A, "!$*);^-/"},   {0x6A, "|,%_>?"},
        {0x79, "`:#@'=\""},  {0x81, "abcdefghi"},   {0x8B, "{"},          {0x8E, "+"},
        {0x91, "jklmnopqr"}, {0x9B, "}"},           {0xA1, "~stuvwxyz"},  {0xAD, "["},
        {0xBD, "]"},         {0xC0, "{ABCDEFGHI"},  {0xD0, "}JKLMNOPQR"}, {0xE0, "\\"},
        {0xE2, "STUVWXYZ"},  {0xF0, "0123456789|"},
    };
    std::map<int, int> table;
    for (const auto& [first, chars] : runs) {
        for (std::size_t i = 0; i < chars.size(); ++i)
            table[first + static_cast<int>(i)] = static_cast<unsigned char>(chars[i]);
    }
    return table;
}

TEST(Ebcdic, MapsTheWholeTableAndNothingElse) {
    const std::map<int, int> expected = ExpectedEbcdic();
    ASSERT_EQ(expected.size(), 100u);
    for (int code = 0; code < 256; ++code) {
        const auto it = expected.find(code);
        EXPECT_EQ(ugn_EbcdicToAscii(code), it == expected.end() ? -1 : it->second)
            << std::hex << code;
    }
    for (int code : {256, -1, INT_MIN, INT_MAX, 0x1C1})
        EXPECT_EQ(ugn_EbcdicToAscii(code), -1);
}

// Random pairs (equal ones included) against the operators, the extremes
// where a difference would overflow, NaN as equal to everything, and the
// integer comparison as a qsort order.
TEST(UtilCompare, OrdersLikeTheOperatorsAndSortsWithQsort) {
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
    const int64_t lo = INT64_MIN, hi = INT64_MAX;
    const int32_t ilo = INT32_MIN, ihi = INT32_MAX;
    const double nan = std::numeric_limits<double>::quiet_NaN(), one = 1.0, zero = 0.0,
                 neg_zero = -0.0;
    EXPECT_EQ(ugn_DbptrCompare(&lo, &hi) * 10 + ugn_DbptrCompare(&hi, &lo), -10 + 1);
    EXPECT_EQ(ugn_IntCompare(&ilo, &ihi) * 10 + ugn_IntCompare(&ihi, &ilo), -10 + 1);
    EXPECT_EQ(ugn_DoubleCompare(&nan, &one) + ugn_DoubleCompare(&one, &nan), 0);
    EXPECT_EQ(ugn_DoubleCompare(&zero, &neg_zero), 0);
    std::vector<int32_t> values(1000);
    for (auto& value : values)
        value = static_cast<int32_t>(rng());
    std::vector<int32_t> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    std::qsort(values.data(), values.size(), sizeof(int32_t), ugn_IntCompare);
    EXPECT_EQ(values, sorted);
}

TEST(UtilText, IsCommentAndIsNull) {
    const struct {
        const char *marker, *line;
        int comment;
    } comments[] = {
        {"$$", "   $$", 1},
        {"$$", "x $$", 0},
        {"$$", "  ; $$ text", 1}, // punctuation is passed over
        {"$$", " 1$$", 0},
        {"$$", "  $", 0}, // the end of the line comes first
        {"$$", "", 0},
        {"C", "C comment", 1}, // a letter marker matches first
        {"C", "c comment", 0},
        {"", "anything", 1},
        {"", "", 1},
        {nullptr, "x", 1},
        {"#", nullptr, 0},
        {"#", "\t\xE9#", 1}, // bytes above 127 are not letters
    };
    for (const auto& c : comments)
        EXPECT_EQ(ugn_IsComment(c.marker, c.line), c.comment) << (c.line ? c.line : "null");
    const std::string long_line = std::string(100000, ' ') + "//";
    EXPECT_EQ(ugn_IsComment("//", long_line.c_str()), 1);

    EXPECT_EQ(ugn_IsNull(nullptr), 1);
    EXPECT_EQ(ugn_IsNull(""), 1);
    EXPECT_EQ(ugn_IsNull("\x01\x1f\x7f\x80\xff\r\n \t"), 1);
    EXPECT_EQ(ugn_IsNull("   x  "), 0);
    for (int c = 1; c < 256; ++c) {
        const char text[] = {' ', static_cast<char>(c), '\0'};
        EXPECT_EQ(ugn_IsNull(text), (c >= 33 && c <= 126) ? 0 : 1) << c;
    }
}

TEST(UtilText, CaseChanges) {
    const struct {
        void (*change)(char*);
        const char *in, *out;
    } cases[] = {
        {ugn_GetLower, "MiXeD 123 _Z", "mixed 123 _z"},
        {ugn_GetUpper, "MiXeD 123 _z\xE9", "MIXED 123 _Z\xE9"},
        {ugn_LowerProper, "  HELLO WORLD", "  Hello world"},
        {ugn_LowerProper, "\tHELLO", "\thello"}, // only blanks are skipped
        {ugn_LowerProper, "1ST PLACE", "1st place"},
        {ugn_LowerProper, "   ", "   "},
        {ugn_LowerProper, "", ""},
        {ugn_GetLower, "", ""},
        {ugn_GetUpper, "", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        c.change(text.data());
        EXPECT_EQ(text, c.out);
        c.change(nullptr);
    }
}

} // namespace
