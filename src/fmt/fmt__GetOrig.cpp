// "%<OrigDesc>": where in its source file an entity came from.
#include <cstring>
#include <string>

#include "fmt/fmt_int.h"

namespace {

// The first value field met by the dictionary walk over an entity.
struct FirstField {
    int32_t type = 0;
    int32_t count = 0; // elements; for an fstring its length
    const void* address = nullptr;
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

// The first field of a locked body; false when the walk finds none.
bool ReadFirst(void* body, FirstField* out) {
    const FirstField saved = g_first; // a walk may run inside another one
    g_first = FirstField{};
    const bool found =
        mda_TraverseEntity(0, body, TakeFirst) == MDA_STOP && g_first.address != nullptr &&
        g_first.count > 0;
    *out = g_first;
    g_first = saved;
    return found;
}

bool AsNumber(const FirstField& f, int32_t* value) {
    if (f.type == DDF_SHORT) {
        int16_t s;
        std::memcpy(&s, f.address, sizeof s);
        *value = s;
        return true;
    }
    if (f.type == DDF_INT || f.type == DDF_LONG || f.type == DDF_COUNT) {
        std::memcpy(value, f.address, sizeof *value);
        return true;
    }
    return false;
}

bool AsText(const FirstField& f, std::string* text) {
    if (f.type == DDF_FSTRING) {
        const auto* s = static_cast<const char*>(f.address);
        text->assign(s, strnlen(s, static_cast<size_t>(f.count)));
        return true;
    }
    if (f.type == DDF_VSTRING) {
        const char* s = nullptr;
        std::memcpy(&s, f.address, sizeof s);
        text->assign(s != nullptr ? s : "");
        return true;
    }
    return false;
}

enum class Source { kIges, kDxf, kVdafs, kStep, kOther };

Source SourceOf(const char* ddf_name) {
    if (std::strcmp(ddf_name, "iges") == 0) return Source::kIges;
    if (std::strcmp(ddf_name, "dxfi") == 0) return Source::kDxf;
    if (std::strcmp(ddf_name, "vdaf") == 0) return Source::kVdafs;
    for (const char* step : {"AUTOMOTIVE_DESIGN_CC1", "AUTOMOTIVE_DESIGN_CC2",
                             "CONFIG_CONTROL_DESIGN"}) {
        if (std::strcmp(ddf_name, step) == 0) return Source::kStep;
    }
    return Source::kOther;
}

// Formats the description of origin (a valid db_ptr whose model is current)
// into a new heap text, or null when nothing is to be printed.
char* Describe(MDA_PTR origin, int32_t tf) {
    MDA_MODEL_INFO info;
    if (mda_GetModelInfo(MDA_PTR_MODEL(origin), &info) != 0) return nullptr;
    const DDF_DICT* dict = ddf__Current;
    const int32_t tfi = fmt_FindTFI(dict, tf);
    if (tfi < 0) return nullptr;
    const char* name = fmt_TypeString(dict, dict->ent_names, tfi);
    const char* desc = fmt_TypeString(dict, dict->ent_descs, tfi);
    const Source source = SourceOf(info.ddf_name);
    char* text = nullptr;
    if (source == Source::kOther) {
        mpm_GetMessage(0, FMT_MDA_ORIG, &text, name, static_cast<int64_t>(origin));
        return text;
    }
    void* body = nullptr;
    if (mda_LockEntity(0, origin, &body) != 0) return nullptr;
    FirstField first;
    int32_t number = 0;
    std::string field;
    if (ReadFirst(body, &first)) {
        switch (source) {
        case Source::kIges:
            if (AsNumber(first, &number)) mpm_GetMessage(0, FMT_IGES_ORIG, &text, tf, desc, number);
            break;
        case Source::kStep:
            if (AsNumber(first, &number))
                mpm_GetMessage(0, FMT_STEP_ORIG, &text, name, static_cast<long>(number));
            break;
        case Source::kDxf:
            if (AsText(first, &field)) mpm_GetMessage(0, FMT_DXFI_ORIG, &text, desc, field.c_str());
            break;
        default:
            if (AsText(first, &field)) mpm_GetMessage(0, FMT_VDAF_ORIG, &text, desc, field.c_str());
            break;
        }
    }
    if (mda_UnlockEntity(0, origin) != 0) {
        mvx_Free(0, text);
        return nullptr;
    }
    return text;
}

} // namespace

extern "C" int32_t fmt__GetOrig(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* args) {
    if (conv == nullptr || args == nullptr) return 0;
    const auto db_ptr = static_cast<MDA_PTR>(va_arg(*args, int64_t));
    void* body = nullptr;
    if (mda_LockEntity(0, db_ptr, &body) != 0) return 0;
    const MDA_PTR origin = static_cast<const MDA_ENTITY_HDR*>(body)->origin;
    if (mda_UnlockEntity(0, db_ptr) != 0) return 0;
    if (mda_IsValidDbptr2(0, origin) == 0) {
        mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
        return 0;
    }
    int32_t type = 0, form = 0;
    if (mda_ReadTypeForm(origin, &type, &form) != 0) return 0;
    // Switching models changes the current dictionary and the saved one;
    // both are put back as they were, also when no model was current.
    const int32_t saved = mda__CurModelNum;
    DDF_DICT* const saved_ddf = ddf__Current;
    DDF_DICT* const saved_temp = ddf__TempDDF;
    if (mda_SetCurModel(MDA_PTR_MODEL(origin), 0) != 0) return 0;
    char* text = Describe(origin, MVX_TF(type, form));
    mda_SetCurModel(saved, 0);
    ddf__Current = saved_ddf;
    ddf__TempDDF = saved_temp;
    fmt_AppendOwned(&conv->result, text);
    return 0;
}
