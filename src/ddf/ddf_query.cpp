// Helpers of the query operations: the extents of loaded dictionaries,
// argument checks, the TF lookup cache and count-slot operands.
//
// A loaded DDF_DICT does not say how many descriptors fld_data holds nor
// how many instructions opcodes holds (the section sizes are not part of
// the header), yet a query must never follow a descriptor pointer or a let
// sequence out of its section. The loader therefore records both counts
// here, in a table keyed by the dictionary's address. Dictionaries are
// freed by their callers, without telling the library, so an address may
// later hold another dictionary: each entry also keeps the whole header as
// the loader handed it out, and is trusted only while the dictionary at
// that address still has that header. An entry found stale is dropped, so
// the table holds at most one entry per address and sheds freed ones as
// they are noticed.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "ddf/ddf_int.h"
#include "mvx/mpm.h"

namespace ddfi {
namespace {

struct Entry {
    const DDF_DICT* dict;
    DDF_DICT header; // as handed out by the loader
    Extent extent;
};

Entry* g_entries = nullptr;
std::size_t g_used = 0;
std::size_t g_capacity = 0;

// The entry of dict, when dict still is the dictionary it was made for;
// a stale entry is removed.
const Entry* Find(const DDF_DICT* dict) {
    for (std::size_t i = 0; i < g_used; ++i) {
        if (g_entries[i].dict != dict) continue;
        if (std::memcmp(&g_entries[i].header, dict, sizeof(DDF_DICT)) == 0) return &g_entries[i];
        g_entries[i] = g_entries[--g_used];
        return nullptr;
    }
    return nullptr;
}

} // namespace

bool RecordExtent(const DDF_DICT* dict, int64_t fields, int64_t opcodes) {
    for (std::size_t i = 0; i < g_used; ++i) {
        if (g_entries[i].dict == dict) {
            std::memcpy(&g_entries[i].header, dict, sizeof(DDF_DICT));
            g_entries[i].extent = {fields, opcodes};
            return true;
        }
    }
    if (g_used == g_capacity) {
        const std::size_t capacity = g_capacity == 0 ? 8 : g_capacity * 2;
        auto* grown = static_cast<Entry*>(mvxc::Realloc(g_entries, capacity * sizeof(Entry)));
        if (grown == nullptr) return false;
        g_entries = grown;
        g_capacity = capacity;
    }
    Entry& entry = g_entries[g_used++];
    entry.dict = dict;
    std::memcpy(&entry.header, dict, sizeof(DDF_DICT));
    entry.extent = {fields, opcodes};
    return true;
}

Extent ExtentOf(const DDF_DICT* dict) {
    if (const Entry* entry = Find(dict)) return entry->extent;
    Extent extent;
    if (dict->fld_indices == nullptr || dict->ent_fldcnts == nullptr) return extent;
    for (int32_t tfi = 0; tfi < dict->type_count; ++tfi) {
        const int64_t end = int64_t{dict->fld_indices[tfi]} + dict->ent_fldcnts[tfi];
        if (end > extent.fields) extent.fields = end;
    }
    return extent;
}

bool IsFieldOf(const DDF_DICT* dict, const DDF_FIELD* field) {
    if (dict == nullptr || field == nullptr || dict->fld_data == nullptr) return false;
    // Compared as integers: the pointers need not point into one object.
    const auto base = reinterpret_cast<uintptr_t>(dict->fld_data);
    const auto at = reinterpret_cast<uintptr_t>(field);
    if (at < base) return false;
    const uintptr_t offset = at - base;
    if (offset % sizeof(DDF_FIELD) != 0) return false;
    return offset / sizeof(DDF_FIELD) < static_cast<uint64_t>(ExtentOf(dict).fields);
}

int32_t LookupTFI(int32_t tf) {
    const DDF_DICT* dict = ddf__Current;
    if (dict->typeforms == nullptr) return -1;
    if (tf == ddf__SavedTF && ddf__SavedTFI >= 0 && ddf__SavedTFI < dict->type_count &&
        dict->typeforms[ddf__SavedTFI] == tf) {
        return ddf__SavedTFI;
    }
    const int32_t tfi = ddf_FindTF(dict->typeforms, dict->type_count, tf);
    if (tfi >= 0) {
        ddf__SavedTF = tf;
        ddf__SavedTFI = tfi;
    }
    return tfi;
}

int32_t NullPointer() {
    return mpm__SetError(0, DDF_NULL_MEMPTR, MPM_ERROR);
}

int32_t NotUnion() {
    return mpm__SetError(0, DDF_NOT_UNION_TYPE, MPM_ERROR);
}

int32_t CheckField(const DDF_FIELD* field) {
    if (ddf__Current == nullptr || field == nullptr) return NullPointer();
    if (!IsFieldOf(ddf__Current, field)) return mpm__SetError(0, DDF_INVALID_ARG, MPM_ERROR);
    return 0;
}

bool Operand(int16_t operand, int32_t* value) {
    if (operand >= 0) {
        *value = operand;
        return true;
    }
    const int32_t slot = -int32_t{operand};
    if (ddf__Counters == nullptr || slot >= DDF_COUNT_SLOTS) return false;
    *value = ddf__Counters[slot];
    return true;
}

Arith Arithmetic(char op, int32_t a, int32_t b, int32_t* result) {
    int64_t r = 0;
    switch (op) {
    case 'f':
        r = int64_t{a} + b;
        break;
    case 'g':
        r = int64_t{a} - b;
        break;
    case 'h':
        r = int64_t{a} * b;
        break;
    case 'i':
        if (b == 0) return Arith::kDivideByZero;
        r = int64_t{a} / b;
        break;
    default:
        return Arith::kUnknownOp;
    }
    *result = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(r)));
    return Arith::kOk;
}

} // namespace ddfi
