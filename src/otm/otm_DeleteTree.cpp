// Deleting a tree with all its nodes and objects.
#include <cstdlib>

#include "otm/otm_int.h"

extern "C" int32_t otm_DeleteTree(uint32_t options, OTM_TREE* tree) {
    if (tree == nullptr) return 0;
    otm::TreeStore* store = otm::StoreOf(tree);
    // Nodes and object copies go with the pools' slabs. Objects stored by
    // reference belong to the tree as much as copies do, but each is a block
    // of its own: only then are the nodes walked, to free them (OTM_BYREF is
    // not passed on).
    if (store->by_ref != 0) {
        OTM_TREE* const outer = otm__Tree;
        otm__Tree = tree;
        otm__FreeNode(options & ~static_cast<uint32_t>(OTM_BYREF), tree->root);
        otm__Tree = outer;
    }
    otm::PoolRelease(store->nodes);
    otm::PoolRelease(store->pairs);
    std::free(store);
    return 0;
}
