// ugn_MoveByte: copies bytes upwards (positive count) or downwards (negative
// count).
//
// When source and target share their alignment modulo 4, the bytes up to the
// target's next 4-byte boundary are copied singly, then groups of 16 bytes as
// four 32-bit words, then the rest singly; otherwise every byte is copied
// singly. Within one buffer the source and target are then at least 4 bytes
// apart, so a word never overlaps itself, and the words of a group are copied
// one after another in the direction of the copy: the result is the same as
// copying byte by byte in that direction, which is what callers moving a
// block inside a buffer rely on.
#include <cstdint>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

bool SameAlignment(const uint8_t* from, const uint8_t* to) {
    return (reinterpret_cast<uintptr_t>(from) & 3u) == (reinterpret_cast<uintptr_t>(to) & 3u);
}

bool Aligned(const uint8_t* p) {
    return (reinterpret_cast<uintptr_t>(p) & 3u) == 0;
}

void CopyWord(const uint8_t* from, uint8_t* to) {
    uint32_t word;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
}

void Upwards(std::size_t n, const uint8_t* from, uint8_t* to) {
    std::size_t i = 0;
    if (SameAlignment(from, to)) {
        for (; i < n && !Aligned(to + i); ++i)
            to[i] = from[i];
        for (; n - i >= 16; i += 16) {
            CopyWord(from + i, to + i);
            CopyWord(from + i + 4, to + i + 4);
            CopyWord(from + i + 8, to + i + 8);
            CopyWord(from + i + 12, to + i + 12);
        }
    }
    for (; i < n; ++i)
        to[i] = from[i];
}

void Downwards(std::size_t n, const uint8_t* from, uint8_t* to) {
    std::size_t i = n; // bytes [0, i) are still to be copied
    if (SameAlignment(from, to)) {
        for (; i > 0 && !Aligned(to + i); --i)
            to[i - 1] = from[i - 1];
        for (; i >= 16; i -= 16) {
            CopyWord(from + i - 4, to + i - 4);
            CopyWord(from + i - 8, to + i - 8);
            CopyWord(from + i - 12, to + i - 12);
            CopyWord(from + i - 16, to + i - 16);
        }
    }
    for (; i > 0; --i)
        to[i - 1] = from[i - 1];
}

} // namespace

extern "C" void ugn_MoveByte(int32_t count, const uint8_t* from, uint8_t* to) {
    if (count == 0 || from == nullptr || to == nullptr || from == to) return;
    if (count > 0) {
        Upwards(static_cast<std::size_t>(count), from, to);
    } else {
        Downwards(static_cast<std::size_t>(-static_cast<int64_t>(count)), from, to);
    }
}
