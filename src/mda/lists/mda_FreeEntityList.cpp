// Releasing an entity list.
#include <cstdlib>

#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_FreeEntityList(MDA_ENTITY_LIST* list) {
    if (list == nullptr) return 0;
    if (list->links != nullptr) mda_FreeAppData(list->links);
    std::free(list->heads);
    std::free(list->cursors);
    std::free(list->tail_prevs);
    std::free(list->tails);
    std::free(list->counts);
    std::free(list);
    return 0;
}
