#include <cstdlib>

#include "olm/olm_int.h"

extern "C" int32_t olm_DeleteList(uint32_t /*options*/, OLM_LIST* list) {
    if (list == nullptr) return mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
    void* block = list->blocks;
    while (block != nullptr) {
        void* previous = olm::PreviousBlock(block);
        std::free(block);
        block = previous;
    }
    std::free(list);
    return 0;
}
