// The entity directory, plain and bounded: randomized runs of creation,
// reservation and release against a reference map, with the whole model
// checked as the run goes (in a bounded directory every check reads the
// blocks back from the overflow file); growth of the plain directory's
// block table under allocation failure; and an overflow file that cannot
// be opened, sought, written or read.
#include <fcntl.h>

#include <random>

#include "mda/model_support.h"

namespace {

using modeltest::Expected;
using modeltest::kArc;
using modeltest::kLine;
using modeltest::kPoint;
using modeltest::ModelMatches;
using modeltest::Newest;

using ModelDirectory = modeltest::ModelTest;

// One randomized run of `steps` operations on a fresh model: entities
// allocated (locked or not, some on numbers reserved before), bodies made
// and registered, numbers reserved and released. With `inject`, now and
// then an allocation of an entity meets a failure at its 1st, 2nd, ...
// allocation in turn, each of which must use up no number; the entity that
// opens a new directory block always does.
void RandomRun(int32_t model, int steps, uint32_t seed, int check_every, bool inject = false) {
    std::mt19937 rng(seed);
    std::map<int64_t, Expected> ref;
    std::vector<int64_t> live, reserved;
    int64_t next = 1;
    std::vector<int64_t> freed; // the reference free list, top at the back
    const int32_t tfs[] = {kPoint, kLine, kArc};
    long failures = 0;
    for (int step = 0; step < steps; ++step) {
        const uint32_t what = rng() % 100;
        const int32_t tf = tfs[rng() % 3];
        int64_t expect = freed.empty() ? next : freed.back();
        // Creation on a reserved number: the number is the caller's.
        const bool use = what < 70 && !reserved.empty() && rng() % 4 == 0;
        const uint32_t on_reserved = use ? MDA_USE_DBPTR : 0;
        if (use) {
            expect = reserved.back();
            reserved.pop_back();
        }
        MDA_PTR p = use ? MDA_MAKE_PTR(model, expect) : 0;
        if (what < 55) {
            const bool unlocked = (rng() & 1) != 0;
            const uint32_t options = on_reserved | (unlocked ? MDA_ENTITY_UNLOCKED : 0);
            long fail_at = inject && !use && (next % 2048 == 0 || rng() % 16 == 0) ? 1 : 0;
            for (;; ++fail_at) {
                mvxc::SetAllocFailure(fail_at);
                const int32_t rc = mda_AllocateEntity2(options, model, tf, nullptr, &p);
                mvxc::SetAllocFailure(0);
                if (rc == 0) break;
                ASSERT_EQ(rc, MDA_MALLOC_ERR) << "step " << step;
                mpm_ClearStack(0);
                if (++failures % 50 == 0) {
                    ASSERT_TRUE(ModelMatches(model, ref, next)) << "step " << step;
                }
            }
            ref[expect] = {unlocked
                               ? MDA_NEW | MDA_NEEDFLUSH
                               : MDA_NEW | MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH | MDA_LOCK_ONE,
                           tf, true};
            live.push_back(expect);
        } else if (what < 70) {
            void* body = nullptr;
            ASSERT_EQ(mda_MallocEntity2(0, model, tf, &body), 0);
            ASSERT_EQ(mda_CreateEntity(on_reserved, body, &p), 0);
            ref[expect] = {MDA_NEEDFLUSH, tf, true};
            live.push_back(expect);
        } else if (what < 80) {
            ASSERT_EQ(mda_ReserveEntity2(0, model, &p), 0);
            ref[expect] = {MDA_RESERVED, MVX_NULL_TF, false};
            reserved.push_back(expect);
        } else if (!live.empty()) {
            // Release a random live entity.
            const std::size_t at = rng() % live.size();
            const int64_t n = live[at];
            live[at] = live.back();
            live.pop_back();
            MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
            ASSERT_NE(e, nullptr);
            mda_FreeEntity(0, e->mloc);
            ASSERT_EQ(mda::ReleaseNumber(model, n, false), 0);
            ref.erase(n);
            freed.push_back(n);
            continue;
        } else {
            continue;
        }
        ASSERT_EQ(p, MDA_MAKE_PTR(model, expect)) << "step " << step;
        if (use) {
            // Created once only.
            MDA_PTR again = p;
            ASSERT_EQ(mda_AllocateEntity2(MDA_USE_DBPTR, model, tf, nullptr, &again),
                      MDA_PTR_ALREADY_CREATED);
            mpm_ClearStack(0);
        } else if (expect == next) {
            ++next;
        } else {
            freed.pop_back();
        }
        // The entry just made, read back through the directory, and the
        // structure of the block tree and recency list.
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, expect);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(e->tf, ref[expect].tf);
        ASSERT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, p), 1);
        if (step % check_every == 0 || step == steps - 1) {
            ASSERT_TRUE(ModelMatches(model, ref, next)) << "step " << step;
        }
    }
    if (inject) {
        EXPECT_GT(failures, 500);
    }
}

TEST_F(ModelDirectory, PlainDirectoryMatchesTheReference) {
    ASSERT_EQ(NewModel(), 1);
    RandomRun(1, 36000, 7, 2000, true);
    EXPECT_GT(mda__Model[1].next_entity, 15000);
    EXPECT_EQ(mda__Model[1].dir_blocks, nullptr);
    EXPECT_EQ(mda__Model[1].dir_table_size, 1024);
}

TEST_F(ModelDirectory, BoundedDirectoryOfOneAndTwoBlocksMatchesTheReference) {
    for (int32_t max : {1, 2}) {
        mda__EntDirBlkSizeMax = max;
        const int32_t model = NewModel(max == 1 ? MDA_MEMORY_ONLY : 0);
        ASSERT_EQ(model, 1);
        const MDA_MODEL& m = mda__Model[model];
        ASSERT_NE(m.dir_blocks, nullptr);
        EXPECT_EQ(m.dir_table, nullptr);
        EXPECT_EQ(m.dir_capacity, 0);
        RandomRun(model, 36000, 11 + max, 2000);
        EXPECT_GT(m.next_entity, 15000);
        EXPECT_GE(m.overflow_fd, 0);
        EXPECT_GE(m.dir_table_size, 4);      // blocks were created ...
        EXPECT_LE(m.dir_blocks->count, max); // ... and most live on disk
        const int fd = m.overflow_fd;
        ASSERT_EQ(mda_FreeModel(0, model), 0);
        EXPECT_EQ(fcntl(fd, F_GETFD), -1); // closed
        EXPECT_EQ(ScratchFiles(), 0);      // and gone
    }
}

TEST_F(ModelDirectory, TableDoublingAndBlockAllocationFailuresUseUpNothing) {
    ASSERT_EQ(NewModel(), 1);
    MDA_MODEL& m = mda__Model[1];
    MDA_PTR p = 0;
    const int64_t full = int64_t{1024} * 2048; // the first table's capacity
    for (int64_t n = 1; n < full; ++n)
        ASSERT_EQ(mda__AllocatePtr(1, &p), 0);
    ASSERT_EQ(m.dir_capacity, full - 1);
    ASSERT_EQ(m.dir_table_size, 1024);

    mvxc::SetAllocFailure(1); // the table
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_REALLOC_ERR);
    EXPECT_EQ(Newest().second, "*** Error (MDA_REALLOC_ERR) ***\nError reallocating memory.\n");
    EXPECT_EQ(m.dir_table_size, 1024);
    EXPECT_EQ(m.next_entity, full);
    mvxc::SetAllocFailure(2); // the block, after the table grew
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_MALLOC_ERR);
    EXPECT_EQ(m.dir_table_size, 2048);
    EXPECT_EQ(m.dir_capacity, full - 1);
    EXPECT_EQ(m.next_entity, full);
    mvxc::SetAllocFailure(0);
    ASSERT_EQ(mda_ReserveEntity2(0, 1, &p), 0);
    EXPECT_EQ(MDA_PTR_ENTITY(p), full);
    EXPECT_EQ(m.dir_capacity, full + 2047);
    EXPECT_EQ(m.dir_table[1025], nullptr);
    EXPECT_EQ(mda__GetEntDir(1, full)->status, MDA_RESERVED);

    // The last entity number there can be.
    const int64_t saved = m.next_entity;
    m.next_entity = static_cast<int64_t>(MDA_ENTITY_MASK) + 1;
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_NO_MORE_PTR);
    EXPECT_EQ(Newest().second, "*** Error (MDA_NO_MORE_PTR) ***\nNo more db_ptr available.\n");
    m.next_entity = saved;
}

// Overflow-file failures: each is reported as documented, mda__GetEntDir
// returns null and the directory stays whole, so that the same access
// succeeds once the cause is gone.
class ModelOverflow : public modeltest::ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        mda__EntDirBlkSizeMax = 1;
        ASSERT_EQ(NewModel(), 1);
        for (int i = 0; i < 3 * 2048; ++i) {
            MDA_PTR p = 0;
            // Reserved entries: a test that loses blocks on purpose must
            // not lose bodies with them.
            ASSERT_EQ(mda_ReserveEntity2(0, 1, &p), 0);
            ref_[i + 1] = {MDA_RESERVED, MVX_NULL_TF, false};
        }
        next_ = 3 * 2048 + 1;
        ASSERT_GE(mda__Model[1].overflow_fd, 0);
        mpm_ClearStack(0);
    }
    // Puts another file under the overflow descriptor until Restore.
    void Replace(int fd) {
        saved_ = dup(mda__Model[1].overflow_fd);
        ASSERT_GE(dup2(fd, mda__Model[1].overflow_fd), 0);
        close(fd);
    }
    void Restore() {
        dup2(saved_, mda__Model[1].overflow_fd);
        close(saved_);
    }
    // The entry of n cannot be had, and `code` is reported.
    ::testing::AssertionResult Fails(int64_t n, int32_t code) {
        mpm_ClearStack(0);
        if (mda__GetEntDir(1, n) != nullptr) return ::testing::AssertionFailure() << "succeeded";
        if (Newest().first != code) return ::testing::AssertionFailure() << Newest().second;
        return ::testing::AssertionSuccess();
    }
    std::map<int64_t, Expected> ref_;
    int64_t next_ = 0;
    int saved_ = -1;
};

TEST_F(ModelOverflow, SeekWriteAndReadFailuresAreReportedAndLeaveTheDirectoryWhole) {
    const int32_t blocks_before = mda__Model[1].dir_blocks->count;
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    Replace(pipe_fds[0]);
    EXPECT_TRUE(Fails(1, DOF_SEEK_ERR));
    Restore();
    close(pipe_fds[1]);
    EXPECT_EQ(mda__Model[1].dir_blocks->count, blocks_before);

    const std::string side = dir_ + "/side.bin";
    close(open(side.c_str(), O_CREAT | O_WRONLY, 0600));
    Replace(open(side.c_str(), O_RDONLY));
    EXPECT_TRUE(Fails(1, DOF_WRITE_ERR));
    Restore();
    EXPECT_TRUE(ModelMatches(1, ref_, next_));

    // A descriptor that cannot read: the victim is written and the read
    // fails. (Block 0 goes to disk before the descriptor goes away.)
    ASSERT_NE(mda__GetEntDir(1, 2048), nullptr);
    Replace(open(side.c_str(), O_WRONLY));
    EXPECT_TRUE(Fails(1, DOF_READ_ERR));
    Restore();
    EXPECT_EQ(mda__Model[1].dir_blocks->count, 0); // the victim left, nothing came in
    EXPECT_TRUE(ModelMatches(1, ref_, next_));
    unlink(side.c_str());
}

TEST_F(ModelOverflow, APartialBlockIsAReadError) {
    // Blocks 0 to 2 are on disk. With block 0 in memory (its eviction
    // writes inside the file), cut the file in the middle of block 1.
    ASSERT_NE(mda__GetEntDir(1, 1), nullptr);
    ASSERT_EQ(ftruncate(mda__Model[1].overflow_fd, sizeof(MDA_DIR_BLOCK) + 100), 0);
    EXPECT_TRUE(Fails(2048, DOF_READ_ERR));
    const MDA_DIR_ENTRY* e = mda__GetEntDir(1, 1); // block 0 is still whole
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->status, MDA_RESERVED);
    // Model release meets the broken block and reports it, yet frees all.
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_READ_ERR);
    EXPECT_EQ(mda__Model[1].in_use, 0);
}

TEST_F(ModelDirectory, AnOverflowFileThatCannotBeOpenedIsAFatalMemoryError) {
    mda__EntDirBlkSizeMax = 1;
    ASSERT_EQ(NewModel(), 1);
    MDA_PTR p = 0;
    for (int i = 1; i < 2048; ++i)
        ASSERT_EQ(mda_ReserveEntity2(0, 1, &p), 0);
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", (dir_ + "/missing").c_str()), 0);
    mpm_ClearStack(0);
    EXPECT_EQ(mda_ReserveEntity2(0, 1, &p), MDA_MALLOC_ERR); // block 1 needs room
    EXPECT_EQ(Newest(),
              std::make_pair(MDA_MALLOC_ERR, std::string("*** Fatal (MDA_MALLOC_ERR) ***\n"
                                                         "Error allocating memory.\n")));
    EXPECT_EQ(mpm__LastErrorLevel, MPM_FATAL);
    EXPECT_EQ(mda__Model[1].next_entity, 2048); // the number was given back
    EXPECT_EQ(mda__Model[1].overflow_fd, -1);
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", dir_.c_str()), 0);
    ASSERT_EQ(mda_ReserveEntity2(0, 1, &p), 0);
    EXPECT_EQ(MDA_PTR_ENTITY(p), 2048);
    std::map<int64_t, Expected> ref;
    for (int64_t n = 1; n <= 2048; ++n)
        ref[n] = {MDA_RESERVED, MVX_NULL_TF, false};
    EXPECT_TRUE(ModelMatches(1, ref, 2049));
}

} // namespace
