// Vectored write-back of consecutive dirty pages failing part-way, and new
// pages made where the file system cannot reserve space.
#include "dof/dof_check.h"

namespace {

using doftest::Faults;
using doftest::Reported;

class DofWriteBack : public doftest::DofTest {};

TEST_F(DofWriteBack, AFailureMidRunLeavesThatPageAndTheRestDirtyAndLosesNothing) {
    const std::string path = Path("run.bin");
    // Short writes move `cap` bytes per call; call `fail` fails: so many
    // pages of 256 bytes were written whole before it.
    const struct {
        std::size_t cap;
        long fail;
        int done;
    } rows[] = {{0, 1, 0}, {100, 4, 1}, {256, 3, 2}, {300, 5, 4}, {1000, 2, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fail);
        DOF_FILE* file = nullptr;
        ASSERT_EQ(dof_Open(0, path.c_str(), 6, 256, &file), 0);
        std::string bytes(6 * 256, 0);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 + row.fail);
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 6 * 256, 0, bytes.data()), 0);
        DOF_BUFFER* run[6];
        for (int i = 0; i < 6; ++i)
            run[i] = &file->buffers[i];
        const uint32_t writes = file->physical_writes;
        Faults faults;
        Faults::short_writes = row.cap;
        Faults::write_at = row.fail;
        int done = -1;
        EXPECT_EQ(dof::WriteBack(file, run, 6, &done), DOF_WRITE_ERR);
        EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
        EXPECT_TRUE(done == row.done && file->position == -1 &&
                    file->physical_writes == writes + static_cast<uint32_t>(done));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(run[i]->dirty, i < done ? 0 : 1) << i;
        const std::size_t whole = static_cast<std::size_t>(done) * 256;
        EXPECT_EQ(mvxtest::ReadFile(path).substr(0, whole), bytes.substr(0, whole));
        // The pages left dirty still hold their bytes: written later, the
        // file is whole.
        ASSERT_EQ(dof::WriteBack(file, run + done, 6 - done, &done), 0);
        EXPECT_TRUE(file->position == 6 * 256 && file->physical_writes == writes + 6);
        EXPECT_EQ(mvxtest::ReadFile(path), bytes);
        // At close a failing page is reported and the pages after it, in
        // its run and beyond, are written all the same.
        const char ones[3 * 256] = {1, 1, 1};
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 3 * 256, 256, const_cast<char*>(ones)), 0);
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1, 5 * 256, const_cast<char*>(ones)), 0);
        Faults::write_at = 1;
        EXPECT_EQ(dof_Close(0, file), 0);
        EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
        bytes.replace(2 * 256, 2 * 256, std::string(ones + 256, ones + 3 * 256));
        bytes[5 * 256] = 1;
        EXPECT_EQ(mvxtest::ReadFile(path), bytes);
    }
}

TEST_F(DofWriteBack, NewPagesAreTheSameWhereSpaceCannotBeReserved) {
    for (const bool reserve : {true, false}) {
        if (!reserve)
            dof::SysAllocate = [](int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; };
        DOF_FILE* file = nullptr;
        ASSERT_EQ(dof_Open(0, Path("grown.bin").c_str(), 2, 512, &file), 0);
        DOF_BUFFER* buffer = nullptr;
        ASSERT_EQ(dof_GetPage(file, 5, &buffer), 0);
        EXPECT_TRUE(file->pages == 6 && file->physical_writes == 6 && file->position == 3072);
        EXPECT_EQ(dof_Close(0, file), 0);
        EXPECT_EQ(mvxtest::ReadFile(Path("grown.bin")), std::string(3072, 0));
    }
}

} // namespace
