#include <cstring>

#include "ddf/ddf_int.h"
#include "mvx/mvx.h"

extern "C" int32_t ddf_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_DDF] = ddf_Module;
    ddf__Current = nullptr;
    ddf__SavedTF = MVX_NULL_TF;
    ddf__SavedTFI = 0;
    // 16-bit -1 at bytes 0 and 24, 5 at byte 26.
    const int16_t none = -1;
    std::memcpy(ddf__NoMatchLvl, &none, sizeof none);
    std::memcpy(ddf__NoMatchLvl + 24, &none, sizeof none);
    ddf__NoMatchLvl[26] = 5;
    return 0;
}
