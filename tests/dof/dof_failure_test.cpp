// Failures: reads, writes, seeks, fstat and close failing through the
// module's system-call seam, and every allocation of an operation failing
// in turn. Each failure must be reported with the file name, leave the
// handle usable (or at least closable) and leak nothing.
#include "dof/dof_check.h"

namespace {

using doftest::DiskBytes;
using doftest::DofTest;
using doftest::Faults;
using doftest::FileIsConsistent;
using doftest::OpenOrDie;
using doftest::Reported;
using doftest::Slots;

class DofFailures : public DofTest {};

std::vector<uint8_t> Fill(std::size_t n, uint8_t value) {
    return std::vector<uint8_t>(n, value);
}

TEST_F(DofFailures, FailedWriteBackKeepsThePageDirtyAndIsRetriedAtClose) {
    const std::string path = Path("w.bin");
    DOF_FILE* file = OpenOrDie(0, path, 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    auto one = Fill(256, 1);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 256, 0, one.data()), 0); // page 0 created
    // Page 1 needs the only buffer: writing page 0 back fails.
    Faults::write_at = 1;
    auto two = Fill(256, 2);
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, file, 256, 256, two.data()), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
    EXPECT_EQ(file->buffers[0].page, 0);
    EXPECT_EQ(file->buffers[0].dirty, 1);
    EXPECT_EQ(file->buffers[0].data[0], 1);
    EXPECT_EQ(file->position, -1);
    EXPECT_TRUE(FileIsConsistent(file));
    // The handle goes on working once the device does.
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 256, 256, two.data()), 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    auto expected = one;
    expected.insert(expected.end(), two.begin(), two.end());
    EXPECT_EQ(DiskBytes(path), expected);
}

TEST_F(DofFailures, FailedExtensionLeavesTheVictimEmpty) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 2, 256);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    Faults faults;
    // Page 3 needs pages 0..3; the third zero page cannot be written.
    Faults::write_at = 3;
    DOF_BUFFER* buffer = nullptr;
    EXPECT_EQ(dof_GetPage(file, 3, &buffer), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + name + ".\n"));
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(file->pages, 2);
    EXPECT_EQ(file->physical_writes, 2u);
    EXPECT_TRUE(FileIsConsistent(file));
    // A write that moves nothing fails the same way.
    Faults::zero_write = true;
    Faults::write_at = 1;
    EXPECT_EQ(dof_GetPage(file, 3, &buffer), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + name + ".\n"));
    EXPECT_EQ(file->pages, 2);
    ASSERT_EQ(dof_GetPage(file, 3, &buffer), 0);
    EXPECT_EQ(file->pages, 4);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofFailures, FailedReadReportsAndLeavesTheBufferEmpty) {
    const std::string path = Path("r.bin");
    std::vector<uint8_t> content = Fill(512, 5);
    std::fill(content.begin() + 256, content.end(), 6);
    doftest::WriteDisk(path, content);
    DOF_FILE* file = OpenOrDie(DOF_READ_WRITE, path, 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    uint8_t byte = 0;
    ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 1, 0, &byte), 0);
    EXPECT_EQ(byte, 5);
    Faults::read_at = 1;
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 1, 300, &byte), DOF_READ_ERR);
    EXPECT_TRUE(Reported(DOF_READ_ERR, "Error reading from file " + path + ".\n"));
    EXPECT_EQ(file->buffers[0].page, -1);
    EXPECT_EQ(file->physical_reads, 1u);
    EXPECT_EQ(file->position, -1);
    EXPECT_TRUE(FileIsConsistent(file));
    // Interrupted reads are simply repeated.
    Faults::error = EINTR;
    Faults::read_at = 1;
    ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 1, 300, &byte), 0);
    EXPECT_EQ(byte, 6);
    EXPECT_TRUE(doftest::Reports().empty());
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(DiskBytes(path), content);
}

TEST_F(DofFailures, FailedSeekReportsAndTheNextAccessSeeksAgain) {
    const std::string path = Path("s.bin");
    doftest::WriteDisk(path, Fill(1024, 9));
    DOF_FILE* file = OpenOrDie(DOF_READ_ONLY, path, 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    DOF_BUFFER* buffer = nullptr;
    // Sequential pages need no seek at all.
    for (int64_t page = 0; page < 4; ++page)
        ASSERT_EQ(dof_GetPage(file, page, &buffer), 0);
    EXPECT_EQ(Faults::seeks, 0);
    EXPECT_EQ(file->position, 1024);
    Faults::seek_at = 1;
    EXPECT_EQ(dof_GetPage(file, 1, &buffer), DOF_SEEK_ERR);
    EXPECT_TRUE(Reported(DOF_SEEK_ERR, "Error seeking in file " + path + ".\n"));
    EXPECT_EQ(file->position, -1);
    EXPECT_TRUE(FileIsConsistent(file));
    ASSERT_EQ(dof_GetPage(file, 1, &buffer), 0);
    EXPECT_EQ(buffer->data[0], 9);
    EXPECT_EQ(file->position, 512);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofFailures, ShortWritesAreContinuedAndShortReadsZeroTheRest) {
    const std::string path = Path("short.bin");
    DOF_FILE* file = OpenOrDie(0, path, 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    Faults::short_writes = 100;
    auto data = Fill(512, 4);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, data.data()), 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(DiskBytes(path), data);

    // The file shrinks behind the handle's back: page 1 ends early.
    file = OpenOrDie(DOF_READ_WRITE, path, 1, 256);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0); // the buffer now holds 4s
    ASSERT_EQ(truncate(path.c_str(), 300), 0);
    ASSERT_EQ(dof_GetPage(file, 1, &buffer), 0);
    EXPECT_TRUE(std::all_of(buffer->data, buffer->data + 44, [](uint8_t b) { return b == 4; }));
    EXPECT_TRUE(
        std::all_of(buffer->data + 44, buffer->data + 256, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(file->position, 300);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofFailures, FailedFstatAtOpenLeavesNothingBehind) {
    Faults faults;
    Faults::stat_at = 1;
    DOF_FILE* file = nullptr;
    EXPECT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256, &file), DOF_OPEN_ERR);
    EXPECT_EQ(file, nullptr);
    mpm_ClearStack(0);
    EXPECT_TRUE(Files().empty());
}

TEST_F(DofFailures, FailedCloseKeepsTheHandleUntilTheSecondClose) {
    Faults faults;
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    int64_t offset = 0;
    ASSERT_EQ(dof_AllocateBlock(file, 50, &offset), 0);
    ASSERT_EQ(dof_FreeBlock(file, offset), 0);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), DOF_CLOSE_ERR);
    EXPECT_TRUE(Reported(DOF_CLOSE_ERR, "Error closing file " + name + ".\n"));
    EXPECT_EQ(file->fd, -1);
    EXPECT_EQ(Files().size(), 1u);
    // The second close does not touch the descriptor again and frees all.
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(Faults::close_at, 1); // close was not called
    EXPECT_TRUE(Files().empty());
}

TEST_F(DofFailures, FlushFailureAtCloseIsReportedButTheFileCloses) {
    const std::string path = Path("c.bin");
    DOF_FILE* file = OpenOrDie(0, path, 2, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    auto data = Fill(512, 3);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, data.data()), 0);
    Faults::write_at = 1; // page 0's write-back; page 1's goes through
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
    auto expected = Fill(256, 0);
    expected.insert(expected.end(), data.begin() + 256, data.end());
    EXPECT_EQ(DiskBytes(path), expected);
}

TEST_F(DofFailures, FailedHeaderWritesAndReadsLeaveTheFreeListAlone) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "", 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    int64_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_EQ(dof_AllocateBlock(file, 300, &a), 0); // header at 0 (page 0)
    ASSERT_EQ(dof_AllocateBlock(file, 20, &b), 0);  // header at 308 (page 1)
    ASSERT_EQ(dof_AllocateBlock(file, 600, &c), 0); // header at 336 (page 1)
    ASSERT_EQ(dof_AllocateBlock(file, 10, &d), 0);  // header at 944 (page 3)
    ASSERT_EQ(dof_FreeBlock(file, a), 0);
    ASSERT_EQ(dof_FreeBlock(file, c), 0);
    const auto slots = Slots(file);
    ASSERT_EQ(slots, (std::vector<std::pair<int64_t, uint32_t>>{{0, 300}, {336, 600}}));
    const int64_t end = file->end;
    // The only buffer holds another page, dirty; the header's page needs it
    // written back first, and that write fails. The whole slot (300), a
    // split (100) and the end (2000) alike.
    for (uint32_t size : {300u, 100u, 2000u}) {
        uint8_t byte = 1;
        const int64_t elsewhere = size == 2000 ? 100 : 960; // page 0 or page 3
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1, elsewhere, &byte), 0);
        Faults::write_at = 1;
        int64_t offset = -1;
        EXPECT_EQ(dof_AllocateBlock(file, size, &offset), DOF_WRITE_ERR) << size;
        mpm_ClearStack(0);
        EXPECT_EQ(offset, -1);
        EXPECT_EQ(Slots(file), slots);
        EXPECT_EQ(file->end, end);
        EXPECT_TRUE(FileIsConsistent(file));
    }
    // Freeing b needs its header from page 1: the read fails.
    Faults::read_at = 1;
    EXPECT_EQ(dof_FreeBlock(file, b), DOF_READ_ERR);
    mpm_ClearStack(0);
    EXPECT_EQ(Slots(file), slots);
    EXPECT_EQ(file->free_list->free_requests, 2u);
    // And then all of it works.
    ASSERT_EQ(dof_FreeBlock(file, b), 0);
    EXPECT_EQ(Slots(file), (std::vector<std::pair<int64_t, uint32_t>>{{0, 300 + 20 + 600 + 16}}));
    EXPECT_EQ(dof_Close(0, file), 0);
}

// Runs op with allocation n failing, n = 1, 2, ..., until it succeeds;
// checks after each failure that it reported, and returns the number of
// failing runs. check() verifies that the state is intact; it runs before
// the error stack is cleared.
template <class Op, class Check> long FailEachAllocation(Op op, Check check) {
    for (long n = 1; n < 1000; ++n) {
        mvxc::SetAllocFailure(n);
        const int32_t rc = op();
        mvxc::SetAllocFailure(0);
        if (rc == 0) return n - 1;
        EXPECT_EQ(rc, mpm__LastError) << n;
        EXPECT_FALSE(doftest::Reports().empty()) << n;
        check();
        mpm_ClearStack(0);
    }
    ADD_FAILURE() << "the operation never succeeded";
    return -1;
}

TEST_F(DofFailures, OpenSurvivesEachAllocationFailure) {
    for (uint32_t options : {uint32_t{DOF_TEMPORARY | DOF_FREE_LISTS}, uint32_t{DOF_FREE_LISTS}}) {
        DOF_FILE* file = nullptr;
        const long failures = FailEachAllocation(
            [&] { return dof_Open(options, Path("named.bin").c_str(), 3, 256, &file); },
            [&] {
                EXPECT_EQ(file, nullptr);
                // A temporary file is not left behind; a named one may have
                // been created before the failure.
                if ((options & DOF_TEMPORARY) != 0) {
                    EXPECT_TRUE(Files().empty());
                }
            });
        // Handle, name, buffer array, 3 pages, free list, tree: at least 8.
        EXPECT_GE(failures, 8);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(FileIsConsistent(file));
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

TEST_F(DofFailures, FreeBlockSurvivesEachAllocationFailure) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256);
    ASSERT_NE(file, nullptr);
    std::vector<int64_t> blocks(6);
    for (auto& offset : blocks)
        ASSERT_EQ(dof_AllocateBlock(file, 40, &offset), 0);
    ASSERT_EQ(dof_FreeBlock(file, blocks[1]), 0);
    // Each of these frees adds a slot (to an empty or a non-empty list);
    // the merging ones allocate nothing.
    for (std::size_t k : {3u, 5u, 4u, 0u, 2u}) {
        const auto before = Slots(file);
        const long failures = FailEachAllocation([&] { return dof_FreeBlock(file, blocks[k]); },
                                                 [&] {
                                                     EXPECT_EQ(mpm__LastError, DOF_REALLOC_ERR);
                                                     EXPECT_EQ(Slots(file), before);
                                                     EXPECT_TRUE(FileIsConsistent(file));
                                                 });
        // A new slot costs a tree node and the slot's copy; merging nothing.
        EXPECT_EQ(failures, k == 3 || k == 5 ? 2 : 0) << k;
        EXPECT_TRUE(FileIsConsistent(file));
    }
    EXPECT_EQ(Slots(file), (std::vector<std::pair<int64_t, uint32_t>>{{0, 6 * 48 - 8}}));
    // Allocation never allocates memory.
    int64_t offset = 0;
    EXPECT_EQ(FailEachAllocation([&] { return dof_AllocateBlock(file, 40, &offset); }, [] {}), 0);
    EXPECT_EQ(offset, 8);
    EXPECT_EQ(dof_Close(0, file), 0);
}

} // namespace
