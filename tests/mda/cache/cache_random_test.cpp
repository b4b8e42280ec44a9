// Randomized locking against a reference: thousands of entities with
// strings, arrays and arrays of strings, locked, changed and unlocked in
// random order, in models whose cache holds far fewer than the working set,
// so that bodies go to disk (or to their stored copies) and come back many
// times. Now and then a write or read of the paged file or an allocation
// fails: a lock that fails changes nothing, an unlock that fails still
// unlocks, and nothing is lost; or a request is refused. After every step
// the locked body renders exactly as the reference remembers it, its chain
// checks (the library's check and an independent walk), its stored DBlock
// chain checks, and the cache's order list is whole.
#include "dof/dof_check.h"
#include "mda/cache/cache_support.h"

namespace cachetest {
namespace {

using doftest::Faults;

struct Variant {
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
                         ::testing::Values(Variant{0, 0, 2000, 20000},
                                           Variant{MDA_MEMORY_ONLY, 0, 2000, 20000},
                                           Variant{MDA_NO_DELAYED_WRITE, 0, 1500, 15000},
                                           Variant{0, 1, 3000, 8000}));

} // namespace
} // namespace cachetest
