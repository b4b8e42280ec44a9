// Parent records and the pointer-field walk shared by the back-pointer
// operations.
#include <cstdlib>

#include "common/common_alloc.h"
#include "mda/mda_appdata_int.h"
#include "mda/mda_backptr_int.h"
#include "mda/mda_traverse_int.h"

namespace mdabp {

int32_t NewArea(int32_t model, MDA_MODEL* m) {
    MDA_APPDATA* area = nullptr;
    const int32_t rc = mda::MakeAppData(MDA_APPDATA_ZERO, sizeof(ParentRecord), model, &area);
    if (rc != 0) return rc;
    m->parent_area = area;
    return 0;
}

void DropArea(MDA_APPDATA* area) {
    if (area == nullptr) return;
    // Only existing blocks can hold lists.
    for (int64_t block = 0; block <= area->highest_block && block < area->table_size; ++block) {
        const char* stored = static_cast<const char*>(area->blocks[block]);
        for (int32_t i = 0; stored != nullptr && i < MDA_APPDATA_RECORDS; ++i) {
            ParentRecord r;
            std::memcpy(&r, stored + static_cast<ptrdiff_t>(i) * area->record_size, sizeof r);
            if (r.kind == kList) olm_DeleteList(0, ListOf(r));
        }
    }
    mda_FreeAppData(area);
}

void ClearRecord(ParentRecord* r) {
    if (r->kind == kList) olm_DeleteList(0, ListOf(*r));
    *r = ParentRecord{};
}

int32_t ReadRecord(MDA_MODEL* m, MDA_PTR db_ptr, ParentRecord* r) {
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    if (n <= 0 || n >= m->next_entity) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    return mda_ReadAppData(Area(m), db_ptr, r);
}

int32_t WriteRecord(MDA_MODEL* m, MDA_PTR db_ptr, const ParentRecord& r) {
    return mda_WriteAppData(Area(m), db_ptr, &r);
}

int32_t RecordParents(const ParentRecord& r, int32_t* count, MDA_PTR** parents) {
    *count = 0;
    *parents = nullptr;
    const int32_t n = r.kind == kSingle ? 1 : r.kind == kList ? ListOf(r)->count : 0;
    if (n == 0) return 0;
    auto* out = static_cast<MDA_PTR*>(mvxc::Malloc(sizeof(MDA_PTR) * static_cast<size_t>(n)));
    if (out == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    if (r.kind == kSingle) {
        out[0] = r.value;
    } else {
        int32_t i = 0;
        for (const OLM_ELEM* e = ListOf(r)->head; e != nullptr && i < n; e = e->next)
            out[i++] = ElementValue(e);
    }
    *count = n;
    *parents = out;
    return 0;
}

MDA_MODEL* AreaModel(MDA_PTR db_ptr) {
    MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(db_ptr));
    if (m == nullptr || m->backptrs == 0 || m->parent_area == nullptr) return nullptr;
    return m;
}

bool KeepsNoParents(MDA_MODEL* m, MDA_PTR db_ptr) {
    if (m->no_backptr_types == nullptr) return false;
    const MDA_DIR_ENTRY* e = mda__GetEntDir(MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return false;
    int32_t tf = e->tf;
    return otm_GetObject(OTM_QUIET, m->no_backptr_types, &tf) != nullptr;
}

bool HasPointers(const MDA_MODEL* m, const void* body) {
    const int32_t tfi = static_cast<const MDA_ENTITY_HDR*>(body)->tfi;
    const DDF_DICT* ddf = m->ddf;
    if (ddf == nullptr || ddf->ent_info == nullptr || tfi < 0 || tfi >= ddf->type_count)
        return false;
    return (ddf->ent_info[tfi] & DDF_INFO_HAS_PTRS) != 0;
}

namespace {

// The walk in progress; saved and restored around every walk.
struct WalkState {
    PointerFn fn = nullptr;
    void* context = nullptr;
    bool skip_subentities = false;
    int32_t answer = 0;
};
WalkState g_walk;

int32_t VisitPointers(void* /*entity*/, int32_t count, int32_t type, void* address,
                      DDF_FIELD* /*field*/) {
    if (type == DDF_SUBENT && g_walk.skip_subentities) return MDA_SKIP;
    if (type != DDF_PTR || address == nullptr) return 0;
    auto* element = static_cast<char*>(address);
    for (int32_t i = 0; i < count; ++i, element += sizeof(MDA_PTR)) {
        const int32_t answer = g_walk.fn(g_walk.context, element);
        if (answer != 0) {
            g_walk.answer = answer;
            return MDA_STOP;
        }
    }
    return 0;
}

// Most types are flat: single values and pointers, nothing whose place or
// size depends on the body's contents (no arrays, structs, unions,
// subentities, counts or computed fields). Their pointer elements lie at
// offsets that the type alone decides, so a scan of its descriptors finds
// them without the field walk and its per-level state. Fills the layout
// and returns true for such a type whose fields fit the body; false (the
// layout left unfilled) sends the caller to the full walk, which also
// reports whatever is wrong.
bool FlatPointers(void* body, FlatLayout* layout) {
    layout->dict = nullptr;
    mdatrav::Region region{};
    if (mdatrav::BodyRegion(body, &region) != 0) return false;
    const int64_t size = region.hi - region.lo;
    if (size < static_cast<int64_t>(sizeof(MDA_ENTITY_HDR))) return false;
    const auto* hdr = static_cast<const MDA_ENTITY_HDR*>(body);
    const MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(hdr->own));
    if (m == nullptr || m->ddf == nullptr) return false;
    const DDF_DICT* dict = m->ddf;
    const int32_t tfi = hdr->tfi;
    if (tfi < 0 || tfi >= dict->type_count || dict->typeforms[tfi] != hdr->tf) return false;
    const DDF_FIELD* d = dict->fld_data + dict->fld_indices[tfi];
    const DDF_FIELD* const end = d + dict->ent_fldcnts[tfi];
    int64_t at = sizeof(MDA_ENTITY_HDR);
    int64_t extent = at;
    int32_t n = 0;
    for (; d < end && d->type != DDF_ENDENT && d->type != DDF_DERIVED; ++d) {
        const int32_t type = d->type;
        if (type < DDF_SHORT || type > DDF_PTR || type == DDF_FSTRING || (d->flags & DDF_ARRAY) != 0)
            return false;
        const int64_t esize = ddf__FldData[type].size;
        if (esize > size - at) return false;
        if (type == DDF_PTR) {
            if (n == kFlatMaxPointers) return false;
            layout->offsets[n++] = static_cast<int32_t>(at);
        }
        if (at + esize > extent) extent = at + esize;
        at += esize + d->gap;
        if (at < 0) return false;
    }
    layout->count = n;
    layout->extent = extent;
    layout->tf = hdr->tf;
    layout->tfi = tfi;
    layout->dict = dict;
    return true;
}

// True when a filled layout describes body: same dictionary and type, and
// a body long enough for the fields.
bool Describes(const FlatLayout& layout, void* body) {
    if (layout.dict == nullptr) return false;
    const auto* hdr = static_cast<const MDA_ENTITY_HDR*>(body);
    if (hdr->tfi != layout.tfi || hdr->tf != layout.tf) return false;
    mdatrav::Region region{};
    if (mdatrav::BodyRegion(body, &region) != 0 || region.hi - region.lo < layout.extent)
        return false;
    const MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(hdr->own));
    return m != nullptr && m->ddf == layout.dict;
}

} // namespace

int32_t ForEachPointer(void* body, PointerFn fn, void* context, bool skip_subentities,
                       PointerFn look_ahead, FlatLayout* known) {
    FlatLayout own_layout;
    FlatLayout& layout = known != nullptr ? *known : own_layout;
    if (Describes(layout, body) || FlatPointers(body, &layout)) {
        // Copied: fn may start walks that refill a shared layout.
        const int32_t count = layout.count;
        int32_t offsets[kFlatMaxPointers];
        std::memcpy(offsets, layout.offsets, sizeof(int32_t) * static_cast<size_t>(count));
        if (look_ahead != nullptr)
            for (int32_t i = 0; i < count; ++i)
                look_ahead(context, static_cast<char*>(body) + offsets[i]);
        // As during the walk, the body's dictionary is current while fn runs.
        DDF_DICT* const saved = ddf__Current;
        ddf__Current = const_cast<DDF_DICT*>(layout.dict);
        ddf__SavedTF = MVX_NULL_TF;
        int32_t answer = 0;
        for (int32_t i = 0; i < count && answer == 0; ++i)
            answer = fn(context, static_cast<char*>(body) + offsets[i]);
        ddf__Current = saved;
        ddf__SavedTF = MVX_NULL_TF;
        return answer;
    }
    const WalkState saved = g_walk;
    g_walk = WalkState{fn, context, skip_subentities, 0};
    int32_t rc = mda_TraverseEntity(0, body, VisitPointers);
    if (rc == MDA_STOP) rc = g_walk.answer;
    g_walk = saved;
    return rc;
}

} // namespace mdabp

// ---- Steps of the model and entity operations --------------------------------

namespace mda {

int32_t CreateParentArea(int32_t model, MDA_MODEL* m) {
    return mdabp::NewArea(model, m);
}

void FreeBackPtrInfo(int32_t /*model*/, MDA_MODEL* m) {
    mdabp::DropArea(mdabp::Area(m));
    m->parent_area = nullptr;
    if (m->no_backptr_types != nullptr) otm_DeleteTree(0, m->no_backptr_types);
    m->no_backptr_types = nullptr;
}

int32_t SetBackPtrsNow(MDA_PTR db_ptr) {
    return mda__SetBackPtrs(0, db_ptr);
}

} // namespace mda
