// Threading a subtree into the cycle chain.
#include "otm/otm_int.h"

extern "C" void otm__CycleInit(uint32_t options, OTM_NODE* node) {
    const bool descending = (options & OTM_DESCENDING) != 0;
    // Recursion on the side visited first, a loop on the side visited last:
    // the depth stays within the subtree's height.
    while (node != nullptr) {
        otm__CycleInit(options, descending ? node->right : node->left);
        *otm__Node = node;
        otm__Node = &node->link;
        node = descending ? node->left : node->right;
    }
}
