#include "mth/mth_int.h"

extern "C" int32_t mth_GetIdentMatrix(int32_t rows, int32_t columns, double* out) {
    if (rows < 1 || columns < 1) return 0;
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < columns; ++j)
            out[static_cast<std::ptrdiff_t>(i) * columns + j] = i == j ? 1.0 : 0.0;
    return 0;
}
