#include "ugn/ugn_int.h"

// Called by the last mvx_Terminate. The temporary files themselves are the
// application's: only the names are freed.
extern "C" int32_t ugn_Terminate(uint32_t /*options*/) {
    ugn_ReleaseEnvAndTemp();
    return 0;
}
