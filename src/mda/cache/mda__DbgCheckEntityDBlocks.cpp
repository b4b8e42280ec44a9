// Checking an entity's DBlock chain as the paged file holds it
// (mda__SwapToDisk.cpp describes the stored form). Findings are issued at
// once to mda__DbgFile and leave the caller's error stack alone.
#include <cstdarg>

#include "mda/mda_cache_int.h"

namespace {

constexpr int32_t kBigBlock = 100000;

int32_t Issue(int32_t code, int32_t severity, ...) {
    va_list args;
    va_start(args, severity);
    const int32_t status = mpm__IssueError(MPM_TAGGED | MPM_KEEP_STACK, code, severity,
                                           MPM_TAG_STREAM, mda__DbgFile, MPM_TAG_VALIST, &args);
    va_end(args);
    return status;
}

// Records the first finding.
struct Findings {
    MDA_PTR db_ptr;
    int32_t first = 0;
    void Add(int32_t code, int32_t severity, int32_t value) {
        const int32_t status = Issue(code, severity, value, db_ptr);
        if (first == 0) first = status;
    }
};

} // namespace

extern "C" int32_t mda__DbgCheckEntityDBlocks(uint32_t /*options*/, MDA_PTR db_ptr) {
    MDA_MODEL* m = nullptr;
    const MDA_DIR_ENTRY* e = mdac::LiveEntry(db_ptr, &m);
    if (e == nullptr) return mpm__LastError;
    if (mda::MemoryOnly(m) || e->dloc == -1) return 0;
    DOF_FILE* file = m->dof;
    uint32_t used = 0;
    int32_t rc = dof_GetBlockSize(file, e->dloc, &used);
    if (rc != 0) return rc;

    // First the headers (the count of blocks bounds every position), each
    // kept with its file offset.
    mdac::ChainTable t;
    Findings found{db_ptr};
    MDA_MBLOCK headers[mdac::kInlineBlocks];
    int32_t n = 0;
    int64_t consumed = 0;
    for (int64_t at = e->dloc;;) {
        MDA_MBLOCK h;
        bool sound = consumed + mdamb::kHeader <= used;
        if (sound && (rc = dof_ReadWrite(DOF_READ, file, mdamb::kHeader, at, &h)) != 0) return rc;
        sound = sound && h.marker == MDA_MBLOCK_MARKER && h.size >= mdamb::kHeader &&
                h.size <= static_cast<int64_t>(used) - consumed;
        if (!sound) {
            found.Add(MDA_DBG_BADBLOCKNUM, MPM_ERROR, n);
            break;
        }
        if (!t.Reserve(n + 1)) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        t[n] = mdac::ChainLink{nullptr, h.referrer, nullptr, h.disk, at};
        if (n < mdac::kInlineBlocks) headers[n] = h;
        ++n;
        t.set_size(n);
        consumed += h.size;
        if (h.size > kBigBlock) found.Add(MDA_DBG_BIGDBLOCK, MPM_WARNING, h.size);
        const auto next = static_cast<int64_t>(reinterpret_cast<intptr_t>(h.next));
        if (next == mdac::kNoNext) break;
        if (next != at + h.size) {
            found.Add(MDA_DBG_BADBLOCKNUM, MPM_ERROR, n);
            break;
        }
        at = next;
    }

    // Then every referring pointer: its holder and the position it stores.
    for (int32_t i = 0; i < n; ++i) {
        const int32_t holder = t[i].holder;
        if (i == n - 1 && holder == mdac::kNoHolder) break;
        if (holder < 0 || holder >= n) {
            found.Add(MDA_DBG_BADBLOCKNUM, MPM_ERROR, holder);
            continue;
        }
        int32_t size = 0;
        if (holder < mdac::kInlineBlocks) {
            size = headers[holder].size;
        } else if ((rc = dof_ReadWrite(DOF_READ, file, sizeof size, t[holder].offset, &size)) != 0) {
            return rc;
        }
        const auto offset = static_cast<int64_t>(reinterpret_cast<intptr_t>(t[i].referrer));
        if (offset < mdamb::kHeader || offset + 8 > size) {
            found.Add(MDA_DBG_BADBLOCKNUM, MPM_ERROR, holder);
            continue;
        }
        int32_t position = 0;
        if ((rc = dof_ReadWrite(DOF_READ, file, sizeof position, t[holder].offset + offset,
                                &position)) != 0)
            return rc;
        if (position < 0 || position >= n) found.Add(MDA_DBG_BADPTRNUM, MPM_ERROR, position);
    }
    return found.first;
}
