// The relation of two loops: separate boxes, crossing edges, then the runs
// of one scan line's crossings through the middle of the common y range.
#include <cstdio>

#include "mth/mth_loops.h"

namespace {

// The segment boxes of a-b and c-d share a point (touching counts).
bool BoxesMeet(const double* a, const double* b, const double* c, const double* d) {
    return std::fmax(a[0], b[0]) >= std::fmin(c[0], d[0]) &&
           std::fmax(c[0], d[0]) >= std::fmin(a[0], b[0]) &&
           std::fmax(a[1], b[1]) >= std::fmin(c[1], d[1]) &&
           std::fmax(c[1], d[1]) >= std::fmin(a[1], b[1]);
}

bool Inside(double t) {
    return t > mthi::kZero && t < 1.0 - mthi::kZero;
}

} // namespace

extern "C" int32_t mth_LoopInnerOuter(uint32_t /*reserved*/, int32_t stride, int32_t count1,
                                      const double* loop1, int32_t count2, const double* loop2,
                                      int32_t* result) {
    using mthi::At;
    *result = 2;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    const mthi::Box b1 = mthi::LoopBox(stride, count1, loop1),
                    b2 = mthi::LoopBox(stride, count2, loop2);
    // Written as "not overlapping" so that empty (and NaN) boxes are separate.
    if (!(b1.max_x >= b2.min_x && b2.max_x >= b1.min_x && b1.max_y >= b2.min_y &&
          b2.max_y >= b1.min_y))
        return 0;
    if (std::fabs(b1.min_x - b2.min_x) <= mthi::kZero &&
        std::fabs(b1.max_x - b2.max_x) <= mthi::kZero &&
        std::fabs(b1.min_y - b2.min_y) <= mthi::kZero &&
        std::fabs(b1.max_y - b2.max_y) <= mthi::kZero) {
        std::fputs("Error: mth_LoopInnerOuter sees the same bounding \n", stdout);
        return 0;
    }
    // Crossing edges. An edge of zero length is parallel to everything, and
    // edges whose boxes are apart cannot cross, so both are passed over.
    for (int32_t i = 0; i < count1; ++i) {
        const double* a = At(loop1, stride, i);
        const double* b = At(loop1, stride, i + 1 < count1 ? i + 1 : 0);
        const double d1[2] = {b[0] - a[0], b[1] - a[1]};
        if (d1[0] == 0.0 && d1[1] == 0.0) continue;
        for (int32_t j = 0; j < count2; ++j) {
            const double* c = At(loop2, stride, j);
            const double* d = At(loop2, stride, j + 1 < count2 ? j + 1 : 0);
            if (!BoxesMeet(a, b, c, d)) continue;
            const double d2[2] = {d[0] - c[0], d[1] - c[1]};
            double t1 = 0.0, t2 = 0.0;
            if (mth_Intersect2DLines(1, 1e-7, a, d1, c, d2, &t1, &t2, nullptr) == 0 && Inside(t1) &&
                Inside(t2)) {
                *result = 0;
                return MTH_INTERSECTED_LOOPS;
            }
        }
    }
    const double y = (std::fmax(b1.min_y, b2.min_y) + std::fmin(b1.max_y, b2.max_y)) / 2;
    mthi::CrossingList list;
    int32_t status = mthi::ScanCrossings(1, y, stride, count1, loop1, list);
    if (status == 0) status = mthi::ScanCrossings(2, y, stride, count2, loop2, list);
    if (status != 0) return status;
    list.Sort();
    // The first change of loop after a run of odd length: that run's loop
    // holds the other there.
    for (int32_t i = 0; i < list.size();) {
        int32_t j = i;
        while (j < list.size() && list[j].tag == list[i].tag)
            ++j;
        if (j < list.size() && (j - i) % 2 == 1) {
            *result = list[i].tag == 1 ? 1 : -1;
            return 0;
        }
        i = j;
    }
    return 0;
}
