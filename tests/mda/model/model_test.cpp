// The model table (64 slots, look-ups, the current model and its callbacks,
// tolerances, allocation failures, a failing close) and the entity
// directory, plain and bounded: a randomized run against a reference map
// with the whole model checked as it goes, growth under allocation failure,
// and an overflow file that cannot be opened, sought, written or read.
#include <fcntl.h>

#include <functional>
#include <random>
#include <vector>

#include "dof/dof_int.h"
#include "mda/model_support.h"

namespace {

using namespace modeltest;
using ModelTable = ModelTest;

TEST_F(ModelTable, SixtyFourSlotsLookupsAndRefusals) {
    for (int32_t n = 1; n <= 64; ++n)
        ASSERT_EQ(NewModel(MDA_MEMORY_ONLY, n % 2 ? dict_ : other_, n < 3 ? "alpha" : "beta"), n);
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    int32_t model = 77;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_DDF);
    EXPECT_EQ(mda_AllocateModel(0, nullptr, &model), MDA_NO_DDF);
    def.ddf = dict_;
    EXPECT_EQ(mda_AllocateModel(0, &def, &model), MDA_NO_MORE_MODEL);
    EXPECT_EQ(model, 77);
    // Model 64: its db_ptrs have the top bit set and still work. Bodies are
    // as large as the dictionary says, and at least an entity header.
    MDA_PTR p = 0;
    void* body = nullptr;
    int32_t size = 0, type = 0, form = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, 64, kArc, &body, &p), 0);
    EXPECT_EQ(static_cast<uint64_t>(p), 0x8000000000000001ull);
    EXPECT_EQ(mda_IsValidDbptr2(0, p) | mda_ReadTypeForm(p, &type, &form), 1);
    EXPECT_EQ(std::make_pair(type, form), std::make_pair(120, -3));
    EXPECT_EQ(mda_MarkEntityModified(0, p) | mda_GetArraySize(1, body, &size), 0);
    EXPECT_EQ(size, 24);
    ASSERT_EQ(mda_AllocateEntity2(0, 64, kPoint, &body, &p), 0);
    EXPECT_EQ(mda_GetArraySize(1, body, &size), 0);
    EXPECT_EQ(size, 48);

    EXPECT_EQ(mda_GetModelNum("alpha"), 1);
    EXPECT_EQ(mda_GetModelNum("alph") | mda_GetModelNum(nullptr), 0);
    int32_t found = -1, none = -1;
    DDF_DICT stranger{};
    EXPECT_EQ(mda_FindModelByDDF(0, other_, &found) | mda_FindModelByDDF(0, &stranger, &none), 0);
    EXPECT_EQ(std::make_pair(found, none), std::make_pair(2, 0));
    ASSERT_EQ(mda_FreeModel(0, 1), 0);
    EXPECT_EQ(mda_GetModelNum("alpha"), 2);
    MDA_MODEL_INFO info;
    std::memset(&info, 0x77, sizeof info);
    ASSERT_EQ(mda_GetModelInfo(64, &info), 0);
    EXPECT_STREQ(info.name, "beta");
    EXPECT_STREQ(info.ddf_name, "second dictionary");
    EXPECT_EQ(info.entity_count, 2);
    EXPECT_EQ(info.reserved[0], 0x7777777777777777); // not filled
    EXPECT_EQ(mda_GetModelInfo(1, &info), MDA_INVALID_MODEL);
    EXPECT_EQ(mpm__LastErrorLevel, MPM_WARNING);
    for (int32_t bad : {-1, 0, 1, 65, 1000}) {
        EXPECT_EQ(mda_FreeModel(0, bad), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda_SetTol2(bad, "a", 1.0), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda_ReserveEntity2(0, bad, &p), MDA_INVALID_MODEL) << bad;
        EXPECT_EQ(mda__GetEntDir(bad, 0), nullptr) << bad;
    }
    EXPECT_EQ(mda_SetCurModel(1, 0), MDA_INVALID_MODEL);
    // Freeing one slot makes exactly that one available again.
    EXPECT_EQ(NewModel(), 1);
    EXPECT_EQ(NewModel(), 0);
}

// Records the model callbacks in the order they are called.
std::vector<std::string> g_calls;
int32_t OnFreed(int32_t a, int32_t b) {
    g_calls.push_back("freed " + std::to_string(a) + " " + std::to_string(b));
    return 0;
}
int32_t OnCurrent(int32_t a, int32_t b) {
    // The switch is complete when the callback runs.
    g_calls.push_back("current " + std::to_string(a) + " " + std::to_string(b) +
                      (mda__CurModelNum == a && ddf__Current == mda__Model[a].ddf ? "" : " early"));
    return 0;
}

TEST_F(ModelTable, SetCurModelSwitchesTheDictionaryOnceAndCallsBack) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.make_current = OnCurrent;
    def.freed = OnFreed;
    def.ddf = dict_;
    int32_t a = 0, b = 0;
    g_calls.clear();
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &a), 0);
    def.ddf = other_;
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY | MDA_RESTORE_CURRENT, &def, &b), 0);
    EXPECT_EQ(mda__CurModelNum, a); // b was current for its allocation, then a again
    EXPECT_EQ(ddf__Current, dict_);
    EXPECT_EQ(ddf__TempDDF, other_);
    ddf__SavedTF = kLine;
    ASSERT_EQ(mda_SetCurModel(b, 42), 0);
    EXPECT_EQ(mda__CurModel, &mda__Model[b]);
    EXPECT_EQ(ddf__Current, other_);
    EXPECT_EQ(ddf__TempDDF, dict_);
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    ddf__SavedTF = kLine;
    ASSERT_EQ(mda_SetCurModel(b, 43), 0); // already current: nothing at all
    EXPECT_EQ(ddf__SavedTF, kLine);
    ASSERT_EQ(mda_SetCurModel(0, 44), 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(ddf__Current, other_); // no model: the dictionary stays
    ASSERT_EQ(mda_SetCurModel(a, 45), 0);
    ASSERT_EQ(mda_FreeModel(7, a), 0);
    EXPECT_EQ(mda__CurModelNum, 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"current 1 0", "current 2 0", "current 1 0",
                                                 "current 2 42", "current 1 45", "freed 7 1"}));
}

// Fails the 1st, 2nd, ... allocation of a model allocation in turn: each
// failure is reported, leaves the slot free, the current model and the
// dictionary variables as they were, and no file behind; the sanitizer
// build checks that nothing leaks.
TEST_F(ModelTable, EveryAllocationFailureLeavesTheSlotFree) {
    for (uint32_t options : {0u, static_cast<uint32_t>(MDA_MEMORY_ONLY)}) {
        for (int32_t bounded : {0, 2}) {
            SCOPED_TRACE(testing::Message() << options << " " << bounded);
            mda__EntDirBlkSizeMax = bounded;
            ASSERT_EQ(NewModel(MDA_MEMORY_ONLY, other_), 1);
            MDA_MODEL_DEF def;
            mda_GetModelDefaults(0, &def);
            def.ddf = dict_;
            int32_t model = 0, rc = 0;
            const long failures =
                mvxtest::FailEachAllocation([&] { rc = mda_AllocateModel(options, &def, &model); },
                                            [&](bool failed) {
                                                if (!failed) return;
                                                EXPECT_EQ(mpm__LastError, rc);
                                                EXPECT_NE(rc, 0);
                                                EXPECT_EQ(mda__Model[2].in_use, 0);
                                                EXPECT_EQ(mda__Model[2].tolerances, nullptr);
                                                EXPECT_EQ(mda__CurModelNum, 1);
                                                EXPECT_EQ(ddf__Current, other_);
                                                EXPECT_EQ(ScratchFiles(), 0);
                                                mpm_ClearStack(0);
                                            },
                                            200);
            EXPECT_EQ(model, 2);
            EXPECT_GE(failures, options == 0 ? 5 : 3);
            EXPECT_EQ(mda_FreeModel(0, 2), 0);
            EXPECT_EQ(mda_FreeModel(0, 1), 0);
        }
    }
}

// Names are kept per model, cut to 31 bytes, replaced when set again, and
// dumped in byte order; an unknown name reads as the default.
TEST_F(ModelTable, TolerancesAreKeptPerModelAndDumpedInByteOrder) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    for (const char* name : {"point", "Angle", "b", "point"})
        ASSERT_EQ(mda_SetTol2(1, name, name[0] == 'A' ? 1e-9 : name[0] == 'b' ? -2.5 : 0.25), 0);
    ASSERT_EQ(mda_SetTol2(1, std::string(40, 'z').c_str(), 123456789.0), 0);
    ASSERT_EQ(mda_SetTol2(2, "point", 7.0), 0);
    EXPECT_EQ(mda_GetTol2(1, std::string(31, 'z').c_str()), 123456789.0);
    EXPECT_EQ(mda_GetTol2(2, "Angle"), 2.220446049250313e-16);
    char* text = nullptr;
    size_t size = 0;
    mda__DbgFile = open_memstream(&text, &size);
    for (int32_t model : {1, 0, 3, 2})
        EXPECT_EQ(mda_DbgDumpTols(0, model), model == 3 ? MDA_INVALID_MODEL : 0);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    EXPECT_EQ(std::string(text, size), "Angle = 1e-09\nb = -2.5\npoint = 0.25\n"
                                       "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz = 1.23457e+08\n\n\n"
                                       "point = 7\n\n\n");
    std::free(text);
}

int FailingClose(int fd) {
    dof::DefaultClose(fd); // the descriptor is gone, as after an interrupted close
    errno = EIO;
    return -1;
}

TEST_F(ModelTable, PagedFileWhoseCloseFailsIsReleasedAndDeleted) {
    ASSERT_EQ(NewModel(0), 1);
    const std::string name = mda__Model[1].dof->name;
    ASSERT_EQ(access(name.c_str(), F_OK), 0);
    dof::SysClose = FailingClose;
    EXPECT_EQ(mda_FreeModel(0, 1), DOF_CLOSE_ERR);
    dof::SysClose = dof::DefaultClose;
    EXPECT_EQ(access(name.c_str(), F_OK), -1);
    EXPECT_EQ(mda__Model[1].in_use, 0);
    EXPECT_EQ(mda__Model[1].dof, nullptr);
    EXPECT_EQ(ScratchFiles(), 0);
}

struct Variant {
    const char* name;
    uint32_t options;
    int32_t bounded; // mda__EntDirBlkSizeMax
    uint32_t seed;
};

class ModelDirectory : public ModelTest, public ::testing::WithParamInterface<Variant> {};

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
            const int32_t to = rng() % 8 == 0 ? kAbsent : tf;
            const int32_t code = to == kAbsent                  ? MDA_UNKNOWN_TF
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
    ASSERT_EQ(mda_SetTF(fresh, kArc), 0); // a body not yet registered changes alone
    EXPECT_EQ(static_cast<MDA_ENTITY_HDR*>(fresh)->tf, kArc);
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
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModelTable, TableDoublingAndBlockAllocationFailuresUseUpNothing) {
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
TEST_F(ModelTable, OverflowFileFailuresLeaveTheDirectoryWhole) {
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
