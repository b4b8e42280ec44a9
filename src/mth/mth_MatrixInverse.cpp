// Gauss-Jordan inversion with partial pivoting. The working copy of A and
// the growing inverse live on the stack up to 8 x 8 (the transformation
// sizes) and in the heap beyond, so the common 4 x 4 case allocates nothing.
// Orders 3 and 4, the transformation matrices, go through a copy of the
// same elimination compiled for their fixed size: the loops unroll and the
// rows vectorise, while every value is computed by the same operations in
// the same order as the general loop, so both give bit-identical results.
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace {

constexpr int32_t kStackOrder = 8;

bool Invert(int32_t n, double* w, double* inv) {
    auto at = [n](double* m, int32_t i, int32_t j) -> double& {
        return m[static_cast<std::ptrdiff_t>(i) * n + j];
    };
    for (int32_t k = 0; k < n; ++k) {
        int32_t pivot = -1;
        double best = mthi::kZero;
        for (int32_t i = k; i < n; ++i) {
            const double v = std::fabs(at(w, i, k));
            if (v > best) best = v, pivot = i;
        }
        if (pivot < 0) return false;
        if (pivot != k)
            for (int32_t j = 0; j < n; ++j) {
                std::swap(at(w, k, j), at(w, pivot, j));
                std::swap(at(inv, k, j), at(inv, pivot, j));
            }
        const double p = at(w, k, k);
        if (p != 1.0) {
            for (int32_t j = 0; j < n; ++j) at(inv, k, j) /= p;
            for (int32_t j = k; j < n; ++j) at(w, k, j) /= p;
        }
        for (int32_t i = k + 1; i < n; ++i) {
            const double f = at(w, i, k);
            if (!(std::fabs(f) > mthi::kZero)) continue;
            for (int32_t j = k; j < n; ++j) at(w, i, j) -= f * at(w, k, j);
            for (int32_t j = 0; j < n; ++j) at(inv, i, j) -= f * at(inv, k, j);
        }
    }
    for (int32_t k = n - 1; k >= 1; --k)
        for (int32_t i = 0; i < k; ++i) {
            const double f = at(w, i, k);
            if (f == 0.0) continue;
            for (int32_t j = 0; j < n; ++j) at(inv, i, j) -= f * at(inv, k, j);
        }
    return true;
}

template <int N>
bool InvertFixed(const double* a, double* out) {
    double w[N][N], inv[N][N];
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) w[i][j] = a[i * N + j], inv[i][j] = i == j ? 1.0 : 0.0;
    for (int k = 0; k < N; ++k) {
        int pivot = -1;
        double best = mthi::kZero;
        for (int i = k; i < N; ++i) {
            const double v = std::fabs(w[i][k]);
            if (v > best) best = v, pivot = i;
        }
        if (pivot < 0) return false;
        if (pivot != k)
            for (int j = 0; j < N; ++j) {
                std::swap(w[k][j], w[pivot][j]);
                std::swap(inv[k][j], inv[pivot][j]);
            }
        const double p = w[k][k];
        if (p != 1.0) {
            for (int j = 0; j < N; ++j) inv[k][j] /= p;
            for (int j = k; j < N; ++j) w[k][j] /= p;
        }
        for (int i = k + 1; i < N; ++i) {
            const double f = w[i][k];
            if (!(std::fabs(f) > mthi::kZero)) continue;
            for (int j = k; j < N; ++j) w[i][j] -= f * w[k][j];
            for (int j = 0; j < N; ++j) inv[i][j] -= f * inv[k][j];
        }
    }
    for (int k = N - 1; k >= 1; --k)
        for (int i = 0; i < k; ++i) {
            const double f = w[i][k];
            if (f == 0.0) continue;
            for (int j = 0; j < N; ++j) inv[i][j] -= f * inv[k][j];
        }
    std::memcpy(out, inv, sizeof inv);
    return true;
}

} // namespace

int32_t mthi::Inverse(int32_t n, const double* a, double* out) {
    if (n < 1) return Fail(MTH_INVALID_RANGE);
    if (n == 4 || n == 3) {
        const bool regular = n == 4 ? InvertFixed<4>(a, out) : InvertFixed<3>(a, out);
        return regular ? 0 : Fail(MTH_SINGULAR_MATRIX);
    }
    const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    double stack_w[kStackOrder * kStackOrder], stack_inv[kStackOrder * kStackOrder];
    double* w = stack_w;
    double* inv = stack_inv;
    if (n > kStackOrder) {
        if (count > SIZE_MAX / sizeof(double)) return Fail(MTH_NOMEMORY);
        w = static_cast<double*>(mvxc::Malloc(count * sizeof(double)));
        inv = w == nullptr ? nullptr : static_cast<double*>(mvxc::Malloc(count * sizeof(double)));
        if (inv == nullptr) {
            std::free(w);
            return Fail(MTH_NOMEMORY);
        }
    }
    std::memcpy(w, a, count * sizeof(double));
    for (std::size_t i = 0; i < count; ++i) inv[i] = 0.0;
    for (int32_t i = 0; i < n; ++i) inv[static_cast<std::ptrdiff_t>(i) * n + i] = 1.0;
    int32_t status = 0;
    if (Invert(n, w, inv))
        std::memcpy(out, inv, count * sizeof(double));
    else
        status = Fail(MTH_SINGULAR_MATRIX);
    if (w != stack_w) {
        std::free(w);
        std::free(inv);
    }
    return status;
}

extern "C" int32_t mth_MatrixInverse(uint32_t /*reserved*/, int32_t n, const double* a,
                                     double* out) {
    return mthi::Inverse(n, a, out);
}
