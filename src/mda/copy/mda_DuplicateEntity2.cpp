// A detached copy of an entity's memory, for a model.
//
// The copy keeps the source body's layout, so a model over another
// dictionary takes it only when that dictionary lays the type out the same
// way: same body size and, field by field, the same type, flags, position,
// dimensions, gap and structure or subentity extent, with embedded
// subentity types compared the same way. A type with a let field is taken
// only from a model over the same dictionary, since its counts come from
// that dictionary's own instructions. A type laid out differently counts as
// unknown in the target (MDA_UNKNOWN_TF): walking the body with the wrong
// descriptors would read values as pointers.
#include <cstring>

#include "mda/mda_cache_int.h"
#include "mda/mda_copy_int.h"

namespace {

bool SameLayout(const DDF_DICT* a, int32_t ta, const DDF_DICT* b, int32_t tb, int depth) {
    if (depth > 8 || ta < 0 || tb < 0 || ta >= a->type_count || tb >= b->type_count) return false;
    if (a->ent_sizes == nullptr || b->ent_sizes == nullptr || a->ent_fldcnts == nullptr ||
        b->ent_fldcnts == nullptr || a->fld_indices == nullptr || b->fld_indices == nullptr ||
        a->fld_data == nullptr || b->fld_data == nullptr)
        return false;
    if (a->ent_sizes[ta] != b->ent_sizes[tb] || a->ent_fldcnts[ta] != b->ent_fldcnts[tb])
        return false;
    const DDF_FIELD* fa = a->fld_data + a->fld_indices[ta];
    const DDF_FIELD* fb = b->fld_data + b->fld_indices[tb];
    for (int32_t i = 0; i < a->ent_fldcnts[ta]; ++i, ++fa, ++fb) {
        if (fa->type != fb->type || fa->flags != fb->flags || fa->number != fb->number ||
            fa->dim_count != fb->dim_count || fa->gap != fb->gap || fa->type == DDF_LET ||
            std::memcmp(fa->dims, fb->dims, sizeof fa->dims) != 0)
            return false;
        if (fa->type == DDF_STRUCT && (fa->aux != fb->aux || fa->key != fb->key)) return false;
        if (fa->type == DDF_SUBENT) {
            if (fa->aux != fb->aux || a->subent_tfis == nullptr || b->subent_tfis == nullptr ||
                fa->key < 0 || fb->key < 0 ||
                !SameLayout(a, a->subent_tfis[fa->key], b, b->subent_tfis[fb->key], depth + 1))
                return false;
        }
    }
    return true;
}

} // namespace

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
    if (from != nullptr && from->ddf != nullptr && from->ddf != m->ddf &&
        !SameLayout(from->ddf, source->tfi, m->ddf, tfi, 0))
        return mpm__SetError(0, MDA_UNKNOWN_TF, MPM_ERROR);
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
