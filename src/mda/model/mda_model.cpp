// Helpers shared by the model operations: finding a model, the dictionary
// switch of the current model, TF lookup and the orders of the trees.
#include <cstring>

#include "mda/mda_int.h"

namespace mda {

int32_t ReportNoModel() {
    return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
}

int32_t FindTFI(const DDF_DICT* ddf, int32_t tf) {
    if (ddf == nullptr || ddf->typeforms == nullptr) return -1;
    return ddf_FindTF(ddf->typeforms, ddf->type_count, tf);
}

void MakeCurrent(int32_t model, int32_t argument) {
    if (model == 0) {
        mda__CurModel = nullptr;
        mda__CurModelNum = 0;
        return;
    }
    MDA_MODEL* m = &mda__Model[model];
    mda__CurModel = m;
    mda__CurModelNum = model;
    ddf__TempDDF = ddf__Current;
    ddf__Current = m->ddf;
    // The one-entry TF cache belonged to the old dictionary.
    ddf__SavedTF = MVX_NULL_TF;
    if (m->callbacks[6] != nullptr) m->callbacks[6](model, argument);
}

int32_t CloseSwapFile(MDA_MODEL* m) {
    if (m->dof == nullptr) return 0;
    const int32_t status = dof_Close(0, m->dof);
    // A failed close keeps the handle, its descriptor marked closed, so that
    // a second call releases it and deletes the temporary file.
    if (status != 0) dof_Close(0, m->dof);
    m->dof = nullptr;
    return status;
}

int CompareDirBlocks(const void* key, const void* object) {
    const int64_t a = *static_cast<const int64_t*>(key);
    const int64_t b = *static_cast<const int64_t*>(object);
    return (a > b) - (a < b);
}

int CompareTolerances(const void* key, const void* object) {
    return std::strncmp(static_cast<const char*>(key), static_cast<const char*>(object),
                        MDA_TOL_NAME_MAX + 1);
}

} // namespace mda
