// Deleting a tree with all its nodes and objects.
#include <cstdlib>

#include "otm/otm_int.h"

extern "C" int32_t otm_DeleteTree(uint32_t options, OTM_TREE* tree) {
    if (tree == nullptr) return 0;
    // Objects stored by reference belong to the tree as much as copies do,
    // so every object goes (OTM_BYREF is not passed on).
    otm__FreeNode(options & ~static_cast<uint32_t>(OTM_BYREF), tree->root);
    std::free(tree);
    return 0;
}
