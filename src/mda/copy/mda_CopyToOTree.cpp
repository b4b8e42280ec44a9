// Adding an array's objects to an object tree.
#include "mda/mda_int.h"

extern "C" int32_t mda_CopyToOTree(uint32_t /*options*/, OTM_TREE* tree, int32_t count,
                                   const void* array) {
    if (count <= 0) return 0;
    if (tree == nullptr || array == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const char* object = static_cast<const char*>(array);
    for (int32_t i = 0; i < count; ++i, object += tree->size)
        if (otm_AddObject(0, tree, const_cast<char*>(object)) == nullptr) return mpm__LastError;
    return 0;
}
