// Rebalancing after the left side of a subtree shrank by one level.
#include "otm/otm_int.h"

extern "C" void otm__BalanceRight(OTM_NODE** link, int32_t* shrunk) {
    OTM_NODE* node = *link;
    switch (node->balance) {
    case -1: // it leaned left: now balanced, and one level lower
        node->balance = 0;
        return;
    case 0: // now leans right; the height is unchanged
        node->balance = 1;
        *shrunk = 0;
        return;
    default: // two levels higher on the right: rotate
        break;
    }
    OTM_NODE* right = node->right;
    if (right->balance == -1) {
        otm::RotateDouble(link, 1); // one level lower: the flag stays set
        return;
    }
    otm::RotateLeft(link);
    if (right->balance == 0) {
        // The right child keeps its height under its new root: no change above.
        node->balance = 1;
        right->balance = -1;
        *shrunk = 0;
    } else {
        node->balance = 0;
        right->balance = 0;
    }
}
