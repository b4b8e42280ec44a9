// The heap debugger on blocks the test links in itself and then damages:
// the exact dump and statistics texts, each kind of corruption, and the list.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

class HeapDebugger : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        out_ = std::tmpfile();
        hdb__Output = out_;
    }
    void TearDown() override {
        while (hdb__Head != nullptr) {
            HDB_BLOCK* b = hdb__Head;
            hdb__DeleteFromHeap(b);
            std::free(b);
        }
        std::fclose(out_);
        hdb_Initialize(0);
        LibraryTest::TearDown();
    }
    // A tracked block of the given bytes, linked at the tail.
    static unsigned char* Track(const std::string& bytes, uint32_t rqst, const char* file, int32_t line) {
        auto* b = static_cast<HDB_BLOCK*>(std::calloc(1, HDB_HEADER_SIZE + bytes.size() + 2));
        *b = {bytes.size(), rqst, file, line, nullptr, nullptr, 0, 0, {'U', 'U'}};
        auto* data = static_cast<unsigned char*>(HDB_DATA(b));
        std::memcpy(data, bytes.data(), bytes.size());
        data[bytes.size()] = data[bytes.size() + 1] = 0xAA;
        hdb__AddToHeap(b);
        return data;
    }
    std::string Output() {
        std::string s(size_t(std::ftell(out_)), '\0');
        std::rewind(out_);
        s.resize(std::fread(s.data(), 1, s.size(), out_));
        std::rewind(out_);
        if (ftruncate(fileno(out_), 0) != 0) ADD_FAILURE();
        return s;
    }
    static std::string P(const void* p) {
        char text[64];
        std::snprintf(text, sizeof text, "%p", p);
        return text;
    }
    FILE* out_ = nullptr;
};

TEST_F(HeapDebugger, PrintsNothingBeforeAnyRequestAndRecordsNothing) {
    Track("abc", 1, "a.c", 1);
    hdb_DumpHeap();
    hdb_DumpStats();
    hdb_DumpPtr(nullptr);
    hdb_FlushFrees();
    EXPECT_EQ(hdb_ValidateHeap(), 1);
    EXPECT_EQ(Output(), "");
    EXPECT_EQ(hdb__Strdup(nullptr, 6, nullptr), nullptr);
    EXPECT_EQ(Output(), "strdup @Unknown(6) Rqst 0: NULL pointer passed\n");
    EXPECT_EQ(hdb__Mallocs + hdb__Strdups + hdb__Rqst, 0u);
}

TEST_F(HeapDebugger, DumpsLiveBlocksStatisticsAndOnePointerExactly) {
    unsigned char* a = Track(std::string("\x01\x02\x04", 3), 1, "a.c", 10);
    unsigned char* b = Track("freed", 2, nullptr, 20);
    unsigned char* c = Track(std::string(300, 'z'), 3, "c.c", 30);
    HDB_BLOCK_OF(b)->flags = HDB_FREED;
    EXPECT_EQ(hdb__GetBlockChecksum(HDB_BLOCK_OF(a)), 0x0502);
    hdb__Rqst = 3;
    hdb__Mallocs = 2; hdb__Frees = 1; hdb__TotMem = 303; hdb__TotBlk = 2;
    hdb__MaxMem = 308; hdb__MaxMemBlk = 3; hdb__MaxBlk = 3;
    hdb_DumpHeap();
    char line_a[128], line_c[128];
    std::snprintf(line_a, sizeof line_a, "  %-6lu 0x%-10p  %-8u %s(%d)\n", 1ul, (void*)a, 3u, "a.c", 10);
    std::snprintf(line_c, sizeof line_c, "  %-6lu 0x%-10p  %-8u %s(%d)\n", 3ul, (void*)c, 300u, "c.c", 30);
    EXPECT_EQ(Output(), "\nHeap Contents\n\n  Rqst     Pointer     Size     Owner\n  " + std::string(76, '-') +
                            "\n" + line_a + line_c + "\nHeap Function Statistics\n  mallocs:   2\n  callocs:   0\n"
                            "  reallocs:  0\n  frees:     1\n  strdups:   0\n\n"
                            "  Total allocated memory 303 bytes in 2 blocks\n"
                            "  Maximum allocated memory 308 bytes in 3 blocks\n  Maximum number of blocks 3\n");
    hdb_DumpPtr(b);
    EXPECT_EQ(Output(), "Pointer " + P(b) + ":\n  Size  = 5\n  Owner = Unknown(20)\n  Rqst  = 2\n\n");
    hdb_FlushFrees();
    EXPECT_EQ(hdb__Head, HDB_BLOCK_OF(a));
    EXPECT_EQ(hdb__Head->next, HDB_BLOCK_OF(c));
    EXPECT_EQ(hdb__Tail->previous, HDB_BLOCK_OF(a));
}

TEST_F(HeapDebugger, ReportsEachKindOfDamageAndTheLastGoodValidation) {
    unsigned char* a = Track("0123456789", 1, "a.c", 1);
    unsigned char* b = Track("abcd", 2, "b.c", 2);
    hdb__Rqst = 9;
    ASSERT_EQ(hdb__ValidateHeap("v.c", 40, "check"), 1);
    HDB_BLOCK_OF(b)->flags = HDB_FREED;
    HDB_BLOCK_OF(b)->checksum = hdb__GetBlockChecksum(HDB_BLOCK_OF(b));
    b[1] = 'X'; // written after it was freed: found only with the option
    EXPECT_EQ(hdb_ValidateHeap(), 1);
    hdb_SetOption(HDB_CHECK_FREED);
    EXPECT_EQ(hdb_ValidateHeap(), 1);
    EXPECT_EQ(Output(), "Unknown @Unknown(0) Rqst 9: Freed block " + P(b) + " modified\n");
    EXPECT_EQ(hdb_ValidateHeap(), 1); // the new checksum was stored
    hdb_ClearOption(HDB_CHECK_FREED);
    const std::string last = "Last successful validation at v.c(40) Rqst 9\n";
    a[10] = 0; // end marker
    EXPECT_EQ(hdb__ValidateHeap("w.c", 7, "me"), 0);
    EXPECT_EQ(Output(), "me at w.c(7) Rqst 9: " + P(a) + " end marker bad\n" + last);
    a[10] = 0xAA;
    a[-1] = 'u'; // start marker
    EXPECT_EQ(hdb_ValidateHeap(), 0);
    EXPECT_EQ(Output(), "Unknown at Unknown(0) Rqst 9: " + P(a) + " start marker bad\n" + last);
    EXPECT_EQ(hdb__ValidatePtr("p.c", 8, "ptr", a), 0);
    hdb_DumpPtr(a);
    hdb_DumpHeap();
    hdb_FlushFrees();
    EXPECT_EQ(Output(), "ptr at p.c(8) Rqst 9: Corrupt block at " + P(a) + " (or bad ptr)\nhdb_DumpPtr:  Corrupted block at " +
                            P(a) + "\n\nHeap Contents\n\n  Rqst     Pointer     Size     Owner\n  " + std::string(76, '-') +
                            "\nhdb_DumpHeap:  Corrupted block at 0x" + P(a) + "\nhdb_FlushFrees:  Corrupted block at " +
                            P(a) + "\n");
    EXPECT_EQ(hdb__ValidatePtr("p.c", 8, "ptr", b), 1);
    hdb_SetBreak(0);
    hdb_SetBreak(12);
    hdb_Break(nullptr, 5, "brk");
    EXPECT_EQ(hdb__BreakRqst, 12u);
    EXPECT_EQ(Output(), "brk at Unknown(5) Rqst 9: Heap breakpoint hit\n");
}

} // namespace
