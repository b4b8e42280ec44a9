#include "mpm/mpm_int.h"

// Before start-up there is no exception tree to register in; such a call is
// ignored (start-up creates a new, empty tree anyway).
extern "C" void mpm_SetException(uint32_t key, MPM_HANDLER handler) {
    if (mpm__ExceptionTree == nullptr) return;
    mpm__Exception.key = key;
    mpm__Exception.handler = handler;
    MPM_EXCEPTION* entry = nullptr;
    {
        MpmBusyGuard guard;
        entry = static_cast<MPM_EXCEPTION*>(otm_AddObject(0, mpm__ExceptionTree, &mpm__Exception));
    }
    if (entry == nullptr) {
        mpm_OutOfMemory();
        return;
    }
    entry->handler = handler; // an existing entry keeps its place, gets the new handler
}
