// The module's exported scratch variables.
#include <cstddef>

#include "otm/otm_int.h"

extern "C" {

// The tree a removal is working on; set for the duration of otm_RemoveObject.
OTM_TREE* otm__Tree = nullptr;
// The cycle link to be filled next while otm__CycleInit threads a chain.
OTM_NODE** otm__Node = nullptr;

} // extern "C"

// The node and tree layouts are part of the interface: callers read the fields.
static_assert(sizeof(OTM_NODE) == 40);
static_assert(offsetof(OTM_NODE, balance) == 0);
static_assert(offsetof(OTM_NODE, left) == 8);
static_assert(offsetof(OTM_NODE, right) == 16);
static_assert(offsetof(OTM_NODE, link) == 24);
static_assert(offsetof(OTM_NODE, object) == 32);
static_assert(offsetof(OTM_TREE, root) == 0);
static_assert(offsetof(OTM_TREE, current) == 8);
static_assert(offsetof(OTM_TREE, size) == 16);
static_assert(offsetof(OTM_TREE, count) == 20);
static_assert(offsetof(OTM_TREE, compare) == 24);
static_assert(offsetof(OTM_TREE, cycle) == 32);
static_assert(offsetof(OTM_TREE, user) == 40);
