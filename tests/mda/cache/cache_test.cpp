// Randomized locking against a reference: thousands of entities with
// strings, arrays and arrays of strings, locked, changed and unlocked in
// random order, in models whose cache holds far fewer than the working set,
// so that bodies go to disk (or to their stored copies) and come back many
// times. Now and then a write or read of the paged file or an allocation
// fails: a lock that fails changes nothing, an unlock that fails still
// unlocks, and nothing is lost; or a request is refused. After every step
// the locked body renders exactly as the reference remembers it, its chain
// checks (the library's check and an independent walk), its stored DBlock
// chain checks, and the cache's order list is whole. Beyond the run: stored
// chains damaged on disk and in memory, and the exact text of the dumps.
#include <regex>

#include "dof/dof_check.h"
#include "mda/cache/cache_support.h"
#include "support/capture.h"

namespace cachetest {
namespace {

using doftest::Faults;

struct Variant {
    const char* name;
    uint32_t options;
    int32_t bounded; // mda__EntDirBlkSizeMax
    int entities, steps;
};

class CacheRandom : public CacheTest, public ::testing::WithParamInterface<Variant> {};

struct Ref {
    Shape shape = Shape(kSlots, kNone);
    std::string rendered;
    int locks = 0;
    Body* body = nullptr; // while locked
    Shape base_shape;     // as the first lock found it
    std::string base_rendered;
};

TEST_P(CacheRandom, LockedBodiesMatchTheReferenceAcrossSwaps) {
    const Variant v = GetParam();
    mda__EntDirBlkSizeMax = v.bounded;
    const int32_t model = NewModel(v.options);
    ASSERT_NE(model, 0);
    const bool ndw = (v.options & MDA_NO_DELAYED_WRITE) != 0;
    std::mt19937 rng(20261206);
    Faults faults;
    int failures = 0;
    // Now and then arms a failure of one of the next call's first few
    // transfers, or of one of its allocations (long chains and stored copies
    // make many; the bounded directory's own blocks are not the subject).
    auto arm = [&] {
        const long nth = 1 + static_cast<long>(rng() % 3), what = static_cast<long>(rng() % 36);
        if (what == 0) Faults::write_at = nth;
        if (what == 1) Faults::read_at = nth;
        if (what == 2 && v.bounded == 0) mvxc::SetAllocFailure(nth + (rng() % 4) * 12);
    };
    auto disarm = [] {
        Faults::write_at = Faults::read_at = 0;
        mvxc::SetAllocFailure(0);
    };
    std::vector<MDA_PTR> ptrs;
    std::vector<Ref> refs(static_cast<size_t>(v.entities));
    // Changes a locked entity: plain bytes, or the contents of a few slots
    // (now and then of all, for chains of more than 32 blocks).
    auto change = [&](Ref& r) {
        if (rng() % 4 == 0) r.body->bytes[rng() % sizeof r.body->bytes] = rng() & 0xFF;
        const int n = rng() % 50 == 0 ? kSlots : static_cast<int>(rng() % 4);
        for (int k = 0; k < n; ++k) {
            const int i = n == kSlots ? k : static_cast<int>(rng() % kSlots);
            Clear(r.body, i, r.shape[i]);
            Fill(r.body, i, r.shape[i] = static_cast<Kind>(rng() % 4), rng);
        }
        r.rendered = Render(r.body, r.shape);
    };
    auto check_locked = [&](const Ref& r) {
        ASSERT_EQ(Render(r.body, r.shape), r.rendered) << "entity " << &r - refs.data();
        ASSERT_EQ(mbtest::ChainFault(r.body), "") << "entity " << &r - refs.data();
        ASSERT_EQ(mda__DbgCheckEntityMBlocks(0, r.body), 0);
    };
    for (Ref& r : refs) {
        ptrs.push_back(NewEntity(model, &r.body));
        change(r);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, ptrs.back()), 0);
        r.body = nullptr;
    }

    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, model, &reserved), 0);
    const MDA_PTR bad[] = {MDA_NULL_PTR, MDA_MAKE_PTR(model, 99999), MDA_MAKE_PTR(model + 1, 1),
                           reserved, MDA_MAKE_PTR(65, 1)};
    for (int step = 0; step < v.steps; ++step) {
        const size_t k = rng() % ptrs.size();
        Ref& r = refs[k];
        const MDA_PTR p = ptrs[k];
        const int action = static_cast<int>(rng() % 11);
        if (action == 10) { // refused requests change nothing
            const int32_t status = mda__GetEntDir(model, MDA_PTR_ENTITY(p))->status;
            void* body = &r;
            const MDA_PTR q = bad[rng() % 5];
            EXPECT_EQ(mda_LockEntity(0, q, &body), MDA_INVALID_PTR);
            EXPECT_EQ(body, nullptr);
            EXPECT_EQ(mda_UnlockEntity(0, q), MDA_INVALID_PTR);
            EXPECT_EQ(mda__SwapToDisk(0, q), MDA_INVALID_PTR);
            EXPECT_EQ(mda__SwapFromDisk(0, q), nullptr);
            // An unlock too many is a warning; invalidation needs a model
            // that writes at once.
            if (r.locks == 0 || !ndw) {
                EXPECT_EQ(mda_UnlockEntity(MDA_INVALIDATE | MDA_UNLOCK_MODIFIED, p),
                          ndw ? MDA_ENTITY_NOT_LOCKED : MDA_NOLONGER_SUPPORTED);
                EXPECT_EQ(mpm__LastErrorLevel, ndw ? MPM_WARNING : MPM_ERROR);
            }
            EXPECT_EQ(mda__GetEntDir(model, MDA_PTR_ENTITY(p))->status, status);
            continue;
        }
        if (r.locks == 0 || (action < 2 && r.locks < 3)) {
            void* body = nullptr;
            arm();
            const int32_t rc = mda_LockEntity(0, p, &body);
            disarm();
            if (rc != 0) {
                ++failures;
                ASSERT_TRUE(body == nullptr && mda_IsDeleted(p) == 0) << "step " << step;
                continue;
            }
            ASSERT_TRUE(r.body == nullptr || r.body == body);
            r.body = static_cast<Body*>(body);
            if (r.locks++ == 0) {
                r.base_shape = r.shape;
                r.base_rendered = r.rendered;
            }
            check_locked(r);
            if (HasFatalFailure()) return;
            continue;
        }
        uint32_t options = action < 6 ? MDA_UNLOCK_MODIFIED : action == 7 ? MDA_UNLOCK_ALL : 0;
        if (action < 6) change(r);
        // Invalidation drops the body and every change of this lock: the
        // copy written at the last unlock stands. (An entity whose last
        // write failed has no copy to fall back on and keeps its body.)
        if (action == 6 && ndw && r.locks == 1 &&
            mda__GetEntDir(model, MDA_PTR_ENTITY(p))->dloc != -1) {
            change(r);
            options = MDA_INVALIDATE;
            r.shape = r.base_shape;
            r.rendered = r.base_rendered;
        }
        arm();
        failures += mda_UnlockEntity(options, p) != 0;
        disarm();
        r.locks = (options & MDA_UNLOCK_ALL) != 0 ? 0 : r.locks - 1;
        if (r.locks == 0) {
            r.body = nullptr;
            ASSERT_EQ(mda__DbgCheckEntityDBlocks(0, p), 0);
        }
        ASSERT_EQ(CacheFault(model), "") << "step " << step;
    }
    EXPECT_GT(failures, v.steps / 500);

    // Everything once more, the first entity up to the lock limit; then the
    // model is freed with bodies in the cache, on disk, in stored copies and
    // still locked.
    void* body = nullptr;
    for (int i = refs[0].locks; i < MDA_MAX_LOCKS; ++i)
        ASSERT_EQ(mda_LockEntity(0, ptrs[0], &body), 0);
    EXPECT_EQ(mda_LockEntity(0, ptrs[0], &body), MDA_TOO_MANY_LOCKS);
    EXPECT_EQ(mda_UnlockEntity(MDA_UNLOCK_ALL, ptrs[0]), 0);
    refs[0].locks = 0;
    int locked = 0;
    for (size_t k = 0; k < ptrs.size(); ++k) {
        ASSERT_EQ(mda_LockEntity(0, ptrs[k], &body), 0);
        refs[k].body = static_cast<Body*>(body);
        check_locked(refs[k]);
        if (HasFatalFailure()) return;
        locked += refs[k].locks > 0;
        ASSERT_EQ(mda_UnlockEntity(0, ptrs[k]), 0);
    }
    EXPECT_EQ(mda_DbgGetLockedCount(0, model), locked);
}

INSTANTIATE_TEST_SUITE_P(Models, CacheRandom,
                         ::testing::Values(Variant{"Paged", 0, 0, 2000, 20000},
                                           Variant{"MemoryOnly", MDA_MEMORY_ONLY, 0, 2000, 20000},
                                           Variant{"NoDelayedWrite", MDA_NO_DELAYED_WRITE, 0, 1500,
                                                   15000},
                                           Variant{"BoundedDirectory", 0, 1, 3000, 8000}),
                         [](const auto& info) { return std::string(info.param.name); });

// Damage at an offset of an entity's file block gives the check's finding,
// then the lock's CORRUPTED_ENT. The body's block comes first; slot 0
// refers to block 2, and the body's header holds the offset and holder of
// the pointer to block 1. A referrer outside the chain is found before
// anything is written.
TEST_F(CacheTest, DamagedChainsAreReportedAndDeleted) {
    const struct {
        int64_t at;
        int32_t value;
        int32_t check;
    } damages[] = {
        {40 + sizeof(Body) + 32, 0x12345678, MDA_DBG_BADBLOCKNUM}, // marker of block 1
        {16, 77, MDA_DBG_BADBLOCKNUM},                             // holder
        {40 + 24, 99, MDA_DBG_BADPTRNUM},                          // stored position
        {8, 4, MDA_DBG_BADBLOCKNUM},                               // referrer offset
        {0, 44, MDA_DBG_BADBLOCKNUM},                              // size of the body block
        {-1, 0, 0},                                                // a referrer outside
    };
    // Entities with a string and an array; small page buffers, so that
    // writes and reads reach the file.
    const int32_t model = NewModel(MDA_NO_DELAYED_WRITE, 2, 512);
    Shape shape(kSlots, kNone);
    shape[0] = kString;
    shape[1] = kArray;
    std::vector<std::pair<MDA_PTR, std::string>> ents; // db_ptr, rendering
    std::mt19937 rng(7);
    for (int i = 0; i < 8; ++i) {
        Body* b = nullptr;
        ents.emplace_back(NewEntity(model, &b), "");
        for (int k = 0; k < 2; ++k)
            Fill(b, k, shape[k], rng);
        b->bytes[0] = static_cast<uint8_t>(i);
        ents.back().second = Render(b, shape);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, ents.back().first), 0);
    }
    void* body = nullptr;
    for (const auto& d : damages) {
        SCOPED_TRACE(d.at);
        const MDA_PTR p = ents.front().first;
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(p));
        if (d.at >= 0) {
            // Out of the cache without a write, so that the damaged copy is read.
            const int64_t dloc = e->dloc;
            ASSERT_EQ(mda__FlushCache(model, e->status & 0xFF), 0);
            int32_t value = d.value;
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, mda__Model[model].dof, 4, dloc + d.at, &value), 0);
            mvxtest::OutputRecorder recorder;
            EXPECT_EQ(mda__DbgCheckEntityDBlocks(0, p), d.check);
            body = &value;
            EXPECT_EQ(mda_LockEntity(0, p, &body), MDA_CORRUPTED_ENT);
            EXPECT_EQ(body, nullptr);
        } else {
            ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
            void* outside = nullptr;
            mbtest::Header(body)->referrer = &outside;
            EXPECT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), MDA_CORRUPTED_ENT);
            EXPECT_TRUE(std::regex_match(
                mvxtest::LastText(),
                std::regex(".*\nAn entity #" + std::to_string(model) + ":" +
                           std::to_string(MDA_PTR_ENTITY(p)) +
                           " \\(TF:\\d+:\\d+\\) is corrupted\\.\nMarking it as DELETED\n")))
                << mvxtest::LastText();
        }
        EXPECT_EQ(mda_IsDeleted(p), 1);
        ents.erase(ents.begin());
    }
    for (const auto& [p, rendered] : ents) { // the others lock and render as before
        ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
        EXPECT_EQ(Render(static_cast<Body*>(body), shape), rendered);
        EXPECT_EQ(mbtest::ChainFault(body), "");
        ASSERT_EQ(mda_UnlockEntity(0, p), 0);
    }
    EXPECT_EQ(CacheFault(model), "");
}

TEST_F(CacheTest, DumpsOfCacheLocksAndEntries) {
    const int32_t model = NewModel(MDA_NO_DELAYED_WRITE);
    const int32_t memory = NewModel(MDA_MEMORY_ONLY);
    Body* b = nullptr;
    const MDA_PTR one = NewEntity(model, &b);
    ASSERT_EQ(mda_Strdup(0, b, "abc", reinterpret_cast<char**>(&b->slot[3])), 0);
    ASSERT_EQ(mda_UnlockEntity(0, one), 0);
    NewEntity(model, &b);
    const MDA_PTR stored = NewEntity(memory, &b);
    ASSERT_EQ(mda_UnlockEntity(0, stored), 0);
    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, memory, &reserved), 0);
    char* text = nullptr;
    size_t size = 0;
    mda__DbgFile = open_memstream(&text, &size);
    EXPECT_EQ(mda_DbgDumpCache(0, model), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, model), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, stored), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, reserved), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, memory), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, 0), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, MDA_NULL_PTR), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, 9), MDA_INVALID_MODEL);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    EXPECT_EQ(std::regex_replace(std::string(text, size), std::regex("0x0x[0-9a-f]+"), "@"),
              "Cache Entry 0, db_ptr #1:1\n"
              "#1:1\n   TF:          7:1\n   Mloc:        @\n   Dloc:        0x8\n"
              "   Status:      \n   Cache Entry: 0\n   Lock Count:  0\n\n"
              "\n\nCache size = 32 entries, 1 in use\n"
              "#1:2\n   TF:          7:1\n   Mloc:        @\n   Dloc:        Not written\n"
              "   Status:      RWLOCK  MODIFIED  NEW  NEEDFLUSH  \n"
              "   Cache Entry: 0\n   Lock Count:  1\n\n"
              "#2:1\n   TF:          7:1\n   Mloc:        0x(nil)\n"
              "   Dloc:        Memory:@\n   Status:      \n"
              "   Cache Entry: 0\n   Lock Count:  0\n\n"
              "#2:2\n   TF:          16000:16000\n   Mloc:        0x(nil)\n"
              "   Dloc:        Memory:0x(nil)\n   Status:      RESERVED  \n"
              "   Cache Entry: 0\n   Lock Count:  0\n\n"
              "\n\nCache size = 0 entries, 0 in use\n");
    std::free(text);
    EXPECT_EQ(mda_DbgGetLockedCount(0, 0), 0);
}

} // namespace
} // namespace cachetest
