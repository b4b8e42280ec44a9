// Copying an object list into a block owned by an entity.
#include <cstring>

#include "mda/mda_copy_int.h"

extern "C" int32_t mda_CopyFromOList(uint32_t options, void* entity, OLM_LIST* list, int32_t* count,
                                     void** array) {
    return mdacp::CopyOut(options, entity, list, list != nullptr ? list->count : 0,
                          list != nullptr ? list->size : 0, count, array, [list](char* out) {
                              for (const OLM_ELEM* e = list->head; e != nullptr; e = e->next) {
                                  std::memcpy(out, e + 1, static_cast<size_t>(list->size));
                                  out += list->size;
                              }
                          });
}
