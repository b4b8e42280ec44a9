// Rebalancing after the right side of a subtree shrank by one level (the
// mirror image of otm__BalanceRight).
#include "otm/otm_int.h"

extern "C" void otm__BalanceLeft(OTM_NODE** link, int32_t* shrunk) {
    OTM_NODE* node = *link;
    switch (node->balance) {
    case 1: // it leaned right: now balanced, and one level lower
        node->balance = 0;
        return;
    case 0: // now leans left; the height is unchanged
        node->balance = -1;
        *shrunk = 0;
        return;
    default: // two levels higher on the left: rotate
        break;
    }
    OTM_NODE* left = node->left;
    if (left->balance == 1) {
        otm::RotateDouble(link, -1); // one level lower: the flag stays set
        return;
    }
    otm::RotateRight(link);
    if (left->balance == 0) {
        node->balance = -1;
        left->balance = 1;
        *shrunk = 0;
    } else {
        node->balance = 0;
        left->balance = 0;
    }
}
