// Redirecting the references some parents hold from one child to another.
#include "mda/mda_backptr_int.h"

namespace {

struct Redirect {
    MDA_PTR parent;
    MDA_PTR old_child;
    MDA_PTR new_child;
    bool found;
};

// Changes the first element equal to the old child, then stops the walk.
int32_t ChangeFirst(void* context, void* element) {
    auto* r = static_cast<Redirect*>(context);
    if (mdabp::LoadPtr(element) != r->old_child) return 0;
    r->found = true;
    const int32_t rc = mda_ModifyPtr(r->parent, r->new_child, static_cast<MDA_PTR*>(element));
    return rc != 0 ? rc : MDA_STOP;
}

} // namespace

extern "C" int32_t mda_ModifyParents(uint32_t /*options*/, int32_t count, const MDA_PTR* parents,
                                     MDA_PTR old_child, MDA_PTR new_child) {
    if (count <= 0) return 0;
    if (parents == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    bool missed = false;
    for (int32_t i = 0; i < count; ++i) {
        void* body = nullptr;
        int32_t rc = mda_LockEntity(0, parents[i], &body);
        if (rc != 0) return rc;
        Redirect r{parents[i], old_child, new_child, false};
        rc = mdabp::ForEachPointer(body, ChangeFirst, &r);
        if (rc == MDA_STOP) rc = 0;
        const int32_t unlocked = mda_UnlockEntity(MDA_UNLOCK_MODIFIED, parents[i]);
        if (rc != 0) return rc;
        if (unlocked != 0) return unlocked;
        missed = missed || !r.found;
    }
    if (missed) return mpm__SetError(0, MDA_CHILD_NOT_FOUND, MPM_ERROR);
    return 0;
}
