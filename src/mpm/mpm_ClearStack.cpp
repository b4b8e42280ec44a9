#include <cstdlib>

#include "mpm/mpm_int.h"

// Takes every stacked record back out of the counts, so a cleared failure no
// longer shows in the error summary.
extern "C" int32_t mpm_ClearStack(uint32_t /*options*/) {
    if (mpm__ErrorStack != nullptr) {
        MpmBusyGuard guard;
        while (mpm__ErrorStack->count > 0) {
            auto* front = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
            if (front == nullptr) break;
            auto code = static_cast<int32_t>(front->code);
            MPM_ERRCOUNT* entry =
                mpm__ErrorTree != nullptr
                    ? static_cast<MPM_ERRCOUNT*>(otm_GetObject(OTM_QUIET, mpm__ErrorTree, &code))
                    : nullptr;
            if (entry != nullptr) {
                --entry->issued;
                --entry->total;
            }
            int level = mpm_LevelIndex(static_cast<int32_t>(front->severity));
            if (level >= 0) --mpm__ErrorLevelCount[level];
            std::free(front->text);
            front->text = nullptr;
            olm_RemoveObject(0, mpm__ErrorStack, OLM_HEAD);
        }
    }
    mpm__SetGlobal(0, 0, 0);
    return 0;
}
