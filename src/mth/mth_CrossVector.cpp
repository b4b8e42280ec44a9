#include "mth/mth_int.h"

extern "C" int32_t mth_CrossVector(const double* a, const double* b, double* out) {
    mthi::Cross3(a, b, out);
    return 0;
}
