// Copying an object list into a block owned by an entity.
#include <cstring>

#include "mda/mda_copy_int.h"

extern "C" int32_t mda_CopyFromOList(uint32_t options, void* entity, OLM_LIST* list,
                                     int32_t* count, void** array) {
    if (entity == nullptr || list == nullptr || count == nullptr || array == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    char* out = nullptr;
    int32_t rc = mdacp::OwnedArray(entity, list->count, list->size, count, array, &out);
    if (rc != 0 || out == nullptr) return rc;
    for (const OLM_ELEM* e = list->head; e != nullptr; e = e->next, out += list->size)
        std::memcpy(out, e + 1, static_cast<size_t>(list->size));
    return mdacp::AfterCopy(options, entity);
}
