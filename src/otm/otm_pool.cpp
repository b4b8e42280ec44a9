// The slab pools a tree takes its nodes and object copies from (see
// otm_int.h).
#include <algorithm>

#include "common/common_alloc.h"
#include "otm/otm_int.h"

namespace otm {

void PoolInit(Pool& pool, std::size_t size) {
    pool = Pool{};
    // At least a free-list link, and a multiple of 8 like every node. An
    // object that may need 16-byte alignment has a size that is a multiple
    // of 16 and starts 16 bytes into its slot, so its slots are multiples of
    // 16; slabs start their slots on a cache line.
    pool.slot = (std::max<std::size_t>(size, sizeof(void*)) + 7) & ~std::size_t{7};
    // A large slot starts with fewer slots, down to one per slab.
    pool.grow = std::clamp<std::size_t>(kSlabBytes / pool.slot, 1, kFirstSlots);
}

void* PoolGrow(Pool& pool) {
    const std::size_t slots = pool.grow;
    // Room for the header and for moving the first slot to a line boundary.
    auto* slab = static_cast<Slab*>(mvxc::Malloc(kLine + slots * pool.slot));
    if (slab == nullptr) return nullptr;
    slab->next = pool.slabs;
    pool.slabs = slab;
    const auto header_end = reinterpret_cast<uintptr_t>(slab + 1);
    char* first = reinterpret_cast<char*>(slab) + ((header_end + kLine - 1) & ~(kLine - 1)) -
                  reinterpret_cast<uintptr_t>(slab);
    pool.next = first + pool.slot;
    pool.end = first + slots * pool.slot;
    // Twice the slots next time, as long as the slab stays within
    // kSlabBytes; a slot larger than that gets a slab of its own.
    if (2 * slots * pool.slot <= kSlabBytes) pool.grow = 2 * slots;
    return first;
}

void PoolRelease(Pool& pool) {
    for (Slab* slab = pool.slabs; slab != nullptr;) {
        Slab* next = slab->next;
        std::free(slab);
        slab = next;
    }
    pool.slabs = nullptr;
    pool.free = pool.next = pool.end = nullptr;
}

} // namespace otm
