// One level of the recursive removal (see otm_RemoveObject.cpp).
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" int32_t otm__RemoveNode(uint32_t options, OTM_NODE** link, const void* key,
                                   int32_t* shrunk) {
    OTM_NODE* node = *link;
    if (node == nullptr) {
        *shrunk = 0;
        return mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    }
    otm::PrefetchChildren(node);
    const int order = otm__Tree->compare(key, node->object);
    if (order < 0) {
        const int32_t status = otm__RemoveNode(options, &node->left, key, shrunk);
        if (status == 0 && *shrunk != 0) otm__BalanceRight(link, shrunk);
        return status;
    }
    if (order > 0) {
        const int32_t status = otm__RemoveNode(options, &node->right, key, shrunk);
        if (status == 0 && *shrunk != 0) otm__BalanceLeft(link, shrunk);
        return status;
    }

    otm__Tree->current = node;
    if (node->right == nullptr) {
        *link = node->left;
        *shrunk = 1;
        otm::FreeOne(otm::StoreOf(otm__Tree), options, node);
    } else if (node->left == nullptr) {
        *link = node->right;
        *shrunk = 1;
        otm::FreeOne(otm::StoreOf(otm__Tree), options, node);
    } else {
        OTM_NODE* taken = otm__RemoveBoth(&node->left, node, shrunk);
        // The predecessor's node takes the matching node's place and its own
        // object back: every node again carries the copy in its own slot, and
        // the matching node leaves with its object, freeing their whole slot.
        // Read node's links only now: the rebalancing below it may have
        // changed its left child.
        taken->balance = node->balance;
        taken->left = node->left;
        taken->right = node->right;
        otm::SwapObjects(taken, node);
        *link = taken;
        otm::FreeOne(otm::StoreOf(otm__Tree), options, node);
        if (*shrunk != 0) otm__BalanceRight(link, shrunk);
    }
    return 0;
}
