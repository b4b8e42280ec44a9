/* MVX module internals. */
#ifndef MVX_MVX_INT_H
#define MVX_MVX_INT_H

#include "mvx/mvx.h"

/* The module's descriptor, copied into the registry by mvx_Initialize. */
extern const MVX_MODULE mvx_Module;

/* One module's Initialize or Terminate. */
using MvxModuleStep = int32_t (*)(uint32_t options);

/*
 * The start-up and shut-down sequences, in the order in which they run.
 * They are tables rather than inline calls so that the order is one list to
 * read, and so that tests can put recorders in place of the steps.
 */
constexpr int kMvxInitSteps = 16;
constexpr int kMvxTermSteps = 6;
extern MvxModuleStep mvx_InitSteps[kMvxInitSteps];
extern MvxModuleStep mvx_TermSteps[kMvxTermSteps];

#endif
