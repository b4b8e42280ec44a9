// The defaults of a model definition.
#include <cstring>

#include "mda/mda_int.h"

extern "C" int32_t mda_GetModelDefaults(uint32_t /*options*/, MDA_MODEL_DEF* def) {
    if (def == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    std::memset(def, 0, sizeof *def);
    def->dof_buffers = DOF_DEFAULT_BUFFERS;
    def->dof_page_size = DOF_DEFAULT_PAGE_SIZE;
    return 0;
}
