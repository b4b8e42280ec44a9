// Randomized locking against a reference: thousands of entities with
// strings, arrays and arrays of strings, locked, changed and unlocked in
// random order, in models whose cache holds far fewer than the working set,
// so that bodies go to disk (or to their stored copies) and come back many
// times. Now and then a write or read of the paged file or an allocation
// fails: a lock that fails changes nothing, an unlock that fails still
// unlocks, and nothing is lost; or a request is refused (a db_ptr that names
// no entity, an unlock too many, an invalidation the model cannot honour).
// After every step the locked body renders exactly as the reference
// remembers it, its chain checks (the library's check and an independent
// walk), its stored DBlock chain checks, and the cache's order list is whole.
#include "dof/dof_check.h"
#include "mda/cache/cache_support.h"

namespace cachetest {
namespace {

using doftest::Faults;

struct Variant {
    const char* name;
    uint32_t options;
    int32_t bounded; // mda__EntDirBlkSizeMax
    int entities;
    int steps;
};

void PrintTo(const Variant& v, std::ostream* out) {
    *out << v.name;
}

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
    doftest::Faults faults;
    int failures = 0;
    // Now and then arms a failure of one of the next call's first few
    // transfers, or of any of its allocations (long chains and stored
    // copies make many).
    auto arm = [&] {
        if (rng() % 12 != 0) return;
        const long nth = 1 + static_cast<long>(rng() % 3);
        switch (rng() % 3) {
        case 0:
            Faults::write_at = nth;
            break;
        case 1:
            Faults::read_at = nth;
            break;
        default:
            // The bounded directory's own blocks are not the subject here.
            if (v.bounded == 0) mvxc::SetAllocFailure(nth + static_cast<long>(rng() % 4) * 12);
        }
    };
    auto disarm = [] {
        Faults::write_at = Faults::read_at = 0;
        mvxc::SetAllocFailure(0);
    };
    std::vector<MDA_PTR> ptrs;
    std::vector<Ref> refs(static_cast<size_t>(v.entities));

    // Changes a locked entity: plain bytes, a slot's contents, or a string
    // in place; a few entities get long chains (more than 32 blocks).
    auto change = [&](Ref& r) {
        Body* b = r.body;
        const int what = static_cast<int>(rng() % 4);
        if (what == 0) {
            b->bytes[rng() % sizeof b->bytes] = static_cast<uint8_t>(rng());
        } else {
            const int n = rng() % 50 == 0 ? kSlots : 1 + static_cast<int>(rng() % 3);
            for (int k = 0; k < n; ++k) {
                const int i = n == kSlots ? k : static_cast<int>(rng() % kSlots);
                Clear(b, i, r.shape[i]);
                r.shape[i] = static_cast<Kind>(rng() % 4);
                Fill(b, i, r.shape[i], rng);
            }
        }
    };
    auto check_locked = [&](size_t k) {
        const Ref& r = refs[k];
        ASSERT_EQ(Render(r.body, r.shape), r.rendered) << "entity " << k;
        ASSERT_EQ(mbtest::ChainFault(r.body), "") << "entity " << k;
        ASSERT_EQ(mda__DbgCheckEntityMBlocks(0, r.body), 0);
    };

    for (int i = 0; i < v.entities; ++i) {
        Ref& r = refs[static_cast<size_t>(i)];
        ptrs.push_back(NewEntity(model, &r.body));
        ASSERT_NE(r.body, nullptr);
        change(r);
        r.rendered = Render(r.body, r.shape);
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
                ASSERT_EQ(body, nullptr);
                ASSERT_EQ(mda_IsDeleted(p), 0) << "step " << step;
                continue;
            }
            ASSERT_TRUE(r.body == nullptr || r.body == body);
            r.body = static_cast<Body*>(body);
            if (r.locks++ == 0) {
                r.base_shape = r.shape;
                r.base_rendered = r.rendered;
            }
            check_locked(k);
            if (HasFatalFailure()) return;
            continue;
        }
        uint32_t options = 0;
        if (action < 6) {
            change(r);
            options = MDA_UNLOCK_MODIFIED;
            r.rendered = Render(r.body, r.shape);
        }
        // (An entity whose last write failed has no copy to fall back on
        // and keeps its body.)
        if (action == 6 && ndw && r.locks == 1 &&
            mda__GetEntDir(model, MDA_PTR_ENTITY(p))->dloc != -1) {
            // Invalidation drops the body and every change of this lock:
            // the copy written at the last unlock stands.
            change(r);
            options = MDA_INVALIDATE;
            r.shape = r.base_shape;
            r.rendered = r.base_rendered;
        }
        if (action == 7) options |= MDA_UNLOCK_ALL;
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

    // Everything once more, then the model is freed with bodies in the
    // cache, on disk, in stored copies and still locked.
    int locked = 0;
    for (size_t k = 0; k < ptrs.size(); ++k) {
        void* body = nullptr;
        ASSERT_EQ(mda_LockEntity(0, ptrs[k], &body), 0);
        refs[k].body = static_cast<Body*>(body);
        check_locked(k);
        if (HasFatalFailure()) return;
        if (refs[k].locks > 0) ++locked;
        ASSERT_EQ(mda_UnlockEntity(0, ptrs[k]), 0);
    }
    EXPECT_EQ(mda_DbgGetLockedCount(0, model), locked);
    EXPECT_GT(failures, v.steps / 400);
}

INSTANTIATE_TEST_SUITE_P(
    Models, CacheRandom,
    ::testing::Values(Variant{"Paged", 0, 0, 2000, 20000},
                      Variant{"MemoryOnly", MDA_MEMORY_ONLY, 0, 2000, 20000},
                      Variant{"NoDelayedWrite", MDA_NO_DELAYED_WRITE, 0, 1500, 15000},
                      Variant{"BoundedDirectory", 0, 1, 3000, 8000}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

} // namespace
} // namespace cachetest
