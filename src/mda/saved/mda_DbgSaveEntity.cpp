// Debugging shortcut: saves an entity with what it reaches, replacing the
// file.
#include "mda/mda_saved_int.h"

extern "C" int32_t mda_DbgSaveEntity(uint32_t /*options*/, const char* name, MDA_PTR db_ptr) {
    if (db_ptr == MDA_NULL_PTR) return 0;
    return mda_SaveEntities(MDA_SAVE_REPLACE, name, 1, &db_ptr);
}
