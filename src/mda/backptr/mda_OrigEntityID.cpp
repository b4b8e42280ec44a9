// The identifier of the entity another one was translated from, as text.
#include <cstdio>

#include "mda/mda_backptr_int.h"

namespace {

// The first value field of the walk in progress.
struct FirstField {
    int32_t type;
    int32_t count; // elements; for an fstring, the string's length
    const void* address;
};
FirstField g_first;

int32_t TakeFirst(void* /*entity*/, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    if (type < DDF_SHORT || type > DDF_COUNT) return 0;
    if (type == DDF_FSTRING && count > 0) {
        const int32_t dims = field->dim_count < MDA_MAX_DIMS ? field->dim_count : MDA_MAX_DIMS;
        count = 0;
        if (dims > 0) (void)ddf__DimValue(&field->dims[dims - 1], &count);
    }
    g_first = FirstField{type, count, address};
    return MDA_STOP;
}

// Writes the first field as "%d" or as a string; false when it has neither
// form (the text is then left alone).
bool WriteFirst(const FirstField& f, bool as_string, char* text) {
    if (f.count <= 0 || f.address == nullptr) return false;
    if (!as_string) {
        int32_t value = 0;
        if (f.type == DDF_SHORT) {
            int16_t s;
            std::memcpy(&s, f.address, sizeof s);
            value = s;
        } else if (f.type == DDF_INT || f.type == DDF_LONG || f.type == DDF_COUNT) {
            std::memcpy(&value, f.address, sizeof value);
        } else {
            return false;
        }
        std::snprintf(text, MDA_ORIG_ID_SIZE, "%d", value);
        return true;
    }
    const char* s = nullptr;
    size_t limit = MDA_ORIG_ID_SIZE - 1;
    if (f.type == DDF_FSTRING) {
        s = static_cast<const char*>(f.address);
        if (static_cast<size_t>(f.count) < limit) limit = static_cast<size_t>(f.count);
    } else if (f.type == DDF_VSTRING) {
        std::memcpy(&s, f.address, sizeof s);
    } else {
        return false;
    }
    const size_t n = s == nullptr ? 0 : strnlen(s, limit);
    if (n > 0) std::memcpy(text, s, n);
    text[n] = '\0';
    return true;
}

bool StartsWith(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

} // namespace

extern "C" int32_t mda_OrigEntityID(uint32_t /*options*/, MDA_PTR db_ptr, char* text) {
    if (text == nullptr) return 0;
    MDA_PTR origin = 0;
    if (mda_ReadOrigDbptr(0, db_ptr, &origin) != 0) return 0;
    if (MDA_PTR_ENTITY(origin) == 0) {
        text[0] = '\0';
        return 0;
    }
    MDA_MODEL_INFO info;
    if (mda_GetModelInfo(MDA_PTR_MODEL(origin), &info) != 0) return 0;
    const char* name = info.ddf_name;
    const bool as_number = std::strcmp(name, "iges") == 0 ||
                           StartsWith(name, "automotive_design") ||
                           StartsWith(name, "configuration_control_3d_design");
    const bool as_string = std::strcmp(name, "dxfi") == 0 || std::strcmp(name, "vdaf") == 0;
    if (!as_number && !as_string) {
        std::snprintf(text, MDA_ORIG_ID_SIZE, "%lld",
                      static_cast<long long>(MDA_PTR_ENTITY(db_ptr)));
        return 0;
    }
    void* body = nullptr;
    if (mda_LockEntity(0, origin, &body) != 0) return 0;
    const FirstField saved = g_first;
    g_first = FirstField{0, 0, nullptr};
    if (mda_TraverseEntity(0, body, TakeFirst) == MDA_STOP) WriteFirst(g_first, as_string, text);
    g_first = saved;
    mda_UnlockEntity(0, origin);
    return 0;
}
