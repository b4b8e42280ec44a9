// The field walk: every generic operation on entities (back-pointers,
// copying, deletion, saved models, defaults, dumps) is a visitor of it.
//
// Design note.
//   A level (the entity, or one embedded subentity) walks its descriptor run
//   with a current descriptor d and a current data address. Everything the
//   level needs lives in a Level on the stack: its count slots (published in
//   ddf__Counters while it runs) and a stack of struct frames. Nothing is
//   allocated unless the mode asks for arrays to be sized.
//
//   Invariants:
//   - d stays inside the run [first, run_end); a struct's end descriptor
//     (d + aux) must be an endstruct inside the run, and an endstruct is only
//     accepted as the end of the innermost open struct, so frames and
//     descriptors always nest alike.
//   - Every byte handed to the visitor (a value, a struct element, a union
//     selector, a subentity) lies inside the current region: the body (or
//     the subentity's bytes within it), or the block of the dynamic struct
//     array whose element is being walked. Element addresses are computed
//     as base + index * element size, so the walk never depends on member
//     gaps adding up to the element size.
//   - A dynamic array's event count never exceeds what its block holds.
//   - ddf__Counters and mda__TraverseAddr are put back when a level
//     returns, however it ends (LevelGuard), so visitors may nest walks.
//   - Union members: after the chosen member, the walk jumps to the union's
//     endstruct (Frame::member_next), so the rest of the members are never
//     visited and the next element (or field) follows the union's end.
#include <cstring>

#include "mda/mda_traverse_int.h"
#include "mvx/mpm.h"

namespace mdatrav {
namespace {

// Subentity levels and walks started from visitors under way.
int32_t g_levels = 0;

struct Frame {
    const DDF_FIELD* desc;        // the struct or union descriptor
    const DDF_FIELD* end;         // its endstruct
    const DDF_FIELD* member_next; // union: the descriptor after the chosen member
    char* base;                   // first element
    char* after;                  // dynamic arrays: the address after the field's pointer
    void* saved_taddr;
    Region saved_region;
    int64_t elem_size;
    int32_t count;
    int32_t index;
    bool is_union;
    bool dynamic;
};

struct Level {
    int32_t slots[DDF_COUNT_SLOTS];
    Frame frames[MDA_TRAV_MAX_NESTING];
};

class LevelGuard {
public:
    explicit LevelGuard(int32_t* slots) : counters_(ddf__Counters), taddr_(mda__TraverseAddr) {
        ddf__Counters = slots;
        ++g_levels;
    }
    ~LevelGuard() {
        ddf__Counters = counters_;
        mda__TraverseAddr = taddr_;
        --g_levels;
    }
    LevelGuard(const LevelGuard&) = delete;
    LevelGuard& operator=(const LevelGuard&) = delete;

private:
    int32_t* counters_;
    void* taddr_;
};

bool Fits(const Region& r, const char* p, int64_t bytes) {
    return p >= r.lo && p <= r.hi && bytes >= 0 && bytes <= r.hi - p;
}

int32_t DimValue(const DDF_DIMEXPR& e) {
    int32_t v = 0;
    (void)ddf__DimValue(&e, &v);
    return v;
}

// Bytes per element of a value field: an fstring's length (its last
// dimension), else the type's size.
int64_t ValueSize(const DDF_FIELD* d) {
    if (d->type == DDF_FSTRING) {
        const int32_t n = d->dim_count < MDA_MAX_DIMS ? d->dim_count : MDA_MAX_DIMS;
        const int32_t len = n > 0 ? DimValue(d->dims[n - 1]) : 1;
        return len > 0 ? len : 0;
    }
    return ddf__FldData[d->type].size;
}

// Elements of an inline array: the product of its dimensions (an fstring's
// length excluded); 0 when one of them is not positive.
int64_t InlineCount(const DDF_FIELD* d) {
    int32_t n = d->dim_count < MDA_MAX_DIMS ? d->dim_count : MDA_MAX_DIMS;
    if (d->type == DDF_FSTRING && n > 0) --n;
    int64_t count = 1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t v = DimValue(d->dims[i]);
        if (v <= 0) return 0;
        count *= v;
        if (count > INT32_MAX) return -1; // more than any body holds
    }
    return count;
}

// A dynamic array of the field whose pointer lies at slot: sized as the mode
// asks, then its first element, its element count (bounded by the block)
// and the block's element bytes.
struct ArrayView {
    char* first = nullptr;
    int32_t count = 0;
    Region region{nullptr, nullptr};
};

int32_t DynamicArray(int32_t mode, void* entity, char* slot, const DDF_FIELD* d, int64_t esize,
                     ArrayView* view) {
    const bool plain = (d->flags & DDF_PTRFIXED) != 0;
    void* p = nullptr;
    std::memcpy(&p, slot, sizeof p);
    int32_t dims[MDA_MAX_DIMS] = {};
    int32_t ndims = 0;
    if (int32_t rc = mda_GetFieldDims(d, p, dims, &ndims)) return rc;
    int64_t total = 1;
    for (int32_t i = 0; i < ndims; ++i) {
        if (dims[i] <= 0) {
            total = 0;
            break;
        }
        total *= dims[i];
        if (total > INT32_MAX) total = INT32_MAX;
    }
    void** out = reinterpret_cast<void**>(slot);
    if (mode != 0 && (d->flags & DDF_UNSIZED) == 0) {
        const uint32_t free_opts = plain ? 0 : MDA_FREE_ARRAY;
        int64_t bytes = total * esize;
        if (bytes > INT32_MAX) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        int32_t rc = 0;
        if (total < 1) {
            if (p != nullptr && (mode & (MDA_TRAV_FREE | MDA_TRAV_RESIZE)) != 0)
                rc = mda_Free(free_opts, entity, p);
            if (rc != 0) return rc;
            *out = nullptr;
        } else if ((mode & MDA_TRAV_RESIZE) != 0 && p != nullptr) {
            rc = plain ? mda_Realloc(0, entity, p, static_cast<int32_t>(bytes), out)
                       : mda__ReallocArray(0, entity, p, static_cast<int32_t>(esize), ndims, dims,
                                           out);
        } else {
            if (p != nullptr && (mode & MDA_TRAV_FREE) != 0) {
                rc = mda_Free(free_opts, entity, p);
                if (rc != 0) return rc;
                *out = nullptr;
            }
            rc = plain ? mda_Malloc(0, entity, static_cast<int32_t>(bytes), out)
                       : mda__MallocArray(0, entity, static_cast<int32_t>(esize), ndims, dims, out);
        }
        if (rc != 0) return rc;
        std::memcpy(&p, slot, sizeof p);
    }
    *view = ArrayView{};
    if (p == nullptr) return 0;
    MDA_MBLOCK* block = nullptr;
    if (int32_t rc = mdamb::Find(p, plain ? MDA_MBLOCK_PLAIN : MDA_MBLOCK_ARRAY, &block)) return rc;
    int64_t bytes = int64_t{block->size} - MDA_MBLOCK_HDR_SIZE;
    char* first = static_cast<char*>(p);
    if (!plain) {
        const MDA_ARRAY_HDR* hdr = mdamb::ArrayOf(block);
        if (hdr->elem_offset < MDA_ARRAY_HDR_SIZE || hdr->elem_offset > bytes) return Broken();
        first = reinterpret_cast<char*>(block) + MDA_MBLOCK_HDR_SIZE + hdr->elem_offset;
        bytes -= hdr->elem_offset;
    }
    if (bytes < 0) return Broken();
    const int64_t room = esize > 0 ? bytes / esize : total;
    view->first = first;
    view->count = static_cast<int32_t>(total < room ? total : room);
    view->region = Region{first, first + bytes};
    return 0;
}

// The direct member of union u (ending at end) at position selector among
// the descriptors after u, or null.
const DDF_FIELD* UnionMember(const DDF_FIELD* u, const DDF_FIELD* end, int32_t selector) {
    const DDF_FIELD* p = u + 1;
    while (p < end) {
        const int64_t at = p - (u + 1);
        if (at == selector) return p->type == DDF_ENDSTRUCT ? nullptr : p;
        if (at > selector) return nullptr;
        p += p->type == DDF_STRUCT ? int64_t{p->aux} + 1 : 1;
    }
    return nullptr;
}

} // namespace

int32_t Broken() {
    return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_ERROR, "mda__TraverseEntity");
}

int32_t BodyRegion(void* entity, Region* region) {
    if (entity == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* block = nullptr;
    if (int32_t rc = mdamb::Find(entity, MDA_MBLOCK_PLAIN, &block)) return rc;
    char* lo = static_cast<char*>(entity);
    *region = Region{lo, lo + (int64_t{block->size} - MDA_MBLOCK_HDR_SIZE)};
    return 0;
}

int32_t WalkLevel(int32_t mode, void* entity, char* data, const DDF_FIELD* d,
                  const DDF_FIELD* run_end, Region region, MDA_FIELD_VISITOR visit) {
    if (g_levels >= MDA_TRAV_MAX_LEVELS) return Broken();
    Level lv;
    std::memset(lv.slots, 0, sizeof lv.slots);
    LevelGuard guard(lv.slots);
    int32_t depth = 0;
    int32_t rc = 0;

    // Starts element f.index of the innermost frame: its begin event, then
    // (for a union) the chosen member.
    auto begin_element = [&](Frame& f) -> int32_t {
        char* elem = f.base + f.index * f.elem_size;
        if (visit(entity, 1, f.is_union ? DDF_UNIONTYPE : DDF_STRUCT, elem,
                  const_cast<DDF_FIELD*>(f.desc)) == MDA_STOP)
            return MDA_STOP;
        if (!f.is_union) {
            data = elem;
            d = f.desc + 1;
            return 0;
        }
        int16_t selector = 0;
        std::memcpy(&selector, elem, sizeof selector);
        const DDF_FIELD* member = UnionMember(f.desc, f.end, selector);
        data = elem + 2 + f.desc->gap;
        if (member == nullptr) {
            f.member_next = f.end;
            d = f.end;
        } else {
            f.member_next = member + (member->type == DDF_STRUCT ? int64_t{member->aux} + 1 : 1);
            d = member;
        }
        return 0;
    };

    for (;;) {
        if (depth > 0) {
            const Frame& top = lv.frames[depth - 1];
            if (top.is_union && d == top.member_next) d = top.end;
        }
        if (d >= run_end || d->type == DDF_ENDENT || d->type == DDF_DERIVED)
            return visit(entity, 0, DDF_ENDENT, nullptr, nullptr) == MDA_STOP ? MDA_STOP : 0;

        const int32_t type = d->type;
        if (type >= DDF_SHORT && type <= DDF_PTR) {
            const int64_t esize = ValueSize(d);
            if ((d->flags & DDF_ARRAY) == 0 || (d->flags & DDF_FIXED) != 0) {
                const int64_t count = (d->flags & DDF_ARRAY) == 0 ? 1 : InlineCount(d);
                if (count < 0 || !Fits(region, data, count * esize)) return Broken();
                if (visit(entity, static_cast<int32_t>(count), type, data,
                          const_cast<DDF_FIELD*>(d)) == MDA_STOP)
                    return MDA_STOP;
                data += count * esize + d->gap;
            } else {
                if (!Fits(region, data, 8)) return Broken();
                mda__TraverseAddr = data;
                ArrayView view;
                if ((rc = DynamicArray(mode, entity, data, d, esize, &view)) != 0) return rc;
                if (visit(entity, view.count, type, view.first, const_cast<DDF_FIELD*>(d)) ==
                    MDA_STOP)
                    return MDA_STOP;
                data += 8 + d->gap;
            }
            ++d;
            continue;
        }

        switch (type) {
        case DDF_COUNT: {
            if (!Fits(region, data, 4)) return Broken();
            if (visit(entity, 1, DDF_COUNT, data, const_cast<DDF_FIELD*>(d)) == MDA_STOP)
                return MDA_STOP;
            if (d->dim_count > 0) {
                const int32_t slot = -int32_t{d->dims[0].a};
                if (slot < 0 || slot >= DDF_COUNT_SLOTS) return Broken();
                std::memcpy(&lv.slots[slot], data, 4);
            }
            data += 4 + d->gap;
            ++d;
            break;
        }
        case DDF_LET: {
            if (!Fits(region, data, 4)) return Broken();
            int32_t value = 0;
            if (ddf__Current->opcodes != nullptr)
                (void)ddf__ComputeLet(
                    reinterpret_cast<const DDF_LETOP*>(ddf__Current->opcodes) + d->let, &value);
            std::memcpy(data, &value, 4);
            data += 4 + d->gap;
            ++d;
            break;
        }
        case DDF_SUBENT: {
            const int64_t size = d->aux;
            if (!Fits(region, data, size)) return Broken();
            const int32_t answer = visit(entity, 1, DDF_SUBENT, data, const_cast<DDF_FIELD*>(d));
            if (answer == MDA_STOP) return MDA_STOP;
            if (answer != MDA_SKIP) {
                const DDF_DICT* dict = ddf__Current;
                const int32_t tfi = dict->subent_tfis[static_cast<uint16_t>(d->key)];
                const DDF_FIELD* sub = dict->fld_data + dict->fld_indices[tfi];
                rc = WalkLevel(mode, entity, data, sub, sub + dict->ent_fldcnts[tfi],
                               Region{data, data + size}, visit);
                if (rc != 0) return rc;
            }
            data += size + d->gap;
            ++d;
            break;
        }
        case DDF_STRUCT: {
            if (depth >= MDA_TRAV_MAX_NESTING) return Broken();
            Frame& f = lv.frames[depth];
            f.desc = d;
            f.end = d + d->aux;
            if (d->aux == 0 || f.end >= run_end || f.end->type != DDF_ENDSTRUCT || d->key < 0)
                return Broken();
            f.is_union = (d->flags & DDF_UNION) != 0;
            f.elem_size = d->key;
            if (f.is_union && f.elem_size < 2) return Broken();
            f.saved_taddr = mda__TraverseAddr;
            f.saved_region = region;
            f.member_next = nullptr;
            f.index = 0;
            mda__TraverseAddr = data;
            f.dynamic = (d->flags & DDF_ARRAY) != 0 && (d->flags & DDF_FIXED) == 0;
            int64_t count = 1;
            if (f.dynamic) {
                if (!Fits(region, data, 8)) return Broken();
                f.after = data + 8;
                ArrayView view;
                if ((rc = DynamicArray(mode, entity, data, d, f.elem_size, &view)) != 0) return rc;
                count = view.count;
                f.base = view.first;
                if (count > 0) region = view.region;
            } else {
                if ((d->flags & DDF_ARRAY) != 0) count = InlineCount(d);
                if (count < 0 || !Fits(region, data, count * f.elem_size)) return Broken();
                f.after = nullptr;
                f.base = data;
            }
            const int32_t t0 = f.is_union ? DDF_UNIONTYPE : DDF_STRUCT;
            if (count == 0) {
                if (visit(entity, 0, t0, nullptr, const_cast<DDF_FIELD*>(d)) == MDA_STOP)
                    return MDA_STOP;
                // The count is read again after the begin event: a visitor
                // that sizes a dynamic array only now (a reader that checks
                // a count against its input first) may have allocated it,
                // and its elements are walked.
                if (f.dynamic) {
                    ArrayView view;
                    if ((rc = DynamicArray(0, entity, data, d, f.elem_size, &view)) != 0) return rc;
                    if (view.count > 0) {
                        count = view.count;
                        f.base = view.first;
                        region = view.region;
                    }
                }
            }
            if (count == 0) {
                if (visit(entity, 0, t0 + 1, nullptr, const_cast<DDF_FIELD*>(f.end)) == MDA_STOP)
                    return MDA_STOP;
                data = (f.dynamic ? f.after : data) + f.end->gap;
                mda__TraverseAddr = f.saved_taddr;
                region = f.saved_region;
                d = f.end + 1;
                break;
            }
            f.count = static_cast<int32_t>(count);
            ++depth;
            if (begin_element(f) == MDA_STOP) return MDA_STOP;
            break;
        }
        case DDF_ENDSTRUCT: {
            if (depth == 0 || d != lv.frames[depth - 1].end) return Broken();
            Frame& f = lv.frames[depth - 1];
            const int32_t end_type = f.is_union ? DDF_ENDUNION : DDF_ENDSTRUCT;
            if (++f.index < f.count) {
                if (visit(entity, 0, end_type, nullptr, nullptr) == MDA_STOP) return MDA_STOP;
                if (begin_element(f) == MDA_STOP) return MDA_STOP;
                break;
            }
            data = (f.dynamic ? f.after : f.base + f.count * f.elem_size) + d->gap;
            if (visit(entity, 0, end_type, nullptr, nullptr) == MDA_STOP) return MDA_STOP;
            mda__TraverseAddr = f.saved_taddr;
            region = f.saved_region;
            --depth;
            ++d;
            break;
        }
        default: // union markers, methods and codes the walk does not know
            ++d;
            break;
        }
    }
}

} // namespace mdatrav

extern "C" int32_t mda__TraverseEntity(int32_t mode, void* entity, void* data, DDF_FIELD* first,
                                       MDA_FIELD_VISITOR visitor) {
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || data == nullptr || first == nullptr || visitor == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    mdatrav::Region region{};
    if (int32_t rc = mdatrav::BodyRegion(entity, &region)) return rc;
    char* at = static_cast<char*>(data);
    if (at < region.lo || at > region.hi) return mdatrav::Broken();
    // The run of descriptors that holds first bounds the walk.
    for (int32_t t = 0; t < dict->type_count; ++t) {
        const DDF_FIELD* lo = dict->fld_data + dict->fld_indices[t];
        const DDF_FIELD* hi = lo + dict->ent_fldcnts[t];
        if (first >= lo && first < hi)
            return mdatrav::WalkLevel(mode, entity, at, first, hi, region, visitor);
    }
    return mdatrav::Broken();
}
