#include "mvx/cfg.h"

// Called by the last mvx_Terminate. The module does not yet keep state
// that outlives a call, so there is nothing to release; the module's own
// tables, when it gets them, are released here.
extern "C" int32_t cfg_Terminate(uint32_t /*options*/) {
    return 0;
}
