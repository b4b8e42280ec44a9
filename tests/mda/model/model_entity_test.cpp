// Entities: how db_ptrs encode model and number, numbers released but kept
// reserved, creation refused for bodies and numbers that are not free,
// db_ptr validity across statuses and models, and type changes. (Number
// reuse, creation on reserved numbers and allocation failures run in the
// directory's randomized test.)
#include "mda/model_support.h"

namespace {

using modeltest::kArc;
using modeltest::kLine;
using modeltest::kPoint;
using modeltest::Newest;

using ModelEntity = modeltest::ModelTest;

TEST_F(ModelEntity, DbptrsEncodeModelAndNumberAndReservedNumbersAreNotReused) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    ASSERT_EQ(NewModel(0), 3);
    MDA_PTR p = 0;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, 3, kPoint, nullptr, &p), 0);
    EXPECT_EQ(p, 0x0600000000000005);
    EXPECT_EQ(MDA_PTR_MODEL(p), 3);
    EXPECT_EQ(MDA_PTR_ENTITY(p), 5);
    // A number released but kept reserved is not reused.
    ASSERT_EQ(mda__AllocatePtr(3, &p), 0);
    ASSERT_EQ(mda::ReleaseNumber(3, 6, true), 0);
    EXPECT_EQ(mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, p), 1);
    ASSERT_EQ(mda__AllocatePtr(3, &p), 0);
    EXPECT_EQ(p, 0x0600000000000007);

    // A reserved number has an entry without type or body.
    ASSERT_EQ(mda_ReserveEntity2(0, 2, &p), 0);
    const MDA_DIR_ENTRY* e = mda__GetEntDir(2, 1);
    EXPECT_EQ(e->status, MDA_RESERVED);
    EXPECT_EQ(e->tf, MVX_NULL_TF);
    EXPECT_EQ(e->mloc, nullptr);
    EXPECT_EQ(e->dloc, 0);
    int32_t type = 1, form = 2;
    EXPECT_EQ(mda_ReadTypeForm(p, &type, &form), MDA_INVALID_PTR);
    EXPECT_EQ(type, 1);
}

TEST_F(ModelEntity, CreationIsRefusedForRegisteredBodiesAndNumbersNotReserved) {
    ASSERT_EQ(NewModel(), 1);
    ASSERT_EQ(NewModel(), 2);
    void *registered = nullptr, *allocated = nullptr, *fresh = nullptr;
    MDA_PTR p = 0, reserved = 0;
    ASSERT_EQ(mda_MallocEntity2(0, 2, kPoint, &registered), 0);
    ASSERT_EQ(mda_CreateEntity(0, registered, &p), 0);
    ASSERT_EQ(mda_AllocateEntity2(0, 2, kLine, &allocated, &p), 0);
    ASSERT_EQ(mda_ReserveEntity2(0, 2, &reserved), 0);
    ASSERT_EQ(mda_MallocEntity2(0, 2, kPoint, &fresh), 0);
    std::vector<unsigned char> raw(64 + sizeof(MDA_ENTITY_HDR), 0); // no MBlock at all
    const struct {
        const char* name;
        uint32_t options;
        void* body;
        MDA_PTR ptr;
        int32_t code;
    } rows[] = {
        {"registered body", 0, registered, MDA_NULL_PTR, MDA_PTR_ALREADY_CREATED},
        {"allocated body", MDA_ENTITY_LOCKED, allocated, MDA_NULL_PTR, MDA_PTR_ALREADY_CREATED},
        {"not an MBlock", 0, raw.data() + 64, MDA_NULL_PTR, MDA_BAD_MBLOCK},
        {"live number", MDA_USE_DBPTR, fresh, MDA_MAKE_PTR(2, 1), MDA_PTR_ALREADY_CREATED},
        {"number of another model", MDA_USE_DBPTR, fresh, MDA_MAKE_PTR(1, 3), MDA_INVALID_PTR},
        {"number never handed out", MDA_USE_DBPTR, fresh, MDA_MAKE_PTR(2, 9), MDA_INVALID_PTR},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        mpm_ClearStack(0);
        MDA_PTR out = row.ptr;
        EXPECT_EQ(mda_CreateEntity(row.options, row.body, &out), row.code);
        EXPECT_EQ(Newest().first, row.code);
        EXPECT_EQ(out, row.ptr);
        EXPECT_EQ(mda__Model[2].next_entity, 4); // no number was used up
    }
    EXPECT_EQ(mda_FreeEntity(0, nullptr), MDA_NULL_MEMPTR);
    MDA_PTR at = reserved;
    ASSERT_EQ(mda_CreateEntity(MDA_USE_DBPTR, fresh, &at), 0);
    EXPECT_EQ(mda__GetEntDir(2, 3)->mloc, fresh);
    // Freeing the model frees each body once (the sanitized run checks).
    EXPECT_EQ(mda_FreeModel(0, 2), 0);
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
    e->status = 0; // unlocked: nothing changes
    EXPECT_EQ(mda_SetTF(body, kLine), MDA_NOT_RWLOCKED);
    EXPECT_EQ(mda_SetTF(nullptr, kLine), MDA_NULL_MEMPTR);
    EXPECT_EQ(h->tf, kArc);
    EXPECT_EQ(e->tf, kArc);

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

} // namespace
