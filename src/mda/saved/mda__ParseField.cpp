// The field visitor of restoring: reads the values of one field event into
// the entity. Nothing is written outside the event's elements (bounded by
// the field walk) or the arrays allocated here for UNSIZED fields.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

namespace {

using mdasm::ReadFailure;

constexpr const char* kOp = "mda__ParseField";

const char* FieldName(const DDF_FIELD* field) {
    const DDF_DICT* dict = ddf__Current;
    if (dict != nullptr && field->name >= 0 && field->name < dict->fld_name_count)
        return dict->fld_names[field->name];
    return "(unnamed)";
}

// An integer for a field of that range.
int32_t ReadRanged(int64_t low, int64_t high, int64_t* value, const char* what) {
    if (int32_t rc = mdasm::ReadInteger(value, what)) return rc;
    if (*value < low || *value > high)
        return ReadFailure("%lld is out of range for %s", static_cast<long long>(*value), what);
    return 0;
}

// An element count: a separator, then 0 to INT32_MAX.
int32_t ReadCount(int64_t* count) {
    if (int32_t rc = mdasm::Separator()) return rc;
    return ReadRanged(0, INT32_MAX, count, "an element count");
}

// One blank value, for a field without elements.
int32_t ReadBlank(const DDF_FIELD* field) {
    if (int32_t rc = mdasm::Separator()) return rc;
    if (!mdasm::AtEmpty()) return ReadFailure("a value where field %s has none", FieldName(field));
    return 0;
}

// The values of a new array must fit in what is left of the file, each
// taking one byte at least: checked before anything is allocated for it.
int32_t CheckFits(const DDF_FIELD* field, int64_t count, const char* what) {
    if (count <= mdasm::Remaining()) return 0;
    return ReadFailure("%lld %s of field %s, more than the rest of the file holds",
                       static_cast<long long>(count), what, FieldName(field));
}

// Allocates a dynamic array of count elements of size bytes with the
// given dimensions at the field's pointer (mda__TraverseAddr), which is
// null in a new body.
int32_t AllocateArray(void* entity, const DDF_FIELD* field, const int32_t* dims, int32_t ndims,
                      int64_t count, int64_t size) {
    auto** slot = static_cast<void**>(mda__TraverseAddr);
    int32_t rc = 0;
    if ((field->flags & DDF_PTRFIXED) != 0) {
        const int64_t bytes = count * size;
        if (bytes > INT32_MAX) return mdasm::Stop(mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
        rc = mda_Malloc(0, entity, static_cast<int32_t>(bytes), slot);
    } else {
        rc = mda__MallocArray(0, entity, static_cast<int32_t>(size), ndims, dims, slot);
    }
    return rc != 0 ? mdasm::Stop(rc) : 0;
}

// An UNSIZED array of count elements: its first dimension is what the
// others leave of the count.
int32_t AllocateUnsized(void* entity, const DDF_FIELD* field, int64_t count, int64_t size) {
    if (int32_t rc = CheckFits(field, count, "elements")) return rc;
    int32_t dims[MDA_MAX_DIMS] = {};
    int32_t ndims = 0;
    if ((field->flags & DDF_PTRFIXED) == 0) {
        if (int32_t rc = mda_GetFieldDims(field, nullptr, dims, &ndims)) return mdasm::Stop(rc);
        int64_t others = 1;
        for (int32_t i = 1; i < ndims && others > 0; ++i)
            others = dims[i] > 0 ? others * dims[i] : 0;
        if (ndims < 1 || others <= 0 || others > INT32_MAX || count % others != 0)
            return ReadFailure("%lld elements do not fill the rows of field %s",
                               static_cast<long long>(count), FieldName(field));
        dims[0] = static_cast<int32_t>(count / others);
    }
    return AllocateArray(entity, field, dims, ndims, count, size);
}

// One element of a value field at at (size bytes: an fstring's length).
int32_t ReadOne(void* entity, int32_t type, const DDF_FIELD* field, char* at, int64_t size) {
    int64_t n = 0;
    int32_t rc = 0;
    switch (type) {
    case DDF_SHORT:
        if ((rc = ReadRanged(INT16_MIN, INT16_MAX, &n, "a short")) == 0) {
            const auto v = static_cast<int16_t>(n);
            std::memcpy(at, &v, sizeof v);
        }
        return rc;
    case DDF_INT:
    case DDF_LONG:
    case DDF_COUNT:
        if ((rc = ReadRanged(INT32_MIN, INT32_MAX, &n, "a 32-bit integer")) == 0) {
            const auto v = static_cast<int32_t>(n);
            std::memcpy(at, &v, sizeof v);
        }
        return rc;
    case DDF_CHAR:
        if ((rc = ReadRanged(-128, 255, &n, "a char")) == 0) *at = static_cast<char>(n);
        return rc;
    case DDF_FLOAT:
    case DDF_DOUBLE: {
        double d = 0;
        if ((rc = mdasm::ReadDouble(&d)) != 0) return rc;
        if (type == DDF_DOUBLE) {
            std::memcpy(at, &d, sizeof d);
            return 0;
        }
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            return ReadFailure("%g is out of range for a float", d);
        const auto f = static_cast<float>(d);
        std::memcpy(at, &f, sizeof f);
        return 0;
    }
    case DDF_FSTRING:
    case DDF_VSTRING: {
        size_t length = 0;
        if ((rc = mdasm::ReadString(&length)) != 0) return rc;
        const char* text = mdasm::g_in.scratch;
        if (type == DDF_FSTRING) {
            if (static_cast<int64_t>(length) > size)
                return ReadFailure("a string of %zu bytes for the %lld bytes of field %s", length,
                                   static_cast<long long>(size), FieldName(field));
            if (length > 0) std::memcpy(at, text, length);
            std::memset(at + length, 0, static_cast<size_t>(size) - length);
            return 0;
        }
        void* block = nullptr;
        if (length > 0) {
            if (length >= INT32_MAX)
                return mdasm::Stop(mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
            std::memcpy(at, &block, sizeof block); // no stale pointer is kept on failure
            if ((rc = mda_Malloc(0, entity, static_cast<int32_t>(length) + 1,
                                 reinterpret_cast<void**>(at))) != 0)
                return mdasm::Stop(rc);
            std::memcpy(&block, at, sizeof block);
            std::memcpy(block, text, length);
            static_cast<char*>(block)[length] = '\0';
        } else {
            std::memcpy(at, &block, sizeof block);
        }
        return 0;
    }
    case DDF_PTR: {
        if ((rc = mdasm::ReadPointer(&n)) != 0) return rc;
        const MDA_PTR v = n == 0 ? MDA_NULL_PTR : MDA_MAKE_PTR(mdasm::g_in.target, n);
        std::memcpy(at, &v, sizeof v);
        return n == 0 ? 0 : mdasm::NotePointer(n);
    }
    default:
        return 0;
    }
}

// count elements of size bytes from at; the first one's separator is
// taken already when separated.
int32_t ReadValues(void* entity, int32_t type, const DDF_FIELD* field, char* at, int64_t count,
                   int64_t size, bool separated) {
    for (int64_t i = 0; i < count; ++i) {
        if (i > 0 || !separated) {
            if (int32_t rc = mdasm::Separator()) return rc;
        }
        if (int32_t rc = ReadOne(entity, type, field, at + i * size, size)) return rc;
    }
    return 0;
}

// A counted dynamic array of a new body (its pointer null): allocated to
// its dimensions once the file shows values for it. A first value that is
// blank leaves it null, as the writer writes a null array whatever its
// dimensions say.
int32_t ReadCounted(void* entity, int32_t type, const DDF_FIELD* field, int64_t size) {
    int32_t dims[MDA_MAX_DIMS] = {};
    int32_t ndims = 0;
    int64_t count = 0;
    if (int32_t rc = mdasm::CountedElements(field, dims, &ndims, &count)) return mdasm::Stop(rc);
    if (count == 0) return ReadBlank(field);
    if (int32_t rc = mdasm::Separator()) return rc;
    if (mdasm::AtEmpty()) return 0;
    if (int32_t rc = CheckFits(field, count, "values")) return rc;
    if (int32_t rc = AllocateArray(entity, field, dims, ndims, count, size)) return rc;
    void* array = nullptr;
    std::memcpy(&array, mda__TraverseAddr, sizeof array);
    return ReadValues(entity, type, field, mdasm::FirstElement(field, array), count, size, true);
}

int64_t ElementSize(int32_t type, const DDF_FIELD* field) {
    return type == DDF_FSTRING ? mdasm::StringLength(field) : ddf__FldData[type].size;
}

// A counted struct array of a new body: allocated to its dimensions unless
// a blank value stands for it (elements that open with a value tell the two
// apart).
int32_t AllocateStructs(void* entity, DDF_FIELD* field) {
    int32_t dims[MDA_MAX_DIMS] = {};
    int32_t ndims = 0;
    int64_t count = 0;
    if (int32_t rc = mdasm::CountedElements(field, dims, &ndims, &count)) return mdasm::Stop(rc);
    if (count == 0) return 0;
    bool blank = false;
    if (mdasm::OpensWithValue(field)) {
        if (int32_t rc = mdasm::TakeBlank(&blank)) return rc;
    }
    if (blank) return 0;
    if (int32_t rc = CheckFits(field, count, "elements")) return rc;
    return AllocateArray(entity, field, dims, ndims, count, field->key);
}

// A struct or union begin event: a counted struct array allocated, an
// UNSIZED one's count read (its elements allocated), then a union
// element's selector.
int32_t Begin(void* entity, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    if (mda__SMStackPtr->desc != field) {
        const bool filtered = mda__SMStackPtr->filtered != 0 || mdasm::Filtered(field);
        int64_t remaining = 1;
        if (count == 0 && mdasm::Dynamic(field) && !mdasm::Unsized(field) && !filtered) {
            if (int32_t rc = AllocateStructs(entity, field)) return rc;
        } else if (mdasm::Unsized(field) && !filtered) {
            if (int32_t rc = ReadCount(&remaining)) return rc;
            if (remaining > 0) {
                if (int32_t rc = AllocateUnsized(entity, field, remaining, field->key)) return rc;
            } else {
                remaining = 1;
            }
        }
        if (int32_t rc = mdasm::Push(field, static_cast<int32_t>(remaining), filtered, kOp))
            return rc;
    }
    if (type == DDF_UNIONTYPE && count > 0 && mda__SMStackPtr->filtered == 0) {
        int64_t selector = 0;
        if (int32_t rc = mdasm::Separator()) return rc;
        if (int32_t rc = ReadRanged(INT16_MIN, INT16_MAX, &selector, "a union selector")) return rc;
        const auto v = static_cast<int16_t>(selector);
        std::memcpy(address, &v, sizeof v);
    }
    return 0;
}

} // namespace

extern "C" int32_t mda__ParseField(void* entity, int32_t count, int32_t type, void* address,
                                   DDF_FIELD* field) {
    if (type == DDF_ENDSTRUCT || type == DDF_ENDUNION) return mdasm::EndEvent(kOp);
    if (field == nullptr) return 0;
    if (type == DDF_STRUCT || type == DDF_UNIONTYPE)
        return Begin(entity, count, type, address, field);
    if (type < DDF_SHORT || type > DDF_COUNT) return 0;
    if (mda__SMStackPtr->filtered != 0 || mdasm::Filtered(field)) return 0;
    const int64_t size = ElementSize(type, field);
    if (mdasm::Unsized(field)) {
        int64_t elements = 0;
        if (int32_t rc = ReadCount(&elements)) return rc;
        if (elements == 0) return ReadBlank(field);
        if (int32_t rc = AllocateUnsized(entity, field, elements, size)) return rc;
        void* array = nullptr;
        std::memcpy(&array, mda__TraverseAddr, sizeof array);
        return ReadValues(entity, type, field, mdasm::FirstElement(field, array), elements, size,
                          false);
    }
    if (mdasm::Dynamic(field)) return ReadCounted(entity, type, field, size);
    if (count <= 0 || address == nullptr) return 0;
    return ReadValues(entity, type, field, static_cast<char*>(address), count, size, false);
}
