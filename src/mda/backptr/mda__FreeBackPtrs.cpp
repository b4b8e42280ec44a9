// Discarding every parent list of a model.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda__FreeBackPtrs(uint32_t /*options*/, int32_t model) {
    MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr) return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
    mdabp::DropArea(mdabp::Area(m));
    m->parent_area = nullptr;
    return 0;
}
