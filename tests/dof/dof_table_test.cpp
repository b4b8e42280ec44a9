// What the randomized run cannot reach: opening (defaults, temporary names,
// refused files), refused requests and damaged headers as table rows, the
// buffers' ageing and victim rule, a free list whose copies disagree, and
// the statistics text.
#include <functional>

#include "dof/dof_check.h"

namespace {

using doftest::DiskBytes;
using doftest::FileIsConsistent;
using doftest::Reported;
using doftest::SlotList;
using doftest::Slots;
using doftest::WriteDisk;

class DofTables : public doftest::DofTest {};

TEST_F(DofTables, OpenTakesDefaultsNamesTemporariesAndRefusesBadFiles) {
    // Two generated names are taken already: they are passed over, kept.
    std::vector<std::string> taken;
    for (uint32_t n : {ugn__TmpNum, ugn__TmpNum + 1}) {
        char part[32];
        std::snprintf(part, sizeof part, "t%4.4x%03x.%03x", static_cast<unsigned>(ugn_GetPID()),
                      n & 0xFFu, n >> 8);
        taken.push_back(Path(part));
        WriteDisk(taken.back(), {1, 2, 3});
    }
    DOF_FILE* file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "ignored", 0, -5);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->buffer_count, DOF_DEFAULT_BUFFERS);
    EXPECT_EQ(file->page_size, DOF_DEFAULT_PAGE_SIZE);
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        const DOF_BUFFER& buffer = file->buffers[i];
        EXPECT_TRUE(buffer.page == -1 && buffer.dirty == 0 && buffer.data[0] == 0 &&
                    std::memcmp(buffer.data, buffer.data + 1, 4095) == 0);
    }
    EXPECT_EQ(std::string(file->name).rfind(tmp_.path() + "/t", 0), 0u) << file->name;
    EXPECT_TRUE(file->name != taken[0] && file->name != taken[1]);
    EXPECT_EQ(FileCount(), 3u);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(FileCount(), 2u); // the temporary file went, the others stayed
    EXPECT_EQ(DiskBytes(taken[1]), (std::vector<uint8_t>{1, 2, 3}));

    // Creating truncates an existing file.
    WriteDisk(Path("old.bin"), std::vector<uint8_t>(2048, 1));
    file = Open(0, Path("old.bin"), 2, 512);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->pages, 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(DiskBytes(Path("old.bin")).empty());

    // A length that is not a whole number of pages would lose its tail.
    WriteDisk(Path("partial.bin"), std::vector<uint8_t>(1000, 2));
    const struct {
        uint32_t options;
        std::string name;
    } refused[] = {
        {DOF_READ_WRITE, Path("missing.bin")},
        {DOF_READ_ONLY, Path("missing.bin")},
        {0, tmp_.path()},
        {DOF_READ_WRITE, tmp_.path()},
        {DOF_READ_ONLY, tmp_.path()},
        {DOF_READ_WRITE, Path("partial.bin")},
        {DOF_READ_ONLY, Path("partial.bin")},
        {0, "(null)"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name + " " + std::to_string(row.options));
        DOF_FILE sentinel{};
        file = &sentinel;
        const char* name = row.name == "(null)" ? nullptr : row.name.c_str();
        EXPECT_EQ(dof_Open(row.options, name, 2, 512, &file), DOF_OPEN_ERR);
        EXPECT_EQ(file, nullptr);
        EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + row.name + ".\n"));
    }
    EXPECT_FALSE(std::filesystem::exists(Path("missing.bin")));
    EXPECT_EQ(DiskBytes(Path("partial.bin")), std::vector<uint8_t>(1000, 2));
}

// Every refused request on one file with free lists: blocks a, b, c (64
// bytes each) and a 1-byte block d, with c and d freed into one slot. A row
// may first damage a block's header; the header is repaired afterwards. No
// refusal changes the free list or the counts of requests.
TEST_F(DofTables, RefusedRequestsAndDamagedHeadersChangeNothing) {
    DOF_FILE* file = Open(DOF_FREE_LISTS, Path("blocks.bin"), 4, 512);
    ASSERT_NE(file, nullptr);
    int64_t a = 0, b = 0, c = 0, d = 0;
    for (int64_t* block : {&a, &b, &c})
        ASSERT_EQ(dof_AllocateBlock(file, 64, block), 0);
    ASSERT_EQ(dof_AllocateBlock(file, 1, &d), 0);
    ASSERT_EQ(dof_FreeBlock(file, c), 0);
    ASSERT_EQ(dof_FreeBlock(file, d), 0);
    DOF_FILE* plain = Open(DOF_TEMPORARY, "", 2, 512);
    ASSERT_NE(plain, nullptr);
    WriteDisk(Path("ro.bin"), std::vector<uint8_t>(1024, 5));
    DOF_FILE* read_only = Open(DOF_READ_ONLY, Path("ro.bin"), 2, 512);
    ASSERT_NE(read_only, nullptr);

    int64_t offset = 77;
    uint32_t size = 5;
    uint8_t bytes[4] = {};
    DOF_BUFFER* buffer = nullptr;
    const std::string bad_size = "Bad block size requested in file ";
    const std::string bad_offset = "Bad offset specified into file ";
    const std::string slot = "Bad slot is passed in.\n";
    struct Row {
        const char* what;
        DOF_FILE* file;
        std::function<int32_t()> call;
        int32_t code;
        std::string text; // the file name and ".\n" follow, unless it is `slot`
        int64_t damaged = 0;
        dof::BlockHeader header = {};
    };
    const std::vector<Row> rows = {
        {"size 0", file, [&] { return dof_AllocateBlock(file, 0, &offset); }, DOF_BAD_SIZE,
         bad_size},
        {"count -1", plain, [&] { return dof_ReadWrite(DOF_READ, plain, -1, 0, bytes); },
         DOF_BAD_SIZE, bad_size},
        {"offset -1", plain, [&] { return dof_ReadWrite(DOF_READ, plain, 1, -1, bytes); },
         DOF_BAD_OFFSET, bad_offset},
        {"past the offsets", plain,
         [&] { return dof_ReadWrite(DOF_READ, plain, INT64_MAX, 1, bytes); }, DOF_BAD_OFFSET,
         bad_offset},
        {"page -1", plain, [&] { return dof_GetPage(plain, -1, &buffer); }, DOF_BAD_OFFSET,
         bad_offset},
        {"huge page", plain, [&] { return dof_GetPage(plain, INT64_MAX / 512, &buffer); },
         DOF_BAD_OFFSET, bad_offset},
        {"size without free lists", plain, [&] { return dof_GetBlockSize(plain, 8, &size); },
         DOF_BAD_OFFSET, bad_offset},
        {"write read-only", read_only,
         [&] { return dof_ReadWrite(DOF_WRITE, read_only, 4, 10, bytes); }, DOF_WRITE_ERR,
         "Error writing to file "},
        // Reading past the end would add a page, which it cannot write.
        {"read past read-only", read_only,
         [&] { return dof_ReadWrite(DOF_READ, read_only, 4, 1024, bytes); }, DOF_WRITE_ERR,
         "Error writing to file "},
        {"freed twice", file, [&] { return dof_FreeBlock(file, c); }, DOF_BAD_SLOT, slot},
        {"inside a merged slot", file, [&] { return dof_FreeBlock(file, d); }, DOF_BAD_SLOT, slot},
        {"used 0",
         file,
         [&] { return dof_FreeBlock(file, a); },
         DOF_BAD_OFFSET,
         bad_offset,
         a,
         {0, 64}},
        {"size of used 0",
         file,
         [&] { return dof_GetBlockSize(file, a, &size); },
         DOF_BAD_OFFSET,
         bad_offset,
         a,
         {0, 64}},
        {"used above capacity",
         file,
         [&] { return dof_FreeBlock(file, a); },
         DOF_BAD_OFFSET,
         bad_offset,
         a,
         {65, 64}},
        {"capacity into a slot",
         file,
         [&] { return dof_FreeBlock(file, b); },
         DOF_BAD_SLOT,
         slot,
         b,
         {64, 64 + 8 + 1}},
    };
    std::vector<Row> all = rows;
    for (const int64_t bad : {int64_t{-8}, int64_t{0}, int64_t{7}, d + 1, d + 100}) {
        all.push_back({"free at a bad offset", file,
                       [&file, bad] { return dof_FreeBlock(file, bad); }, DOF_BAD_OFFSET,
                       bad_offset});
        all.push_back({"size at a bad offset", file,
                       [&file, bad, &size] { return dof_GetBlockSize(file, bad, &size); },
                       DOF_BAD_OFFSET, bad_offset});
    }
    for (const Row& row : all) {
        SCOPED_TRACE(row.what);
        dof::BlockHeader header = row.header;
        if (row.damaged != 0) {
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 8, row.damaged - 8, &header), 0);
        }
        EXPECT_EQ(row.call(), row.code);
        EXPECT_EQ(mpm__LastErrorLevel, row.code == DOF_BAD_SLOT ? MPM_FATAL : MPM_ERROR);
        EXPECT_TRUE(
            Reported(row.code, row.text == slot ? slot : row.text + row.file->name + ".\n"));
        if (row.damaged != 0) {
            header = {64, 64};
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 8, row.damaged - 8, &header), 0);
        }
        EXPECT_EQ(Slots(file), (SlotList{{c - 8, 64 + 8 + 1}}));
        EXPECT_TRUE(FileIsConsistent(file));
    }
    EXPECT_EQ(offset, 77);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(file->free_list->alloc_requests, 4u);
    EXPECT_EQ(plain->page_requests + read_only->write_requests, 0u);
    EXPECT_EQ(read_only->pages, 2);

    // A count of 0 does nothing; an empty buffer has nothing to flush.
    EXPECT_EQ(dof_ReadWrite(DOF_READ, plain, 0, 5000, bytes), 0);
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, plain, 0, 5000, bytes), 0);
    EXPECT_EQ(dof_FlushPage(plain, &plain->buffers[0]), 0);
    EXPECT_EQ(plain->read_requests + plain->write_requests + plain->physical_writes, 0u);
    // An end offset so high that a new block could not be addressed.
    const int64_t end = file->end;
    file->end = dof::kMaxOffset - 20;
    EXPECT_EQ(dof_AllocateBlock(file, 20, &offset), DOF_BAD_SIZE);
    EXPECT_TRUE(Reported(DOF_BAD_SIZE, bad_size + file->name + ".\n"));
    file->end = end;
    // Repaired, the blocks go back into one slot.
    for (const int64_t block : {b, a})
        EXPECT_EQ(dof_FreeBlock(file, block), 0);
    EXPECT_EQ(Slots(file), (SlotList{{0, 64 * 3 + 1 + 24}}));
    for (DOF_FILE* open : {file, plain, read_only, static_cast<DOF_FILE*>(nullptr)})
        EXPECT_EQ(dof_Close(0, open), 0);
    EXPECT_EQ(DiskBytes(Path("ro.bin")), std::vector<uint8_t>(1024, 5));
}

// A slot handed out whole leaves the list through its predecessor, found in
// the tree. When the list and the tree disagree the slot is left alone and
// the block goes to the end of the file.
TEST_F(DofTables, WholeSlotOfADisagreeingFreeListGoesToTheEnd) {
    for (const bool unlinked : {true, false}) {
        SCOPED_TRACE(unlinked ? "not linked from its predecessor" : "missing from the tree");
        DOF_FILE* file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512);
        ASSERT_NE(file, nullptr);
        int64_t blocks[6] = {};
        for (int i = 0; i < 6; ++i)
            ASSERT_EQ(dof_AllocateBlock(file, i % 2 != 0 ? 1 : (i == 4 ? 100 : 16), &blocks[i]), 0);
        for (int i : {0, 2, 4})
            ASSERT_EQ(dof_FreeBlock(file, blocks[i]), 0);
        DOF_SLOT* first = file->free_list->first;
        DOF_SLOT* second = first->next;
        DOF_SLOT* third = second->next;
        if (unlinked) {
            // The walk reaches the third slot through the first; the tree
            // gives the second as its predecessor.
            first->next = third;
            second->next = nullptr;
        } else {
            // The third slot leaves the tree (handed back to us) but stays listed.
            const DOF_SLOT key = *third;
            ASSERT_EQ(otm_RemoveObject(OTM_BYREF, file->free_list->tree, &key), 0);
        }
        const int64_t end = file->end;
        int64_t offset = 0;
        EXPECT_EQ(dof_AllocateBlock(file, 100, &offset), 0);
        EXPECT_EQ(offset, end + 8);
        EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
        EXPECT_TRUE(third->offset == blocks[4] - 8 && third->capacity == 100u);
        EXPECT_EQ(file->free_list->free_slots, 3);
        if (unlinked) {
            first->next = second;
            second->next = third;
        } else {
            second->next = nullptr;
            --file->free_list->free_slots;
            std::free(third);
        }
        EXPECT_TRUE(FileIsConsistent(file));
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

TEST_F(DofTables, HitsGainWeightAndEverySixteenthRequestHalvesAllWeights) {
    DOF_FILE* file = Open(DOF_TEMPORARY, "", 3, 256);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* page0 = nullptr;
    DOF_BUFFER* page = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &page0), 0); // clock 1, miss
    ASSERT_EQ(dof_GetPage(file, 1, &page), 0);  // clock 2, miss
    for (uint32_t clock = 3; clock <= 15; ++clock) {
        ASSERT_EQ(dof_GetPage(file, 0, &page), 0);
        EXPECT_TRUE(page == page0 && page->stamp == clock);
    }
    EXPECT_EQ(page0->weight, 14 * 128);
    // The 16th request halves every weight before the lookup.
    ASSERT_EQ(dof_GetPage(file, 0, &page), 0);
    EXPECT_EQ(page0->weight, 7 * 128 + 128);
    EXPECT_EQ(file->buffers[1].weight, 64);
    EXPECT_EQ(file->buffers[2].weight, 0);
    EXPECT_EQ(file->page_requests, 16u);
    EXPECT_EQ(file->page_hits, 14u);
    EXPECT_EQ(dof_Close(0, file), 0);
}

// The victim rule on chosen weights and stamps: one pass in index order, a
// buffer replacing the choice when its weight is not above the chosen one's
// and its age is strictly greater.
TEST_F(DofTables, VictimIsChosenByWeightThenStrictlyGreaterAge) {
    const struct {
        std::vector<std::pair<int32_t, uint32_t>> buffers; // weight, stamp
        uint32_t clock;                                    // before the request
        int32_t victim;
    } rows[] = {
        {{{0, 0}, {0, 0}, {0, 0}}, 0, 0},       // all empty: no later age is greater
        {{{128, 5}, {128, 2}, {128, 4}}, 5, 1}, // equal weights: the oldest
        {{{128, 1}, {0, 3}, {64, 2}}, 4, 0},    // lighter but younger is passed over
        {{{64, 3}, {128, 1}, {200, 2}}, 4, 0},  // heavier but older is passed over
        {{{300, 4}, {100, 2}, {50, 1}}, 5, 2},  // lighter and older wins
        {{{10, 2}, {10, 2}, {5, 3}}, 4, 0},     // equal age does not replace
        {{{0x8000, 1}, {0x7FFF, 2}}, 3, 1},     // the best weight starts at 0x7FFF
        {{{128, 0}}, UINT32_MAX, 0},            // the clock wraps to the stamp's age
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clock);
        const auto count = static_cast<int32_t>(row.buffers.size());
        DOF_FILE* file = Open(DOF_TEMPORARY, "", count, 256);
        ASSERT_NE(file, nullptr);
        // Pages 0..n-1 exist; buffer i holds page i with the chosen state.
        DOF_BUFFER* buffer = nullptr;
        ASSERT_EQ(dof_GetPage(file, count - 1, &buffer), 0);
        for (int32_t i = 0; i < count; ++i) {
            file->buffers[i].page = i;
            file->buffers[i].weight = row.buffers[static_cast<std::size_t>(i)].first;
            file->buffers[i].stamp = row.buffers[static_cast<std::size_t>(i)].second;
        }
        file->clock = row.clock;
        ASSERT_EQ(dof_GetPage(file, 99, &buffer), 0);
        EXPECT_EQ(buffer - file->buffers, row.victim);
        EXPECT_TRUE(buffer->page == 99 && buffer->weight == 128);
        EXPECT_EQ(buffer->stamp, row.clock + 1);
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

TEST_F(DofTables, StatisticsArePrintedExactly) {
    DOF_FILE* file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    int64_t a = 0, b = 0, c = 0;
    // Write requests 1-3 (headers at 0, 108, 716): pages 0 and 1 created
    // (page requests 1-3, one hit); read request 1 (a's header): a hit.
    ASSERT_EQ(dof_AllocateBlock(file, 100, &a), 0);
    ASSERT_EQ(dof_AllocateBlock(file, 600, &b), 0);
    ASSERT_EQ(dof_AllocateBlock(file, 20, &c), 0);
    ASSERT_EQ(dof_FreeBlock(file, a), 0);
    uint8_t bytes[700] = {};
    // Write request 4 and read request 2, each hitting pages 0 and 1.
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 600, b, bytes), 0);
    ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 700, 0, bytes), 0);

    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(dof_DbgDumpStats(file), 0);
    const std::string rule = std::string(64, '=') + "\n", line = std::string(64, '-') + "\n";
    EXPECT_EQ(capture.Finish(),
              "\n\nStatistics for file " + name + ":\n" + rule + "Page Buffer Stats:\n" +
                  "  buffer  buffer    read   write   total    phsy    phsy   total\n"
                  "   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n" +
                  line + "       2     512       2       4       6       0       2       2\n" +
                  rule + "    page    page     hit    file\n   rqsts    hits   ratio    size\n" +
                  line + "       8       6   75.00    1024\n" + rule +
                  "Free List Stats:\n   alloc    free     avg  free\n"
                  "   rqsts   rqsts    size  blocks\n" +
                  std::string(79, '-') + "\n" + std::string(79, '-') + "\n" +
                  "Totals:        3       1   240.0         1\n");
    EXPECT_EQ(dof_Close(0, file), 0);

    // Asked for at close; no block requested gives an average of 0.
    file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 1, 128);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* buffer = nullptr;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0);
    mvxtest::StreamCapture at_close(stdout);
    EXPECT_EQ(dof_Close(DOF_STATISTICS, file), 0);
    const std::string out = at_close.Finish();
    EXPECT_NE(out.find("\n       3       2   66.67     128\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nTotals:        0       0     0.0         0\n"), std::string::npos) << out;
}

} // namespace
