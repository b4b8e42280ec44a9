// Reading a named tolerance.
#include <cstring>

#include "mda/mda_int.h"

extern "C" double mda_GetTol2(int32_t model, const char* name) {
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return MDA_DEFAULT_TOL;
    if (name == nullptr) {
        mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
        return m->default_tol;
    }
    MDA_TOLERANCE key{};
    std::memcpy(key.name, name, strnlen(name, MDA_TOL_NAME_MAX));
    const auto* found =
        static_cast<const MDA_TOLERANCE*>(otm_GetObject(OTM_QUIET, m->tolerances, &key));
    return found != nullptr ? found->value : m->default_tol;
}
