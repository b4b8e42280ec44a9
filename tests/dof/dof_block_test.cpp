// Blocks and the free list: placement, reuse whole or split, merging, the
// slot tree's neighbour search, and refusal of bad offsets, sizes and
// headers.
#include "dof/dof_check.h"

namespace {

using doftest::DofTest;
using doftest::FileIsConsistent;
using doftest::OpenOrDie;
using doftest::Reported;
using doftest::Slots;
using SlotList = std::vector<std::pair<int64_t, uint32_t>>;

class DofBlocks : public DofTest {
protected:
    void SetUp() override {
        DofTest::SetUp();
        file_ = OpenOrDie(DOF_FREE_LISTS, Path("blocks.bin"), 4, 512);
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        if (file_ != nullptr) {
            EXPECT_EQ(dof_Close(0, file_), 0);
        }
        DofTest::TearDown();
    }
    int64_t Allocate(uint32_t size) {
        int64_t offset = -1;
        EXPECT_EQ(dof_AllocateBlock(file_, size, &offset), 0) << size;
        EXPECT_TRUE(FileIsConsistent(file_));
        return offset;
    }
    void Free(int64_t offset) {
        EXPECT_EQ(dof_FreeBlock(file_, offset), 0) << offset;
        EXPECT_TRUE(FileIsConsistent(file_));
    }
    doftest::BlockHeader Header(int64_t offset) {
        doftest::BlockHeader header{};
        EXPECT_EQ(dof_ReadWrite(DOF_READ, file_, 8, offset - 8, &header), 0);
        return header;
    }
    std::string Name() const { return file_->name; }

    DOF_FILE* file_ = nullptr;
};

TEST_F(DofBlocks, FirstBlockFollowsItsHeader) {
    EXPECT_EQ(Allocate(40), 8);
    EXPECT_EQ(file_->end, 48);
    EXPECT_EQ(Header(8), (doftest::BlockHeader{40, 40}));
    EXPECT_EQ(Allocate(10), 56);
    EXPECT_EQ(file_->end, 66);
    uint32_t size = 0;
    EXPECT_EQ(dof_GetBlockSize(file_, 56, &size), 0);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(file_->free_list->alloc_requests, 2u);
    EXPECT_FLOAT_EQ(file_->free_list->total_requested, 50.0f);
}

TEST_F(DofBlocks, FreedBlockIsReusedWholeUpTo136BytesSmaller) {
    const int64_t a = Allocate(400);
    Allocate(16); // keeps a's slot from reaching the end
    Free(a);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 400}}));
    // 400 - 264 = 136 bytes to spare: the whole slot, capacity kept.
    EXPECT_EQ(Allocate(264), a);
    EXPECT_TRUE(Slots(file_).empty());
    EXPECT_EQ(file_->free_list->free_slots, 0);
    EXPECT_EQ(Header(a), (doftest::BlockHeader{264, 400}));
    uint32_t size = 0;
    EXPECT_EQ(dof_GetBlockSize(file_, a, &size), 0);
    EXPECT_EQ(size, 264u);
    // Freed again, it gives back all 400 bytes.
    Free(a);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 400}}));
}

TEST_F(DofBlocks, FreedBlockIsSplitWith137BytesToSpare) {
    const int64_t a = Allocate(400);
    Allocate(16);
    Free(a);
    EXPECT_EQ(Allocate(263), a);
    EXPECT_EQ(Header(a), (doftest::BlockHeader{263, 263}));
    // The slot shrinks from its front by 263 + 8.
    EXPECT_EQ(Slots(file_), (SlotList{{271, 129}}));
    // The rest is a slot of its own: a block fits there exactly.
    EXPECT_EQ(Allocate(129), 279);
    EXPECT_TRUE(Slots(file_).empty());
}

TEST_F(DofBlocks, FirstFitTakesTheLowestSlotThatIsLargeEnough) {
    const int64_t a = Allocate(50);
    Allocate(8);
    const int64_t b = Allocate(400);
    Allocate(8);
    const int64_t c = Allocate(200);
    Allocate(8);
    Free(a);
    Free(c);
    Free(b);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 50}, {a + 50 + 16, 400}, {b + 400 + 16, 200}}));
    // 180 fits b's slot (split: 220 to spare) and c's; b's comes first.
    EXPECT_EQ(Allocate(180), b);
    // 60 does not fit a's slot; the rest of b's (212) is next.
    EXPECT_EQ(Allocate(60), b + 188);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 50}, {b + 248, 144}, {c - 8, 200}}));
    // 145 passes over the 144-byte slot and takes c's whole (55 to spare).
    EXPECT_EQ(Allocate(145), c);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 50}, {b + 248, 144}}));
    // Nothing fits 201 bytes: the end.
    const int64_t end = file_->end;
    EXPECT_EQ(Allocate(201), end + 8);
    EXPECT_EQ(file_->end, end + 8 + 201);
}

TEST_F(DofBlocks, FreedBlockMergesWithEveryTouchingSlot) {
    // a b c | d e | f g |, with 1-byte barriers.
    const int64_t a = Allocate(30);
    const int64_t b = Allocate(40);
    const int64_t c = Allocate(300);
    Allocate(1);
    const int64_t d = Allocate(100);
    const int64_t e = Allocate(60);
    Allocate(1);
    const int64_t f = Allocate(50);
    const int64_t g = Allocate(70);
    Allocate(1);
    Free(c);
    Free(a); // below the first slot, not touching it: becomes the first
    EXPECT_EQ(Slots(file_), (SlotList{{a - 8, 30}, {c - 8, 300}}));
    Free(b); // touches both: one slot, the upper one taken out
    EXPECT_EQ(Slots(file_), (SlotList{{0, 30 + 40 + 300 + 16}}));
    EXPECT_EQ(file_->free_list->tree->count, 1);

    const int64_t split = Allocate(20); // split from the front
    EXPECT_EQ(split, 8);
    EXPECT_EQ(Slots(file_), (SlotList{{28, 358}}));
    Free(split); // ends where the first slot begins: the slot grows down
    EXPECT_EQ(Slots(file_), (SlotList{{0, 386}}));

    // Two adjacent blocks, in either order: one slot covering both headers.
    Free(d);
    Free(e); // begins where the slot below ends: that slot grows
    Free(g);
    Free(f); // ends where the next slot begins: that slot grows down
    EXPECT_EQ(Slots(file_), (SlotList{{0, 386}, {d - 8, 100 + 8 + 60}, {f - 8, 50 + 8 + 70}}));
    EXPECT_EQ(file_->free_list->free_slots, 3);
}

// The whole-slot case must unlink the slot from its list predecessor, found
// through the tree. Three slots inserted low, middle, high make the middle
// one the root with the low one as its left subtree: a search for the
// middle slot's own offset stops at the root and never meets the
// predecessor.
TEST_F(DofBlocks, WholeSlotWithALeftSubtreeIsUnlinkedFromItsPredecessor) {
    const int64_t a = Allocate(16);
    Allocate(1);
    const int64_t b = Allocate(100);
    Allocate(1);
    const int64_t c = Allocate(100);
    Allocate(1);
    Free(a);
    Free(b);
    Free(c);
    const OTM_TREE* tree = file_->free_list->tree;
    ASSERT_EQ(static_cast<DOF_SLOT*>(tree->root->object)->offset, b - 8);
    ASSERT_NE(tree->root->left, nullptr);

    // What a search for the slot's own offset remembers: the slot itself.
    DOF_SLOT key{};
    key.offset = b - 8;
    dof__LastCompared = nullptr;
    EXPECT_NE(otm_GetObject(OTM_QUIET, file_->free_list->tree, &key), nullptr);
    EXPECT_EQ(dof__LastCompared->offset, b - 8);

    EXPECT_EQ(Allocate(90), b); // whole: 10 bytes to spare
    EXPECT_EQ(Slots(file_), (SlotList{{a - 8, 16}, {c - 8, 100}}));
    EXPECT_TRUE(doftest::Reports().empty());
    // And the first slot, which has no predecessor at all.
    EXPECT_EQ(Allocate(16), a);
    EXPECT_EQ(Slots(file_), (SlotList{{c - 8, 100}}));
    EXPECT_EQ(Allocate(100), c);
    EXPECT_TRUE(Slots(file_).empty());
    EXPECT_EQ(file_->free_list->tree->root, nullptr);
}

TEST_F(DofBlocks, CompareRemembersTheNeighbourBelowOrTheLowest) {
    DOF_SLOT low{}, mid{}, high{}, key{};
    low.offset = 100;
    mid.offset = 200;
    high.offset = 300;

    // Nothing remembered: the second slot is taken, whatever the order.
    dof__LastCompared = nullptr;
    key.offset = 250;
    EXPECT_EQ(dof__CompareFreeSlot(&key, &high), -1);
    EXPECT_EQ(dof__LastCompared, &high);
    // Above the second slot: always remembered.
    EXPECT_EQ(dof__CompareFreeSlot(&key, &low), 1);
    EXPECT_EQ(dof__LastCompared, &low);
    // Below a slot while a lower one is remembered: kept.
    EXPECT_EQ(dof__CompareFreeSlot(&key, &high), -1);
    EXPECT_EQ(dof__LastCompared, &low);
    // Below a slot while a higher one is remembered: replaced.
    dof__LastCompared = &high;
    EXPECT_EQ(dof__CompareFreeSlot(&key, &mid), 1);
    EXPECT_EQ(dof__LastCompared, &mid);
    dof__LastCompared = &high;
    key.offset = 150;
    EXPECT_EQ(dof__CompareFreeSlot(&key, &mid), -1);
    EXPECT_EQ(dof__LastCompared, &mid);
    // Equal: nothing changes, unless nothing was remembered.
    key.offset = 200;
    dof__LastCompared = &low;
    EXPECT_EQ(dof__CompareFreeSlot(&key, &mid), 0);
    EXPECT_EQ(dof__LastCompared, &low);
    dof__LastCompared = nullptr;
    EXPECT_EQ(dof__CompareFreeSlot(&key, &mid), 0);
    EXPECT_EQ(dof__LastCompared, &mid);

    EXPECT_EQ(dof__flist_sizes[0], 0);
    EXPECT_EQ(dof__flist_sizes[1], 1);
    EXPECT_EQ(dof__FileNum, 0);
}

TEST_F(DofBlocks, SearchLeavesTheSlotBelowInEveryTreeShape) {
    // Slots at 0, 40, 80, ... freed in a scrambled order so that the tree
    // takes many shapes; every gap is then searched.
    std::vector<int64_t> blocks;
    for (int i = 0; i < 31; ++i) {
        blocks.push_back(Allocate(16));
        Allocate(8);
    }
    for (int i = 0; i < 31; ++i)
        Free(blocks[static_cast<std::size_t>((i * 17) % 31)]);
    const SlotList slots = Slots(file_);
    ASSERT_EQ(slots.size(), 31u);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        for (int64_t delta : {-1, 1, 20}) {
            DOF_SLOT key{};
            key.offset = slots[i].first + delta;
            dof__LastCompared = nullptr;
            otm_GetObject(OTM_QUIET, file_->free_list->tree, &key);
            ASSERT_NE(dof__LastCompared, nullptr);
            const int64_t expect =
                delta < 0 ? (i == 0 ? slots[0].first : slots[i - 1].first) : slots[i].first;
            EXPECT_EQ(dof__LastCompared->offset, expect) << i << " " << delta;
        }
    }
}

TEST_F(DofBlocks, BadSizesAndOffsetsAreRefused) {
    int64_t offset = 77;
    EXPECT_EQ(dof_AllocateBlock(file_, 0, &offset), DOF_BAD_SIZE);
    EXPECT_TRUE(Reported(DOF_BAD_SIZE, "Bad block size requested in file " + Name() + ".\n"));
    EXPECT_EQ(offset, 77);
    EXPECT_EQ(file_->free_list->alloc_requests, 0u);

    const int64_t a = Allocate(32);
    Allocate(32);
    for (int64_t bad : {int64_t{-8}, int64_t{0}, int64_t{7}, file_->end, file_->end + 100}) {
        EXPECT_EQ(dof_FreeBlock(file_, bad), DOF_BAD_OFFSET) << bad;
        EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + Name() + ".\n"));
        uint32_t size = 5;
        EXPECT_EQ(dof_GetBlockSize(file_, bad, &size), DOF_BAD_OFFSET) << bad;
        EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + Name() + ".\n"));
        EXPECT_EQ(size, 5u);
    }
    EXPECT_EQ(file_->free_list->free_requests, 0u);
    EXPECT_TRUE(Slots(file_).empty());

    // An end offset so high that the block could not be addressed.
    const int64_t end = file_->end;
    file_->end = dof::kMaxOffset - 20;
    EXPECT_EQ(dof_AllocateBlock(file_, 20, &offset), DOF_BAD_SIZE);
    EXPECT_TRUE(Reported(DOF_BAD_SIZE, "Bad block size requested in file " + Name() + ".\n"));
    file_->end = end;
    EXPECT_EQ(offset, 77);
    Free(a);
}

TEST_F(DofBlocks, BlockFreedTwiceIsRefusedAndChangesNothing) {
    const int64_t a = Allocate(64);
    const int64_t b = Allocate(64);
    const int64_t c = Allocate(64);
    Allocate(1);
    Free(b);
    // Exactly at a slot's start.
    EXPECT_EQ(dof_FreeBlock(file_, b), DOF_BAD_SLOT);
    EXPECT_EQ(mpm__LastErrorLevel, MPM_FATAL);
    EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
    EXPECT_EQ(Slots(file_), (SlotList{{b - 8, 64}}));
    // Inside a merged slot.
    Free(c);
    EXPECT_EQ(dof_FreeBlock(file_, c), DOF_BAD_SLOT);
    EXPECT_EQ(mpm__LastErrorLevel, MPM_FATAL);
    mpm_ClearStack(0);
    EXPECT_EQ(Slots(file_), (SlotList{{b - 8, 136}}));
    EXPECT_TRUE(FileIsConsistent(file_));
    Free(a);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 208}}));
    // Exactly at the first slot's start.
    EXPECT_EQ(dof_FreeBlock(file_, a), DOF_BAD_SLOT);
    mpm_ClearStack(0);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 208}}));
}

TEST_F(DofBlocks, DamagedHeadersAreRefused) {
    const int64_t a = Allocate(64);
    const int64_t b = Allocate(64);
    const int64_t c = Allocate(64);
    Allocate(1);
    Free(c);
    auto write_header = [&](int64_t at, uint32_t used, uint32_t capacity) {
        doftest::BlockHeader header{used, capacity};
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file_, 8, at - 8, &header), 0);
    };
    const std::string bad = "Bad offset specified into file " + Name() + ".\n";
    uint32_t size = 0;
    // Used size 0: never a block.
    write_header(a, 0, 64);
    EXPECT_EQ(dof_FreeBlock(file_, a), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, bad));
    EXPECT_EQ(dof_GetBlockSize(file_, a, &size), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, bad));
    // Used size above the capacity.
    write_header(a, 65, 64);
    EXPECT_EQ(dof_FreeBlock(file_, a), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, bad));
    // A capacity that reaches into the free slot of c, from below the first
    // slot.
    write_header(b, 64, 64 + 8 + 1);
    EXPECT_EQ(dof_FreeBlock(file_, b), DOF_BAD_SLOT);
    EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
    EXPECT_EQ(Slots(file_), (SlotList{{c - 8, 64}}));
    EXPECT_EQ(file_->free_list->free_requests, 2u); // c, and b's readable header
    EXPECT_TRUE(FileIsConsistent(file_));
    // Repaired, both go back.
    write_header(a, 64, 64);
    write_header(b, 64, 64);
    Free(b);
    Free(a);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 64 * 3 + 16}}));
}

TEST_F(DofBlocks, DamagedHeaderReadFromAReopenedFileIsRefused) {
    const int64_t a = Allocate(100);
    const int64_t b = Allocate(50);
    ASSERT_EQ(dof_Close(0, file_), 0);
    file_ = nullptr;
    // Change a's capacity on disk so that it claims b as well and more.
    auto bytes = doftest::DiskBytes(Path("blocks.bin"));
    ASSERT_EQ(bytes.size(), 512u);
    const uint32_t huge = 100000;
    std::memcpy(bytes.data() + (a - 8) + 4, &huge, 4);
    doftest::WriteDisk(Path("blocks.bin"), bytes);

    file_ = OpenOrDie(DOF_FREE_LISTS | DOF_READ_WRITE, Path("blocks.bin"), 2, 512);
    ASSERT_NE(file_, nullptr);
    EXPECT_EQ(file_->end, 512);
    uint32_t size = 0;
    EXPECT_EQ(dof_GetBlockSize(file_, b, &size), 0);
    EXPECT_EQ(size, 50u);
    Free(b);
    // A capacity past the end offset may be a last block never written to
    // its end, so the header alone passes; the stretch it claims overlaps b.
    EXPECT_EQ(dof_FreeBlock(file_, a), DOF_BAD_SLOT);
    mpm_ClearStack(0);
    EXPECT_EQ(file_->end, 512);
    EXPECT_EQ(Slots(file_), (SlotList{{b - 8, 50}}));
}

TEST_F(DofBlocks, WholeSlotNotLinkedFromItsPredecessorGoesToTheEnd) {
    const int64_t a = Allocate(16);
    Allocate(1);
    const int64_t b = Allocate(16);
    Allocate(1);
    const int64_t c = Allocate(100);
    Allocate(1);
    Free(a);
    Free(b);
    Free(c);
    // Damage the list: a skips b, and b no longer links to c. The walk
    // reaches c through a; the tree gives b as c's predecessor.
    DOF_SLOT* first = file_->free_list->first;
    DOF_SLOT* second = first->next;
    DOF_SLOT* third = second->next;
    first->next = third;
    second->next = nullptr;
    const int64_t end = file_->end;
    int64_t offset = 0;
    EXPECT_EQ(dof_AllocateBlock(file_, 100, &offset), 0);
    EXPECT_EQ(offset, end + 8);
    EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
    // c's slot is still free and untouched; its bytes were not handed out.
    EXPECT_EQ(third->offset, c - 8);
    EXPECT_EQ(third->capacity, 100u);
    EXPECT_EQ(file_->free_list->free_slots, 3);
    first->next = second;
    second->next = third;
    EXPECT_TRUE(FileIsConsistent(file_));
    EXPECT_EQ(Header(c).capacity, 100u);
}

TEST_F(DofBlocks, WholeSlotMissingFromTheTreeGoesToTheEnd) {
    const int64_t a = Allocate(16);
    Allocate(1);
    const int64_t b = Allocate(100);
    Allocate(1);
    Free(a);
    Free(b);
    // Damage the tree: b's slot leaves it (handed back to us) but stays
    // listed after a's.
    DOF_SLOT* listed = file_->free_list->first->next;
    DOF_SLOT key{};
    key.offset = b - 8;
    ASSERT_EQ(otm_RemoveObject(OTM_BYREF, file_->free_list->tree, &key), 0);
    const int64_t end = file_->end;
    int64_t offset = 0;
    EXPECT_EQ(dof_AllocateBlock(file_, 100, &offset), 0);
    EXPECT_EQ(offset, end + 8);
    EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
    EXPECT_EQ(file_->free_list->first->next, listed);
    EXPECT_EQ(listed->capacity, 100u);
    // Repair: the orphan leaves the list too.
    file_->free_list->first->next = nullptr;
    --file_->free_list->free_slots;
    std::free(listed);
    EXPECT_TRUE(FileIsConsistent(file_));
}

TEST_F(DofBlocks, SlotsStopMergingAtTheMergeLimit) {
    dof::MergeLimit = 200;
    const int64_t a = Allocate(100);
    const int64_t b = Allocate(80);
    const int64_t c = Allocate(100);
    const int64_t d = Allocate(10);
    Allocate(1);
    Free(a);
    Free(b); // 100 + 8 + 80 = 188 fits
    EXPECT_EQ(Slots(file_), (SlotList{{0, 188}}));
    Free(c); // 188 + 8 + 100 would not: stays apart, touching
    EXPECT_EQ(Slots(file_), (SlotList{{0, 188}, {c - 8, 100}}));
    Free(d); // merges with c's slot from below it
    EXPECT_EQ(Slots(file_), (SlotList{{0, 188}, {c - 8, 118}}));
    // A block that fills a's former space, split off the first slot, then
    // freed: the first slot merges back up to the limit only.
    EXPECT_EQ(Allocate(188), a);
    EXPECT_EQ(Slots(file_), (SlotList{{c - 8, 118}}));
    Free(a);
    EXPECT_EQ(Slots(file_), (SlotList{{0, 188}, {c - 8, 118}}));
}

TEST_F(DofBlocks, WithoutFreeListsBlocksAreAppendedWithoutHeaders) {
    ASSERT_EQ(dof_Close(0, file_), 0);
    file_ = OpenOrDie(0, Path("plain.bin"), 2, 512);
    ASSERT_NE(file_, nullptr);
    int64_t offset = -1;
    EXPECT_EQ(dof_AllocateBlock(file_, 1024, &offset), 0);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(dof_AllocateBlock(file_, 10, &offset), 0);
    EXPECT_EQ(offset, 1024);
    EXPECT_EQ(file_->end, 1034);
    EXPECT_EQ(file_->pages, 0);               // nothing written
    EXPECT_EQ(dof_FreeBlock(file_, 1024), 0); // does nothing
    EXPECT_EQ(dof_FreeBlock(file_, -5), 0);
    uint32_t size = 0;
    EXPECT_EQ(dof_GetBlockSize(file_, 1024, &size), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + Name() + ".\n"));
    EXPECT_EQ(dof_AllocateBlock(file_, 0, &offset), DOF_BAD_SIZE);
    mpm_ClearStack(0);
    EXPECT_EQ(offset, 1024);
}

} // namespace
