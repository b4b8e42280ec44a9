#include "mvx/ddf.h"

// Called by the last mvx_Terminate. Loaded dictionaries belong to their
// callers and are never freed by the library, and the module keeps nothing
// else, so there is nothing to release.
extern "C" int32_t ddf_Terminate(uint32_t /*options*/) {
    return 0;
}
