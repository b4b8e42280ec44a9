// Reading an entity's application-data record.
#include <cstring>

#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_ReadAppData(MDA_APPDATA* store, MDA_PTR db_ptr, void* record) {
    if (store == nullptr || record == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (MDA_PTR_MODEL(db_ptr) != store->model) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const char* stored = mda::AppDataRecord(store, MDA_PTR_ENTITY(db_ptr));
    if (stored != nullptr)
        std::memcpy(record, stored, static_cast<size_t>(store->record_size));
    else if ((store->options & MDA_APPDATA_ZERO) != 0)
        std::memset(record, 0, static_cast<size_t>(store->record_size));
    else if ((store->options & MDA_APPDATA_NULLPTR) != 0)
        std::memset(record, 0, static_cast<size_t>(mda::NullPtrBytes(store)));
    return 0;
}
