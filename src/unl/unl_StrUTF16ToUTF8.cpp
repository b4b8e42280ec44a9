#include <cstdlib>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "unl/unl_int.h"

extern "C" int32_t unl_StrUTF16ToUTF8(uint32_t /*options*/, const uint16_t* source, char** result) {
    if (result == nullptr) return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);
    *result = nullptr;
    if (source == nullptr) return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);

    std::size_t units = 0;
    while (source[units] != 0)
        ++units;
    // A unit of the Basic Multilingual Plane takes at most three bytes and a
    // surrogate pair four bytes for its two units, so three bytes per unit
    // and one for the terminator always suffice.
    auto* out = static_cast<unsigned char*>(mvxc::Malloc(3 * units + 1));
    if (out == nullptr) return mpm__SetError(0, UNL_MALLOC_ERR, MPM_ERROR);

    std::size_t n = 0;
    for (std::size_t i = 0; i < units; ++i) {
        uint32_t code = source[i];
        if (code >= 0xD800 && code <= 0xDFFF) {
            // A high surrogate must be followed by a low one (the terminator
            // is not one, so the look-ahead stays inside the string).
            const uint32_t next = source[i + 1];
            if (code > 0xDBFF || next < 0xDC00 || next > 0xDFFF) {
                std::free(out);
                return mpm__SetError(0, UNL_CONVERSION_ERR, MPM_ERROR);
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            out[n++] = static_cast<unsigned char>(code);
        } else if (code < 0x800) {
            out[n++] = static_cast<unsigned char>(0xC0 | (code >> 6));
            out[n++] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out[n++] = static_cast<unsigned char>(0xE0 | (code >> 12));
            out[n++] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
            out[n++] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        } else {
            out[n++] = static_cast<unsigned char>(0xF0 | (code >> 18));
            out[n++] = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
            out[n++] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
            out[n++] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        }
    }
    out[n] = 0;
    *result = reinterpret_cast<char*>(out);
    return 0;
}
