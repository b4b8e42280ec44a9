#include <cstdlib>

#include "mth/mth_loops.h"

extern "C" int32_t mth_HorizontalLineLoopIntersect(uint32_t /*reserved*/, double y, int32_t stride,
                                                   int32_t count, const double* loop,
                                                   int32_t* crossings, double** positions) {
    *crossings = 0;
    *positions = nullptr;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    mthi::CrossingList list;
    if (const int32_t status = mthi::ScanCrossings(1, y, stride, count, loop, list)) return status;
    if (list.size() == 0) return 0;
    list.Sort();
    auto* out =
        static_cast<double*>(mvxc::Malloc(static_cast<std::size_t>(list.size()) * sizeof(double)));
    if (out == nullptr) return mthi::Fail(MTH_NOMEMORY);
    for (int32_t i = 0; i < list.size(); ++i)
        out[i] = list[i].position;
    *crossings = list.size();
    *positions = out;
    return 0;
}
