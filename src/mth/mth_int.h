/* MTH module internals: tolerances, quiet statuses and the helpers that the
 * operations of the module share. */
#ifndef MVX_MTH_INT_H
#define MVX_MTH_INT_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "mvx/mpm.h"
#include "mvx/mth.h"

/* The module's descriptor, copied into the registry by mth_Initialize. */
extern const MVX_MODULE mth_Module;

namespace mthi {

/* Zero tolerance of every operation that takes none. */
inline constexpr double kZero = 1e-13;
/* Pivot tolerance of the band factorisation. */
inline constexpr double kPivot = 1e-9;
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;

/* Records a module failure: NOMEMORY at FATAL, everything else at ERROR. */
inline int32_t Fail(int32_t code) {
    return mpm__SetError(0, code, code == MTH_NOMEMORY ? MPM_FATAL : MPM_ERROR);
}

inline double Dot(int32_t n, const double* a, const double* b) {
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

inline double Dot3(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline double SquaredDistance(int32_t n, const double* p, const double* q) {
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double d = p[i] - q[i];
        sum += d * d;
    }
    return sum;
}

/* out = a x b; out may alias neither input (callers use temporaries). */
inline void Cross3(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

/* The unitizing rule of mth_UnitizeVector, shared by every operation that
 * needs a unit vector. */
inline int32_t Unitize(int32_t n, const double* a, double* out) {
    const double length = std::sqrt(Dot(n, a, a));
    if (!(std::fabs(length) > kZero)) {
        if (out != a)
            for (int32_t i = 0; i < n; ++i) out[i] = a[i];
        return MTH_SHORT_VECTOR;
    }
    int32_t big = -1, bigs = 0;
    for (int32_t i = 0; i < n; ++i) {
        out[i] = a[i] / length;
        if (!(std::fabs(out[i]) < kZero)) big = i, ++bigs;
    }
    if (bigs == 1)
        for (int32_t i = 0; i < n; ++i) out[i] = i == big ? (out[i] < 0 ? -1.0 : 1.0) : 0.0;
    return 0;
}

/* Sine and cosine with the snapping of the axis rotation: a value within
 * the zero tolerance of 0 becomes 0 and its partner exactly +1 or -1. */
inline void SinCos(double angle, double& s, double& c) {
    s = std::sin(angle);
    c = std::cos(angle);
    if (std::fabs(c) <= kZero) {
        c = 0.0;
        s = s < 0 ? -1.0 : 1.0;
    } else if (std::fabs(s) <= kZero) {
        s = 0.0;
        c = c < 0 ? -1.0 : 1.0;
    }
}

/* Product of 4 x 4 matrices: out = a b (out distinct from a and b). */
inline void Product4(const double* __restrict a, const double* __restrict b,
                     double* __restrict out) {
    // Row i of out accumulates a[i][k] times row k of b, k = 0..3, from 0:
    // the sums are formed in the same order as the textbook loop, but the
    // four columns advance together, which lets the compiler use vectors.
    for (int i = 0; i < 4; ++i) {
        double row[4] = {0.0, 0.0, 0.0, 0.0};
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j) row[j] += a[i * 4 + k] * b[k * 4 + j];
        for (int j = 0; j < 4; ++j) out[i * 4 + j] = row[j];
    }
}

/* Copies a 4 x 4 matrix out as 3 x 4, or whole when bit 0 of option is set. */
inline void Store34or44(uint32_t option, const double* m44, double* out) {
    const int rows = (option & 1u) ? 4 : 3;
    for (int i = 0; i < rows * 4; ++i) out[i] = m44[i];
}

/* Gauss-Jordan inversion of an n x n matrix into out (see mth_MatrixInverse). */
int32_t Inverse(int32_t n, const double* a, double* out);

/* Shared bodies of the banded solver and the general product; each has two
 * exported names. */
int32_t FullMatrixToBanded(const double* a, int32_t lda, int32_t n, int32_t* m, double** out);
int32_t LuDecomposeBanded(double* band, int32_t n, int32_t m);
int32_t ForBackSubstitution(const double* band, int32_t n, int32_t m, double* b, double* x);
int32_t MultiplyMatrices(const double* a, int32_t lda, int32_t ra, int32_t ca, int32_t ta,
                         const double* b, int32_t ldb, int32_t rb, int32_t cb, int32_t tb,
                         double* c, int32_t ldc);

/* Frame completion of mth_FindTwoPerpAxesToAxis on an already unit axis. */
int32_t PerpAxes(const double* axis, double* out1, double* out2);

// Sorts ascending (order 1) or descending by selection: count passes at
// most, so values that never compare (NaN) cannot keep it going; they stay
// where the passes leave them.
template <typename T>
void SelectionSort(int32_t order, int32_t count, T* values) {
    for (int32_t i = 0; i + 1 < count; ++i) {
        int32_t pick = i;
        for (int32_t j = i + 1; j < count; ++j)
            if (order == 1 ? values[j] < values[pick] : values[j] > values[pick]) pick = j;
        if (pick != i) std::swap(values[i], values[pick]);
    }
}

} // namespace mthi

#endif
