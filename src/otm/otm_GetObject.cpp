// Finding an object by key.
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" void* otm_GetObject(uint32_t options, OTM_TREE* tree, const void* key) {
    if (tree == nullptr || key == nullptr) {
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    const OTM_COMPARE compare = tree->compare;
    OTM_NODE* node = tree->root;
    while (node != nullptr) {
        otm::PrefetchChildren(node);
        const int order = compare(key, node->object);
        if (order == 0) {
            // The found node becomes current; a running cycle continues
            // after it.
            tree->current = node;
            return node->object;
        }
        node = order < 0 ? node->left : node->right;
    }
    if ((options & OTM_QUIET) == 0) mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    return nullptr;
}
