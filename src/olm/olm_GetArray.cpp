#include <cstddef>
#include <cstring>

#include "common/common_alloc.h"
#include "olm/olm_int.h"

// An empty list gives NULL and *count 0 without a message. A null list or
// count pointer is reported as OLM_NULLPOINTER. The cycle is reset only when
// the array was made.
extern "C" void* olm_GetArray(uint32_t /*options*/, OLM_LIST* list, int32_t* count) {
    if (count != nullptr) *count = 0;
    if (list == nullptr || count == nullptr) {
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    if (list->count == 0) return nullptr;

    const std::size_t size = static_cast<std::size_t>(list->size);
    auto* array =
        static_cast<unsigned char*>(mvxc::Malloc(size * static_cast<std::size_t>(list->count)));
    if (array == nullptr) {
        mpm__SetError(0, OLM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    list->cycle = 0;
    unsigned char* out = array;
    for (OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next, out += size) {
        std::memcpy(out, olm::Record(elem), size);
    }
    *count = list->count;
    return array;
}
