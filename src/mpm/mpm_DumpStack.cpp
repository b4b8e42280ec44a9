#include <cstdlib>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_DumpStack(uint32_t options) {
    options |= mpm__Option;
    if (mpm__ErrorStack != nullptr) {
        const int32_t initial = mpm__ErrorStack->count;
        while (mpm__ErrorStack->count > 0) {
            MPM_STACKREC record{};
            {
                MpmBusyGuard guard;
                auto* front =
                    static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
                if (front == nullptr) break;
                record = *front;
                front->text = nullptr;
            }
            const int32_t left = mpm__ErrorStack->count;
            bool print = (options & MPM_DUMP_ALL) != 0 ||
                         ((options & MPM_DUMP_OLDEST) != 0 && left == 1) ||
                         ((options & MPM_DUMP_NEWEST) != 0 && left == initial);
            if (print && record.text != nullptr) {
                mpm__IssueMessage(0, stderr, record.text); // releases the text
            } else {
                std::free(record.text);
            }
            MpmBusyGuard guard;
            olm_RemoveObject(0, mpm__ErrorStack, OLM_HEAD);
        }
    }
    mpm__SetGlobal(0, 0, 0);
    return 0;
}
