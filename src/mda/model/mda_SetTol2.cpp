// Setting a named tolerance.
#include <cstring>

#include "mda/mda_int.h"

extern "C" int32_t mda_SetTol2(int32_t model, const char* name, double value) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (name == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_TOLERANCE entry{};
    std::memcpy(entry.name, name, strnlen(name, MDA_TOL_NAME_MAX));
    entry.value = value;
    // An equal name already stored is handed back instead of inserted.
    auto* stored = static_cast<MDA_TOLERANCE*>(otm_AddObject(0, m->tolerances, &entry));
    if (stored == nullptr) return mpm__LastError;
    stored->value = value;
    return 0;
}
