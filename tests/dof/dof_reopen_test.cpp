// A reopened file whose last block was never written to its end: the file
// (and so the end offset) ends inside that block. The block is still sized
// and freed, the end offset then moves past it, and later blocks go after
// it; a block allocated before the last block was seen lands at the file
// size, as documented.
#include "dof/dof_check.h"

namespace {

using doftest::FileIsConsistent;
using doftest::OpenOrDie;

class DofReopen : public doftest::DofTest {
protected:
    // A 16-byte block, then a 4096-byte one of which only the header is
    // written, in a file of 256-byte pages; closed and reopened.
    void SetUp() override {
        DofTest::SetUp();
        DOF_FILE* file = OpenOrDie(DOF_FREE_LISTS, Path("short.bin"), 2, 256);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(dof_AllocateBlock(file, 16, &first_), 0);
        ASSERT_EQ(dof_AllocateBlock(file, 4096, &last_), 0);
        ASSERT_EQ(dof_Close(0, file), 0);
        ASSERT_EQ(doftest::DiskBytes(Path("short.bin")).size(), 256u);
        file_ = OpenOrDie(DOF_FREE_LISTS | DOF_READ_WRITE, Path("short.bin"), 2, 256);
        ASSERT_NE(file_, nullptr);
        ASSERT_EQ(file_->end, 256);
    }
    void TearDown() override {
        if (file_ != nullptr) {
            EXPECT_EQ(dof_Close(0, file_), 0);
        }
        DofTest::TearDown();
    }
    int64_t first_ = 0, last_ = 0;
    DOF_FILE* file_ = nullptr;
};

TEST_F(DofReopen, LastBlockIsSizedAndLaterBlocksGoAfterIt) {
    EXPECT_EQ(last_, 32);
    uint32_t size = 0;
    ASSERT_EQ(dof_GetBlockSize(file_, last_, &size), 0);
    EXPECT_EQ(size, 4096u);
    EXPECT_EQ(file_->end, last_ + 4096);
    int64_t offset = 0;
    ASSERT_EQ(dof_AllocateBlock(file_, 8, &offset), 0);
    EXPECT_EQ(offset, last_ + 4096 + 8);
    EXPECT_TRUE(FileIsConsistent(file_));
}

TEST_F(DofReopen, LastBlockIsFreedAndItsSlotReused) {
    ASSERT_EQ(dof_FreeBlock(file_, last_), 0);
    EXPECT_EQ(file_->end, last_ + 4096);
    EXPECT_EQ(doftest::Slots(file_), (std::vector<std::pair<int64_t, uint32_t>>{{24, 4096}}));
    EXPECT_TRUE(FileIsConsistent(file_));
    ASSERT_EQ(dof_FreeBlock(file_, first_), 0); // merges with the slot above
    int64_t offset = 0;
    ASSERT_EQ(dof_AllocateBlock(file_, 4000, &offset), 0);
    EXPECT_EQ(offset, first_);
    EXPECT_TRUE(FileIsConsistent(file_));
    // A bad offset is still one at or past the end offset.
    EXPECT_EQ(dof_FreeBlock(file_, file_->end), DOF_BAD_OFFSET);
    mpm_ClearStack(0);
}

TEST_F(DofReopen, BlockAllocatedBeforeTheLastOneWasSeenLandsAtTheFileSize) {
    int64_t offset = 0;
    ASSERT_EQ(dof_AllocateBlock(file_, 8, &offset), 0);
    EXPECT_EQ(offset, 256 + 8);
}

} // namespace
