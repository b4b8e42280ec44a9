#include <cstdlib>
#include <cstring>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm__GetMessage(uint32_t options, int32_t code, char** text, va_list args) {
    options |= mpm__Option;
    int16_t module = 0;
    int16_t message = 0;
    char* body = nullptr;
    bool raw = (options & MPM_RAW_TEXT) != 0;
    if (mpm__ValidateMessage(options, code, &module, &message) != 0) {
        // The invalid-message text has no conversions: it needs no arguments.
        body = mpm__GetText(0, MVX_MODULE_MPM, MVX_CODE_MESSAGE(MPM__INVALIDMESSAGE));
        raw = true;
        if (body == nullptr && mvx__Table[MVX_MODULE_MPM].names == nullptr) return 0;
    } else {
        body = mpm__GetText(options, module, message);
    }
    if (body == nullptr) {
        mpm_OutOfMemory();
        return 0;
    }
    const char* result = body[0] != '\0' ? body + 1 : body; // drop the flag character
    if (!raw) {
        va_list copy;
        va_copy(copy, args);
        bool ok = mpm_Format(options, &body, &copy);
        va_end(copy);
        if (!ok) {
            std::free(body);
            mpm_OutOfMemory();
            return 0;
        }
        result = body;
    }
    if (text != nullptr && !mpm_Append(text, result, std::strlen(result))) mpm_OutOfMemory();
    std::free(body);
    return 0;
}
