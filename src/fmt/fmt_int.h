/* FMT module internals. */
#ifndef MVX_FMT_INT_H
#define MVX_FMT_INT_H

#include "mvx/fmt.h"

/* The module's descriptor, copied into the registry by fmt_Initialize. */
extern const MVX_MODULE fmt_Module;

#endif
