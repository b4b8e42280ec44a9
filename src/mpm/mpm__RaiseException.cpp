#include "mpm/mpm_int.h"

extern "C" int32_t mpm__RaiseException(uint32_t /*options*/, uint32_t key, int32_t code) {
    if (mpm__ExceptionTree == nullptr) return 0;
    MPM_EXCEPTION* entry = nullptr;
    {
        MpmBusyGuard guard;
        entry = static_cast<MPM_EXCEPTION*>(otm_GetObject(OTM_QUIET, mpm__ExceptionTree, &key));
    }
    // The handler runs outside the guard: it may report or issue messages.
    if (entry != nullptr && entry->handler != nullptr) entry->handler(key, code);
    return 0;
}
