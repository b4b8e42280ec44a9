#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "unl/unl_int.h"

namespace {

// Decodes the character that starts at s into *code and returns its length
// in bytes, or 0 when the bytes there are not a well-formed UTF-8 sequence.
// The accepted sequences are exactly those of the Unicode standard's table
// of well-formed byte sequences: the second byte's range is narrowed after
// E0 (no overlong forms), ED (no surrogates), F0 (no overlong forms) and F4
// (nothing above U+10FFFF); C0, C1 and F5..FF never start a sequence. A
// NUL is never a continuation byte, so decoding stops at the terminator.
std::size_t Decode(const unsigned char* s, uint32_t* code) {
    const unsigned lead = s[0];
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    std::size_t length = 0;
    uint32_t value = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0; // a continuation byte, C0, C1 or F5..FF
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned byte = s[k];
        if (byte < low || byte > high) return 0;
        value = (value << 6) | (byte & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *code = value;
    return length;
}

} // namespace

extern "C" int32_t unl_StrUTF8ToUTF16(uint32_t /*options*/, const char* source, uint16_t** result) {
    if (result == nullptr) return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);
    *result = nullptr;
    if (source == nullptr) return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);

    // A UTF-8 character never needs more UTF-16 units than it has bytes, so
    // b + 1 units hold the result with its terminator.
    const std::size_t bytes = std::strlen(source);
    auto* out = static_cast<uint16_t*>(mvxc::Malloc((bytes + 1) * sizeof(uint16_t)));
    if (out == nullptr) return mpm__SetError(0, UNL_MALLOC_ERR, MPM_ERROR);

    const auto* in = reinterpret_cast<const unsigned char*>(source);
    std::size_t units = 0;
    for (std::size_t i = 0; i < bytes;) {
        uint32_t code = 0;
        const std::size_t length = Decode(in + i, &code);
        if (length == 0) {
            std::free(out);
            return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);
        }
        i += length;
        if (code < 0x10000) {
            out[units++] = static_cast<uint16_t>(code);
        } else {
            code -= 0x10000;
            out[units++] = static_cast<uint16_t>(0xD800 + (code >> 10));
            out[units++] = static_cast<uint16_t>(0xDC00 + (code & 0x3FF));
        }
    }
    out[units] = 0;
    *result = out;
    return 0;
}
