// Dumping a model's named tolerances.
#include <cstdio>

#include "mda/mda_int.h"

extern "C" int32_t mda_DbgDumpTols(uint32_t /*options*/, int32_t model) {
    if (model == 0) return 0;
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    // Only this dump cycles the tolerance tree, and it always runs its
    // cycle to the end, so each dump starts at the first name.
    while (const auto* t = static_cast<const MDA_TOLERANCE*>(otm_CycleTree(0, m->tolerances)))
        std::fprintf(mda__DbgFile, "%s = %g\n", t->name, t->value);
    std::fputs("\n\n", mda__DbgFile);
    return 0;
}
