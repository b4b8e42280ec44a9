// Visits every live entity of a model.
#include "mda/mda_int.h"

extern "C" int32_t mda_TraverseModel(uint32_t options, int32_t model, MDA_MODEL_VISITOR visitor) {
    const MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr || visitor == nullptr) return 0;
    const int64_t next = m->next_entity;
    const MDA_PTR zero = MDA_MAKE_PTR(model, 0);
    const bool down = (options & 0x1) != 0;
    for (int64_t i = 1; i < next; ++i) {
        // The visitor may free the model; the walk ends with it.
        if (mda::ModelAt(model) != m) return 0;
        const int64_t n = down ? next - i : i;
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        if (e == nullptr) return mpm__LastError;
        if ((e->status & (MDA_DELETED | MDA_RESERVED)) != 0) continue;
        if (visitor(MDA_MAKE_PTR(model, n), zero) != 0) return MDA_STOP;
    }
    return 0;
}
