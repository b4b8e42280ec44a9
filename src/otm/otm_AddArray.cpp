// Inserting the objects of an array.
#include <cstddef>

#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" int32_t otm_AddArray(uint32_t /*options*/, OTM_TREE* tree, int32_t count,
                                const void* array) {
    if (tree == nullptr || array == nullptr) {
        return mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
    }
    if (count <= 0) {
        return mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, static_cast<int>(count));
    }
    const auto* bytes = static_cast<const unsigned char*>(array);
    const auto size = static_cast<std::size_t>(tree->size);
    for (int32_t i = 0; i < count; ++i) {
        // Inserted as a copy (option 0): the array itself is never stored,
        // so handing out a const object to otm_AddObject is safe.
        void* object = const_cast<unsigned char*>(bytes + static_cast<std::size_t>(i) * size);
        if (otm_AddObject(0, tree, object) == nullptr) return mpm__LastError;
    }
    return 0;
}
