// Prints every field event of an entity to the debug stream.
#include <cstdio>

#include "mda/mda_traverse_int.h"
#include "mvx/mpm.h"

namespace {

// Events printed by the walk under way, numbered from 1.
int32_t g_event = 0;

int32_t Print(void* /*entity*/, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    const char* name = "**No name**";
    if (field != nullptr && field->name >= 0 && field->name < ddf__Current->fld_name_count)
        name = ddf__Current->fld_names[field->name];
    const char* type_name = type >= 0 && type < DDF_FIELD_TYPES ? ddf__FldData[type].name : "";
    std::fprintf(mda__DbgFile, "%d: ", static_cast<int>(++g_event));
    std::fprintf(mda__DbgFile, "cnt=%d, %s %s, fld=%p, data=%p, taddr=%p\n",
                 static_cast<int>(count), type_name, name, static_cast<void*>(field), address,
                 mda__TraverseAddr);
    return 0;
}

} // namespace

extern "C" int32_t mda_DbgTraverseEntity(uint32_t /*options*/, MDA_PTR db_ptr) {
    if (db_ptr == MDA_NULL_PTR) return 0;
    if (mda_IsDeleted(db_ptr) != 0) {
        mpm_Fprintf(mda__DbgFile, "Entity %<PTR> (%<PTR2>) has been deleted.\n", db_ptr, db_ptr);
        return 0;
    }
    void* body = nullptr;
    if (int32_t rc = mda_LockEntity(0, db_ptr, &body)) return rc;
    const int32_t saved = g_event; // a visitor's nested dump numbers its own events
    g_event = 0;
    const int32_t rc = mda_TraverseEntity(0, body, Print);
    g_event = saved;
    const int32_t unlocked = mda_UnlockEntity(0, db_ptr);
    return rc != 0 ? rc : unlocked;
}
