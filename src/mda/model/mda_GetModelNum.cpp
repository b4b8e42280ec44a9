// A model's number from its name.
#include <cstring>

#include "mda/mda_int.h"

extern "C" int32_t mda_GetModelNum(const char* name) {
    if (name == nullptr) return 0;
    for (int32_t n = 1; n <= MDA_MAX_MODELS; ++n) {
        const MDA_MODEL& m = mda__Model[n];
        if (m.in_use != 0 && std::strncmp(m.name, name, sizeof m.name) == 0 &&
            std::strlen(name) < sizeof m.name)
            return n;
    }
    return 0;
}
