#include "mpm/mpm_int.h"

extern "C" int32_t mpm__CheckErrorCount(int32_t code, int32_t severity) {
    MPM_ERRCOUNT* entry = nullptr;
    if (mpm__ErrorTree != nullptr) {
        MpmBusyGuard guard;
        entry = static_cast<MPM_ERRCOUNT*>(otm_GetObject(OTM_QUIET, mpm__ErrorTree, &code));
        if (entry == nullptr) {
            MPM_ERRCOUNT fresh = {code, mpm__MaxError, 0, 0};
            entry = static_cast<MPM_ERRCOUNT*>(otm_AddObject(0, mpm__ErrorTree, &fresh));
        }
    }
    if (mpm__ErrorTree != nullptr && entry == nullptr) mpm_OutOfMemory();
    if (entry != nullptr) {
        ++entry->issued;
        ++entry->total;
    }
    int level = mpm_LevelIndex(severity);
    if (level >= 0) ++mpm__ErrorLevelCount[level];
    if (entry != nullptr && entry->limit != -1 && entry->issued > entry->limit) return 0;
    if (level >= 0 && mpm__MaxErrorLevel[level] != -1 &&
        mpm__ErrorLevelCount[level] > mpm__MaxErrorLevel[level]) {
        return 0;
    }
    return 1;
}
