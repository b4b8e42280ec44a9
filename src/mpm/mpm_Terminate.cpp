#include <cstdio>
#include <cstdlib>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_Terminate(uint32_t options) {
    mpm_ClearStack(options);
    {
        MpmBusyGuard guard;
        olm_DeleteList(0, mpm__ErrorStack);
        otm_DeleteTree(0, mpm__ErrorTree);
        otm_DeleteTree(0, mpm__ExceptionTree);
        otm_DeleteTree(0, mpm__SpecTree);
        otm_DeleteTree(0, mpm__MsgNameTree);
    }
    mpm__ErrorStack = nullptr;
    mpm__ErrorTree = nullptr;
    mpm__ExceptionTree = nullptr;
    mpm__SpecTree = nullptr;
    mpm__MsgNameTree = nullptr;
    mpm__ErrorCountPtr = nullptr;
    mpm_CloseLog(0);
    mpm_CloseTable(0);
    std::free(mpm__MsgBuffer);
    mpm__MsgBuffer = nullptr;
    return 0;
}
