// The first model built on a dictionary.
#include "mda/mda_int.h"

extern "C" int32_t mda_FindModelByDDF(uint32_t /*options*/, const DDF_DICT* ddf, int32_t* model) {
    int32_t found = 0;
    for (int32_t n = 1; n <= MDA_MAX_MODELS && found == 0; ++n) {
        if (mda__Model[n].in_use != 0 && mda__Model[n].ddf == ddf) found = n;
    }
    if (model != nullptr) *model = found;
    return 0;
}
