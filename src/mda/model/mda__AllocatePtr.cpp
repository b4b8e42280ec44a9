// A fresh db_ptr of a model.
#include "mda/mda_int.h"

extern "C" int32_t mda__AllocatePtr(int32_t model, MDA_PTR* db_ptr) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (db_ptr == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    mda::NumberUndo undo;
    const int32_t rc = mda::TakeNumber(model, m, &undo);
    if (rc != 0) return rc;
    *db_ptr = MDA_MAKE_PTR(model, undo.number);
    return 0;
}
