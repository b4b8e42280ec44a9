// Text conversion: the JIS tables and their lookups, Shift-JIS arithmetic,
// start-up without memory, and UTF-8 <-> UTF-16 conversion of random
// well-formed and malformed strings against reference encoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

// The JIS tables hold exactly the lines of data/jis0208.tsv and jis0212.tsv
// (read here, not by the generator); lookups refuse codes out of range.
TEST_F(LibraryTest, UnlTablesHoldTheMappingFilesAndRefuseCodesOutOfRange) {
    // Lookups before start-up find no table and give 0 rather than crash.
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0);
    EXPECT_EQ(unl_UnicodeToJis(0, 0x3000), 0u);
    ASSERT_EQ(unl_Initialize(0), 0);
    std::vector<uint32_t> inverse(65536, 0);
    for (int s = 0; s < 2; ++s) {
        const std::string file = s == 0 ? "jis0208.tsv" : "jis0212.tsv";
        std::ifstream in(std::string(MVX_TEST_DATA_DIR) + "/../../data/" + file);
        std::vector<uint16_t> expected((s == 0 ? 84 : 77) * 94, 0);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            const auto jis = static_cast<int32_t>(std::stoul(line, nullptr, 16));
            const auto uni =
                static_cast<uint16_t>(std::stoul(line.substr(line.find('\t')), nullptr, 16));
            EXPECT_EQ(unl_JisToUnicode(s + 1, jis), uni) << line;
            EXPECT_EQ(unl_UnicodeToJis(0, uni), UNL_ENTRY(jis, s == 0 ? '8' : '2')) << line;
            expected[static_cast<size_t>(((jis >> 8) - 0x21) * 94 + (jis & 0xFF) - 0x21)] = uni;
            inverse[uni] = UNL_ENTRY(jis, s == 0 ? '8' : '2');
        }
        const uint16_t* table = s == 0 ? unl_Jis208 : unl_Jis212;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), table)) << file;
    }
    EXPECT_TRUE(std::equal(inverse.begin(), inverse.end(), unl_Unicode));

    // The text's first character (its flag) is not printed; an empty line ends it.
    auto text = [](long row, int column) {
        return "*** Error (UNL_INVALID_INDEX_ERR) ***\nhe index " + std::to_string(row) + " or " +
               std::to_string(column) + " is too large or too small for the array.\n\n";
    };
    // Set 0 looks a Unicode code up; an empty text is no message.
    const struct {
        int32_t set, code;
        uint32_t result;
        std::string issued;
    } cases[] = {
        {2, 0x6E21, 0, text(77, 0)},            // first row beyond JIS X 0212
        {1, 0x7521, 0, text(84, 0)},            // first row beyond JIS X 0208
        {1, 0x217F, 0, text(0, 94)},            // column beyond the row
        {1, 0x2120, 0, text(0, -1)},            // column below 0x21
        {1, INT32_MIN, 0, text(-8388642, 223)}, // no overflow on the way
        {3, 0x2121, 0, ""},                     // no such set: nothing looked up
        {-1, 0x2020, 0, text(-1, -1)},          // a malformed code is reported for any set
        {0, 0x10000, 0x690000, text(256, 0)},
        {0, -1, 0x690000, text(-1, 255)},
    };
    for (const auto& c : cases) {
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(c.set != 0 ? unl_JisToUnicode(c.set, c.code) : unl_UnicodeToJis(0, c.code),
                  c.result)
            << c.set << " " << c.code;
        EXPECT_EQ(rec.On(stderr), c.issued);
        EXPECT_TRUE(mvxtest::StackTexts().empty()); // issued, then the stack dumped
    }
    // The splitting helpers fill only what they are given, quietly.
    EXPECT_EQ(unl__JisToRowCol(0x2121, nullptr, nullptr), 0);
    EXPECT_EQ(unl__UniToRowCol(-1, nullptr, nullptr), UNL_INVALID_INDEX_ERR);
    EXPECT_EQ(mpm__LastError, 0);

    // Shift-JIS: inverse conversions over every valid JIS code.
    for (int32_t jis = 0x2121; jis <= 0x7E7E; jis += (jis & 0xFF) == 0x7E ? 0xA3 : 1) {
        const int32_t sjis = unl_JisToShift(jis), lead = sjis >> 8, trail = sjis & 0xFF;
        ASSERT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << jis;
        ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << jis;
        ASSERT_EQ(unl_ShiftToJis(sjis), jis) << std::hex << jis << " " << sjis;
    }
    EXPECT_EQ(unl_JisToShift(0x2221), 0x819F);
    EXPECT_EQ(unl_JisToShift(0x5F21), 0xE040); // the lead bytes jump to 0xE0
    EXPECT_EQ(unl_ShiftToJis(0x0041), 0);      // negative row
    EXPECT_EQ(unl_ShiftToJis(0x8110), 0);      // negative column

    // A second start-up refills the same tables.
    uint16_t* first = unl_Jis208;
    unl_Jis208[0] = 0xBEEF;
    EXPECT_EQ(unl_Initialize(0), 0);
    EXPECT_EQ(unl_Jis208, first);
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0x3000);
    EXPECT_EQ(unl_Terminate(0), 0);
    EXPECT_EQ(unl_Terminate(0), 0); // the pointers are null: nothing is freed twice

    // Each table failing in turn: the others are complete, and no message.
    long n = 0;
    int32_t status = 0;
    auto check = [&](bool failed) {
        EXPECT_EQ(status, failed ? UNL_MALLOC_ERR : 0);
        EXPECT_EQ(mpm__LastError, 0);
        const void* const tables[3] = {unl_Jis208, unl_Jis212, unl_Unicode};
        for (int t = 0; t < 3; ++t)
            EXPECT_EQ(tables[t] == nullptr, n == t + 1) << t;
        EXPECT_TRUE(unl_Jis208 == nullptr || unl_JisToUnicode(1, 0x2140) == 0x5C);
        EXPECT_TRUE(unl_Jis212 == nullptr || unl_JisToUnicode(2, 0x2237) == 0x7E);
        EXPECT_TRUE(unl_Unicode == nullptr || unl_UnicodeToJis(0, 0x7E) == 0x00322237u);
        unl_Terminate(0);
    };
    EXPECT_EQ(mvxtest::FailEachAllocation([&] { ++n, status = unl_Initialize(0); }, check), 3);
}

// Reference encoders: c in n bytes when told (an overlong form), anything up
// to 0x1FFFFF encoded as the bit pattern says.
void AppendUtf8(std::string& out, uint32_t c, int n = 0) {
    if (n == 0) n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    const unsigned lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[n] + (c >> (6 * (n - 1))));
    for (int i = n - 2; i >= 0; --i)
        out += static_cast<char>(0x80 + ((c >> (6 * i)) & 63));
}
void AppendUtf16(std::u16string& out, uint32_t c) {
    if (c >= 0x10000) out += static_cast<char16_t>(0xD800 + (c - 0x10000) / 1024);
    out += static_cast<char16_t>(c < 0x10000 ? c : 0xDC00 + (c - 0x10000) % 1024);
}

// Strings of code points anywhere or at the edges of every rule, some overlong,
// cut short, with a stray byte or a lone surrogate, convert exactly when all
// their pieces are well formed; a failure records its error, returns no string.
TEST_F(LibraryTest, UnlRandomStringsConvertExactlyWhenWellFormed) {
    const uint32_t edges[] = {0x01,    0x7F,     0x80,     0x7FF,   0x800,  0xD7FF,
                              0xD800,  0xDBFF,   0xDC00,   0xDFFF,  0xE000, 0xFFFF,
                              0x10000, 0x10FFFF, 0x110000, 0x1FFFFF};
    const char stray[] = "\x80\xBF\xC0\xC1\xF5\xF8\xFC\xFE\xFF";
    std::mt19937 rng(20261206);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    for (int round = 0; round < 40000; ++round) {
        std::string s8, want8;
        std::u16string s16, want16;
        bool ok8 = true, ok16 = true;
        for (size_t piece = 0, pieces = 1 + pick(3); piece < pieces; ++piece) {
            const bool last = piece + 1 == pieces;
            const uint32_t edge = edges[pick(16)];
            const uint32_t c = pick(2) ? 1 + pick(0x10FFFF) : edge > 2 ? edge - pick(3) : edge;
            const size_t natural = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            const bool scalar = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
            std::string bytes;
            const size_t form = pick(8); // 0 overlong, 1 cut short, 2 a stray byte
            const bool overlong = form == 0 && natural < 4, cut = form == 1 && natural > 1;
            AppendUtf8(bytes, c, overlong ? natural + 1 : natural);
            if (cut && last) bytes.pop_back();    // at the end of the string,
            if (cut && !last) bytes.back() = 'A'; // or followed by what cannot continue it
            if (form == 2) bytes = stray[pick(9)];
            s8 += bytes;
            ok8 = ok8 && scalar && !overlong && !cut && form != 2;
            if (scalar) {
                AppendUtf16(s16, c), AppendUtf16(want16, c), AppendUtf8(want8, c);
            } else if (c <= 0xFFFF) { // a lone surrogate, unless it ends the string
                s16 += static_cast<char16_t>(c);
                if (!last) s16 += u'A';
                ok16 = false;
            }
        }
        SCOPED_TRACE(testing::PrintToString(s8) + " " + testing::PrintToString(s16));
        auto* wide = reinterpret_cast<uint16_t*>(1);
        auto* narrow = reinterpret_cast<char*>(1);
        ASSERT_EQ(unl_StrUTF8ToUTF16(0, s8.c_str(), &wide), ok8 ? 0 : UNL_CONVERSION_ERR);
        ASSERT_EQ(unl_StrUTF16ToUTF8(0, reinterpret_cast<const uint16_t*>(s16.c_str()), &narrow),
                  ok16 ? 0 : UNL_CONVERSION_ERR);
        EXPECT_EQ(wide == nullptr ? u"-" : std::u16string(reinterpret_cast<char16_t*>(wide)),
                  ok8 ? want16 : u"-");
        EXPECT_EQ(narrow == nullptr ? "-" : std::string(narrow), ok16 ? want8 : "-");
        EXPECT_EQ(mpm__LastError, ok8 && ok16 ? 0 : UNL_CONVERSION_ERR);
        std::free(wide);
        std::free(narrow);
        mpm_ClearStack(0);
        mpm__LastError = 0;
    }
    // Null arguments; memory running out (each conversion makes one allocation).
    auto* wide = reinterpret_cast<uint16_t*>(1);
    auto* narrow = reinterpret_cast<char*>(1);
    const uint16_t abc[] = {'a', 'b', 'c', 0};
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, nullptr, &wide), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "abc", nullptr), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, nullptr, &narrow), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, abc, nullptr), UNL_CONVERSION_ERR);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "abc", &wide), UNL_MALLOC_ERR);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, abc, &narrow), UNL_MALLOC_ERR);
    EXPECT_EQ(mvxtest::StackTexts().size(), 6u);
}

} // namespace
