// The JIS tables against the mapping files they are built from, the range
// checks of the lookups, Shift-JIS arithmetic, and start-up and shut-down of
// the module with and without memory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

class JisTables : public mvxtest::UnlTest {};

// Each line of data/jis0208.tsv and data/jis0212.tsv, read here rather than
// by the generator, maps both ways with its set; the tables hold nothing else.
TEST_F(JisTables, EveryMappingRoundTripsAndNothingElseIsStored) {
    const char* const files[2] = {"jis0208.tsv", "jis0212.tsv"};
    const uint16_t* const tables[2] = {unl_Jis208, unl_Jis212};
    const size_t rows[2] = {84, 77}, counts[2] = {6879, 6067};
    const uint32_t set_chars[2] = {'8', '2'};
    for (int s = 0; s < 2; ++s) {
        std::ifstream in(std::string(MVX_TEST_DATA_DIR) + "/../../data/" + files[s]);
        ASSERT_TRUE(in.good()) << files[s];
        std::vector<uint16_t> expected(rows[s] * 94, 0);
        size_t count = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            const auto jis = static_cast<int32_t>(std::stoul(line, nullptr, 16));
            const auto uni =
                static_cast<uint16_t>(std::stoul(line.substr(line.find('\t')), nullptr, 16));
            SCOPED_TRACE(testing::Message() << files[s] << ": " << line);
            EXPECT_EQ(unl_JisToUnicode(s + 1, jis), uni);
            EXPECT_EQ(unl_UnicodeToJis(0, uni), set_chars[s] << 16 | static_cast<uint32_t>(jis));
            expected[static_cast<size_t>(((jis >> 8) - 0x21) * 94 + (jis & 0xFF) - 0x21)] = uni;
            ++count;
        }
        EXPECT_EQ(count, counts[s]);
        EXPECT_EQ(std::memcmp(tables[s], expected.data(), expected.size() * 2), 0) << files[s];
    }
    size_t inverse = 0;
    for (uint32_t u = 0; u < 65536; ++u)
        inverse += unl_Unicode[u] != 0;
    EXPECT_EQ(inverse, counts[0] + counts[1]);
}

TEST_F(JisTables, OutOfRangeCodesIssueInvalidIndexWithRowAndColumn) {
    // The text's first character is its flag and is not printed; the line
    // output ends the message with an empty line.
    auto text = [](long row, int column) {
        return "*** Error (UNL_INVALID_INDEX_ERR) ***\nhe index " + std::to_string(row) + " or " +
               std::to_string(column) + " is too large or too small for the array.\n\n";
    };
    const struct {
        int32_t set; // 0 with a Unicode code: unl_UnicodeToJis
        int32_t code;
        uint32_t result;
        std::string issued; // empty: no message
    } cases[] = {
        {2, 0x6E21, 0, text(77, 0)},            // first row beyond JIS X 0212
        {2, 0x6D63, 0x9FA5, ""},                // last row of JIS X 0212 is accepted
        {1, 0x7426, 0x7199, ""},                // last character of JIS X 0208
        {1, 0x7521, 0, text(84, 0)},            // first row beyond JIS X 0208
        {1, 0x217F, 0, text(0, 94)},            // column beyond the row
        {1, 0x2120, 0, text(0, -1)},            // column below 0x21
        {1, 0x2020, 0, text(-1, -1)},           // both bytes below 0x21
        {2, 0x2100, 0, text(-1, 223)},          // the low byte borrows from the high one
        {1, INT32_MIN, 0, text(-8388642, 223)}, // no overflow on the way
        {3, 0x2121, 0, ""},                     // no such set: nothing looked up
        {-1, 0x2020, 0, text(-1, -1)},          // a malformed code is reported for any set
        {0, 0x10000, 0x690000, text(256, 0)},
        {0, -1, 0x690000, text(-1, 255)},
        {0, 0x7FFFFFFF, 0x690000, text(0x7FFFFF, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.set << " " << c.code);
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(c.set != 0 ? unl_JisToUnicode(c.set, c.code) : unl_UnicodeToJis(0, c.code),
                  c.result);
        EXPECT_EQ(rec.On(stderr), c.issued);
        EXPECT_TRUE(mvxtest::StackTexts().empty()); // issued, then the stack dumped
    }
    // The splitting helpers fill only what they are given, quietly.
    EXPECT_EQ(unl__JisToRowCol(0x2121, nullptr, nullptr), 0);
    EXPECT_EQ(unl__UniToRowCol(-1, nullptr, nullptr), UNL_INVALID_INDEX_ERR);
    EXPECT_EQ(mpm__LastError, 0);
}

TEST(ShiftJis, ConversionsAreInverseOverEveryValidJisCode) {
    for (int32_t high = 0x21; high <= 0x7E; ++high) {
        for (int32_t low = 0x21; low <= 0x7E; ++low) {
            const int32_t jis = (high << 8) | low, sjis = unl_JisToShift(jis);
            const int32_t lead = sjis >> 8, trail = sjis & 0xFF;
            ASSERT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << jis;
            ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << jis;
            ASSERT_EQ(unl_ShiftToJis(sjis), jis) << std::hex << jis << " " << sjis;
        }
    }
    EXPECT_EQ(unl_JisToShift(0x2221), 0x819F);
    EXPECT_EQ(unl_JisToShift(0x5F21), 0xE040); // the lead bytes jump to 0xE0
    EXPECT_EQ(unl_ShiftToJis(0x0041), 0);      // negative row
    EXPECT_EQ(unl_ShiftToJis(0x8110), 0);      // negative column
}

TEST_F(LibraryTest, UnlSlotIsFilledOnlyByUnlInitializeAndTablesFreedByTerminate) {
    const MVX_MODULE empty{};
    EXPECT_EQ(std::memcmp(&mvx__Table[MVX_MODULE_UNL], &empty, sizeof empty), 0);
    // Lookups before start-up find no table and give 0 rather than crash.
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0);
    EXPECT_EQ(unl_UnicodeToJis(0, 0x3000), 0u);
    ASSERT_EQ(unl_Initialize(0), 0);
    EXPECT_STREQ(mvx__Table[MVX_MODULE_UNL].code, "UNL");
    EXPECT_EQ(mvx__Table[MVX_MODULE_UNL].count, 3);
    // A second start-up refills the same tables.
    uint16_t* first = unl_Jis208;
    unl_Jis208[0] = 0xBEEF;
    EXPECT_EQ(unl_Initialize(0), 0);
    EXPECT_EQ(unl_Jis208, first);
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0x3000);
    EXPECT_EQ(unl_Terminate(0), 0);
    EXPECT_TRUE(unl_Jis208 == nullptr && unl_Jis212 == nullptr && unl_Unicode == nullptr);
    EXPECT_EQ(unl_Terminate(0), 0); // nothing left to free twice
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0);

    // Each table failing in turn: the others are complete, and no message.
    long n = 0;
    int32_t status = 0;
    auto check = [&](bool failed) {
        EXPECT_EQ(status, failed ? UNL_MALLOC_ERR : 0);
        EXPECT_EQ(mpm__LastError, 0);
        EXPECT_EQ(unl_Jis208 == nullptr, n == 1);
        EXPECT_EQ(unl_Jis212 == nullptr, n == 2);
        EXPECT_EQ(unl_Unicode == nullptr, n == 3);
        EXPECT_TRUE(unl_Jis208 == nullptr || unl_JisToUnicode(1, 0x2140) == 0x5C);
        EXPECT_TRUE(unl_Jis212 == nullptr || unl_JisToUnicode(2, 0x2237) == 0x7E);
        EXPECT_TRUE(unl_Unicode == nullptr || unl_UnicodeToJis(0, 0x7E) == 0x00322237u);
        unl_Terminate(0);
    };
    EXPECT_EQ(mvxtest::FailEachAllocation([&] { ++n, status = unl_Initialize(0); }, check), 3);
}

} // namespace
