// ugn_ZeroByte: sets a run of bytes to 0: single bytes up to the next 4-byte
// boundary, then groups of 16 bytes as four 32-bit stores, then the rest.
#include <cstdint>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

void ZeroWord(uint8_t* to) {
    const uint32_t zero = 0;
    std::memcpy(to, &zero, sizeof zero);
}

} // namespace

extern "C" void ugn_ZeroByte(int32_t count, uint8_t* to) {
    if (count < 1 || to == nullptr) return;
    const auto n = static_cast<std::size_t>(count);
    std::size_t i = 0;
    for (; i < n && (reinterpret_cast<uintptr_t>(to + i) & 3u) != 0; ++i)
        to[i] = 0;
    for (; n - i >= 16; i += 16) {
        ZeroWord(to + i);
        ZeroWord(to + i + 4);
        ZeroWord(to + i + 8);
        ZeroWord(to + i + 12);
    }
    for (; i < n; ++i)
        to[i] = 0;
}
