// The JIS character tables against the mapping files they are built from,
// the lookups and their range checks, Shift-JIS arithmetic, start-up and
// shut-down of the module.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"
#include "unl/unl_int.h"

namespace {

using mvxtest::LibraryTest;

struct Mapping {
    int32_t jis;
    uint16_t unicode;
};

// Reads one of the mapping files in data/ (the source the tables are
// generated from), independently of the generator.
std::vector<Mapping> ReadMappings(const char* file) {
    std::ifstream in(std::string(MVX_TEST_DATA_DIR) + "/../../data/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::vector<Mapping> all;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string jis, uni;
        fields >> jis >> uni;
        all.push_back({static_cast<int32_t>(std::stoul(jis, nullptr, 16)),
                       static_cast<uint16_t>(std::stoul(uni, nullptr, 16))});
    }
    return all;
}

class JisTables : public mvxtest::UnlTest {};

TEST_F(JisTables, EveryMappingRoundTripsThroughUnicodeWithItsSet) {
    const std::vector<Mapping> sets[2] = {ReadMappings("jis0208.tsv"), ReadMappings("jis0212.tsv")};
    ASSERT_EQ(sets[0].size(), 6879u);
    ASSERT_EQ(sets[1].size(), 6067u);
    const char set_chars[2] = {'8', '2'};
    const uint16_t* tables[2] = {unl_Jis208, unl_Jis212};
    const int rows[2] = {84, 77};
    for (int s = 0; s < 2; ++s) {
        std::vector<uint16_t> expected(static_cast<size_t>(rows[s]) * 94, 0);
        for (const Mapping& m : sets[s]) {
            SCOPED_TRACE(testing::Message() << std::hex << "set " << s + 1 << " JIS " << m.jis);
            EXPECT_EQ(unl_JisToUnicode(s + 1, m.jis), m.unicode);
            const uint32_t entry = unl_UnicodeToJis(0, m.unicode);
            EXPECT_EQ(entry,
                      (static_cast<uint32_t>(set_chars[s]) << 16) | static_cast<uint32_t>(m.jis));
            EXPECT_EQ(UNL_ENTRY_JIS(entry), m.jis);
            EXPECT_EQ(UNL_ENTRY_SET(entry), set_chars[s]);
            expected[static_cast<size_t>(((m.jis >> 8) - 0x21) * 94 + (m.jis & 0xFF) - 0x21)] =
                m.unicode;
        }
        // Nothing else in the table: every position the file leaves out is 0.
        EXPECT_EQ(std::memcmp(tables[s], expected.data(), expected.size() * 2), 0);
    }
    // And the inverse table holds exactly those characters.
    int per_set[2] = {0, 0};
    for (uint32_t u = 0; u < 65536; ++u) {
        const uint32_t entry = unl_Unicode[u];
        if (entry == 0) continue;
        ASSERT_EQ(entry >> 24, 0u) << u;
        ASSERT_TRUE(UNL_ENTRY_SET(entry) == '8' || UNL_ENTRY_SET(entry) == '2') << u;
        ++per_set[UNL_ENTRY_SET(entry) == '8' ? 0 : 1];
    }
    EXPECT_EQ(per_set[0], 6879);
    EXPECT_EQ(per_set[1], 6067);
}

TEST_F(JisTables, OutOfRangeCodesIssueInvalidIndexWithRowAndColumn) {
    const std::string banner = "*** Error (UNL_INVALID_INDEX_ERR) ***\n";
    // The text's first character is its flag and is not printed.
    auto text = [&](int row, int column) {
        return banner + "he index " + std::to_string(row) + " or " + std::to_string(column) +
               " is too large or too small for the array.\n\n"; // the line output ends it
    };
    struct Case {
        int32_t set, code;
        uint16_t result;
        std::string issued; // empty: no message
    };
    const Case cases[] = {
        {2, 0x6E21, 0, text(77, 0)},   // first row beyond JIS X 0212
        {2, 0x6D63, 0x9FA5, ""},       // last row of JIS X 0212 is accepted
        {1, 0x7426, 0x7199, ""},       // last character of JIS X 0208
        {1, 0x7521, 0, text(84, 0)},   // first row beyond JIS X 0208
        {1, 0x217F, 0, text(0, 94)},   // column beyond the row
        {1, 0x2020, 0, text(-1, -1)},  // both bytes below 0x21
        {2, 0x2100, 0, text(-1, 223)}, // the low byte borrows from the high one
        {3, 0x2121, 0, ""},            // no such set: nothing looked up
        {0, 0x2020, 0, text(-1, -1)},  // a malformed code is reported for any set
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.set << " " << c.code);
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(unl_JisToUnicode(c.set, c.code), c.result);
        EXPECT_EQ(rec.On(stderr), c.issued);
        EXPECT_TRUE(mvxtest::StackTexts().empty()); // issued, then the stack dumped
    }

    const struct {
        int32_t code;
        std::string issued;
    } unicode_cases[] = {
        {0x10000, text(256, 0)}, {-1, text(-1, 255)}, {0x7FFFFFFF, text(0x7FFFFF, 255)}};
    for (const auto& c : unicode_cases) {
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(unl_UnicodeToJis(0, c.code), 0x00690000u) << c.code;
        EXPECT_EQ(rec.On(stderr), c.issued);
    }
}

TEST(JisRowColumn, SplittingReportsNegativeIndexesWithoutAMessage) {
    const struct {
        bool jis;
        int32_t code, status, row, column;
    } cases[] = {
        {true, 0x2121, 0, 0, 0},
        {true, 0x7E7E, 0, 93, 93},
        {true, 0x2120, UNL_INVALID_INDEX_ERR, 0, -1},
        {true, INT32_MIN, UNL_INVALID_INDEX_ERR, -8388642, 223},
        {false, 0x1234, 0, 0x12, 0x34},
        {false, -0x100, UNL_INVALID_INDEX_ERR, -1, 0},
    };
    for (const auto& c : cases) {
        int32_t row = 99, column = 99;
        EXPECT_EQ(c.jis ? unl__JisToRowCol(c.code, &row, &column)
                        : unl__UniToRowCol(c.code, &row, &column),
                  c.status)
            << c.code;
        EXPECT_EQ(row, c.row) << c.code;
        EXPECT_EQ(column, c.column) << c.code;
    }
    EXPECT_EQ(unl__JisToRowCol(0x2121, nullptr, nullptr), 0);
    EXPECT_EQ(unl__UniToRowCol(-1, nullptr, nullptr), UNL_INVALID_INDEX_ERR);
    EXPECT_EQ(mpm__LastError, 0);
}

TEST(ShiftJis, ConversionsAreInverseOverEveryValidJisCode) {
    std::set<int32_t> seen;
    for (int32_t high = 0x21; high <= 0x7E; ++high) {
        for (int32_t low = 0x21; low <= 0x7E; ++low) {
            const int32_t jis = (high << 8) | low;
            const int32_t sjis = unl_JisToShift(jis);
            const int32_t lead = sjis >> 8, trail = sjis & 0xFF;
            ASSERT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF)) << jis;
            ASSERT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << jis;
            ASSERT_EQ(unl_ShiftToJis(sjis), jis) << std::hex << jis << " " << sjis;
            seen.insert(sjis);
        }
    }
    EXPECT_EQ(seen.size(), 94u * 94u);
    EXPECT_EQ(unl_JisToShift(0x2121), 0x8140);
    EXPECT_EQ(unl_ShiftToJis(0x8140), 0x2121);
    EXPECT_EQ(unl_JisToShift(0x2221), 0x819F);
    EXPECT_EQ(unl_JisToShift(0x5F21), 0xE040); // the lead bytes jump to 0xE0
    EXPECT_EQ(unl_ShiftToJis(0x0041), 0);      // negative row
    EXPECT_EQ(unl_ShiftToJis(0x8110), 0);      // negative column
}

TEST_F(LibraryTest, UnlSlotIsFilledOnlyByUnlInitializeAndTablesFreedByTerminate) {
    const MVX_MODULE empty{};
    EXPECT_EQ(std::memcmp(&mvx__Table[MVX_MODULE_UNL], &empty, sizeof empty), 0);
    EXPECT_EQ(unl_Jis208, nullptr);
    // Lookups before start-up find no table and give 0 rather than crash.
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0);
    EXPECT_EQ(unl_UnicodeToJis(0, 0x3000), 0u);

    ASSERT_EQ(unl_Initialize(0), 0);
    EXPECT_EQ(std::memcmp(&mvx__Table[MVX_MODULE_UNL], &unl_Module, sizeof unl_Module), 0);
    EXPECT_STREQ(mvx__Table[24].code, "UNL");
    EXPECT_EQ(mvx__Table[24].count, 3);
    ASSERT_NE(unl_Jis208, nullptr);
    ASSERT_NE(unl_Jis212, nullptr);
    ASSERT_NE(unl_Unicode, nullptr);
    // A second start-up refills the same tables.
    uint16_t* first = unl_Jis208;
    unl_Jis208[0] = 0xBEEF;
    EXPECT_EQ(unl_Initialize(0), 0);
    EXPECT_EQ(unl_Jis208, first);
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0x3000);

    EXPECT_EQ(unl_Terminate(0), 0);
    EXPECT_EQ(unl_Jis208, nullptr);
    EXPECT_EQ(unl_Jis212, nullptr);
    EXPECT_EQ(unl_Unicode, nullptr);
    EXPECT_EQ(unl_Terminate(0), 0); // nothing left to free twice
    EXPECT_EQ(unl_JisToUnicode(1, 0x2121), 0);
}

TEST_F(LibraryTest, UnlInitializeReportsEachFailedTableAndFillsTheOthers) {
    long n = 0;
    int32_t status = 0;
    const long failures =
        mvxtest::FailEachAllocation([&] { ++n, status = unl_Initialize(0); },
                                    [&](bool failed) {
                                        EXPECT_EQ(status, failed ? UNL_MALLOC_ERR : 0);
                                        EXPECT_EQ(mpm__LastError, 0); // no message
                                        EXPECT_EQ(unl_Jis208 == nullptr, n == 1);
                                        EXPECT_EQ(unl_Jis212 == nullptr, n == 2);
                                        EXPECT_EQ(unl_Unicode == nullptr, n == 3);
                                        // The tables that exist are complete, the inverse one
                                        // included.
                                        if (unl_Jis208 != nullptr) {
                                            EXPECT_EQ(unl_JisToUnicode(1, 0x2140), 0x5C);
                                        }
                                        if (unl_Jis212 != nullptr) {
                                            EXPECT_EQ(unl_JisToUnicode(2, 0x2237), 0x7E);
                                        }
                                        if (unl_Unicode != nullptr) {
                                            EXPECT_EQ(unl_UnicodeToJis(0, 0x7E), 0x00322237u);
                                        }
                                        EXPECT_STREQ(mvx__Table[MVX_MODULE_UNL].code, "UNL");
                                        unl_Terminate(0);
                                    });
    EXPECT_EQ(failures, 3); // three tables, each allocated once
}

} // namespace
