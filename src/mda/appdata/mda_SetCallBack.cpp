// Registering an entity callback.
#include "common/common_alloc.h"
#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_SetCallBack(uint32_t /*options*/, int32_t model, int32_t kind,
                                   MDA_ENTITY_CALLBACK function) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (!mda::ValidCallbackKind(kind))
        return mpm__SetError(0, MDA_CALLBACK_NOT_FOUND, MPM_ERROR);
    if (function == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    auto* node = static_cast<mda::CallbackNode*>(mvxc::Malloc(sizeof(mda::CallbackNode)));
    if (node == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    node->function = function;
    node->next = nullptr;
    auto** link = reinterpret_cast<mda::CallbackNode**>(&m->callback_lists[kind]);
    while (*link != nullptr)
        link = &(*link)->next;
    *link = node;
    return 0;
}
