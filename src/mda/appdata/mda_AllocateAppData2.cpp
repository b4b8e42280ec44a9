// Making and registering an application-data store on a model.
#include <cstdlib>

#include "common/common_alloc.h"
#include "mda/mda_appdata_int.h"

namespace mda {

int32_t MakeAppData(uint32_t options, int32_t record_size, int32_t model, MDA_APPDATA** store) {
    *store = nullptr;
    // A block of 2048 records must have a size that fits 32 bits.
    if (record_size < 1 || record_size > INT32_MAX / MDA_APPDATA_RECORDS)
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);

    auto* made = static_cast<MDA_APPDATA*>(mvxc::Malloc(sizeof(MDA_APPDATA)));
    void** table = static_cast<void**>(mvxc::Calloc(MDA_APPDATA_TABLE, sizeof(void*)));
    if (made == nullptr || table == nullptr) {
        std::free(made);
        std::free(table);
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    }
    made->highest_block = -1;
    made->table_size = MDA_APPDATA_TABLE;
    made->block_bytes = MDA_APPDATA_RECORDS * record_size;
    made->records_per_block = MDA_APPDATA_RECORDS;
    made->record_size = record_size;
    made->options = options & (MDA_APPDATA_ZERO | MDA_APPDATA_NULLPTR);
    made->model = model;
    made->blocks = table;

    const mda::AppDataEntry entry{made, model};
    if (olm_AddObject(0, mda__AppDataList, -2, &entry) == nullptr) {
        std::free(table);
        std::free(made);
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    }
    *store = made;
    return 0;
}

} // namespace mda

extern "C" int32_t mda_AllocateAppData2(uint32_t options, int32_t record_size, int32_t model,
                                        MDA_APPDATA** store) {
    int32_t status = 0;
    if (mda::ModelOrReport(model, &status) == nullptr) return status;
    if (store == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    return mda::MakeAppData(options, record_size, model, store);
}
