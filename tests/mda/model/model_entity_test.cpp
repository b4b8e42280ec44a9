// Entities: numbering and the reuse of freed numbers, reservation, db_ptr
// validity across statuses and models, type changes, and allocation
// failures that must use up no number.
#include "mda/model_support.h"

namespace {

using modeltest::Expected;
using modeltest::kArc;
using modeltest::kLine;
using modeltest::kPoint;
using modeltest::ModelMatches;
using modeltest::Newest;

using ModelEntity = modeltest::ModelTest;

TEST_F(ModelEntity, NumbersStartAtOneEncodeTheModelAndReuseFreedOnes) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    ASSERT_EQ(NewModel(0), 3);
    std::vector<MDA_PTR> made;
    for (int i = 0; i < 9; ++i) {
        MDA_PTR p = 0;
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, 3, kPoint, nullptr, &p), 0);
        made.push_back(p);
    }
    EXPECT_EQ(made[0], 0x0600000000000001);
    EXPECT_EQ(made[4], 0x0600000000000005);
    EXPECT_EQ(MDA_PTR_MODEL(made[4]), 3);
    EXPECT_EQ(MDA_PTR_ENTITY(made[4]), 5);

    // Numbers come back last freed, first reused.
    for (int64_t n : {7, 2}) {
        MDA_DIR_ENTRY* e = mda__GetEntDir(3, n);
        mda_FreeEntity(0, e->mloc);
        ASSERT_EQ(mda::ReleaseNumber(3, n, false), 0);
    }
    EXPECT_EQ(mda_IsDeleted(made[6]), 1);
    EXPECT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, made[6]), 0);
    MDA_PTR p = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, 3, &p), 0);
    EXPECT_EQ(p, 0x0600000000000002);
    EXPECT_EQ(mda_IsDeleted(p), 0);
    ASSERT_EQ(mda_AllocateEntity2(0, 3, kLine, nullptr, &p), 0);
    EXPECT_EQ(p, 0x0600000000000007);
    ASSERT_EQ(mda__AllocatePtr(3, &p), 0);
    EXPECT_EQ(p, 0x060000000000000A);
    // A number released but kept reserved is not reused.
    ASSERT_EQ(mda::ReleaseNumber(3, 10, true), 0);
    ASSERT_EQ(mda__AllocatePtr(3, &p), 0);
    EXPECT_EQ(p, 0x060000000000000B);
    EXPECT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, 0x060000000000000A), 1);
}

TEST_F(ModelEntity, AReservedDbptrIsCreatedOnceOnly) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, 2, &reserved), 0);
    const MDA_DIR_ENTRY* e = mda__GetEntDir(2, 1);
    EXPECT_EQ(e->status, MDA_RESERVED);
    EXPECT_EQ(e->tf, MVX_NULL_TF);
    EXPECT_EQ(e->mloc, nullptr);
    EXPECT_EQ(e->dloc, 0);
    EXPECT_EQ(mda_IsValidDbptr2(0, reserved), 0);
    EXPECT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, reserved), 1);
    int32_t type = 1, form = 2;
    EXPECT_EQ(mda_ReadTypeForm(reserved, &type, &form), MDA_INVALID_PTR);
    EXPECT_EQ(type, 1);

    void* body = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, 2, kPoint, &body), 0);
    MDA_PTR p = reserved;
    ASSERT_EQ(mda_CreateEntity(MDA_USE_DBPTR, body, &p), 0);
    EXPECT_EQ(p, reserved);
    EXPECT_EQ(e->mloc, body);
    EXPECT_EQ(mda__Model[2].next_entity, 2);

    void* second = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, 2, kPoint, &second), 0);
    mpm_ClearStack(0);
    EXPECT_EQ(mda_CreateEntity(MDA_USE_DBPTR, second, &p), MDA_PTR_ALREADY_CREATED);
    EXPECT_EQ(Newest().first, MDA_PTR_ALREADY_CREATED);
    EXPECT_EQ(e->mloc, body);
    // Neither a number of another model nor one never handed out.
    MDA_PTR wrong = MDA_MAKE_PTR(1, 1);
    EXPECT_EQ(mda_CreateEntity(MDA_USE_DBPTR, second, &wrong), MDA_INVALID_PTR);
    wrong = MDA_MAKE_PTR(2, 5);
    EXPECT_EQ(mda_CreateEntity(MDA_USE_DBPTR, second, &wrong), MDA_INVALID_PTR);
    EXPECT_EQ(mda_FreeEntity(0, second), 0);
    EXPECT_EQ(mda_FreeEntity(0, nullptr), MDA_NULL_MEMPTR);

    // The same for mda_AllocateEntity2.
    ASSERT_EQ(mda_ReserveEntity2(0, 2, &reserved), 0);
    p = reserved;
    ASSERT_EQ(mda_AllocateEntity2(MDA_USE_DBPTR, 2, kLine, nullptr, &p), 0);
    EXPECT_EQ(p, reserved);
    EXPECT_EQ(mda_AllocateEntity2(MDA_USE_DBPTR, 2, kLine, nullptr, &p), MDA_PTR_ALREADY_CREATED);
    EXPECT_EQ(mda__Model[2].next_entity, 3);
}

TEST_F(ModelEntity, ValidityAcrossStatusesAndModelNumbers) {
    ASSERT_EQ(NewModel(), 1);
    MDA_PTR live = 0, reserved = 0, gone = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, 1, kPoint, nullptr, &live), 0);
    ASSERT_EQ(mda_ReserveEntity2(0, 1, &reserved), 0);
    ASSERT_EQ(mda_AllocateEntity2(0, 1, kPoint, nullptr, &gone), 0);
    mda_FreeEntity(0, mda__GetEntDir(1, MDA_PTR_ENTITY(gone))->mloc);
    ASSERT_EQ(mda::ReleaseNumber(1, MDA_PTR_ENTITY(gone), false), 0);
    struct Case {
        MDA_PTR ptr;
        int32_t plain, accepting, deleted;
    };
    const Case cases[] = {
        {live, 1, 1, 0},
        {reserved, 0, 1, 0},
        {gone, 0, 0, 1},
        {MDA_NULL_PTR, 0, 0, 0},
        {MDA_MAKE_PTR(1, 0), 0, 0, 0},                       // the reserved entity 0
        {MDA_MAKE_PTR(1, 4), 0, 0, 0},                       // never handed out
        {MDA_MAKE_PTR(2, 1), 0, 0, 0},                       // model not allocated
        {MDA_MAKE_PTR(0, 1), 0, 0, 0},                       // model 0
        {MDA_MAKE_PTR(65, 1), 0, 0, 0},                      // beyond the table
        {MDA_MAKE_PTR(127, 1), 0, 0, 0},                     // read as -1 if signed
        {live | (int64_t{1} << 56), 0, 0, 0},                // a huge entity number
        {static_cast<MDA_PTR>(0xFFFFFFFFFFFFFFFF), 0, 0, 0}, // all bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mda_IsValidDbptr2(0, c.ptr), c.plain) << std::hex << c.ptr;
        EXPECT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, c.ptr), c.accepting) << std::hex << c.ptr;
        EXPECT_EQ(mda_IsDeleted(c.ptr), c.deleted) << std::hex << c.ptr;
    }
    EXPECT_EQ(mda_ReadTypeForm(gone, nullptr, nullptr), MDA_INVALID_PTR);
    EXPECT_EQ(Newest().second, "*** Error (MDA_INVALID_PTR) ***\nInvalid database pointer.\n");
}

TEST_F(ModelEntity, SetTFChangesBodyEntryAndNeedsTheLock) {
    ASSERT_EQ(NewModel(), 1);
    MDA_PTR p = 0;
    void* body = nullptr;
    ASSERT_EQ(mda_AllocateEntity2(0, 1, kPoint, &body, &p), 0);
    auto* h = static_cast<MDA_ENTITY_HDR*>(body);
    MDA_DIR_ENTRY* e = mda__GetEntDir(1, 1);
    e->status = MDA_RWLOCK | (1 << MDA_LOCK_SHIFT);
    ASSERT_EQ(mda_SetTF(body, kArc), 0);
    EXPECT_EQ(h->tf, kArc);
    EXPECT_EQ(h->tfi, 2);
    EXPECT_EQ(e->tf, kArc);
    EXPECT_EQ(e->status, MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH | (1 << MDA_LOCK_SHIFT));
    int32_t type = 0, form = 0;
    ASSERT_EQ(mda_ReadTypeForm(p, &type, &form), 0);
    EXPECT_EQ(type, 120);
    EXPECT_EQ(form, -3);

    mpm_ClearStack(0);
    EXPECT_EQ(mda_SetTF(body, modeltest::kAbsent), MDA_UNKNOWN_TF);
    EXPECT_EQ(Newest().first, MDA_UNKNOWN_TF);
    EXPECT_EQ(h->tf, kArc);
    e->status = 0; // unlocked: nothing changes
    EXPECT_EQ(mda_SetTF(body, kLine), MDA_NOT_RWLOCKED);
    EXPECT_EQ(h->tf, kArc);
    EXPECT_EQ(e->tf, kArc);
    EXPECT_EQ(mda_SetTF(nullptr, kLine), MDA_NULL_MEMPTR);

    // A body not yet registered changes alone.
    void* fresh = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, 1, kPoint, &fresh), 0);
    ASSERT_EQ(mda_SetTF(fresh, kLine), 0);
    EXPECT_EQ(static_cast<MDA_ENTITY_HDR*>(fresh)->tfi, 1);
    mda_FreeEntity(0, fresh);

    // Unknown types use up nothing.
    EXPECT_EQ(mda_AllocateEntity2(0, 1, modeltest::kAbsent, &body, &p), MDA_UNKNOWN_TF);
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(mda_MallocEntity2(0, 1, modeltest::kAbsent, &body), MDA_UNKNOWN_TF);
    EXPECT_EQ(mda__Model[1].next_entity, 2);
}

// Entity creation under allocation failure: each failure is reported and
// leaves the model exactly as the reference says (no number used up).
TEST_F(ModelEntity, AllocationFailuresUseUpNoNumber) {
    ASSERT_EQ(NewModel(), 1);
    std::map<int64_t, Expected> ref;
    int64_t next = 1;
    // Cross a block boundary so that directory growth fails too.
    for (int i = 0; i < 2100; ++i) {
        for (long n = 1;; ++n) {
            MDA_PTR p = 0;
            mvxc::SetAllocFailure(n);
            const int32_t rc = mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, 1, kLine, nullptr, &p);
            mvxc::SetAllocFailure(0);
            if (rc == 0) {
                ASSERT_EQ(p, MDA_MAKE_PTR(1, next));
                ref[next++] = {MDA_NEW | MDA_NEEDFLUSH, kLine, true};
                break;
            }
            ASSERT_EQ(rc, MDA_MALLOC_ERR);
            if (i % 500 == 0 || i == 2046) {
                ASSERT_TRUE(ModelMatches(1, ref, next)) << i;
            }
        }
    }
    ASSERT_TRUE(ModelMatches(1, ref, next));
    EXPECT_EQ(mda__Model[1].dir_capacity, 4095);
}

} // namespace
