// The two-children case of a removal: the in-order predecessor's object
// takes the place of the matching one (see otm_RemoveObject.cpp).
#include "otm/otm_int.h"

extern "C" OTM_NODE* otm__RemoveBoth(OTM_NODE** link, OTM_NODE* match, int32_t* shrunk) {
    OTM_NODE* node = *link;
    if (node->right != nullptr) {
        OTM_NODE* taken = otm__RemoveBoth(&node->right, match, shrunk);
        if (*shrunk != 0) otm__BalanceLeft(link, shrunk);
        return taken;
    }
    // The rightmost node: it has no right child, so its left child replaces it.
    otm::SwapObjects(node, match);
    *link = node->left;
    *shrunk = 1;
    return node;
}
