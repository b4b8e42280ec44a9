#include "olm/olm_int.h"

extern "C" void* olm_GetObject(uint32_t options, OLM_LIST* list, int32_t position) {
    return olm__SetCurIndex(options, list, position);
}
