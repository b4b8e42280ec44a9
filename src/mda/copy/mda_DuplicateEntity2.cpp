// A detached copy of an entity's memory, for a model.
#include "mda/mda_cache_int.h"
#include "mda/mda_copy_int.h"

extern "C" int32_t mda_DuplicateEntity2(uint32_t /*options*/, int32_t model, void* entity,
                                        void** copy) {
    if (entity == nullptr || copy == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *copy = nullptr;
    int32_t rc = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &rc);
    if (m == nullptr) return rc;
    const auto* source = static_cast<const MDA_ENTITY_HDR*>(entity);
    // A body of a model over the same dictionary (a copy between such
    // models, or within one) already holds the TFI; any other is looked up.
    int32_t tfi = source->tfi;
    const MDA_MODEL* from = mda::ModelAt(MDA_PTR_MODEL(source->own));
    if (from == nullptr || m->ddf == nullptr || from->ddf != m->ddf || tfi < 0 ||
        tfi >= m->ddf->type_count || m->ddf->typeforms == nullptr ||
        m->ddf->typeforms[tfi] != source->tf)
        tfi = mda::FindTFI(m->ddf, source->tf);
    if (tfi < 0) return mpm__SetError(0, MDA_UNKNOWN_TF, MPM_ERROR);
    void* made = nullptr;
    switch (mdac::Duplicate(entity, &made)) {
    case mdac::ChainResult::kOk:
        break;
    case mdac::ChainResult::kNoMemory:
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    case mdac::ChainResult::kCorrupt:
        return mpm__SetError(0, MDA_BAD_MBLOCK, MPM_ERROR,
                             static_cast<const void*>(mdamb::HeaderOf(entity, false)));
    }
    auto* h = static_cast<MDA_ENTITY_HDR*>(made);
    h->tfi = tfi;
    h->own = MDA_MAKE_PTR(model, 0);
    h->origin = source->origin;
    *copy = made;
    return 0;
}
