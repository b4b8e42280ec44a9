// The first parent of an entity that has a TF.
#include <cstdlib>

#include "mda/mda_backptr_int.h"

extern "C" MDA_PTR mda_IsTFAParent(int32_t tf, MDA_PTR db_ptr) {
    int32_t count = 0;
    MDA_PTR* parents = nullptr;
    if (mda_GetParents(0, db_ptr, &count, &parents) != 0 || count == 0) return 0;
    const MDA_PTR found = mda_IsTFInList(tf, count, parents);
    std::free(parents);
    return found;
}
