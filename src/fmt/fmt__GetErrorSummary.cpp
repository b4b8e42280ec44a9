#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetErrorSummary(uint32_t /*options*/, MPM_ARGSPEC* conv,
                                        va_list* /*args*/) {
    if (conv == nullptr) return 0;
    bool any = false;
    for (int32_t count : mpm__ErrorLevelCount)
        any = any || count != 0;
    if (!any) {
        mpm_GetMessage(0, FMT_NOERROR, &conv->result);
        return 0;
    }
    OTM_TREE* tree = mpm__ErrorTree;
    if (tree != nullptr) {
        // A cycle someone left running would make this one start midway.
        while (tree->cycle != 0 && otm_CycleTree(0, tree) != nullptr) {
        }
        while ((mpm__ErrorCountPtr = static_cast<MPM_ERRCOUNT*>(otm_CycleTree(0, tree))) !=
               nullptr) {
            const MPM_ERRCOUNT& entry = *mpm__ErrorCountPtr;
            if (entry.total <= 0) continue;
            mpm_GetMessage(0, FMT_ERRORTOTAL, &conv->result, entry.total);
            if (entry.total > entry.issued)
                mpm_GetMessage(0, FMT_ERRORISSUE, &conv->result, entry.issued);
            mpm_GetMessage(0, FMT_ERRORTERM, &conv->result);
            mpm_GetMessage(MPM_RAW_TEXT, entry.code, &conv->result);
            mpm_GetMessage(0, FMT_ERRORTERM, &conv->result);
        }
    }
    mpm__ErrorCountPtr = nullptr;
    const int32_t* level = mpm__ErrorLevelCount;
    mpm_GetMessage(0, FMT_ERRORSUMMARY, &conv->result, level[0], level[1], level[2], level[3],
                   level[4]);
    return 0;
}
