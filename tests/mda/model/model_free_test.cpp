// Releasing models and registering bodies: a body is registered once only;
// a bounded directory is freed without writing, so a full disk loses
// nothing; a paged file whose close fails is still released and deleted.
#include <fcntl.h>

#include "dof/dof_int.h"
#include "mda/model_support.h"

namespace {

using modeltest::kLine;
using modeltest::kPoint;
using modeltest::Newest;
using ModelFree = modeltest::ModelTest;

TEST_F(ModelFree, OnlyAnUnregisteredBodyIsRegistered) {
    ASSERT_EQ(NewModel(), 1);
    void* body = nullptr;
    MDA_PTR p = 0, again = 0;
    ASSERT_EQ(mda_MallocEntity2(0, 1, kPoint, &body), 0);
    ASSERT_EQ(mda_CreateEntity(0, body, &p), 0);
    EXPECT_EQ(mda_CreateEntity(0, body, &again), MDA_PTR_ALREADY_CREATED);
    EXPECT_EQ(again, MDA_NULL_PTR);
    void* allocated = nullptr;
    ASSERT_EQ(mda_AllocateEntity2(0, 1, kLine, &allocated, &p), 0);
    EXPECT_EQ(mda_CreateEntity(MDA_ENTITY_LOCKED, allocated, &again), MDA_PTR_ALREADY_CREATED);
    EXPECT_EQ(Newest().first, MDA_PTR_ALREADY_CREATED);
    // Memory that is no MBlock at all.
    std::vector<unsigned char> raw(64 + sizeof(MDA_ENTITY_HDR), 0);
    EXPECT_EQ(mda_CreateEntity(0, raw.data() + 64, &again), MDA_BAD_MBLOCK);
    EXPECT_EQ(mda__Model[1].next_entity, 3); // no number was used up
    // Freeing the model frees each body once (the sanitized run checks).
    EXPECT_EQ(mda_FreeModel(0, 1), 0);
}

TEST_F(ModelFree, BoundedDirectoryIsFreedWithoutWriting) {
    mda__EntDirBlkSizeMax = 1;
    ASSERT_EQ(NewModel(), 1);
    // Bodies in each of three blocks, two of which end up evicted.
    for (int i = 1; i < 3 * 2048; ++i) {
        MDA_PTR p = 0;
        ASSERT_EQ(i % 1000 == 0 ? mda_AllocateEntity2(0, 1, kPoint, nullptr, &p)
                                : mda_ReserveEntity2(0, 1, &p),
                  0);
    }
    const int fd = mda__Model[1].overflow_fd;
    ASSERT_GE(fd, 0);
    // The disk is full: the overflow descriptor reads but cannot write.
    const int read_only = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
    if (read_only < 0) {
        GTEST_SKIP() << "no /proc/self/fd";
    }
    ASSERT_GE(dup2(read_only, fd), 0);
    close(read_only);
    mpm_ClearStack(0);
    // Every body is freed (the leak check of the sanitized run sees them).
    EXPECT_EQ(mda_FreeModel(0, 1), 0);
    EXPECT_EQ(Newest().first, 0);
    EXPECT_EQ(mda__Model[1].in_use, 0);
}

int FailingClose(int fd) {
    dof::DefaultClose(fd); // the descriptor is gone, as after an interrupted close
    errno = EIO;
    return -1;
}

TEST_F(ModelFree, PagedFileWhoseCloseFailsIsReleasedAndDeleted) {
    ASSERT_EQ(NewModel(0), 1);
    ASSERT_NE(mda__Model[1].dof, nullptr);
    const std::string name = mda__Model[1].dof->name;
    ASSERT_EQ(access(name.c_str(), F_OK), 0);
    ASSERT_EQ(NewModel(0), 2);
    dof::SysClose = FailingClose;
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_CLOSE_ERR);
    dof::SysClose = dof::DefaultClose;
    EXPECT_EQ(access(name.c_str(), F_OK), -1);
    EXPECT_EQ(mda__Model[1].in_use, 0);
    EXPECT_EQ(mda__Model[1].dof, nullptr);
    EXPECT_EQ(mda_FreeModel(0, 2), 0);
    EXPECT_EQ(ScratchFiles(), 0);
    mpm_ClearStack(0);
}

} // namespace
