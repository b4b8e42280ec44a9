#include <cstdio>
#include <cstring>

#include "mvx/mvx.h"
#include "mda/mda_int.h"

extern "C" int32_t mda_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_MDA] = mda_Module;
    mda__DbgFile = stdout;

    // ---- Models and the entity directory: every slot free, none current.
    std::memset(mda__Model, 0, sizeof mda__Model);
    for (MDA_MODEL& m : mda__Model)
        m.overflow_fd = -1;
    mda__CurModel = nullptr;
    mda__CurModelNum = 0;
    mda__EntDirBlkSizeMax = 0;
    mda__AppDataList = olm_CreateList(0, 16, 10, 0);
    if (mda__AppDataList == nullptr) return mpm__LastError;
    return 0;
}
