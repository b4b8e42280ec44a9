/* OTM module internals. */
#ifndef MVX_OTM_INT_H
#define MVX_OTM_INT_H

#include <cstdlib>

#include "mvx/otm.h"

/* The module's descriptor, copied into the registry by otm_Initialize. */
extern const MVX_MODULE otm_Module;

namespace otm {

/*
 * Rotations shared by insertion and removal. Each takes the link that holds
 * the subtree's root (a parent's child field or the tree's root field) and
 * stores the new subtree root in it.
 *
 * Single rotations only move pointers: insertion and removal set the two
 * balances differently, so their callers do it.
 */

/* The right child r of *link becomes the subtree root; *link's node becomes
 * r's left child and takes over r's former left subtree. Returns r. */
inline OTM_NODE* RotateLeft(OTM_NODE** link) {
    OTM_NODE* node = *link;
    OTM_NODE* right = node->right;
    node->right = right->left;
    right->left = node;
    *link = right;
    return right;
}

/* Mirror image of RotateLeft: the left child becomes the subtree root. */
inline OTM_NODE* RotateRight(OTM_NODE** link) {
    OTM_NODE* node = *link;
    OTM_NODE* left = node->left;
    node->left = left->right;
    left->right = node;
    *link = left;
    return left;
}

/*
 * Double rotations. The node at *link is two levels higher on side `side`
 * (+1 right, -1 left) and its child c on that side leans the other way; c's
 * inner child g becomes the subtree root with balance 0. g's former balance
 * tells which of g's subtrees was the higher one and so which of the two
 * nodes ends up one level short on its outer side:
 *   g leaned towards side:  node gets -side, c gets 0;
 *   g leaned away:          node gets 0,     c gets side;
 *   g balanced:             both 0.
 * The same result holds after an insertion and after a removal.
 */
inline OTM_NODE* RotateDouble(OTM_NODE** link, int32_t side) {
    OTM_NODE* node = *link;
    OTM_NODE* child;
    OTM_NODE* pivot;
    if (side > 0) {
        child = node->right;
        pivot = child->left;
        node->right = pivot->left;
        child->left = pivot->right;
        pivot->left = node;
        pivot->right = child;
    } else {
        child = node->left;
        pivot = child->right;
        node->left = pivot->right;
        child->right = pivot->left;
        pivot->right = node;
        pivot->left = child;
    }
    node->balance = pivot->balance == side ? -side : 0;
    child->balance = pivot->balance == -side ? side : 0;
    pivot->balance = 0;
    *link = pivot;
    return pivot;
}

/*
 * Starts loading both children of a node the descent is at. The compare
 * that picks one of them waits for the node's object, which usually misses
 * the cache in a large tree; meanwhile the next node is already on its way,
 * so a level costs about one memory latency instead of two. Prefetching
 * never faults, so null children are fine.
 */
inline void PrefetchChildren(const OTM_NODE* node) {
    __builtin_prefetch(node->left);
    __builtin_prefetch(node->right);
}

/* Frees one node taken out of a tree, and its object unless OTM_BYREF
 * hands the object back to the caller. */
inline void FreeOne(uint32_t options, OTM_NODE* node) {
    if ((options & OTM_BYREF) == 0) std::free(node->object);
    std::free(node);
}

/* Returns a new tree with the same object size, compare function and user
 * word holding copies of tree's objects, inserted in descending key order,
 * or NULL (reported; nothing is left behind). The source is not touched, its
 * cycle included. */
OTM_TREE* Copy(const OTM_TREE* tree);

} // namespace otm

#endif
