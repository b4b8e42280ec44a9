#include "mvx/mvx.h"
#include "fmt/fmt_int.h"

extern "C" int32_t fmt_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_FMT] = fmt_Module;
    return 0;
}
