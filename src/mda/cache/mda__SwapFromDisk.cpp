// Reading an entity back into memory: its DBlock chain from the paged file
// (mda__SwapToDisk.cpp describes the stored form), or a fresh copy of a
// memory-only model's stored copy. The file is private to the model, but a
// chain is still checked block by block before anything is trusted: a
// header that is not one, a chain longer than its file block, links that
// are not consecutive, positions or offsets out of range, or a body that is
// not this entity's all make it CORRUPTED_ENT.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_cache_int.h"

namespace {

using mdac::ChainResult;
using mdac::ChainTable;

enum class Read { kOk, kCorrupt, kFailed };

void FreeAll(ChainTable& t) {
    for (int32_t i = 0; i < t.size(); ++i)
        std::free(t[i].block);
    t.set_size(0);
}

bool HeaderFits(const MDA_MBLOCK& h, int64_t room) {
    if (h.marker != MDA_MBLOCK_MARKER || h.size < mdamb::kHeader || (h.size & 3) != 0 ||
        h.size > room)
        return false;
    if (h.type == MDA_MBLOCK_ARRAY) return h.size >= mdamb::kArrayData;
    return h.type == MDA_MBLOCK_PLAIN;
}

// Reads the chain at offset into t, one allocated block each.
Read ReadChain(DOF_FILE* file, int64_t offset, ChainTable& t) {
    uint32_t used = 0;
    if (dof_GetBlockSize(file, offset, &used) != 0) return Read::kFailed;
    int64_t consumed = 0;
    int32_t n = 0;
    for (int64_t at = offset;;) {
        MDA_MBLOCK h;
        if (consumed + mdamb::kHeader > used) return Read::kCorrupt;
        if (dof_ReadWrite(DOF_READ, file, mdamb::kHeader, at, &h) != 0) return Read::kFailed;
        if (!HeaderFits(h, used - consumed)) return Read::kCorrupt;
        if (!t.Reserve(n + 1)) {
            mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
            return Read::kFailed;
        }
        auto* b = static_cast<MDA_MBLOCK*>(mvxc::Malloc(static_cast<size_t>(h.size)));
        if (b == nullptr) {
            mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
            return Read::kFailed;
        }
        std::memcpy(b, &h, sizeof h);
        t[n++] = mdac::ChainLink{b, nullptr, nullptr, mdac::kNoHolder, 0};
        t.set_size(n);
        if (dof_ReadWrite(DOF_READ, file, h.size - mdamb::kHeader, at + mdamb::kHeader,
                          reinterpret_cast<char*>(b) + mdamb::kHeader) != 0)
            return Read::kFailed;
        consumed += h.size;
        const auto next = static_cast<int64_t>(reinterpret_cast<intptr_t>(h.next));
        if (next == mdac::kNoNext) return Read::kOk;
        if (next != at + h.size) return Read::kCorrupt;
        at = next;
    }
}

} // namespace

extern "C" void* mda__SwapFromDisk(uint32_t /*options*/, MDA_PTR db_ptr) {
    MDA_MODEL* m = nullptr;
    MDA_DIR_ENTRY* e = mdac::LiveEntry(db_ptr, &m);
    if (e == nullptr) return nullptr;
    if (e->mloc != nullptr) return e->mloc;
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    if (!mdac::HasCopy(m, e)) {
        mdac::Corrupted(model, db_ptr);
        return nullptr;
    }

    void* body = nullptr;
    if (mda::MemoryOnly(m)) {
        const ChainResult r = mdac::Duplicate(mdac::StoredCopy(e), &body);
        if (r == ChainResult::kNoMemory) {
            mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
            return nullptr;
        }
        if (r == ChainResult::kCorrupt) {
            mdac::Corrupted(model, db_ptr);
            return nullptr;
        }
    } else {
        ChainTable t;
        Read r = ReadChain(m->dof, e->dloc, t);
        if (r == Read::kOk) {
            const MDA_MBLOCK* first = t[0].block;
            if (first->type != MDA_MBLOCK_PLAIN ||
                first->size < mdamb::kHeader + static_cast<int32_t>(sizeof(MDA_ENTITY_HDR)) ||
                mdac::Rebuild(t) != ChainResult::kOk)
                r = Read::kCorrupt;
            else if (static_cast<const MDA_ENTITY_HDR*>(mdamb::DataOf(t[0].block))->own != db_ptr)
                r = Read::kCorrupt;
        }
        if (r != Read::kOk) {
            FreeAll(t);
            if (r == Read::kCorrupt) mdac::Corrupted(model, db_ptr);
            return nullptr;
        }
        body = mdamb::DataOf(t[0].block);
    }
    // Reading touched no other directory entry, so e is still in place.
    e->mloc = body;
    return body;
}
