// The chain dump and the chain check, byte for byte, and field dimensions.
#include <cstdlib>
#include <cstring>
#include <regex>
#include <vector>

#include "mda/mblock_check.h"
#include "support/fixture.h"

namespace {

class MBlockText : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, 24 + 8 * 4, &body_), 0);
        static_cast<MDA_ENTITY_HDR*>(body_)->own = 0x0600000000000011; // model 3, entity 17
        mda__DbgFile = open_memstream(&text_, &size_);
    }
    void TearDown() override {
        std::fclose(mda__DbgFile);
        mda__DbgFile = stdout;
        std::free(text_);
        EXPECT_EQ(mda_Free(0, nullptr, body_), 0);
        LibraryTest::TearDown();
    }
    // What was written since the last call, addresses as "@".
    std::string Text() {
        std::fflush(mda__DbgFile);
        const std::string all(text_, size_), text = all.substr(read_);
        read_ = all.size();
        return std::regex_replace(text, std::regex("0x(0x[0-9a-f]+|\\(nil\\))"), "@");
    }
    void** Slot(int i) { return static_cast<void**>(body_) + 3 + i; }

    void* body_ = nullptr;
    char* text_ = nullptr;
    size_t size_ = 0, read_ = 0;
};

TEST_F(MBlockText, DumpWritesEveryBlockAndWarnsAboutWrongReferencesAndHeaders) {
    ASSERT_EQ(mda_Malloc(0, body_, 5, Slot(0)), 0);
    ASSERT_EQ(mda_MallocArray(0, body_, 8, Slot(1), 2, 2, 3), 0);
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), 0);
    char array_line[256]; // the addresses are the block's and its referrer's
    std::snprintf(array_line, sizeof array_line,
                  "Block 1 @ 0x%p,  type 2,  size 152,  dims [2][3]:"
                  "\n   next block at 0x%p\n   referenced at 0x%p",
                  static_cast<void*>(mbtest::Header(*Slot(1), true)),
                  static_cast<void*>(mbtest::Header(*Slot(0))), static_cast<void*>(Slot(0)));
    std::fflush(mda__DbgFile);
    EXPECT_NE(std::string(text_, size_).find(array_line), std::string::npos);
    EXPECT_EQ(Text(), "Block 0 @ @,  type 1,  size 96:\n   next block at @\n"
                      "   referenced at @ (->@)\n\nBlock 1 @ @,  type 2,  size 152,  dims [2][3]:\n"
                      "   next block at @\n   referenced at @ (->@)\n\n"
                      "Block 2 @ @,  type 1,  size 48:\n   next block at @\n   referenced at @\n\n"
                      "Total size of MBlocks: 296\n\n");
    // A pointer that no longer holds its block, then a damaged header.
    void* const saved = *Slot(0);
    *Slot(0) = Slot(3);
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), MDA_DBG_BADMEMREF);
    EXPECT_NE(Text().find("   referenced at @ (->@)  <- Warning: Incorrect reference\n\nBlock 2"),
              std::string::npos);
    *Slot(0) = saved;
    mbtest::Header(*Slot(1), true)->marker = 0x4B4C424D;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body_), MDA_BAD_MBLOCK);
    EXPECT_NE(Text().find("Block 1 @ @,  type 2,  size 152  <- Warning: Bad MBlock header:\n"
                          "   next block at @\n   referenced at @\n\n"
                          "Total size of MBlocks: 96\n\n"),
              std::string::npos);
    mbtest::Header(*Slot(1), true)->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, nullptr), 0);
    EXPECT_EQ(Text(), "");
}

// Messages print db_ptrs with the PTR2 directive; the test registers its
// own rendering of it when none is there.
int32_t Ptr2(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    conv->result = static_cast<char*>(std::malloc(32));
    std::snprintf(conv->result, 32, "0x%llx",
                  static_cast<unsigned long long>(va_arg(*args, int64_t)));
    return 0;
}

TEST_F(MBlockText, CheckIssuesBadReferencesWithTheEntityAndKeepsTheCallersStack) {
    MPM_SPEC record{};
    std::strcpy(record.name, "PTR2");
    auto* stored = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &record));
    ASSERT_NE(stored, nullptr);
    if (stored->handler == nullptr) stored->handler = Ptr2;
    ASSERT_EQ(mda_Malloc(0, body_, 16, Slot(0)), 0);
    ASSERT_EQ(mda_Malloc(0, body_, 16, Slot(1)), 0);
    mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    void* const saved = *Slot(1);
    *Slot(1) = nullptr;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body_), MDA_DBG_BADMEMREF);
    EXPECT_EQ(Text(), "*** Error (MDA_DBG_BADMEMREF) ***\n"
                      "Invalid memory reference found in entity 0x600000000000011.\n\n");
    EXPECT_EQ(mpm__ErrorStack->count, 1);
    *Slot(1) = saved;
    mbtest::Header(*Slot(0))->marker = 0;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body_), MDA_BAD_MBLOCK);
    EXPECT_EQ(Text().rfind("*** Error (MDA_BAD_MBLOCK) ***\nBad MBlock found at", 0), 0u);
    mbtest::Header(*Slot(0))->marker = MDA_MBLOCK_MARKER;
}

// Dimension expressions over the count slots (a slot beyond the table or
// with none published, and a division by zero, are 0), an fstring's last
// dimension as its length, and unsized arrays sized by their block.
TEST_F(MBlockText, FieldDimensionsEvaluateExpressionsAndSizeUnsizedArrays) {
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, 9);
    slots[1] = 3;
    slots[2] = 5;
    ASSERT_EQ(mda_Malloc(0, body_, 24, Slot(0)), 0);
    ASSERT_EQ(mda_Malloc(0, body_, 0, Slot(1)), 0);
    ASSERT_EQ(mda_MallocArray(0, body_, 12, Slot(2), 2, 5, 2), 0);
    const DDF_DIMEXPR slot2{-2, 0, 'e', 0}, seven_minus_slot1{7, -1, 'g', 0},
        nine_by_zero{9, 0, 'i', 0}, far{-DDF_COUNT_SLOTS, 0, 'e', 0}, one{1, 0, 'e', 0},
        two{2, 0, 'e', 0}, two_times_three{2, 3, 'h', 0};
    const struct {
        uint8_t type;
        uint16_t flags;
        std::vector<DDF_DIMEXPR> exprs;
        int32_t* counters;
        void* data;
        std::vector<int32_t> dims;
    } rows[] = {
        {DDF_DOUBLE, 0, {slot2, seven_minus_slot1, nine_by_zero}, slots.data(), nullptr, {5, 4, 0}},
        {DDF_DOUBLE, 0, {far, slot2}, slots.data(), nullptr, {0, 5}},
        {DDF_DOUBLE, 0, {slot2, two_times_three}, nullptr, nullptr, {0, 6}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, *Slot(0), {4}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, nullptr, {0}},
        {DDF_FSTRING, DDF_UNSIZED | DDF_PTRFIXED, {one, two_times_three}, nullptr, *Slot(1), {1}},
        {DDF_STRUCT, DDF_UNSIZED | DDF_VARIABLE, {one, two}, nullptr, *Slot(2), {5, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        DDF_FIELD field{};
        field.type = row.type;
        field.flags = row.flags;
        field.key = 12; // the size of a structure
        field.dim_count = static_cast<uint8_t>(row.exprs.size());
        std::copy(row.exprs.begin(), row.exprs.end(), field.dims);
        ddf__Counters = row.counters;
        int32_t dims[5] = {}, count = 0;
        EXPECT_EQ(mda_GetFieldDims(&field, row.data, dims, &count), 0);
        EXPECT_EQ(std::vector<int32_t>(dims, dims + count), row.dims);
    }
    ddf__Counters = nullptr;
}

} // namespace
