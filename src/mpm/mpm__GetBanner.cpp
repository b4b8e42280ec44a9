#include "mpm/mpm_int.h"

// The banner is the severity's text with the code's message name, then the
// closing stars: " *** Error (OTM_INVALIDSIZE) ***\n" without the flags.
extern "C" int32_t mpm__GetBanner(uint32_t options, int32_t code, int32_t severity, char** text) {
    options &= ~static_cast<uint32_t>(MPM_RAW_TEXT);
    mpm_GetMessage(options, severity, text, mpm_GetMsgName(code));
    mpm_GetMessage(options, MPM__STARS, text);
    return 0;
}
