#include <cstdio>
#include <cstdlib>

#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

namespace {

// Replaces *tree by a new empty tree.
void Renew(OTM_TREE** tree, int32_t size, OTM_COMPARE compare) {
    otm_DeleteTree(0, *tree);
    *tree = otm_CreateTree(0, size, compare, 0);
}

} // namespace

extern "C" int32_t mpm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_MPM] = mpm_Module;
    mpm_ClearError(0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    {
        MpmBusyGuard guard;
        Renew(&mpm__ExceptionTree, sizeof(MPM_EXCEPTION), mpm_CompareKey);
        Renew(&mpm__SpecTree, sizeof(MPM_SPEC), mpm_CompareName);
        Renew(&mpm__MsgNameTree, sizeof(MPM_MSGNAME), mpm_CompareCode);
    }
    if (mpm__ExceptionTree == nullptr || mpm__SpecTree == nullptr || mpm__MsgNameTree == nullptr) {
        mpm_OutOfMemory();
    }
    for (int32_t& limit : mpm__MaxErrorLevel)
        limit = -1;
    std::free(mpm__MsgBuffer);
    mpm__MsgBuffer = static_cast<char*>(mvxc::Malloc(MPM_MSGBUFFER_SIZE));
    if (mpm__MsgBuffer == nullptr) mpm_OutOfMemory();
    return 0;
}
