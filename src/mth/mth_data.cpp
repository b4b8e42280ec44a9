#include "mth/mth_int.h"

extern "C" {
const double mth__XNormal[3] = {1.0, 0.0, 0.0};
const double mth__ZNormal[3] = {0.0, 0.0, 1.0};
}
