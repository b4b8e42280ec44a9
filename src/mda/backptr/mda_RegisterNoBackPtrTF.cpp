// Registering a type whose entities keep no parent lists.
#include "mda/mda_backptr_int.h"

namespace {

int CompareTF(const void* a, const void* b) {
    int32_t x;
    int32_t y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x < y ? -1 : x > y ? 1 : 0;
}

} // namespace

extern "C" int32_t mda_RegisterNoBackPtrTF(uint32_t /*options*/, int32_t model, int32_t tf) {
    int32_t rc = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &rc);
    if (m == nullptr) return rc;
    if (mda::FindTFI(m->ddf, tf) < 0) return mpm__SetError(0, MDA_UNKNOWN_TF, MPM_ERROR);
    if (m->backptrs == 0) return mpm__SetError(0, MDA_NO_BACKPTRS, MPM_WARNING);
    if (m->no_backptr_types == nullptr &&
        (m->no_backptr_types = otm_CreateTree(0, sizeof tf, CompareTF, 0)) == nullptr)
        return mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    if (otm_AddObject(0, m->no_backptr_types, &tf) == nullptr)
        return mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    return 0;
}
