// Allocating the node of a new object.
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" OTM_NODE* otm__CreateNode(uint32_t options, OTM_TREE* tree, void* object) {
    auto* node = static_cast<OTM_NODE*>(mvxc::Malloc(sizeof(OTM_NODE)));
    if (node == nullptr) {
        mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    void* stored = object;
    if ((options & OTM_BYREF) == 0) {
        stored = mvxc::Malloc(static_cast<std::size_t>(tree->size));
        if (stored == nullptr) {
            std::free(node);
            mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
            return nullptr;
        }
        std::memcpy(stored, object, static_cast<std::size_t>(tree->size));
    }
    node->balance = 0;
    node->left = nullptr;
    node->right = nullptr;
    node->link = nullptr;
    node->object = stored;
    // A new object changes the tree: it becomes current and any running
    // cycle starts over.
    tree->current = node;
    tree->cycle = 0;
    return node;
}
