// Appending an array's objects to an object list.
#include "mda/mda_int.h"
#include "mvx/olm.h"

extern "C" int32_t mda_CopyToOList(uint32_t /*options*/, OLM_LIST* list, int32_t count,
                                   const void* array) {
    if (count <= 0) return 0;
    if (list == nullptr || array == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const char* object = static_cast<const char*>(array);
    for (int32_t i = 0; i < count; ++i, object += list->size)
        if (olm_AddObject(0, list, OLM_TAIL, object) == nullptr) return mpm__LastError;
    return 0;
}
