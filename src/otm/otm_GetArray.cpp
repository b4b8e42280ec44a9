// Copying all objects into a new array, in cycle order.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "otm/otm_int.h"

// Choices: a null tree or count pointer reports OTM_NULLPOINTER; *count is 0
// whenever NULL is returned; the tree is untouched (its cycle included) when
// the array cannot be allocated.
extern "C" void* otm_GetArray(uint32_t options, OTM_TREE* tree, int32_t* count) {
    if (count != nullptr) *count = 0;
    if (tree == nullptr || count == nullptr) {
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    if (tree->count <= 0) {
        tree->cycle = 0;
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(tree->size);
    auto* array =
        static_cast<unsigned char*>(mvxc::Malloc(static_cast<std::size_t>(tree->count) * size));
    if (array == nullptr) {
        mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    const uint32_t order = options & OTM_DESCENDING;
    tree->cycle = 0;
    for (int32_t i = 0; i < tree->count; ++i) {
        const void* object = otm_CycleTree(order, tree);
        if (object == nullptr) { // a broken tree; the cycle reported it
            std::free(array);
            return nullptr;
        }
        std::memcpy(array + static_cast<std::size_t>(i) * size, object, size);
    }
    tree->cycle = 0;
    *count = tree->count;
    return array;
}
