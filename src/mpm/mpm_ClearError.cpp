#include "mpm/mpm_int.h"

extern "C" int32_t mpm_ClearError(uint32_t options) {
    mpm_ClearStack(options);
    {
        MpmBusyGuard guard;
        if (mpm__ErrorStack != nullptr) {
            olm_RemoveAll(0, mpm__ErrorStack);
        } else {
            mpm__ErrorStack = olm_CreateList(0, sizeof(MPM_STACKREC), 10, 0);
        }
        otm_DeleteTree(0, mpm__ErrorTree);
        mpm__ErrorTree = otm_CreateTree(0, sizeof(MPM_ERRCOUNT), mpm_CompareCode, 0);
    }
    if (mpm__ErrorStack == nullptr || mpm__ErrorTree == nullptr) mpm_OutOfMemory();
    for (int32_t& counter : mpm__ErrorLevelCount)
        counter = 0;
    return 0;
}
