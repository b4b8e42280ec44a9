// The directory entry of an entity number.
#include "mda/mda_int.h"

extern "C" MDA_DIR_ENTRY* mda__GetEntDir(int32_t model, int64_t entity) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return nullptr;
    // Only numbers handed out have an entry; anything else would index
    // past the blocks.
    if (entity < 0 || entity >= m->next_entity) {
        mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
        return nullptr;
    }
    if (mda::Bounded(m)) return mda::BoundedEntry(m, entity);
    return &m->dir_table[entity >> MDA_DIR_BLOCK_SHIFT][entity & (MDA_DIR_BLOCK_ENTRIES - 1)];
}
