// Writing an entity's application-data record.
#include <cstring>

#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_WriteAppData(MDA_APPDATA* store, MDA_PTR db_ptr, const void* record) {
    if (store == nullptr || record == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (db_ptr == 0) return 0;
    if (MDA_PTR_MODEL(db_ptr) != store->model) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    char* stored = mda::AppDataRecord(store, n);
    if (stored == nullptr) {
        const int32_t rc = mda__ExpandAppData(store, n >> 11);
        if (rc != 0) return rc;
        stored = mda::AppDataRecord(store, n);
    }
    std::memcpy(stored, record, static_cast<size_t>(store->record_size));
    return 0;
}
