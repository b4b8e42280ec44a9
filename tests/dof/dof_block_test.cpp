// Blocks and the free list: the cases the randomized run cannot reach -
// the slot tree's awkward shapes, and refusal of bad offsets, sizes,
// double frees and damaged headers.
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

} // namespace
