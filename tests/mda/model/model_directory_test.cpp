// The entity directory, plain and bounded: a randomized run of creation,
// reservation, release, type changes, db_ptr queries and refused creations
// against a reference map, with the whole model checked as the run goes (in
// a bounded directory every check reads the blocks back from the overflow
// file); growth of the plain directory under allocation failure; and an
// overflow file that cannot be opened, sought, written or read.
#include <fcntl.h>

#include <functional>
#include <random>

#include "mda/model_support.h"

namespace {

using modeltest::Expected;
using modeltest::kArc;
using modeltest::kLine;
using modeltest::kPoint;
using modeltest::ModelFault;

struct Variant {
    const char* name;
    uint32_t options;
    int32_t bounded; // mda__EntDirBlkSizeMax
    uint32_t seed;
};

void PrintTo(const Variant& v, std::ostream* out) {
    *out << v.name;
}

class ModelDirectory : public modeltest::ModelTest,
                       public ::testing::WithParamInterface<Variant> {};

constexpr int32_t kLocked = MDA_NEW | MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH | MDA_LOCK_ONE;

// Now and then an allocation of an entity meets a failure at its 1st, 2nd,
// ... allocation in turn (the entity that opens a new directory block
// always does), each of which must use up no number.
TEST_P(ModelDirectory, RandomRunMatchesTheReference) {
    const Variant v = GetParam();
    mda__EntDirBlkSizeMax = v.bounded;
    const int32_t model = NewModel(v.options);
    ASSERT_EQ(model, 1);
    ASSERT_EQ(NewModel(), 2); // another model, for foreign db_ptrs
    const MDA_MODEL& m = mda__Model[model];
    EXPECT_EQ(m.dir_blocks == nullptr, v.bounded == 0);
    std::mt19937 rng(v.seed);
    std::map<int64_t, Expected> ref;
    std::vector<int64_t> live, reserved, freed; // freed: the free list, top at the back
    int64_t next = 1;
    const int32_t tfs[] = {kPoint, kLine, kArc};
    long failures = 0;
    void* fresh = nullptr; // a body never registered
    ASSERT_EQ(mda_MallocEntity2(0, model, kPoint, &fresh), 0);
    std::vector<unsigned char> raw(64 + sizeof(MDA_ENTITY_HDR)); // no MBlock at all
    // db_ptrs of another model, of models that cannot be, of a huge number, all bits.
    const MDA_PTR odd[] = {MDA_MAKE_PTR(2, 1),
                           MDA_MAKE_PTR(0, 1),
                           MDA_MAKE_PTR(65, 1),
                           MDA_MAKE_PTR(127, 1),
                           MDA_MAKE_PTR(model, 1) | int64_t{1} << 56,
                           -1};
    for (int step = 0; step < 36000; ++step) {
        const uint32_t what = rng() % 100;
        const int32_t tf = tfs[rng() % 3];
        int64_t expect = freed.empty() ? next : freed.back();
        // Creation on a reserved number: the number is the caller's.
        const bool use = what < 65 && !reserved.empty() && rng() % 4 == 0;
        if (use) {
            expect = reserved.back();
            reserved.pop_back();
        }
        MDA_PTR p = use ? MDA_MAKE_PTR(model, expect) : 0;
        const uint32_t on_reserved = use ? MDA_USE_DBPTR : 0;
        if (what < 50) {
            const bool unlocked = (rng() & 1) != 0;
            const uint32_t options = on_reserved | (unlocked ? MDA_ENTITY_UNLOCKED : 0);
            long fail_at = v.bounded == 0 && !use && (next % 2048 == 0 || rng() % 16 == 0);
            for (;; ++fail_at) {
                mvxc::SetAllocFailure(fail_at);
                const int32_t rc = mda_AllocateEntity2(options, model, tf, nullptr, &p);
                mvxc::SetAllocFailure(0);
                if (rc == 0) break;
                ASSERT_EQ(rc, MDA_MALLOC_ERR) << "step " << step;
                mpm_ClearStack(0);
                if (++failures % 50 == 0) {
                    ASSERT_EQ(ModelFault(model, ref, next), "") << "step " << step;
                }
            }
            ref[expect] = {unlocked ? MDA_NEW | MDA_NEEDFLUSH : kLocked, tf, true};
        } else if (what < 65) {
            const bool locked = (rng() & 1) != 0;
            void* body = nullptr;
            ASSERT_EQ(mda_MallocEntity2(0, model, tf, &body), 0);
            ASSERT_EQ(mda_CreateEntity(on_reserved | (locked ? MDA_ENTITY_LOCKED : 0), body, &p),
                      0);
            ref[expect] = {locked ? kLocked & ~MDA_NEW : MDA_NEEDFLUSH, tf, true};
        } else if (what < 72) {
            ASSERT_EQ(mda_ReserveEntity2(0, model, &p), 0);
            ref[expect] = {MDA_RESERVED, MVX_NULL_TF, false};
            reserved.push_back(expect);
        } else if (what < 80 && !live.empty()) { // release, now and then kept reserved
            const std::size_t at = rng() % live.size();
            const int64_t n = live[at];
            live[at] = live.back();
            live.pop_back();
            const bool keep = rng() % 8 == 0;
            mda_FreeEntity(0, mda__GetEntDir(model, n)->mloc);
            ASSERT_EQ(mda::ReleaseNumber(model, n, keep), 0);
            if (keep) {
                ref[n] = {MDA_RESERVED, MVX_NULL_TF, false};
                reserved.push_back(n);
            } else {
                ref.erase(n);
                freed.push_back(n);
            }
            continue;
        } else if (what < 86 && !live.empty()) { // a type change needs the write lock
            const int64_t n = live[rng() % live.size()];
            Expected& x = ref[n];
            if (rng() % 4 == 0) { // locked again later: no longer flagged for writing
                mda__GetEntDir(model, n)->status = x.status = MDA_RWLOCK | MDA_LOCK_ONE;
            }
            const int32_t to = rng() % 8 == 0 ? modeltest::kAbsent : tf;
            const int32_t code = to == modeltest::kAbsent       ? MDA_UNKNOWN_TF
                                 : (x.status & MDA_RWLOCK) == 0 ? MDA_NOT_RWLOCKED
                                                                : 0;
            ASSERT_EQ(mda_SetTF(mda__GetEntDir(model, n)->mloc, to), code) << "step " << step;
            if (code == 0) {
                x.tf = to;
                x.status |= MDA_MODIFIED | MDA_NEEDFLUSH;
            }
            mpm_ClearStack(0);
            continue;
        } else if (what < 94) { // a db_ptr query, of any number of this model or another
            const int64_t n = static_cast<int64_t>(rng() % (next + 3));
            const MDA_PTR q = rng() % 3 != 0 ? MDA_MAKE_PTR(model, n) : odd[rng() % 6];
            const auto it = q == MDA_MAKE_PTR(model, n) ? ref.find(n) : ref.end();
            const int valid = it != ref.end() && it->second.has_body;
            int32_t type = -1, form = -1;
            ASSERT_EQ(mda_IsValidDbptr2(0, q), valid) << std::hex << q;
            ASSERT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, q), it != ref.end() ? 1 : 0);
            ASSERT_EQ(mda_IsDeleted(q),
                      q == MDA_MAKE_PTR(model, n) && n > 0 && n < next && it == ref.end() ? 1 : 0);
            ASSERT_EQ(mda_ReadTypeForm(q, &type, &form), valid ? 0 : MDA_INVALID_PTR);
            ASSERT_EQ(type, valid ? MVX_TF_TYPE(it->second.tf) : -1);
            ASSERT_EQ(form, valid ? static_cast<int16_t>(it->second.tf) : -1);
            mpm_ClearStack(0);
            continue;
        } else if (!live.empty()) { // refused creations use up nothing
            const struct {
                void* body;
                uint32_t options;
                MDA_PTR ptr;
                int32_t code;
            } rows[] = {
                {mda__GetEntDir(model, live[0])->mloc, 0, 0, MDA_PTR_ALREADY_CREATED},
                {raw.data() + 64, 0, 0, MDA_BAD_MBLOCK},
                {fresh, MDA_USE_DBPTR, MDA_MAKE_PTR(model, live[0]), MDA_PTR_ALREADY_CREATED},
                {fresh, MDA_USE_DBPTR, MDA_MAKE_PTR(2, 1), MDA_INVALID_PTR},
                {fresh, MDA_USE_DBPTR, MDA_MAKE_PTR(model, next + 2), MDA_INVALID_PTR},
                {nullptr, 0, 0, MDA_NULL_MEMPTR},
            };
            const auto& row = rows[rng() % 6];
            MDA_PTR out = row.ptr;
            ASSERT_EQ(mda_CreateEntity(row.options, row.body, &out), row.code);
            ASSERT_EQ(mpm__LastError, row.code);
            ASSERT_EQ(out, row.ptr);
            mpm_ClearStack(0);
            continue;
        } else {
            continue;
        }
        ASSERT_EQ(p, MDA_MAKE_PTR(model, expect)) << "step " << step;
        if (what < 65) live.push_back(expect);
        if (use) { // created once only
            ASSERT_EQ(mda_AllocateEntity2(MDA_USE_DBPTR, model, tf, nullptr, &p),
                      MDA_PTR_ALREADY_CREATED);
            mpm_ClearStack(0);
        } else if (expect == next) {
            ++next;
        } else {
            freed.pop_back();
        }
        if (step % 2000 == 0) {
            ASSERT_EQ(ModelFault(model, ref, next), "") << "step " << step;
        }
    }
    EXPECT_EQ(ModelFault(model, ref, next), "");
    EXPECT_GT(m.next_entity, 15000);
    EXPECT_GT(failures, v.bounded == 0 ? 500 : -1);
    mda_FreeEntity(0, fresh);
    if (v.bounded == 0) {
        EXPECT_EQ(m.dir_table_size, 1024);
        return;
    }
    EXPECT_GE(m.dir_table_size, 4);            // blocks were created ...
    EXPECT_LE(m.dir_blocks->count, v.bounded); // ... and most live on disk
    const int fd = m.overflow_fd;
    ASSERT_EQ(mda_FreeModel(0, model), 0);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1); // closed
    EXPECT_EQ(ScratchFiles(), 0);      // and gone
}

INSTANTIATE_TEST_SUITE_P(Directories, ModelDirectory,
                         ::testing::Values(Variant{"Plain", MDA_MEMORY_ONLY, 0, 7},
                                           Variant{"BoundedToOneBlock", MDA_MEMORY_ONLY, 1, 12},
                                           Variant{"BoundedToTwoBlocksPaged", 0, 2, 13}),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });

using ModelNumbers = modeltest::ModelTest;

TEST_F(ModelNumbers, TableDoublingAndBlockAllocationFailuresUseUpNothing) {
    ASSERT_EQ(NewModel(), 1);
    MDA_MODEL& m = mda__Model[1];
    MDA_PTR p = 0;
    const int64_t full = int64_t{1024} * 2048; // the first table's capacity
    for (int64_t n = 1; n < full; ++n)
        ASSERT_EQ(mda__AllocatePtr(1, &p), 0);
    mvxc::SetAllocFailure(1); // the table
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_REALLOC_ERR);
    EXPECT_EQ(m.dir_table_size, 1024);
    mvxc::SetAllocFailure(2); // the block, after the table grew
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_MALLOC_ERR);
    EXPECT_EQ(m.dir_table_size, 2048);
    EXPECT_EQ(m.dir_capacity, full - 1);
    EXPECT_EQ(m.next_entity, full);
    mvxc::SetAllocFailure(0);
    ASSERT_EQ(mda_ReserveEntity2(0, 1, &p), 0);
    EXPECT_EQ(MDA_PTR_ENTITY(p), full);
    EXPECT_EQ(m.dir_capacity, full + 2047);
    EXPECT_EQ(mda__GetEntDir(1, full)->status, MDA_RESERVED);

    // The last entity number there can be.
    m.next_entity = static_cast<int64_t>(MDA_ENTITY_MASK) + 1;
    EXPECT_EQ(mda__AllocatePtr(1, &p), MDA_NO_MORE_PTR);
    m.next_entity = full + 1;
}

// Overflow-file failures: each is reported as documented, mda__GetEntDir
// returns null and the directory stays whole, so that the same access
// succeeds once the cause is gone. A directory whose file can no longer be
// written is freed all the same, bodies included.
TEST_F(ModelNumbers, OverflowFileFailuresLeaveTheDirectoryWhole) {
    mda__EntDirBlkSizeMax = 1;
    ASSERT_EQ(NewModel(), 1);
    std::map<int64_t, Expected> ref;
    MDA_PTR p = 0;
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", (dir_ + "/missing").c_str()), 0);
    for (int64_t n = 1; n <= 3 * 2048; ++n) {
        const bool body = n % 1000 == 0 && n < 4096; // block 2 holds no body
        if (n == 2048) { // the overflow file cannot be made: a fatal lack of memory
            EXPECT_EQ(mda_ReserveEntity2(0, 1, &p), MDA_MALLOC_ERR);
            EXPECT_EQ(mpm__LastErrorLevel, MPM_FATAL);
            EXPECT_EQ(mda__Model[1].next_entity, 2048); // the number was given back
            ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", dir_.c_str()), 0);
        }
        ASSERT_EQ(body ? mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, 1, kPoint, nullptr, &p)
                       : mda_ReserveEntity2(0, 1, &p),
                  0);
        ref[n] = body ? Expected{MDA_NEW | MDA_NEEDFLUSH, kPoint, true}
                      : Expected{MDA_RESERVED, MVX_NULL_TF, false};
    }
    const int fd = mda__Model[1].overflow_fd;
    ASSERT_GE(fd, 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    close(pipe_fds[1]);
    // The file opened read-only or write-only, or a pipe, in its place.
    const struct {
        int replacement;
        int64_t number;
        int32_t code;
    } rows[] = {{pipe_fds[0], 1, DOF_SEEK_ERR},
                {open(path.c_str(), O_RDONLY), 1, DOF_WRITE_ERR},
                {open(path.c_str(), O_WRONLY), 2048, DOF_READ_ERR}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        ASSERT_NE(mda__GetEntDir(1, row.number == 1 ? 4096 : 1), nullptr);
        const int saved = dup(fd);
        ASSERT_GE(dup2(row.replacement, fd), 0);
        close(row.replacement);
        mpm_ClearStack(0);
        EXPECT_EQ(mda__GetEntDir(1, row.number), nullptr);
        EXPECT_EQ(mpm__LastError, row.code);
        dup2(saved, fd);
        close(saved);
        EXPECT_EQ(ModelFault(1, ref, 3 * 2048 + 1), "");
    }
    // A partial block is a read error. Release on a full disk (the file
    // reads but cannot be written) reports it, yet frees all: it reads the
    // evicted blocks for their bodies and writes nothing.
    ASSERT_NE(mda__GetEntDir(1, 1), nullptr); // block 2 goes to disk
    ASSERT_EQ(ftruncate(fd, 2 * sizeof(MDA_DIR_BLOCK) + 100), 0);
    EXPECT_EQ(mda__GetEntDir(1, 4096), nullptr);
    EXPECT_EQ(mpm__LastError, DOF_READ_ERR);
    EXPECT_EQ(mda__GetEntDir(1, 1)->status, MDA_RESERVED); // block 0 is still whole
    const int read_only = open(path.c_str(), O_RDONLY);
    ASSERT_GE(dup2(read_only, fd), 0);
    close(read_only);
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_READ_ERR);
    EXPECT_EQ(mda__Model[1].in_use, 0);
}

} // namespace
