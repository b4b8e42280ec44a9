// Deep copy of an entity and everything it refers to into a model.
#include "mda/mda_copy_int.h"

OTM_TREE* mda__CopyTree = nullptr;

namespace {

// One {source, copy} pair of the copy tree.
struct CopyPair {
    MDA_PTR source;
    MDA_PTR copy;
};

int ComparePairs(const void* key, const void* object) {
    const auto* a = static_cast<const CopyPair*>(key);
    const auto* b = static_cast<const CopyPair*>(object);
    return a->source < b->source ? -1 : a->source > b->source ? 1 : 0;
}

// What a whole copy shares; set by the top-level call.
struct Copying {
    int32_t model;
    MDA_COPY_FILTER filter;
};
Copying g_copying;

// One entity's copy while its pointer elements are redirected.
struct Level {
    uint32_t options;
    MDA_PTR copy_ptr; // null while the copy is detached
    int64_t done;     // elements redirected so far
};

// The copy of child: already made, or made now (locked, copied, unlocked).
int32_t CopyOf(const Level& level, MDA_PTR child, MDA_PTR* replacement) {
    CopyPair key{child, 0};
    if (const auto* made = static_cast<CopyPair*>(otm_GetObject(OTM_QUIET, mda__CopyTree, &key))) {
        *replacement = made->copy;
        return 0;
    }
    void* body = nullptr;
    int32_t rc = mda_LockEntity(0, child, &body);
    if (rc != 0) return rc;
    void* copy = nullptr;
    rc = mda_CopyEntity2(level.options | MDA_COPY_NESTED, g_copying.model, g_copying.filter, body,
                         &copy);
    if (rc == 0) {
        *replacement = static_cast<MDA_ENTITY_HDR*>(copy)->own;
        rc = mda_UnlockEntity(MDA_UNLOCK_MODIFIED, *replacement);
    }
    const int32_t unlocked = mda_UnlockEntity(0, child);
    return rc != 0 ? rc : unlocked;
}

int32_t Redirect(void* context, void* element) {
    const auto* level = static_cast<const Level*>(context);
    const MDA_PTR child = mdabp::LoadPtr(element);
    mdabp::StorePtr(element, 0);
    MDA_PTR replacement = 0;
    if (MDA_PTR_ENTITY(child) != 0) {
        if (g_copying.filter == nullptr || g_copying.filter(child, &replacement) != 0) {
            replacement = 0;
            if (const int32_t rc = CopyOf(*level, child, &replacement)) return rc;
        }
    }
    // An entered copy's references are recorded; one that cannot be is
    // not kept, so that no reference goes unrecorded.
    const int32_t rc = level->copy_ptr == 0 ? 0 : mda_AddPtr(level->copy_ptr, replacement, nullptr);
    mdabp::StorePtr(element, rc == 0 ? replacement : 0);
    return rc;
}

// After a failure: the elements not redirected still name the source's
// children; they become null.
int32_t ClearRest(void* context, void* element) {
    auto* level = static_cast<Level*>(context);
    if (level->done-- <= 0) mdabp::StorePtr(element, 0);
    return 0;
}

int32_t RedirectCounted(void* context, void* element) {
    auto* level = static_cast<Level*>(context);
    const int32_t rc = Redirect(context, element);
    ++level->done;
    return rc;
}

// Steps 2 to 4 for one entity: duplicate, enter, redirect. On failure a
// copy that was entered stays in the model, unlocked; a detached one is
// freed; *copy_out is then null.
int32_t CopyOne(uint32_t options, void* entity, void** copy_out) {
    void* copy = nullptr;
    int32_t rc = mda_DuplicateEntity2(0, g_copying.model, entity, &copy);
    if (rc != 0) return rc;
    Level level{options, 0, 0};
    if ((options & (MDA_COPY_NESTED | MDA_COPY_ENTER)) != 0) {
        if ((rc = mda_CreateEntity(MDA_ENTITY_LOCKED, copy, &level.copy_ptr)) != 0) {
            mda_FreeEntity(0, copy);
            return rc;
        }
        CopyPair pair{static_cast<const MDA_ENTITY_HDR*>(entity)->own, level.copy_ptr};
        if (otm_AddObject(0, mda__CopyTree, &pair) == nullptr)
            rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    }
    if (rc == 0 && mdabp::HasPointers(&mda__Model[g_copying.model], copy))
        rc = mdabp::ForEachPointer(copy, RedirectCounted, &level);
    if (rc != 0) {
        mdabp::ForEachPointer(copy, ClearRest, &level);
        if (level.copy_ptr != 0)
            mda_UnlockEntity(MDA_UNLOCK_MODIFIED, level.copy_ptr);
        else
            mda_FreeEntity(0, copy);
        return rc;
    }
    *copy_out = copy;
    return 0;
}

} // namespace

extern "C" int32_t mda_CopyEntity2(uint32_t options, int32_t model, MDA_COPY_FILTER filter,
                                   void* entity, void** copy) {
    if (entity == nullptr || copy == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *copy = nullptr;
    if ((options & MDA_COPY_NESTED) != 0) return CopyOne(options, entity, copy);

    int32_t rc = 0;
    if (mda::ModelOrReport(model, &rc) == nullptr) return rc;
    const Copying saved = g_copying;
    OTM_TREE* saved_tree = mda__CopyTree;
    g_copying = Copying{model, filter};
    mda__CopyTree = otm_CreateTree(0, sizeof(CopyPair), ComparePairs, 0);
    if (mda__CopyTree == nullptr) {
        rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    } else {
        rc = CopyOne(options, entity, copy);
        otm_DeleteTree(0, mda__CopyTree);
    }
    mda__CopyTree = saved_tree;
    g_copying = saved;
    return rc;
}
