#include "olm/olm_int.h"

extern "C" void* olm_GetObject(uint32_t options, OLM_LIST* list, int32_t position) {
    auto* elem = static_cast<OLM_ELEM*>(olm__SetCurIndex(options, list, position));
    return elem != nullptr ? olm::Record(elem) : nullptr;
}
