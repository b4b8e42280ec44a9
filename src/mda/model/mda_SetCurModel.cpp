// Making a model current, with its dictionary.
#include "mda/mda_int.h"

extern "C" int32_t mda_SetCurModel(int32_t model, int32_t argument) {
    if (model == mda__CurModelNum) return 0;
    if (model != 0 && mda::ModelAt(model) == nullptr)
        return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
    mda::MakeCurrent(model, argument);
    return 0;
}
