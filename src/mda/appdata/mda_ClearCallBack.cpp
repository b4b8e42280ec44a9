// Removing an entity callback.
#include <cstdlib>

#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_ClearCallBack(uint32_t /*options*/, int32_t model, int32_t kind,
                                     MDA_ENTITY_CALLBACK function) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (!mda::ValidCallbackKind(kind) || function == nullptr)
        return mpm__SetError(0, MDA_CALLBACK_NOT_FOUND, MPM_ERROR);
    auto** link = reinterpret_cast<mda::CallbackNode**>(&m->callback_lists[kind]);
    for (; *link != nullptr; link = &(*link)->next) {
        mda::CallbackNode* node = *link;
        if (node->function != function) continue;
        if (mda::CallingCallbacks()) {
            // A walk may stand on this node: silence it, unlink it later.
            node->function = nullptr;
            mda::NoteClearedCallback();
        } else {
            *link = node->next;
            std::free(node);
        }
        return 0;
    }
    return mpm__SetError(0, MDA_CALLBACK_NOT_FOUND, MPM_ERROR);
}
