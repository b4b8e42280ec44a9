// A body for an entity that does not exist yet.
#include "mda/mda_int.h"

extern "C" int32_t mda_MallocEntity2(uint32_t options, int32_t model, int32_t tf, void** body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *body = nullptr;
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    void* made = nullptr;
    int32_t rc = mda__MallocEntity(0, m->ddf, tf, &made);
    if (rc != 0) return rc;
    // mda__MallocEntity has set the header's TF and TFI.
    auto* h = static_cast<MDA_ENTITY_HDR*>(made);
    h->own = h->origin = MDA_MAKE_PTR(model, 0);
    if ((options & MDA_FILL_DEFAULTS) != 0) {
        rc = mda_DefaultEntity(0, made);
        if (rc != 0) {
            mda_Free(0, nullptr, made);
            return rc;
        }
    }
    *body = made;
    return 0;
}
