// Removing an object: the recursive AVL deletion.
//
// Design note
// -----------
// Invariants of every tree between operations:
//   order    an in-order walk meets the objects in strictly ascending order
//            under the tree's compare function;
//   balance  every node's balance is height(right) - height(left), and it is
//            -1, 0 or +1;
//   count    the tree's count is the number of nodes.
//
// The removal descends recursively from the root (otm__RemoveNode), comparing
// the key at each level. Each level returns, besides the status, a
// height-decreased flag for the subtree it was called on. Taking a node out
// lowers the height of the subtree it hung in by one, so the flag starts set;
// on the way back every level adjusts its balance for the side that shrank
// (otm__BalanceRight when the left side shrank, otm__BalanceLeft when the
// right side shrank):
//   - a node that leaned towards the shrunken side becomes balanced, and its
//     own height drops too: the flag stays set;
//   - a balanced node now leans away from it, its height is unchanged: the
//     flag is cleared and no level above changes;
//   - a node that leaned away is now two levels off and is rotated. After a
//     double rotation, or a single one whose child was not balanced, the
//     subtree is one level lower than before and the flag stays set; a single
//     rotation over a balanced child keeps the height and clears the flag.
// Unlike insertion, one removal may rotate at every level of the path, which
// is why the flag travels all the way up.
//
// A node with at most one child is replaced by that child. A node with two
// children cannot be unlinked in place, so its in-order predecessor (the
// rightmost node of its left subtree, which has no right child) takes its
// place in the order. otm__RemoveBoth finds it, replaces it by its left child
// and exchanges the two nodes' object pointers: the matching node now carries
// the predecessor's object, which still sorts between the two subtrees, so
// the order holds, and the node taken out carries the matching object. No
// object memory moves, so a pointer to the predecessor's object that a caller
// kept stays valid. Since a copied object lives in its node's slot, the
// removal then lets the predecessor's node take the matching node's place
// (links and balance) with its own object back; the matching node leaves with
// the matching object, and their slot is freed whole, or kept, unused, when
// OTM_BYREF hands the object back to the caller.
//
// A missing key is found only at the bottom of the descent, before anything
// has changed; OTM_NOTFOUND then travels up unchanged and no level rebalances.
//
// The recursion needs the tree's compare function at every level; it is
// reached through otm__Tree, which holds the tree for the duration of the
// call (saved and restored, so the variable never names a deleted tree).
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" int32_t otm_RemoveObject(uint32_t options, OTM_TREE* tree, const void* key) {
    if (tree == nullptr || key == nullptr) {
        return mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
    }
    OTM_TREE* const outer = otm__Tree;
    otm__Tree = tree;
    int32_t shrunk = 0;
    const int32_t status = otm__RemoveNode(options, &tree->root, key, &shrunk);
    otm__Tree = outer;
    if (status != 0) return status;
    // The node that was current during the removal may have been freed.
    tree->current = nullptr;
    tree->cycle = 0;
    --tree->count;
    return 0;
}
