// A reopened file whose last block was never written to its end: the file
// (and so the end offset) ends inside that block. The block is still sized
// and freed, the end offset then moves past it, and later blocks go after
// it; a block allocated before the last block was seen lands at the file
// size, as documented.
#include "dof/dof_check.h"

namespace {

class DofReopen : public doftest::DofTest {};

TEST_F(DofReopen, LastBlockBeyondTheFileEndIsSizedFreedAndReused) {
    const std::string path = Path("short.bin");
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        // A 16-byte block, then a 4096-byte one of which only the header is
        // written, in a file of 256-byte pages; closed and reopened.
        DOF_FILE* file = Open(DOF_FREE_LISTS, path, 2, 256);
        ASSERT_NE(file, nullptr);
        int64_t first = 0, last = 0, offset = 0;
        ASSERT_EQ(dof_AllocateBlock(file, 16, &first), 0);
        ASSERT_EQ(dof_AllocateBlock(file, 4096, &last), 0);
        ASSERT_EQ(last, 32);
        ASSERT_EQ(dof_Close(0, file), 0);
        file = Open(DOF_FREE_LISTS | DOF_READ_WRITE, path, 2, 256);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->end, 256);
        uint32_t size = 0;
        if (row == 0) { // sized: the end offset moves past it
            ASSERT_EQ(dof_GetBlockSize(file, last, &size), 0);
            EXPECT_EQ(size, 4096u);
            EXPECT_EQ(file->end, last + 4096);
            ASSERT_EQ(dof_AllocateBlock(file, 8, &offset), 0);
            EXPECT_EQ(offset, last + 4096 + 8);
        } else if (row == 1) { // freed, merged with the block below, reused
            ASSERT_EQ(dof_FreeBlock(file, last), 0);
            EXPECT_EQ(file->end, last + 4096);
            EXPECT_EQ(doftest::Slots(file), (doftest::SlotList{{24, 4096}}));
            ASSERT_EQ(dof_FreeBlock(file, first), 0);
            ASSERT_EQ(dof_AllocateBlock(file, 4000, &offset), 0);
            EXPECT_EQ(offset, first);
            // A bad offset is still one at or past the end offset.
            EXPECT_EQ(dof_FreeBlock(file, file->end), DOF_BAD_OFFSET);
            mpm_ClearError(0);
        } else { // not yet seen: the new block goes at the file size
            ASSERT_EQ(dof_AllocateBlock(file, 8, &offset), 0);
            EXPECT_EQ(offset, 256 + 8);
        }
        EXPECT_TRUE(doftest::FileIsConsistent(file));
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

} // namespace
