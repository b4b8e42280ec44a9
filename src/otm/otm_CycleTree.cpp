// Handing out the objects one by one in key order.
//
// The first call of a cycle threads the whole tree into a chain through the
// nodes' link fields (one O(n) walk); every later call follows one link from
// the current node. Finding an object, or adding one that is stored already,
// makes its node current, so a running cycle continues after that node.
// Inserting a new object or removing one changes the tree and restarts the
// cycle.
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" void* otm_CycleTree(uint32_t options, OTM_TREE* tree) {
    if (tree == nullptr) return nullptr;
    ++tree->cycle;
    if (tree->cycle > tree->count) {
        // The end of the cycle; the next call starts a new one.
        tree->cycle = 0;
        return nullptr;
    }
    OTM_NODE* node;
    if (tree->cycle == 1) {
        OTM_NODE* first = nullptr;
        otm__Node = &first;
        otm__CycleInit(options, tree->root);
        *otm__Node = nullptr; // ends the chain
        otm__Node = nullptr;
        node = first;
    } else {
        node = tree->current != nullptr ? tree->current->link : nullptr;
    }
    if (node == nullptr || node->object == nullptr) {
        // The count promises another object but the chain has none: the
        // current node was moved past the end by a find during the cycle,
        // or the tree is broken.
        tree->cycle = 0;
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    tree->current = node;
    return node->object;
}
