/* MTH module internals. */
#ifndef MVX_MTH_INT_H
#define MVX_MTH_INT_H

#include "mvx/mth.h"

/* The module's descriptor, copied into the registry by mth_Initialize. */
extern const MVX_MODULE mth_Module;

#endif
