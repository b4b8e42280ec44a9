// Releasing an application-data store.
#include <cstdlib>

#include "mda/mda_appdata_int.h"

namespace mda {

int32_t AppDataPosition(const MDA_APPDATA* store) {
    int32_t position = 0;
    bool found = false;
    // The cycle must run to its end so that the next one starts afresh.
    while (void* record = olm_CycleList(0, mda__AppDataList)) {
        if (!found) ++position;
        if (static_cast<AppDataEntry*>(record)->store == store) found = true;
    }
    return found ? position : 0;
}

} // namespace mda

extern "C" int32_t mda_FreeAppData(MDA_APPDATA* store) {
    if (store == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const int32_t position = mda::AppDataPosition(store);
    if (position == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    olm_RemoveObject(0, mda__AppDataList, position);
    for (int64_t block = 0; block <= store->highest_block; ++block)
        std::free(store->blocks[block]);
    std::free(store->blocks);
    std::free(store);
    return 0;
}
