// Copying a tree.
#include "mvx/mpm.h"
#include "otm/otm_int.h"

namespace {

// Inserts copies of the subtree's objects into `copy` in descending key
// order (right subtree, node, left subtree). Walks the nodes directly, so
// the source's cycle chain and current node are left alone.
bool InsertDescending(OTM_TREE* copy, const OTM_NODE* node) {
    while (node != nullptr) {
        if (!InsertDescending(copy, node->right)) return false;
        if (otm_AddObject(0, copy, node->object) == nullptr) return false;
        node = node->left;
    }
    return true;
}

} // namespace

namespace otm {

// The copy itself, shared with otm_MergeTree, which must not disturb its
// first tree's cycle. Returns the new tree or NULL (reported; nothing left).
OTM_TREE* Copy(const OTM_TREE* tree) {
    OTM_TREE* copy = otm_CreateTree(0, tree->size, tree->compare, tree->user);
    if (copy == nullptr) return nullptr;
    if (!InsertDescending(copy, tree->root)) {
        otm_DeleteTree(0, copy);
        return nullptr;
    }
    return copy;
}

} // namespace otm

extern "C" OTM_TREE* otm_CopyTree(uint32_t /*options*/, OTM_TREE* tree) {
    if (tree == nullptr) {
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    OTM_TREE* copy = otm::Copy(tree);
    // The source's cycle starts over, unless the copy failed: a failed
    // operation leaves its input as it was.
    if (copy != nullptr) tree->cycle = 0;
    return copy;
}
