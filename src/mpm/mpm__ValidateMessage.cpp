#include "mpm/mpm_int.h"

extern "C" int32_t mpm__ValidateMessage(uint32_t /*options*/, int32_t code, int16_t* module,
                                        int16_t* message) {
    auto mod = static_cast<int16_t>(static_cast<uint32_t>(code) >> 16);
    auto msg = static_cast<int16_t>(static_cast<uint32_t>(code) & 0xFFFFu);
    if (module != nullptr) *module = mod;
    if (message != nullptr) *message = msg;
    if (mod < 0 || mod >= MVX_MAX_MODULES) return MPM__INVALIDMESSAGE;
    const MVX_MODULE& entry = mvx__Table[mod];
    if (entry.names == nullptr || entry.texts == nullptr) return MPM__INVALIDMESSAGE;
    if (msg < 1 || msg > entry.count) return MPM__INVALIDMESSAGE;
    return 0;
}
