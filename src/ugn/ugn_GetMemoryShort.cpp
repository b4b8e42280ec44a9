// ugn_GetMemoryShort: allocates an array in one call, zeroed with mode 1.
#include "common/common_alloc.h"
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_GetMemoryShort(int32_t mode, int32_t count, int32_t size, void** block) {
    if (block == nullptr || count < 0 || size < 0) return 1;
    const auto n = static_cast<std::size_t>(count);
    const auto element = static_cast<std::size_t>(size);
    void* fresh = mode == 1 ? mvxc::Calloc(n, element) : mvxc::Malloc(n * element);
    if (fresh == nullptr) return 1;
    *block = fresh;
    return 0;
}
