// Inserting an object: the iterative AVL insertion.
//
// Only the deepest node on the search path whose balance is not 0 (the
// critical node) can go out of balance: every node below it on the path is
// balanced and simply tilts towards the new node, every node above it keeps
// its height because the critical node's subtree does. So one descent finds
// the place and the critical node, and at most one rotation at the critical
// node restores the balance.
//
// The compare function is called once per level. The side taken below the
// critical node is recorded as one bit per level, so that tilting the path
// and choosing the rotation need no second call. A tree holds fewer than
// 2^31 objects, and an AVL tree of n nodes is at most 1.44 log2(n + 2) high,
// so 64 bits always suffice.
#include <cstdint>

#include "mvx/mpm.h"
#include "otm/otm_int.h"

namespace {

// The side of the path at one level: +1 right, -1 left.
int32_t Side(uint64_t path, int level) {
    return ((path >> level) & 1U) != 0 ? 1 : -1;
}

} // namespace

extern "C" void* otm_AddObject(uint32_t options, OTM_TREE* tree, void* object) {
    if (tree == nullptr || object == nullptr) {
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    if (tree->root == nullptr) {
        OTM_NODE* node = otm__CreateNode(options, tree, object);
        if (node == nullptr) return nullptr;
        tree->root = node;
        tree->count = 1;
        return node->object;
    }

    const OTM_COMPARE compare = tree->compare;
    OTM_NODE* critical = tree->root;
    OTM_NODE* critical_parent = nullptr;
    OTM_NODE* parent = nullptr;
    OTM_NODE* node = tree->root;
    uint64_t path = 0; // bit i: the side taken i levels below the critical node
    int level = 0;
    int order = 0;
    while (node != nullptr) {
        if (node->balance != 0) {
            critical = node;
            critical_parent = parent;
            path = 0;
            level = 0;
        }
        otm::PrefetchChildren(node);
        order = compare(object, node->object);
        if (order == 0) {
            // Already there: the stored object is the answer. The tree does
            // not change, so a running cycle goes on.
            tree->current = node;
            return node->object;
        }
        if (order > 0) path |= uint64_t{1} << level;
        ++level;
        parent = node;
        node = order < 0 ? node->left : node->right;
    }

    OTM_NODE* added = otm__CreateNode(options, tree, object);
    if (added == nullptr) return nullptr;
    ++tree->count;
    // `order` is still compare(object, parent's object).
    if (order < 0) {
        parent->left = added;
    } else {
        parent->right = added;
    }

    // Tilt every node strictly between the critical node and the new one
    // towards the side the path took. All of them were balanced.
    const int32_t side = Side(path, 0);
    node = side < 0 ? critical->left : critical->right;
    for (int i = 1; node != added; ++i) {
        node->balance = Side(path, i);
        node = node->balance < 0 ? node->left : node->right;
    }

    if (critical->balance == 0) {
        // Only possible at the root: the whole tree grew by one level.
        critical->balance = side;
        return added->object;
    }
    if (critical->balance == -side) {
        // The lower side caught up.
        critical->balance = 0;
        return added->object;
    }

    // The critical node is two levels higher on `side`: rotate it. Its new
    // subtree has the height it had before the insertion.
    OTM_NODE** link = &tree->root;
    if (critical_parent != nullptr) {
        if (critical_parent->left == critical) {
            link = &critical_parent->left;
        } else if (critical_parent->right == critical) {
            link = &critical_parent->right;
        } else {
            mpm__SetError(0, OTM_LOGICERROR, MPM_FATAL);
            return nullptr;
        }
    }
    OTM_NODE* child = side < 0 ? critical->left : critical->right;
    if (child->balance == side) {
        if (side < 0) {
            otm::RotateRight(link);
        } else {
            otm::RotateLeft(link);
        }
        critical->balance = 0;
        child->balance = 0;
    } else {
        otm::RotateDouble(link, side);
    }
    return added->object;
}
