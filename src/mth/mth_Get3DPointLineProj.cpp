#include "mth/mth_int.h"

extern "C" int32_t mth_Get3DPointLineProj(const double* a, const double* b, const double* q,
                                          double* foot, double* distance) {
    double t;
    const int32_t status = mth_PointToLine(0, a, b, q, foot, &t);
    *distance = std::sqrt(mthi::SquaredDistance(3, q, foot));
    return status;
}
