#include "mth/mth_int.h"

extern "C" int32_t mth_MatrixLocalToGlobalSys(uint32_t option, const double* x, const double* y,
                                              const double* z, const double* origin, double* out) {
    double u[3][3];
    const double* axes[3] = {x, y, z};
    for (int k = 0; k < 3; ++k)
        if (int32_t status = mthi::Unitize(3, axes[k], u[k]); status != 0) return status;
    double m[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k) m[i * 4 + k] = u[k][i];
        m[i * 4 + 3] = origin[i];
    }
    mthi::Store34or44(option, m, out);
    return 0;
}
