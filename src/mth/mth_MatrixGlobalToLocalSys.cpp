#include "mth/mth_int.h"

extern "C" int32_t mth_MatrixGlobalToLocalSys(uint32_t option, const double* x, const double* y,
                                              const double* z, const double* origin, double* out) {
    double l[16], inv[16];
    if (int32_t status = mth_MatrixLocalToGlobalSys(1, x, y, z, origin, l); status != 0)
        return status;
    // The axes need not be orthogonal, so this is a true inverse rather
    // than a transposition.
    if (int32_t status = mthi::Inverse(4, l, inv); status != 0) return status;
    mthi::Store34or44(option, inv, out);
    return 0;
}
