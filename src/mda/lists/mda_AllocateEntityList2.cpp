// Making an entity list.
#include <cstdlib>

#include "common/common_alloc.h"
#include "mda/mda_appdata_int.h"

namespace mda {

int32_t MakeEntityList(int32_t slots, int32_t model, MDA_ENTITY_LIST** list) {
    *list = nullptr;
    if (slots < 0) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    auto* made = static_cast<MDA_ENTITY_LIST*>(mvxc::Calloc(1, sizeof(MDA_ENTITY_LIST)));
    if (made == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    int32_t rc = MakeAppData(MDA_APPDATA_ZERO, sizeof(ListLinks), model, &made->links);
    if (rc != 0) {
        std::free(made);
        return rc;
    }
    made->slots = slots;
    // At least one element each, so that a dictionary without types still
    // gets real arrays.
    const size_t n = slots > 0 ? static_cast<size_t>(slots) : 1;
    made->heads = static_cast<MDA_PTR*>(mvxc::Calloc(n, sizeof(MDA_PTR)));
    made->cursors = static_cast<MDA_PTR*>(mvxc::Calloc(n, sizeof(MDA_PTR)));
    made->tail_prevs = static_cast<MDA_PTR*>(mvxc::Calloc(n, sizeof(MDA_PTR)));
    made->tails = static_cast<MDA_PTR*>(mvxc::Calloc(n, sizeof(MDA_PTR)));
    made->counts = static_cast<int32_t*>(mvxc::Calloc(n, sizeof(int32_t)));
    if (made->heads == nullptr || made->cursors == nullptr || made->tail_prevs == nullptr ||
        made->tails == nullptr || made->counts == nullptr) {
        mda_FreeEntityList(made);
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    }
    *list = made;
    return 0;
}

} // namespace mda

extern "C" int32_t mda_AllocateEntityList2(uint32_t options, int32_t slots, int32_t model,
                                           MDA_ENTITY_LIST** list) {
    int32_t status = 0;
    if (mda::ModelOrReport(model, &status) == nullptr) return status;
    if (list == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    status = mda::MakeEntityList(slots, model, list);
    if (status == 0) (*list)->options = options;
    return status;
}
