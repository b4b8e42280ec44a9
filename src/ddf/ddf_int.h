/* DDF module internals. */
#ifndef MVX_DDF_INT_H
#define MVX_DDF_INT_H

#include "mvx/ddf.h"

/* The module's descriptor, copied into the registry by ddf_Initialize. */
extern const MVX_MODULE ddf_Module;

#endif
