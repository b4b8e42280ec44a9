// Writes entities with everything they reach through pointer fields.
//
// The entities to write are collected in a tree of db_ptrs with a work list
// of those still to walk, so that chains of any length are followed
// without recursion; each entity is locked only while its pointers are
// read.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"

namespace {

struct Collection {
    OTM_TREE* tree = nullptr;
    MDA_PTR* work = nullptr;
    size_t count = 0;
    size_t room = 0;
    int32_t model = 0;
};
Collection g_c;

int ComparePtrs(const void* a, const void* b) {
    return mda_CompPTRs(static_cast<const MDA_PTR*>(a), static_cast<const MDA_PTR*>(b));
}

// Adds db_ptr to the tree and the work list when it is new.
int32_t Add(MDA_PTR db_ptr) {
    if (otm_GetObject(OTM_QUIET, g_c.tree, &db_ptr) != nullptr) return 0;
    if (g_c.count == g_c.room) {
        const size_t room = g_c.room < 64 ? 64 : g_c.room * 2;
        auto* grown = static_cast<MDA_PTR*>(mvxc::Realloc(g_c.work, room * sizeof(MDA_PTR)));
        if (grown == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        g_c.work = grown;
        g_c.room = room;
    }
    if (otm_AddObject(0, g_c.tree, &db_ptr) == nullptr)
        return mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    g_c.work[g_c.count++] = db_ptr;
    return 0;
}

// The walk's visitor: every pointer into the model being written.
int32_t Collect(void*, int32_t count, int32_t type, void* address, DDF_FIELD*) {
    if (type != DDF_PTR) return 0;
    for (int32_t i = 0; i < count; ++i) {
        MDA_PTR child;
        std::memcpy(&child, static_cast<const char*>(address) + 8 * static_cast<int64_t>(i),
                    sizeof child);
        if (MDA_PTR_ENTITY(child) == 0 || MDA_PTR_MODEL(child) != g_c.model) continue;
        if (int32_t rc = Add(child)) return mdasm::Stop(rc);
    }
    return 0;
}

// Walks the work list until it is empty.
int32_t Drain() {
    while (g_c.count > 0) {
        const MDA_PTR db_ptr = g_c.work[--g_c.count];
        void* body = nullptr;
        if (int32_t rc = mda_LockEntity(0, db_ptr, &body)) return rc;
        mda__SMError = 0;
        int32_t rc = mda_TraverseEntity(0, body, Collect);
        if (rc == MDA_STOP) rc = mda__SMError;
        if (mda_UnlockEntity(0, db_ptr) != 0) {
            const int32_t cleanup =
                mpm__SetError(0, MVX_CLEANUP_ERR, MPM_ERROR, "mda_SaveEntities", __LINE__);
            if (rc == 0) rc = cleanup;
        }
        if (rc != 0) return rc;
    }
    return 0;
}

} // namespace

extern "C" int32_t mda_SaveEntities(uint32_t options, const char* name, int32_t count,
                                    const MDA_PTR* db_ptrs) {
    if ((options & MDA_SAVE_NOTHING) != 0) return 0;
    if (name == nullptr || db_ptrs == nullptr || count < 1)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t model = MDA_PTR_MODEL(db_ptrs[0]);
    int32_t rc = 0;
    if (mda::ModelOrReport(model, &rc) == nullptr) return rc;
    const Collection saved = g_c;
    g_c = Collection{};
    g_c.model = model;
    g_c.tree = otm_CreateTree(0, sizeof(MDA_PTR), ComparePtrs, 0);
    if (g_c.tree == nullptr) rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    for (int32_t i = 0; rc == 0 && i < count; ++i) {
        if ((rc = Add(db_ptrs[i])) == 0) rc = Drain();
    }
    if (rc == 0) {
        mda__SMTree = g_c.tree;
        rc = mda_SaveModel(options, name, 1, &model);
        mda__SMTree = nullptr;
    }
    otm_DeleteTree(0, g_c.tree);
    std::free(g_c.work);
    g_c = saved;
    return rc;
}
