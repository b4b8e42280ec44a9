#include <cstdlib>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm__SetError(uint32_t options, int32_t code, int32_t severity, ...) {
    if (mpm_Busy > 0) return code; // a container failing under the module's own call
    options |= mpm__Option;
    va_list ap;
    va_start(ap, severity);
    MpmTags tags;
    if ((options & MPM_TAGGED) != 0) {
        mpm_ParseToken(options, &ap, &tags.prefix, &tags.file, &tags.line, &tags.stream);
        tags.located = tags.file != nullptr;
    }

    if ((options & MPM_ISSUE_NOW) != 0) {
        // Hand everything to the immediate path, the rest of the arguments
        // through a nested list; the stack is left alone.
        uint32_t now =
            (options & ~static_cast<uint32_t>(MPM_ISSUE_NOW)) | MPM_KEEP_STACK | MPM_TAGGED;
        if (tags.located) {
            mpm__IssueError(now, code, severity, MPM_TAG_SOURCE, tags.file,
                            static_cast<int>(tags.line), MPM_TAG_PREFIX, tags.prefix,
                            MPM_TAG_STREAM, tags.stream, MPM_TAG_VALIST, &ap);
        } else {
            mpm__IssueError(now, code, severity, MPM_TAG_PREFIX, tags.prefix, MPM_TAG_STREAM,
                            tags.stream, MPM_TAG_VALIST, &ap);
        }
        va_end(ap);
        return code;
    }

    mpm__SetGlobal(options, code, severity);
    bool suppressed = (options & MPM_NO_COUNT) == 0 && mpm__CheckErrorCount(code, severity) == 0;
    if (suppressed) {
        std::free(tags.prefix);
        mpm__RaiseException(options, MVX_EXC_MAXERROR, code);
    } else if (mpm__ErrorStack == nullptr) {
        std::free(tags.prefix); // not started: nothing to record on
    } else {
        char* text = mpm_BuildText(options, code, severity, tags.prefix, &ap);
        if (text != nullptr) {
            MPM_STACKREC record = {static_cast<uint32_t>(severity), static_cast<uint32_t>(code),
                                   text};
            void* stored = nullptr;
            {
                MpmBusyGuard guard;
                stored = olm_AddObject(0, mpm__ErrorStack, OLM_HEAD, &record);
            }
            if (stored == nullptr) {
                std::free(text);
                mpm_OutOfMemory();
            }
        }
    }
    va_end(ap);
    mpm_RaiseClassAndSeverity(options, code, severity);
    return code;
}
