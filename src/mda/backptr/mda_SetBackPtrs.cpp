// Rebuilding the parent lists of one model or of all.
#include "mda/mda_backptr_int.h"

namespace {

int32_t g_failure = 0; // the first failure of the rebuild's model walk

int32_t RecordEntity(MDA_PTR db_ptr, MDA_PTR /*model_ptr*/) {
    g_failure = mda__SetBackPtrs(0, db_ptr);
    return g_failure;
}

} // namespace

extern "C" int32_t mda_SetBackPtrs(uint32_t options, int32_t model) {
    const bool all = (options & MDA_ALL_MODELS) != 0;
    const int32_t first = all ? 1 : model;
    const int32_t last = all ? MDA_MAX_MODELS : model;
    for (int32_t i = first; i <= last; ++i) {
        MDA_MODEL* m = mda::ModelAt(i);
        if (m == nullptr) continue;
        mda__FreeBackPtrs(0, i);
        if (const int32_t rc = mdabp::NewArea(i, m)) return rc;
        m->backptrs = 1;
    }
    for (int32_t i = first; i <= last; ++i) {
        if (mda::ModelAt(i) == nullptr) continue;
        const int32_t saved = g_failure;
        g_failure = 0;
        const int32_t rc = mda_TraverseModel(0, i, RecordEntity);
        const int32_t failure = rc == MDA_STOP ? g_failure : rc;
        g_failure = saved;
        if (failure != 0) return failure;
    }
    return 0;
}
