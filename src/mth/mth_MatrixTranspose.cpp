#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

extern "C" int32_t mth_MatrixTranspose(uint32_t /*reserved*/, int32_t r, int32_t c,
                                       const double* a, double* out) {
    if (r < 1 || c < 1) return 0;
    const std::size_t count = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    // Through a copy, so that out may be a.
    auto* copy = static_cast<double*>(mvxc::Malloc(count * sizeof(double)));
    if (copy == nullptr) return mthi::Fail(MTH_NOMEMORY);
    std::memcpy(copy, a, count * sizeof(double));
    for (int32_t i = 0; i < r; ++i)
        for (int32_t j = 0; j < c; ++j)
            out[static_cast<std::ptrdiff_t>(j) * r + i] = copy[static_cast<std::ptrdiff_t>(i) * c + j];
    std::free(copy);
    return 0;
}
