// Removing one recorded reference from a child's parent list.
#include "mda/mda_backptr_int.h"

namespace {

// Removes the first entry equal to parent; the record becomes kind 0 when
// the list empties.
int32_t RemoveFromList(mdabp::ParentRecord* r, MDA_PTR parent) {
    OLM_LIST* list = mdabp::ListOf(*r);
    int32_t position = 1;
    const OLM_ELEM* e = list->head;
    while (e != nullptr && mdabp::ElementValue(e) != parent) {
        e = e->next;
        ++position;
    }
    if (e == nullptr) return mpm__SetError(0, MDA_PAR_NOT_FOUND, MPM_ERROR);
    if (olm_RemoveObject(0, list, position) != 0)
        return mpm__SetError(0, MDA_PAR_LIST_ERR, MPM_ERROR);
    if (list->count == 0) mdabp::ClearRecord(r);
    return 0;
}

} // namespace

extern "C" int32_t mda_DeletePtr(MDA_PTR parent, MDA_PTR child) {
    if (MDA_PTR_ENTITY(child) == 0) return 0;
    MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(child));
    if (m == nullptr || m->backptrs == 0) return 0;
    if (m->parent_area == nullptr) return mpm__SetError(0, MDA_NO_BACKPTRS, MPM_ERROR);
    // References to types that keep no parent lists were never recorded.
    if (mdabp::KeepsNoParents(m, child)) return 0;
    mdabp::ParentRecord r;
    int32_t rc = mdabp::ReadRecord(m, child, &r);
    if (rc != 0) return rc;
    if (r.kind == mdabp::kSingle && r.value == parent) {
        r = mdabp::ParentRecord{};
    } else if (r.kind == mdabp::kList) {
        if ((rc = RemoveFromList(&r, parent)) != 0) return rc;
    } else {
        return mpm__SetError(0, MDA_PAR_NOT_FOUND, MPM_ERROR);
    }
    return mdabp::WriteRecord(m, child, r);
}
