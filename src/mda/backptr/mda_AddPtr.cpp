// Storing a reference and recording the parent in the child's parent list.
#include "mda/mda_backptr_int.h"

namespace {

// Appends parent to a list, creating the list from a single parent first.
int32_t Append(mdabp::ParentRecord* r, MDA_PTR parent) {
    if (r->kind == mdabp::kNone) {
        r->value = parent;
        r->kind = mdabp::kSingle;
        return 0;
    }
    if (r->kind == mdabp::kSingle) {
        OLM_LIST* list = olm_CreateList(0, sizeof(MDA_PTR), 5, 0);
        const MDA_PTR single = r->value;
        if (list == nullptr || olm_AddObject(0, list, OLM_TAIL, &single) == nullptr) {
            if (list != nullptr) olm_DeleteList(0, list);
            return mpm__SetError(0, MDA_PAR_LIST_ERR, MPM_ERROR);
        }
        r->value = static_cast<int64_t>(reinterpret_cast<intptr_t>(list));
        r->kind = mdabp::kList;
    }
    if (olm_AddObject(0, mdabp::ListOf(*r), OLM_TAIL, &parent) == nullptr)
        return mpm__SetError(0, MDA_PAR_LIST_ERR, MPM_ERROR);
    return 0;
}

} // namespace

extern "C" int32_t mda_AddPtr(MDA_PTR parent, MDA_PTR child, MDA_PTR* field) {
    if (field != nullptr) mdabp::StorePtr(field, child);
    const int32_t model = MDA_PTR_MODEL(child);
    MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr || m->backptrs == 0) return 0;
    if (MDA_PTR_ENTITY(child) == 0 || MDA_PTR_ENTITY(parent) == 0) return 0;
    // A child that is no entity of its model (a deleted or never handed out
    // number) gets no record: nothing would ever clear it.
    if (mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, child) == 0)
        return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    if (mdabp::KeepsNoParents(m, child)) return 0;
    if (m->parent_area == nullptr) {
        const int32_t rc = mdabp::NewArea(model, m);
        if (rc != 0) return rc;
    }
    mdabp::ParentRecord r;
    int32_t rc = mdabp::ReadRecord(m, child, &r);
    if (rc == 0) rc = Append(&r, parent);
    // A list made before a failed append is recorded, so it is not lost.
    const int32_t written = mdabp::WriteRecord(m, child, r);
    return rc != 0 ? rc : written;
}
