// Freeing a subtree: left subtree, object, node, right subtree.
#include <cstdlib>

#include "otm/otm_int.h"

extern "C" void otm__FreeNode(uint32_t options, OTM_NODE* node) {
    // Slots go back to the pools of the tree being worked on; without one
    // there is nowhere to put them, and nothing is freed.
    if (otm__Tree == nullptr) return;
    otm::TreeStore* store = otm::StoreOf(otm__Tree);
    // Recursion depth is the subtree's height, at most about 1.44 log2(n).
    while (node != nullptr) {
        otm__FreeNode(options, node->left);
        OTM_NODE* right = node->right;
        otm::FreeOne(store, options, node);
        // The right subtree is freed by the loop rather than a tail call.
        node = right;
    }
}
