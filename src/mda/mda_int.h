/* MDA module internals. */
#ifndef MVX_MDA_INT_H
#define MVX_MDA_INT_H

#include "mvx/mda.h"

/* The module's descriptor, copied into the registry by mda_Initialize. */
extern const MVX_MODULE mda_Module;

#endif
