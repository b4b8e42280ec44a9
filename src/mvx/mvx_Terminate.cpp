#include "mvx/cfg.h"
#include "mvx/ddf.h"
#include "mvx/map.h"
#include "mvx/mda.h"
#include "mvx/mpm.h"
#include "mvx/ugn.h"
#include "mvx/mvx_int.h"

// The message module goes last so that the others can still report while
// they shut down. The other modules hold nothing that needs releasing.
MvxModuleStep mvx_TermSteps[kMvxTermSteps] = {
    map_Terminate, cfg_Terminate, ugn_Terminate, mda_Terminate, ddf_Terminate, mpm_Terminate,
};

extern "C" int32_t mvx_Terminate(uint32_t /*options*/) {
    if (mvx__IntializeIdx == 1) {
        for (MvxModuleStep step : mvx_TermSteps)
            step(0);
    }
    if (mvx__IntializeIdx >= 1) --mvx__IntializeIdx;
    return 0;
}
