/* Internals of the entity traversal, shared by its operations. */
#ifndef MVX_MDA_TRAVERSE_INT_H
#define MVX_MDA_TRAVERSE_INT_H

#include "mda/mda_int.h"

namespace mdatrav {

/* Bytes a walk level may touch: [lo, hi). */
struct Region {
    char* lo;
    char* hi;
};

/* Walks one level of ddf__Current's descriptors, from first up to (not
 * including) run_end, its data starting at data inside region. The
 * dictionary must be current; see mda__TraverseEntity. */
int32_t WalkLevel(int32_t mode, void* entity, char* data, const DDF_FIELD* first,
                  const DDF_FIELD* run_end, Region region, MDA_FIELD_VISITOR visitor);

/* The region of a body: the data of its plain block; reports MDA_NULL_MEMPTR
 * or MDA_BAD_MBLOCK. */
int32_t BodyRegion(void* entity, Region* region);

/* Reports the walk's internal error (a dictionary or entity that the walk
 * cannot follow within its bounds) and returns it. */
int32_t Broken();

} // namespace mdatrav

#endif
