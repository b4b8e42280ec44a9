// The field visitor of saving: writes the values of one field event.
#include <cstring>

#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

namespace {

constexpr const char* kOp = "mda__FormatField";

void WriteInt(int64_t value) {
    mdasm::EmitValue(mdasm::FormatInt(value, mda__SMBuf + 1));
}

void WriteDouble(double value) {
    mdasm::EmitValue(mdasm::FormatDouble(value, mda__SMBuf + 1));
}

void WritePointer(const void* entity, MDA_PTR value) {
    char* out = mda__SMBuf + 1;
    const int32_t model = MDA_PTR_MODEL(value);
    if (MDA_PTR_ENTITY(value) == 0 || model != mda__SMModels[0]) {
        if (MDA_PTR_ENTITY(value) != 0) {
            const MDA_PTR own = static_cast<const MDA_ENTITY_HDR*>(entity)->own;
            mpm__SetError(0, MDA_CROSS_MODEL_PTR, MPM_WARNING, own, own, value, value);
        }
        std::memcpy(out, "NULL", 4);
        mdasm::EmitValue(4);
        return;
    }
    int32_t length = mdasm::FormatInt(model, out);
    out[length++] = ':';
    length += mdasm::FormatInt(MDA_PTR_ENTITY(value), out + length);
    mdasm::EmitValue(length);
}

// The selector of a union element, and the element count of an UNSIZED
// struct array when its first element begins.
int32_t Begin(int32_t count, int32_t type, const void* address, DDF_FIELD* field) {
    if (mda__SMStackPtr->desc != field) {
        const bool filtered = mda__SMStackPtr->filtered != 0 || mdasm::Filtered(field);
        int64_t remaining = 1;
        if (count == 0 && mdasm::Dynamic(field) && !mdasm::Unsized(field) && !filtered &&
            mdasm::OpensWithValue(field)) {
            // A null array that its dimensions give elements: a blank value
            // says so, as for a null value array.
            int32_t dims[MDA_MAX_DIMS] = {};
            int32_t ndims = 0;
            int64_t elements = 0;
            if (int32_t rc = mdasm::CountedElements(field, dims, &ndims, &elements))
                return mdasm::Stop(rc);
            if (elements > 0) {
                mda__SMBuf[1] = ' ';
                mdasm::EmitValue(1);
            }
        } else if (mdasm::Unsized(field) && !filtered) {
            void* array = nullptr;
            if (count > 0) std::memcpy(&array, mda__TraverseAddr, sizeof array);
            const int64_t elements = mdasm::UnsizedElements(field, array);
            WriteInt(elements);
            if (elements > 0) remaining = elements;
        }
        if (int32_t rc = mdasm::Push(field, static_cast<int32_t>(remaining), filtered, kOp))
            return rc;
    }
    if (type == DDF_UNIONTYPE && count > 0 && mda__SMStackPtr->filtered == 0) {
        int16_t selector = 0;
        std::memcpy(&selector, address, sizeof selector);
        WriteInt(selector);
    }
    return 0;
}

} // namespace

extern "C" int32_t mda__FormatField(void* entity, int32_t count, int32_t type, void* address,
                                    DDF_FIELD* field) {
    if (type == DDF_ENDSTRUCT || type == DDF_ENDUNION) return mdasm::EndEvent(kOp);
    if (field == nullptr) return 0;
    if (type == DDF_STRUCT || type == DDF_UNIONTYPE) return Begin(count, type, address, field);
    if (type < DDF_SHORT || type > DDF_COUNT) return 0;
    if (mda__SMStackPtr->filtered != 0 || mdasm::Filtered(field)) return 0;
    if (mdasm::Unsized(field)) WriteInt(count);
    if (count <= 0 || address == nullptr) {
        if (mdasm::Dynamic(field)) {
            mda__SMBuf[1] = ' ';
            mdasm::EmitValue(1);
        }
        return 0;
    }
    const char* at = static_cast<const char*>(address);
    switch (type) {
    case DDF_SHORT:
        for (int32_t i = 0; i < count; ++i) {
            int16_t v;
            std::memcpy(&v, at + 2 * i, sizeof v);
            WriteInt(v);
        }
        break;
    case DDF_INT:
    case DDF_LONG:
    case DDF_COUNT:
        for (int32_t i = 0; i < count; ++i) {
            int32_t v;
            std::memcpy(&v, at + 4 * static_cast<int64_t>(i), sizeof v);
            WriteInt(v);
        }
        break;
    case DDF_CHAR:
        for (int32_t i = 0; i < count; ++i)
            WriteInt(static_cast<signed char>(at[i]));
        break;
    case DDF_FLOAT:
        for (int32_t i = 0; i < count; ++i) {
            float v;
            std::memcpy(&v, at + 4 * static_cast<int64_t>(i), sizeof v);
            WriteDouble(v);
        }
        break;
    case DDF_DOUBLE:
        for (int32_t i = 0; i < count; ++i) {
            double v;
            std::memcpy(&v, at + 8 * static_cast<int64_t>(i), sizeof v);
            WriteDouble(v);
        }
        break;
    case DDF_FSTRING: {
        const int64_t length = mdasm::StringLength(field);
        for (int32_t i = 0; i < count; ++i) {
            const char* s = at + length * i;
            mdasm::EmitString(s, strnlen(s, static_cast<size_t>(length)));
        }
        break;
    }
    case DDF_VSTRING:
        for (int32_t i = 0; i < count; ++i) {
            const char* s = nullptr;
            std::memcpy(&s, at + 8 * static_cast<int64_t>(i), sizeof s);
            mdasm::EmitString(s != nullptr ? s : "", s != nullptr ? std::strlen(s) : 0);
        }
        break;
    case DDF_PTR:
        for (int32_t i = 0; i < count; ++i) {
            MDA_PTR v;
            std::memcpy(&v, at + 8 * static_cast<int64_t>(i), sizeof v);
            WritePointer(entity, v);
        }
        break;
    default:
        break;
    }
    return 0;
}
