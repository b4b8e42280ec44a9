// Failures: reads, writes, seeks, fstat and close failing through the
// module's system-call seam, and every allocation of an operation failing
// in turn. Each failure must be reported with the file name, leave the
// handle usable (or at least closable) and leak nothing.
#include <functional>
#include <map>

#include "dof/dof_check.h"

namespace {

using doftest::DiskBytes;
using doftest::Faults;
using doftest::FileIsConsistent;
using doftest::Reported;
using doftest::SlotList;
using doftest::Slots;

class DofFailures : public doftest::DofTest {};

// One file of 256-byte pages with a single buffer, so that every page
// change writes the previous page back. Blocks: a (300 bytes, header at 0),
// b (20, at 308), c (600, at 336), d (10, at 944); a and c are free. Each
// row dirties or loads the buffer, arms one fault and runs an operation:
// it fails with the row's code, its report names the file, the free list,
// the end offset and the buffers stay sound, and the position is unknown.
// Then the same operation, without the fault, succeeds. At the end the disk
// holds every byte written.
TEST_F(DofFailures, FailedTransfersAreReportedAndTheRetrySucceeds) {
    const std::string path = Path("faults.bin");
    DOF_FILE* file = Open(DOF_FREE_LISTS, path, 1, 256);
    ASSERT_NE(file, nullptr);
    int64_t a = 0, b = 0, c = 0, d = 0;
    for (const auto& [block, size] : {std::pair{&a, 300u}, {&b, 20u}, {&c, 600u}, {&d, 10u}})
        ASSERT_EQ(dof_AllocateBlock(file, size, block), 0);
    ASSERT_EQ(dof_FreeBlock(file, a), 0);
    ASSERT_EQ(dof_FreeBlock(file, c), 0);
    const int disk = open(path.c_str(), O_RDONLY);
    ASSERT_GE(disk, 0);
    Faults faults;
    std::map<int64_t, uint8_t> written;
    auto put = [&](int64_t at) {
        auto byte = static_cast<uint8_t>(written.size() + 1);
        written[at] = byte;
        return dof_ReadWrite(DOF_WRITE, file, 1, at, &byte);
    };
    auto get = [&](int64_t at) {
        uint8_t byte = 0;
        return dof_ReadWrite(DOF_READ, file, 1, at, &byte);
    };
    DOF_BUFFER* buffer = nullptr;
    int64_t offset = 0;
    struct Row {
        const char* what;
        std::function<int32_t()> prepare;
        long* fault;
        std::function<int32_t()> op;
        int32_t code;
        int error = EIO;
        bool zero_write = false;
    };
    const Row rows[] = {
        {"write-back of the dirty page", [&] { return put(960); }, &Faults::write_at,
         [&] { return put(100); }, DOF_WRITE_ERR},
        {"read", [&] { return get(960); }, &Faults::read_at, [&] { return get(300); },
         DOF_READ_ERR},
        {"interrupted read is repeated", [&] { return get(960); }, &Faults::read_at,
         [&] { return get(300); }, 0, EINTR},
        {"seek", [&] { return get(0); }, &Faults::seek_at, [&] { return get(960); }, DOF_SEEK_ERR},
        {"extension", [&] { return get(0); }, &Faults::write_at,
         [&] { return dof_GetPage(file, 6, &buffer); }, DOF_WRITE_ERR},
        {"extension moving nothing", [&] { return get(0); }, &Faults::write_at,
         [&] { return dof_GetPage(file, 9, &buffer); }, DOF_WRITE_ERR, EIO, true},
        {"header of a whole slot", [&] { return put(960); }, &Faults::write_at,
         [&] { return dof_AllocateBlock(file, 300, &offset); }, DOF_WRITE_ERR},
        {"header of a split slot", [&] { return put(960); }, &Faults::write_at,
         [&] { return dof_AllocateBlock(file, 100, &offset); }, DOF_WRITE_ERR},
        {"header at the end", [&] { return put(100); }, &Faults::write_at,
         [&] { return dof_AllocateBlock(file, 2000, &offset); }, DOF_WRITE_ERR},
        {"header read of a freed block", [&] { return get(0); }, &Faults::read_at,
         [&] { return dof_FreeBlock(file, b); }, DOF_READ_ERR},
    };
    const std::map<int32_t, std::string> texts = {{DOF_WRITE_ERR, "Error writing to file "},
                                                  {DOF_READ_ERR, "Error reading from file "},
                                                  {DOF_SEEK_ERR, "Error seeking in file "}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(row.prepare(), 0);
        const SlotList slots = Slots(file);
        const int64_t end = file->end;
        const DOF_BUFFER before = file->buffers[0];
        offset = -1;
        *row.fault = 1;
        Faults::error = row.error;
        Faults::zero_write = row.zero_write;
        EXPECT_EQ(row.op(), row.code);
        ASSERT_EQ(*row.fault, 0);
        EXPECT_TRUE(FileIsConsistent(file, disk));
        if (row.code == 0) continue;
        EXPECT_TRUE(Reported(row.code, texts.at(row.code) + path + ".\n"));
        EXPECT_EQ(file->position, -1);
        EXPECT_EQ(offset, -1);
        EXPECT_EQ(Slots(file), slots);
        EXPECT_EQ(file->end, end);
        // A page that could not be written back stays in its buffer, dirty.
        if (before.dirty != 0) {
            EXPECT_TRUE(file->buffers[0].page == before.page && file->buffers[0].dirty != 0);
        }
        Faults::zero_write = false;
        EXPECT_EQ(row.op(), 0);
    }
    EXPECT_EQ(Slots(file), (SlotList{{b - 8, 20}, {444, 492}}));
    close(disk);
    EXPECT_EQ(dof_Close(0, file), 0);
    const auto bytes = DiskBytes(path);
    for (const auto& [at, byte] : written)
        EXPECT_EQ(bytes.at(static_cast<std::size_t>(at)), byte) << at;
}

TEST_F(DofFailures, ShortWritesAreContinuedAndShortReadsZeroTheRest) {
    const std::string path = Path("short.bin");
    DOF_FILE* file = Open(0, path, 1, 256);
    ASSERT_NE(file, nullptr);
    Faults faults;
    Faults::short_writes = 100;
    std::vector<uint8_t> data(512, 4);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, data.data()), 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(DiskBytes(path), data);

    // The file shrinks behind the handle's back: page 1 ends early.
    file = Open(DOF_READ_WRITE, path, 1, 256);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0); // the buffer now holds 4s
    ASSERT_EQ(truncate(path.c_str(), 300), 0);
    ASSERT_EQ(dof_GetPage(file, 1, &buffer), 0);
    std::vector<uint8_t> expected(256, 0);
    std::fill_n(expected.begin(), 44, 4);
    EXPECT_EQ(std::vector<uint8_t>(buffer->data, buffer->data + 256), expected);
    EXPECT_EQ(file->position, 300);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofFailures, FailedOpenAndCloseLeaveNothingBehind) {
    Faults faults;
    Faults::stat_at = 1;
    DOF_FILE* file = nullptr;
    EXPECT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256, &file), DOF_OPEN_ERR);
    EXPECT_EQ(file, nullptr);
    mpm_ClearError(0);
    EXPECT_EQ(FileCount(), 0u);

    // A failed close keeps the handle; the second close does not touch the
    // descriptor again and frees it all.
    file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    int64_t offset = 0;
    ASSERT_EQ(dof_AllocateBlock(file, 50, &offset), 0);
    ASSERT_EQ(dof_FreeBlock(file, offset), 0);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), DOF_CLOSE_ERR);
    EXPECT_TRUE(Reported(DOF_CLOSE_ERR, "Error closing file " + name + ".\n"));
    EXPECT_EQ(file->fd, -1);
    EXPECT_EQ(FileCount(), 1u);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(Faults::close_at, 1); // close was not called
    EXPECT_EQ(FileCount(), 0u);

    // A failed write-back at close is reported, and the file closes.
    const std::string path = Path("c.bin");
    file = Open(0, path, 2, 256);
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> data(512, 3);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, data.data()), 0);
    Faults::close_at = 0;
    Faults::write_at = 1; // page 0's write-back; page 1's goes through
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
    std::vector<uint8_t> expected(512, 3);
    std::fill_n(expected.begin(), 256, 0);
    EXPECT_EQ(DiskBytes(path), expected);
}

// Runs op with allocation n failing, n = 1, 2, ..., until it succeeds: each
// failure is reported and check() finds the state intact. Returns the number
// of failing runs.
template <class Op, class Check> long FailEachAllocation(Op op, Check check) {
    int32_t rc = 0;
    return mvxtest::FailEachAllocation([&] { rc = op(); },
                                       [&](bool failed) {
                                           EXPECT_EQ(rc != 0, failed);
                                           if (!failed) return;
                                           EXPECT_EQ(rc, mpm__LastError);
                                           EXPECT_NE(mvxtest::LastText(), "");
                                           check();
                                           mpm_ClearError(0);
                                       });
}

TEST_F(DofFailures, OpenAndFreeSurviveEachAllocationFailure) {
    for (const uint32_t options :
         {uint32_t{DOF_TEMPORARY | DOF_FREE_LISTS}, uint32_t{DOF_FREE_LISTS}}) {
        DOF_FILE* file = nullptr;
        const long failures = FailEachAllocation(
            [&] { return dof_Open(options, Path("named.bin").c_str(), 3, 256, &file); },
            [&] {
                EXPECT_EQ(file, nullptr);
                // A named file may have been created before the failure.
                if ((options & DOF_TEMPORARY) != 0) {
                    EXPECT_EQ(FileCount(), 0u);
                }
            });
        // Handle, name, buffer array, 3 pages, free list, tree: at least 8.
        EXPECT_GE(failures, 8);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(FileIsConsistent(file));
        EXPECT_EQ(dof_Close(0, file), 0);
    }

    DOF_FILE* file = Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 256);
    ASSERT_NE(file, nullptr);
    std::vector<int64_t> blocks(6);
    for (auto& offset : blocks)
        ASSERT_EQ(dof_AllocateBlock(file, 40, &offset), 0);
    ASSERT_EQ(dof_FreeBlock(file, blocks[1]), 0);
    // A free that adds a slot costs a tree node and the slot's copy; one that
    // merges costs nothing.
    for (const std::size_t k : {3u, 5u, 4u, 0u, 2u}) {
        const SlotList before = Slots(file);
        const long failures = FailEachAllocation([&] { return dof_FreeBlock(file, blocks[k]); },
                                                 [&] {
                                                     EXPECT_EQ(mpm__LastError, DOF_REALLOC_ERR);
                                                     EXPECT_EQ(Slots(file), before);
                                                     EXPECT_TRUE(FileIsConsistent(file));
                                                 });
        EXPECT_EQ(failures, k == 3 || k == 5 ? 2 : 0) << k;
    }
    EXPECT_EQ(Slots(file), (SlotList{{0, 6 * 48 - 8}}));
    // Allocation never allocates memory.
    int64_t offset = 0;
    EXPECT_EQ(FailEachAllocation([&] { return dof_AllocateBlock(file, 40, &offset); }, [] {}), 0);
    EXPECT_EQ(offset, 8);
    EXPECT_EQ(dof_Close(0, file), 0);
}

} // namespace
