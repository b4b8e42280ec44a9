#include <cstring>

#include "mvx/mpm.h"
#include "mvx/mvx.h"

extern "C" int32_t mvx_GetMsgDefine(const char* name, uint32_t* code) {
    const char* underscore = name != nullptr ? std::strchr(name, '_') : nullptr;
    std::size_t prefix = underscore != nullptr ? static_cast<std::size_t>(underscore - name) : 0;
    if (underscore == nullptr || prefix < 3 || prefix > 4) {
        return mpm__SetError(0, MVX_BAD_MSG_NAME, MPM_ERROR, name != nullptr ? name : "(null)");
    }
    const char* message = underscore + 1;
    for (int m = 0; m < MVX_MAX_MODULES; ++m) {
        const MVX_MODULE& mod = mvx__Table[m];
        if (mod.code == nullptr || mod.names == nullptr) continue;
        if (std::strlen(mod.code) != prefix || std::strncmp(mod.code, name, prefix) != 0) continue;
        for (int i = 0; i < mod.count; ++i) {
            const char* candidate = mod.names[i].name;
            if (candidate != nullptr && std::strcmp(candidate, message) == 0) {
                if (code != nullptr)
                    *code = (static_cast<uint32_t>(m) << 16) | static_cast<uint32_t>(i + 1);
                return 0;
            }
        }
    }
    return MVX_MSG_UNKNOWN;
}
