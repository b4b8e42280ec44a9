// Helpers shared by locking, the cache and swapping: finding a live entry,
// the cache's order list, describing a chain and rebuilding one from its
// stored form (mda__SwapToDisk.cpp explains that form), copies of a chain,
// and what happens to an entity found corrupted or released.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_cache_int.h"

namespace mdac {

using mdamb::Addr;
using mdamb::kArrayData;
using mdamb::kHeader;

MDA_DIR_ENTRY* LiveEntry(MDA_PTR db_ptr, MDA_MODEL** m) {
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    *m = mda::ModelAt(model);
    if (*m == nullptr || n == 0 || n >= (*m)->next_entity) {
        mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
        return nullptr;
    }
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
    if (e == nullptr) return nullptr;
    if ((e->status & (MDA_DELETED | MDA_RESERVED)) != 0) {
        mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
        return nullptr;
    }
    return e;
}

void* PeekBody(MDA_PTR db_ptr, int32_t* status) {
    MDA_MODEL* m = nullptr;
    const MDA_DIR_ENTRY* e = LiveEntry(db_ptr, &m);
    *status = e == nullptr ? mpm__LastError : 0;
    if (e == nullptr || e->mloc != nullptr) return e != nullptr ? e->mloc : nullptr;
    return mda::MemoryOnly(m) ? StoredCopy(e) : nullptr;
}

void PrefetchBody(MDA_PTR db_ptr) {
    const MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(db_ptr));
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    if (m == nullptr || n <= 0 || n >= m->next_entity || mda::Bounded(m)) return;
    const MDA_DIR_ENTRY* e =
        &m->dir_table[n >> MDA_DIR_BLOCK_SHIFT][n & (MDA_DIR_BLOCK_ENTRIES - 1)];
    if ((e->status & (MDA_DELETED | MDA_RESERVED)) != 0) return;
    const void* body = e->mloc != nullptr ? e->mloc : mda::MemoryOnly(m) ? StoredCopy(e) : nullptr;
    if (body == nullptr) return;
    // The header and the first fields: the part of the body that copying
    // and most other reads start with.
    const char* block = static_cast<const char*>(body) - mdamb::kHeader;
    __builtin_prefetch(block);
    __builtin_prefetch(block + 64);
}

void FreeBody(void* body) {
    if (body != nullptr) mdamb::FreeChain(mdamb::HeaderOf(body, false));
}

bool HasCopy(const MDA_MODEL* m, const MDA_DIR_ENTRY* e) {
    return mda::MemoryOnly(m) ? e->dloc != 0 : e->dloc != -1;
}

// ---- The cache's order list ------------------------------------------------

namespace {

void Unlink(MDA_MODEL* m, int32_t slot) {
    MDA_CACHE_SLOT& s = m->cache[slot];
    if (s.prev >= 0) {
        m->cache[s.prev].next = s.next;
    } else {
        m->cache_head = s.next >= 0 ? static_cast<uint16_t>(s.next) : MDA_CACHE_NONE;
    }
    if (s.next >= 0) {
        m->cache[s.next].prev = s.prev;
    } else {
        m->cache_tail = s.prev >= 0 ? static_cast<uint16_t>(s.prev) : MDA_CACHE_NONE;
    }
    s.prev = s.next = -1;
}

} // namespace

void MoveToHead(MDA_MODEL* m, int32_t slot) {
    if (m->cache_head == slot) return;
    Unlink(m, slot);
    MDA_CACHE_SLOT& s = m->cache[slot];
    if (m->cache_head == MDA_CACHE_NONE) {
        m->cache_tail = static_cast<uint16_t>(slot);
    } else {
        s.next = static_cast<int16_t>(m->cache_head);
        m->cache[m->cache_head].prev = static_cast<int16_t>(slot);
    }
    m->cache_head = static_cast<uint16_t>(slot);
}

void MoveToTail(MDA_MODEL* m, int32_t slot) {
    if (m->cache_tail == slot) return;
    Unlink(m, slot);
    MDA_CACHE_SLOT& s = m->cache[slot];
    if (m->cache_tail == MDA_CACHE_NONE) {
        m->cache_head = static_cast<uint16_t>(slot);
    } else {
        s.prev = static_cast<int16_t>(m->cache_tail);
        m->cache[m->cache_tail].next = static_cast<int16_t>(slot);
    }
    m->cache_tail = static_cast<uint16_t>(slot);
}

// ---- Chain tables ------------------------------------------------------------

ChainTable::~ChainTable() {
    if (links_ != inline_) std::free(links_);
}

bool ChainTable::Reserve(int32_t n) {
    if (n <= capacity_) return true;
    int64_t grown = std::max<int64_t>(n, int64_t{capacity_} * 2);
    if (grown > INT32_MAX / 2) grown = n;
    auto* bigger =
        static_cast<ChainLink*>(mvxc::Malloc(static_cast<size_t>(grown) * sizeof(ChainLink)));
    if (bigger == nullptr) return false;
    // Every record so far, whether or not the caller has counted it yet.
    std::memcpy(static_cast<void*>(bigger), links_, static_cast<size_t>(capacity_) * sizeof *links_);
    if (links_ != inline_) std::free(links_);
    links_ = bigger;
    capacity_ = static_cast<int32_t>(grown);
    return true;
}

namespace {

// Chains are stored in one block of the paged file, whose size is 32 bits.
constexpr int64_t kMaxChainBytes = UINT32_MAX;

bool HeaderLooksRight(const MDA_MBLOCK* b) {
    if (b->marker != MDA_MBLOCK_MARKER || b->size < kHeader || (b->size & 3) != 0) return false;
    if (b->type == MDA_MBLOCK_ARRAY) return b->size >= kArrayData;
    return b->type == MDA_MBLOCK_PLAIN;
}

// True when the 8-byte pointer at address lies in the data of block.
bool Holds(const MDA_MBLOCK* block, uintptr_t address) {
    return address >= Addr(block) + kHeader && address + sizeof(void*) <= mdamb::EndOf(block);
}

// The position of the block whose data holds the pointer at address, or -1.
// Short chains are searched as written (the body first, where most pointers
// lie, then from the last block back); long ones through an index sorted by
// address.
struct Finder {
    ChainTable* table;
    int32_t* order = nullptr; // positions sorted by block address (long chains)

    ~Finder() { std::free(order); }

    bool Prepare() {
        const int32_t n = table->size();
        if (n <= kInlineBlocks) return true;
        order = static_cast<int32_t*>(mvxc::Malloc(static_cast<size_t>(n) * sizeof(int32_t)));
        if (order == nullptr) return false;
        for (int32_t i = 0; i < n; ++i)
            order[i] = i;
        ChainTable& t = *table;
        std::sort(order, order + n,
                  [&t](int32_t a, int32_t b) { return Addr(t[a].block) < Addr(t[b].block); });
        return true;
    }

    int32_t Find(uintptr_t address) const {
        ChainTable& t = *table;
        const int32_t n = t.size();
        if (Holds(t[0].block, address)) return 0;
        if (order == nullptr) {
            for (int32_t i = n - 1; i > 0; --i)
                if (Holds(t[i].block, address)) return i;
            return -1;
        }
        // The last block that starts at or before the address.
        const int32_t* begin = order;
        const int32_t* end = order + n;
        const int32_t* at = std::upper_bound(begin, end, address, [&t](uintptr_t a, int32_t i) {
            return a < Addr(t[i].block);
        });
        if (at == begin) return -1;
        const int32_t i = *(at - 1);
        return Holds(t[i].block, address) ? i : -1;
    }
};

} // namespace

ChainResult Describe(void* body, ChainTable* table, int64_t* total) {
    int32_t n = 0;
    int64_t bytes = 0;
    for (MDA_MBLOCK* b = mdamb::HeaderOf(body, false); b != nullptr; b = b->next) {
        // The byte limit also ends the walk of a chain that loops.
        if (!HeaderLooksRight(b) || (bytes += b->size) > kMaxChainBytes) return ChainResult::kCorrupt;
        if (!table->Reserve(n + 1)) return ChainResult::kNoMemory;
        (*table)[n++] = ChainLink{b, b->referrer, nullptr, kNoHolder, 0};
    }
    table->set_size(n);
    *total = bytes;
    if ((*table)[0].block->type != MDA_MBLOCK_PLAIN) return ChainResult::kCorrupt;

    Finder finder{table};
    if (!finder.Prepare()) return ChainResult::kNoMemory;
    for (int32_t i = 0; i < n; ++i) {
        ChainLink& link = (*table)[i];
        if (i == n - 1) {
            if (link.referrer != nullptr) return ChainResult::kCorrupt;
            break;
        }
        const int32_t holder = finder.Find(Addr(link.referrer));
        if (holder < 0) return ChainResult::kCorrupt;
        link.holder = holder;
        link.offset = static_cast<int64_t>(Addr(link.referrer) - Addr((*table)[holder].block));
        link.value = *link.referrer;
    }
    return ChainResult::kOk;
}

namespace {

// Moves an array's row tables from the address its header recorded to the
// one it has now. False when the header or a table entry is out of range.
bool RelocateArray(MDA_MBLOCK* b) {
    MDA_ARRAY_HDR* a = mdamb::ArrayOf(b);
    const int64_t data = b->size - kHeader;
    if (a->ndims < 2 || a->ndims > MDA_MAX_DIMS || a->row_ptrs < 1) return false;
    const int64_t elem_offset = (MDA_ARRAY_HDR_SIZE + 8 * int64_t{a->row_ptrs} + 7) & ~int64_t{7};
    if (a->elem_offset != elem_offset || elem_offset > data) return false;
    const uintptr_t old = Addr(a->self);
    const uintptr_t now = Addr(a);
    auto* tables = reinterpret_cast<uintptr_t*>(reinterpret_cast<char*>(a) + MDA_ARRAY_HDR_SIZE);
    for (int32_t k = 0; k < a->row_ptrs; ++k) {
        if (tables[k] - old > static_cast<uintptr_t>(data)) return false;
        tables[k] = tables[k] - old + now;
    }
    a->self = a;
    return true;
}

} // namespace

ChainResult Rebuild(ChainTable& t) {
    const int32_t n = t.size();
    for (int32_t i = 0; i < n; ++i) {
        MDA_MBLOCK* b = t[i].block;
        if (b->type == MDA_MBLOCK_ARRAY && !RelocateArray(b)) return ChainResult::kCorrupt;
    }
    // A pointer held by any block but the body is a referrer outside the
    // head (mda_int.h, kFarReferrer).
    bool far = false;
    for (int32_t i = 0; i < n; ++i) {
        MDA_MBLOCK* b = t[i].block;
        const int32_t holder = b->disk;
        const auto offset = static_cast<int64_t>(Addr(b->referrer));
        b->disk = 0;
        if (i == n - 1) {
            if (holder != kNoHolder) return ChainResult::kCorrupt;
            b->referrer = nullptr;
            b->next = nullptr;
            break;
        }
        if (holder < 0 || holder >= n) return ChainResult::kCorrupt;
        far = far || holder != 0;
        MDA_MBLOCK* h = t[holder].block;
        if (offset < kHeader || offset + static_cast<int64_t>(sizeof(void*)) > h->size)
            return ChainResult::kCorrupt;
        auto** referrer = reinterpret_cast<void**>(reinterpret_cast<char*>(h) + offset);
        if (static_cast<uint32_t>(Addr(*referrer)) != static_cast<uint32_t>(i + 1))
            return ChainResult::kCorrupt;
        *referrer = mdamb::DataOf(t[i + 1].block);
        b->referrer = referrer;
        b->next = t[i + 1].block;
    }
    MDA_MBLOCK* head = t[0].block;
    head->flags = static_cast<uint8_t>(far ? head->flags | mdamb::kFarReferrer
                                           : head->flags & ~mdamb::kFarReferrer);
    return ChainResult::kOk;
}

void Encode(ChainTable& t, ChainTable& target) {
    const int32_t n = t.size();
    // The far-referrer flag is memory bookkeeping: the stored form leaves it
    // out, and Rebuild finds it again from the holders.
    if (n > 0) mdamb::ClearFar(target[0].block);
    for (int32_t i = 0; i < n; ++i) {
        MDA_MBLOCK* b = target[i].block;
        b->disk = t[i].holder;
        b->referrer = reinterpret_cast<void**>(static_cast<uintptr_t>(t[i].offset));
        if (t[i].holder == kNoHolder) continue;
        auto* pointer = reinterpret_cast<uintptr_t*>(
            reinterpret_cast<char*>(target[t[i].holder].block) + t[i].offset);
        *pointer = (*pointer & ~uintptr_t{0xFFFFFFFF}) | static_cast<uint32_t>(i + 1);
    }
}

ChainResult Duplicate(void* body, void** copy) {
    // Most bodies own no blocks: one plain block without a referrer is
    // copied as it is, with nothing to describe or relink.
    const MDA_MBLOCK* only = mdamb::HeaderOf(body, false);
    if (only->next == nullptr && only->referrer == nullptr && only->type == MDA_MBLOCK_PLAIN &&
        HeaderLooksRight(only)) {
        auto* to = static_cast<MDA_MBLOCK*>(mvxc::Malloc(static_cast<size_t>(only->size)));
        if (to == nullptr) return ChainResult::kNoMemory;
        std::memcpy(to, only, static_cast<size_t>(only->size));
        to->disk = 0;
        mdamb::ClearFar(to); // a lone block has no referrer at all
        *copy = mdamb::DataOf(to);
        return ChainResult::kOk;
    }
    ChainTable t;
    int64_t total = 0;
    ChainResult r = Describe(body, &t, &total);
    if (r != ChainResult::kOk) return r;
    const int32_t n = t.size();
    ChainTable c;
    if (!c.Reserve(n)) return ChainResult::kNoMemory;
    for (int32_t i = 0; i < n; ++i) {
        const MDA_MBLOCK* from = t[i].block;
        auto* to = static_cast<MDA_MBLOCK*>(mvxc::Malloc(static_cast<size_t>(from->size)));
        if (to == nullptr) {
            for (int32_t k = 0; k < i; ++k)
                std::free(c[k].block);
            return ChainResult::kNoMemory;
        }
        std::memcpy(to, from, static_cast<size_t>(from->size));
        c[i] = ChainLink{to, nullptr, nullptr, kNoHolder, 0};
    }
    c.set_size(n);
    Encode(t, c);
    r = Rebuild(c);
    if (r != ChainResult::kOk) {
        for (int32_t k = 0; k < n; ++k)
            std::free(c[k].block);
        return r;
    }
    *copy = mdamb::DataOf(c[0].block);
    return ChainResult::kOk;
}

namespace {

// Frees a chain that may be damaged: only when every header of it checks
// (a damaged link could lead anywhere, so such a chain is left alone).
void FreeIfSound(void* body) {
    if (body == nullptr) return;
    int64_t bytes = 0;
    for (MDA_MBLOCK* b = mdamb::HeaderOf(body, false); b != nullptr; b = b->next)
        if (!HeaderLooksRight(b) || (bytes += b->size) > kMaxChainBytes) return;
    FreeBody(body);
}

} // namespace

void LeaveCache(MDA_MODEL* m, MDA_DIR_ENTRY* e, MDA_PTR db_ptr) {
    if (m->cache == nullptr) return;
    const int32_t slot = e->status & MDA_CACHE_SLOT_MASK;
    if (slot < m->cache_size && m->cache[slot].db_ptr == db_ptr) {
        m->cache[slot].db_ptr = MDA_NULL_PTR;
        MoveToHead(m, slot);
    }
}

int32_t Corrupted(int32_t model, MDA_PTR db_ptr) {
    MDA_MODEL* m = mda::ModelAt(model);
    MDA_DIR_ENTRY* e = m != nullptr ? mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr)) : nullptr;
    int32_t tf = MVX_NULL_TF;
    if (e != nullptr) {
        tf = e->tf;
        LeaveCache(m, e, db_ptr);
        FreeIfSound(e->mloc);
        e->mloc = nullptr;
        if (mda::MemoryOnly(m)) {
            FreeIfSound(StoredCopy(e));
            e->dloc = 0;
        }
        e->status = MDA_DELETED;
    }
    return mpm__SetError(0, MDA_CORRUPTED_ENT, MPM_ERROR, db_ptr, tf);
}

int32_t ReleaseStorage(int32_t model, MDA_PTR db_ptr, bool keep_body) {
    MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr) return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    LeaveCache(m, e, db_ptr);
    if (!keep_body) FreeBody(e->mloc);
    e->mloc = nullptr;
    int32_t rc = 0;
    if (mda::MemoryOnly(m)) {
        FreeBody(StoredCopy(e));
    } else if (e->dloc != -1) {
        rc = dof_FreeBlock(m->dof, e->dloc);
    }
    e->dloc = mda::InitialDloc(m);
    return rc;
}

} // namespace mdac

// ---- Steps of the model and entity operations --------------------------------

namespace mda {

int32_t WriteEntityNow(MDA_PTR db_ptr) {
    return mda__SwapToDisk(MDA_SWAP_KEEP, db_ptr);
}

void FreeStoredCopy(MDA_MODEL* m, MDA_DIR_ENTRY* entry) {
    if (!MemoryOnly(m)) return;
    mdac::FreeBody(mdac::StoredCopy(entry));
    entry->dloc = 0;
}

int32_t FreeDbptrNow(MDA_PTR db_ptr) {
    return mda__FreePtr(0, db_ptr);
}

} // namespace mda
