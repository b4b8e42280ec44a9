#include <cstdlib>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm__IssueError(uint32_t options, int32_t code, int32_t severity, ...) {
    if (mpm_Busy > 0) return code;
    options |= mpm__Option;
    mpm__SetGlobal(options, code, severity);
    va_list ap;
    va_start(ap, severity);
    MpmTags tags;
    if ((options & MPM_TAGGED) != 0) {
        mpm_ParseToken(options, &ap, &tags.prefix, &tags.file, &tags.line, &tags.stream);
    }
    if (mpm__CheckErrorCount(code, severity) != 0) {
        char* text = mpm_BuildText(options, code, severity, tags.prefix, &ap);
        if (text != nullptr)
            mpm__IssueMessage(options, tags.stream != nullptr ? tags.stream : stderr, text);
    } else {
        std::free(tags.prefix);
        mpm__RaiseException(options, MVX_EXC_MAXERROR, code);
    }
    va_end(ap);
    mpm_RaiseClassAndSeverity(options, code, severity);
    if ((options & MPM_KEEP_STACK) == 0) {
        if ((options & MPM_CLEAR_AFTER) != 0) {
            mpm_ClearStack(options);
        } else {
            mpm_DumpStack(options);
        }
    }
    return code;
}
