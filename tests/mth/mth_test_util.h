// Helpers shared by the geometry tests: seeded random inputs and
// tolerance comparisons of whole arrays.
#ifndef MVX_TEST_MTH_UTIL_H
#define MVX_TEST_MTH_UTIL_H

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace mthtest {

inline constexpr double kPi = 3.14159265358979323846;

struct Random {
    std::mt19937_64 engine{20261206};
    double Uniform(double lo = -1.0, double hi = 1.0) {
        return std::uniform_real_distribution<double>(lo, hi)(engine);
    }
    std::vector<double> Vector(std::size_t n, double lo = -1.0, double hi = 1.0) {
        std::vector<double> v(n);
        for (double& x : v)
            x = Uniform(lo, hi);
        return v;
    }
    void Fill(double* v, int n, double lo = -1.0, double hi = 1.0) {
        for (int i = 0; i < n; ++i)
            v[i] = Uniform(lo, hi);
    }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
};

inline ::testing::AssertionResult Near(const double* a, const double* b, std::size_t n,
                                       double tolerance) {
    for (std::size_t i = 0; i < n; ++i)
        if (!(std::fabs(a[i] - b[i]) <= tolerance))
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << a[i] << " vs " << b[i];
    return ::testing::AssertionSuccess();
}

} // namespace mthtest

#endif
