#include "mda/mda_int.h"

// Called by the last mvx_Terminate.
extern "C" int32_t mda_Terminate(uint32_t /*options*/) {
    // ---- Models and the entity directory: free the models in number
    // order; a failure stops the walk (that model is freed all the same).
    int32_t status = 0;
    for (int32_t n = 1; n <= MDA_MAX_MODELS && status == 0; ++n) {
        if (mda__Model[n].in_use != 0) status = mda_FreeModel(0, n);
    }
    if (mda__AppDataList != nullptr) olm_DeleteList(0, mda__AppDataList);
    mda__AppDataList = nullptr;
    mdamb::ReleaseReused();
    return status;
}
