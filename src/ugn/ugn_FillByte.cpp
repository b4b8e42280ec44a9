// ugn_FillByte: sets a run of bytes to one value.
#include <cstring>

#include "ugn/ugn_int.h"

extern "C" void ugn_FillByte(int32_t count, uint8_t value, uint8_t* to) {
    if (count < 1 || to == nullptr) return;
    std::memset(to, value, static_cast<std::size_t>(count));
}
