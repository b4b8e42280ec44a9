// Clearing an entity's records in every application-data store of its model.
#include <cstring>

#include "mda/mda_appdata_int.h"

extern "C" int32_t mda__ZeroAppData(uint32_t options, MDA_PTR db_ptr) {
    if (db_ptr == 0) return 0;
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    const void* skip = nullptr;
    if ((options & 0xCu) != 0 && model >= 1 && model <= MDA_MAX_MODELS)
        skip = mda__Model[model].parent_area;
    while (void* record = olm_CycleList(0, mda__AppDataList)) {
        const auto* entry = static_cast<mda::AppDataEntry*>(record);
        if (entry->model != model || entry->store == skip) continue;
        char* stored = mda::AppDataRecord(entry->store, MDA_PTR_ENTITY(db_ptr));
        if (stored != nullptr) std::memset(stored, 0, static_cast<size_t>(entry->store->record_size));
    }
    return 0;
}
