// Merging two trees as sets.
//
// The result starts as a copy of tree one, and tree two's objects are walked
// with its cycle: removed from or added to the copy (symmetric difference),
// added (union: objects of tree one that compare equal stay), or kept when
// the copy holds them (intersection: the result holds tree two's objects).
// Tree one is copied without its cycle, so neither tree changes except that
// tree two's cycle index ends at 0.
#include "mvx/mpm.h"
#include "otm/otm_int.h"

namespace {

// Applies the operation for every object of `two` to `copy`. Returns the
// result tree (`copy`, or for an intersection a new tree; `copy` is then
// deleted) or NULL, with every tree under construction deleted.
OTM_TREE* Apply(OTM_TREE* copy, OTM_TREE* two, uint8_t operation) {
    OTM_TREE* result = copy;
    if (operation == OTM_INTERSECT) {
        result = otm_CreateTree(0, copy->size, copy->compare, 0);
        if (result == nullptr) {
            otm_DeleteTree(0, copy);
            return nullptr;
        }
    }
    bool ok = true;
    two->cycle = 0;
    for (int32_t i = 0; ok && i < two->count; ++i) {
        void* object = otm_CycleTree(0, two);
        if (object == nullptr) {
            ok = false;
            break;
        }
        switch (operation) {
        case OTM_SYMDIFF:
            if (otm_GetObject(OTM_QUIET, copy, object) != nullptr) {
                ok = otm_RemoveObject(0, copy, object) == 0;
            } else {
                ok = otm_AddObject(0, copy, object) != nullptr;
            }
            break;
        case OTM_UNION:
            ok = otm_AddObject(0, copy, object) != nullptr;
            break;
        default: // OTM_INTERSECT
            if (otm_GetObject(OTM_QUIET, copy, object) != nullptr) {
                ok = otm_AddObject(0, result, object) != nullptr;
            }
            break;
        }
    }
    two->cycle = 0;
    if (result != copy) otm_DeleteTree(0, copy);
    if (!ok) {
        otm_DeleteTree(0, result);
        return nullptr;
    }
    return result;
}

} // namespace

extern "C" OTM_TREE* otm_MergeTree(uint32_t /*options*/, OTM_TREE* one, OTM_TREE* two,
                                   uint8_t operation) {
    if (one == nullptr || one->count == 0) return otm_CopyTree(0, two);
    if (two == nullptr || two->count == 0) return otm::Copy(one);
    if (one->size != two->size) {
        mpm__SetError(0, OTM_SIZENOTEQ, MPM_ERROR, static_cast<int>(one->size),
                      static_cast<int>(two->size));
        return nullptr;
    }
    if (one->compare != two->compare) {
        mpm__SetError(0, OTM_FUNCTIONNOTEQ, MPM_ERROR);
        return nullptr;
    }
    if (operation != OTM_SYMDIFF && operation != OTM_UNION && operation != OTM_INTERSECT) {
        // Not a set operation: no result and no message. Checked before tree
        // one is copied, so that no copy is made only to be thrown away; tree
        // two's cycle is reset as for every merge that gets this far.
        two->cycle = 0;
        return nullptr;
    }
    OTM_TREE* copy = otm::Copy(one);
    if (copy == nullptr) return nullptr;
    return Apply(copy, two, operation);
}
