// ugn_FormatDouble: a double as text with 15 significant digits and a 'D'
// exponent, as fixed-width exchange formats write reals.
//
// The magnitude is brought into [1, 10) by repeated multiplication by 0.1 or
// 10, counting the decimal exponent. Its 15 digits are taken in two integer
// steps (8 digits, then 7), each exact in a double, and rounded on the
// remainder. The exponent decides between the plain form (123.456D0, .001D0)
// and the exponent form (1.5D20, 1.23D-14). Because the scaling rounds once
// per step, the 15th digit of a value with a large exponent may be off by a
// few units; that is the accepted price of the simple scaling.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

constexpr std::size_t kOutSize = 24;
constexpr int32_t kMaxExponent = 308;
constexpr int32_t kMinExponent = -307;

// The formatted text being built; never longer than 22 characters.
struct Text {
    char buf[kOutSize] = {};
    std::size_t n = 0;
    void Put(char c) { buf[n++] = c; }
    void Put(const char* s, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            Put(s[i]);
    }
};

// Digits after the point with trailing zeros removed, keeping at least one.
std::size_t Trimmed(const char* digits, std::size_t count) {
    while (count > 1 && digits[count - 1] == '0')
        --count;
    return count;
}

} // namespace

extern "C" int32_t ugn_FormatDouble(double value, char* out) {
    std::memset(out, 0, kOutSize);
    if (!std::isfinite(value)) return UGN_BAD_FLOAT;
    if (value == 0.0) {
        std::memcpy(out, "0.0D0", 6);
        return 0;
    }

    int32_t status = 0;
    const bool negative = value < 0.0;
    double x = std::fabs(value);
    int32_t exponent = 0;
    while (x >= 10.0) {
        x *= 0.1;
        ++exponent;
    }
    while (x < 1.0) {
        x *= 10.0;
        --exponent;
    }
    if (exponent > kMaxExponent) {
        status = UGN_MAXEXP_ERR;
        exponent = kMaxExponent;
    } else if (exponent < kMinExponent) {
        status = UGN_MINEXP_ERR;
        exponent = kMinExponent;
    }

    // The first 8 digits, the next 7, and the rounding of the remainder.
    const double scaled = x * 1e7;
    double high = std::floor(scaled);
    const double rest = (scaled - high) * 1e7;
    double low = std::floor(rest);
    if (rest - low >= 0.5) low += 1.0;
    if (low >= 1e7) {
        low -= 1e7;
        high += 1.0;
    }
    if (high >= 1e8) { // 9.99...95 rounded up to 10: one more decade
        high = 1e7;
        if (++exponent > kMaxExponent) {
            status = UGN_MAXEXP_ERR;
            exponent = kMaxExponent;
        }
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d%07d", static_cast<int>(high), static_cast<int>(low));
    const std::size_t significant = Trimmed(digits, 15);

    Text text;
    if (negative) text.Put('-');
    bool with_exponent = false;
    if (exponent >= 0) {
        if (exponent <= 13) {
            const auto before = static_cast<std::size_t>(exponent) + 1;
            text.Put(digits, before);
            text.Put('.');
            text.Put(digits + before, Trimmed(digits + before, 15 - before));
        } else {
            with_exponent = true;
        }
    } else {
        const auto zeros = static_cast<std::size_t>(-1 - exponent);
        if (significant + zeros <= 15) {
            text.Put('.');
            for (std::size_t i = 0; i < zeros; ++i)
                text.Put('0');
            text.Put(digits, significant);
        } else {
            with_exponent = true;
        }
    }
    if (with_exponent) {
        text.Put(digits[0]);
        text.Put('.');
        text.Put(digits + 1, Trimmed(digits + 1, 14));
        char exp_text[8];
        const int n = std::snprintf(exp_text, sizeof exp_text, "D%d", static_cast<int>(exponent));
        text.Put(exp_text, static_cast<std::size_t>(n));
    } else {
        text.Put("D0", 2);
    }
    std::memcpy(out, text.buf, text.n);
    return status;
}
