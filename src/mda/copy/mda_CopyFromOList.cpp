// Copying an object list into a block owned by an entity.
#include <cstring>

#include "mda/mda_copy_int.h"

extern "C" int32_t mda_CopyFromOList(uint32_t options, void* entity, OLM_LIST* list, int32_t* count,
                                     void** array) {
    char* out = nullptr;
    const int32_t rc = list == nullptr
                           ? mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR)
                           : mdacp::OwnedArray(entity, list->count, list->size, count, array, &out);
    if (out == nullptr) return rc;
    for (const OLM_ELEM* e = list->head; e != nullptr; e = e->next, out += list->size)
        std::memcpy(out, e + 1, static_cast<size_t>(list->size));
    return mdacp::AfterCopy(options, entity);
}
