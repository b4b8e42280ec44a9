#include <cstring>

#include "mvx/cfg.h"
#include "mvx/ddf.h"
#include "mvx/dof.h"
#include "mvx/eam.h"
#include "mvx/evm.h"
#include "mvx/fmt.h"
#include "mvx/hdb.h"
#include "mvx/map.h"
#include "mvx/mda.h"
#include "mvx/mpm.h"
#include "mvx/mth.h"
#include "mvx/olm.h"
#include "mvx/oqm.h"
#include "mvx/osm.h"
#include "mvx/otm.h"
#include "mvx/ugn.h"
#include "mvx/mvx.h"
#include "mvx/mvx_int.h"

// The containers come before mpm, whose start-up creates trees and lists;
// mpm before fmt, which registers directives in mpm's tree; ddf before mda.
MvxModuleStep mvx_InitSteps[kMvxInitSteps] = {
    hdb_Initialize, olm_Initialize, oqm_Initialize, osm_Initialize, otm_Initialize, ugn_Initialize,
    mpm_Initialize, ddf_Initialize, mda_Initialize, evm_Initialize, eam_Initialize, mth_Initialize,
    fmt_Initialize, cfg_Initialize, dof_Initialize, map_Initialize,
};

extern "C" int32_t mvx_Initialize(uint32_t /*options*/) {
    if (mvx__IntializeIdx == 0) {
        mvx_ResetElapsedTime(0);
        std::memset(mvx__Table, 0, sizeof mvx__Table);
        std::memset(mvx__SysFile, 0, sizeof mvx__SysFile);
        mvx__Table[MVX_MODULE_MVX] = mvx_Module;
        for (MvxModuleStep step : mvx_InitSteps)
            step(0);
    }
    ++mvx__IntializeIdx;
    return 0;
}
