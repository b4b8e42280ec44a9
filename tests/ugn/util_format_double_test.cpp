// ugn_FormatDouble: the documented examples, the choice between plain and
// exponent form at its boundaries, rounding carries, the exponent limits,
// refused values, and many random doubles read back through strtold.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <regex>
#include <string>

#include "support/fixture.h"

namespace {

struct Formatted {
    std::string text;
    int32_t status;
};

// Formats into a buffer full of junk and checks that everything after the
// text is cleared.
Formatted Format(double value) {
    char out[24];
    std::memset(out, 'x', sizeof out);
    const int32_t status = ugn_FormatDouble(value, out);
    const std::size_t n = strnlen(out, sizeof out);
    EXPECT_LE(n, 22u) << value;
    for (std::size_t i = n; i < sizeof out; ++i)
        EXPECT_EQ(out[i], '\0') << value;
    return {std::string(out, n), status};
}

// The documented examples, the form at its boundaries, rounding carries,
// and the limits: below 1e-307 the digits are kept and -307 is written,
// with UGN_MINEXP_ERR returned (never reported); infinities and NaNs are
// refused with an empty text.
TEST(FormatDouble, ExamplesBoundariesAndLimits) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
        int32_t status;
    } rows[] = {
        {1.0, "1.0D0", 0},
        {123.456, "123.456D0", 0},
        {-2.5, "-2.5D0", 0},
        {0.5, ".5D0", 0},
        {0.001, ".001D0", 0},
        {1.0e13, "10000000000000.0D0", 0},
        {1.0e14, "1.0D14", 0},
        {1.5e20, "1.5D20", 0},
        {1.0e-20, "1.0D-20", 0},
        {1.23e-14, "1.23D-14", 0},
        {1.7e308, "1.70000000000003D308", 0}, // the last digit carries the scaling error
        {0.0, "0.0D0", 0},
        {-0.0, "0.0D0", 0},
        // Exponent 13 is the last written out, with one digit after the point.
        {12345678901234.0, "12345678901234.0D0", 0},
        {123456789012345.0, "1.23456789012345D14", 0},
        {-12345678901234.5, "-12345678901234.5D0", 0},
        {10.0, "10.0D0", 0},
        // Below 1: written out while zeros and digits fit 15 places.
        {1.0e-14, ".00000000000001D0", 0},
        {1.0e-15, ".000000000000001D0", 0},
        {1.5e-14, ".000000000000015D0", 0},
        {1.0e-16, "1.0D-16", 0},
        {0.123456789012345, ".123456789012345D0", 0},
        {0.0123456789012345, "1.23456789012345D-2", 0},
        {-0.0625, "-.0625D0", 0},
        // Rounding on the 16th digit, with a carry through all 15 into the exponent.
        {9.999999999999999, "10.0D0", 0},
        {0.9999999999999999, "1.0D0", 0},
        {1.0000000000000002, "1.0D0", 0},
        {2.00000000000001, "2.00000000000001D0", 0},
        {3.0e-308, "3.0D-307", UGN_MINEXP_ERR},
        {-std::numeric_limits<double>::denorm_min(), "-4.94065645841247D-307", UGN_MINEXP_ERR},
        {DBL_MIN, "2.2250738585072D-307", UGN_MINEXP_ERR},
        {2.0e-307, "2.0D-307", 0},
        {inf, "", UGN_BAD_FLOAT},
        {-inf, "", UGN_BAD_FLOAT},
        {std::numeric_limits<double>::quiet_NaN(), "", UGN_BAD_FLOAT},
        {-std::numeric_limits<double>::signaling_NaN(), "", UGN_BAD_FLOAT},
    };
    mvx_Initialize(0);
    for (const auto& row : rows) {
        const Formatted f = Format(row.value);
        EXPECT_EQ(f.text, row.text) << row.value;
        EXPECT_EQ(f.status, row.status) << row.value;
    }
    EXPECT_EQ(Format(1.0e-307).status, UGN_MINEXP_ERR); // the double is 9.99...91e-308
    const Formatted largest = Format(-DBL_MAX);
    EXPECT_EQ(largest.text.substr(0, 14), "-1.79769313486");
    EXPECT_EQ(largest.text.substr(largest.text.size() - 4), "D308");
    EXPECT_EQ(mpm__ErrorStack->count, 0);
    EXPECT_EQ(mpm__LastError, 0);
    mvx_Terminate(0);
}

// Random bit patterns cover every exponent, subnormals included. Each text
// must have the documented shape and read back (with 'D' read as 'e') to
// the value. The tolerance is one unit in the 15th significant digit for
// the final rounding, plus what the scaling loses: each multiplication by
// 0.1 or 10 rounds once and 0.1 is itself rounded, at most 1.7e-16 relative
// per decade, i.e. 0.17 units of the 15th digit per decade of exponent
// (0.6 + 0.17 * |exponent| units in all; the documented 1.7e308 example is
// 3 units off).
TEST(FormatDouble, RandomValuesReadBackWithinTheLastDigit) {
    const std::regex shape(R"(-?(0|[1-9][0-9]*)?\.([0-9]*[1-9]|0)D(0|-?[1-9][0-9]*))");
    std::mt19937_64 rng(0x5EEDF00D);
    int checked = 0, tiny = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint64_t bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        const Formatted f = Format(value);
        if (!std::isfinite(value)) {
            ASSERT_EQ(f.status, UGN_BAD_FLOAT);
            continue;
        }
        ASSERT_TRUE(std::regex_match(f.text, shape)) << f.text;
        if (value == 0.0) {
            ASSERT_EQ(f.text, "0.0D0");
            continue;
        }
        std::string number = f.text;
        const std::size_t d = number.find('D');
        number[d] = 'e';
        const long double back = std::strtold(number.c_str(), nullptr);
        const int written = std::atoi(f.text.c_str() + d + 1);
        const bool plain = written == 0;
        // The plain form holds at most 15 significant digits; the exponent
        // form one digit before the point, for exponents outside 0 to 13.
        std::string digits;
        for (char c : f.text.substr(0, d))
            if (c >= '0' && c <= '9') digits += c;
        digits.erase(0, digits.find_first_not_of('0'));
        const std::size_t lead = value < 0 ? 1 : 0;
        if (plain) {
            ASSERT_LE(digits.size(), 15u) << f.text;
        } else {
            ASSERT_NE(f.text[lead], '0') << f.text;
            ASSERT_EQ(f.text[lead + 1], '.') << f.text;
            ASSERT_TRUE(written < 0 || written > 13) << f.text;
        }

        const long double magnitude = std::fabs(static_cast<long double>(value));
        const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        long double expected = value;
        if (f.status == UGN_MINEXP_ERR) {
            // Written with exponent -307: the text is the value times 10^k.
            ASSERT_LT(magnitude, 1.001e-307L) << f.text;
            const long double k = std::round(std::log10(std::fabs(back) / magnitude));
            ASSERT_GE(k, 1.0L) << f.text;
            expected = value * std::pow(10.0L, k);
            ++tiny;
        } else {
            ASSERT_EQ(f.status, 0) << f.text;
            ASSERT_GT(magnitude, 0.999e-307L) << f.text;
        }
        ASSERT_EQ(std::signbit(back), std::signbit(value)) << f.text;
        const long double unit = std::pow(10.0L, std::floor(std::log10(std::fabs(expected))) - 14);
        const long double allowed = unit * (0.6L + 0.17L * std::abs(exponent));
        ASSERT_LE(std::fabs(back - expected), allowed)
            << f.text << " for " << static_cast<double>(value);
        ++checked;
    }
    EXPECT_GT(checked, 190000);
    EXPECT_GT(tiny, 100); // subnormals and values below 1e-307 came up
}

} // namespace
