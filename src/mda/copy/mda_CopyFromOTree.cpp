// Copying an object tree, in its order, into a block owned by an entity.
#include <cstring>

#include "mda/mda_copy_int.h"

namespace {

// Copies the objects under node in ascending order; returns the position
// after them.
char* CopyInOrder(const OTM_NODE* node, char* out, int32_t size) {
    while (node != nullptr) {
        out = CopyInOrder(node->left, out, size);
        std::memcpy(out, node->object, static_cast<size_t>(size));
        out += size;
        node = node->right;
    }
    return out;
}

} // namespace

extern "C" int32_t mda_CopyFromOTree(uint32_t options, void* entity, OTM_TREE* tree, int32_t* count,
                                     void** array) {
    return mdacp::CopyOut(options, entity, tree, tree != nullptr ? tree->count : 0,
                          tree != nullptr ? tree->size : 0, count, array,
                          [tree](char* out) { CopyInOrder(tree->root, out, tree->size); });
}
