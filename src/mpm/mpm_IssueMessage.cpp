#include "mpm/mpm_int.h"

extern "C" int32_t mpm_IssueMessage(uint32_t options, int32_t code, ...) {
    options |= mpm__Option;
    va_list ap;
    va_start(ap, code);
    MpmTags tags;
    if ((options & MPM_TAGGED) != 0) {
        mpm_ParseToken(options, &ap, &tags.prefix, &tags.file, &tags.line, &tags.stream);
    }
    char* text = tags.prefix;
    if (text == nullptr && !mpm_Append(&text, "", 0)) {
        va_end(ap);
        mpm_OutOfMemory();
        return 0;
    }
    mpm__GetMessage(options, code, &text, ap);
    va_end(ap);
    mpm__IssueMessage(options, tags.stream != nullptr ? tags.stream : stdout, text);
    return 0;
}
