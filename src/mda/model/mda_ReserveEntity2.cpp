// Reserves an entity number without making an entity.
#include "mda/mda_int.h"

extern "C" int32_t mda_ReserveEntity2(uint32_t /*options*/, int32_t model, MDA_PTR* db_ptr) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (db_ptr == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    mda::NumberUndo undo;
    int32_t rc = mda::TakeNumber(model, m, &undo);
    if (rc != 0) return rc;
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, undo.number);
    if (e == nullptr) {
        rc = mpm__LastError;
        mda::GiveBackNumber(m, undo);
        return rc;
    }
    e->mloc = nullptr;
    e->dloc = mda::InitialDloc(m);
    e->tf = MVX_NULL_TF;
    e->status = MDA_RESERVED;
    *db_ptr = MDA_MAKE_PTR(model, undo.number);
    return 0;
}
