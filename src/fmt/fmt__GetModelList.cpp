#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetModelList(uint32_t /*options*/, MPM_ARGSPEC* conv,
                                     va_list* /*args*/) {
    if (conv == nullptr) return 0;
    const int32_t model = mda__CurModelNum;
    MDA_MODEL_INFO info;
    if (model < 1 || model > MDA_MAX_MODELS || mda__Model[model].in_use == 0 ||
        mda_GetModelInfo(model, &info) != 0 || info.ddf == nullptr) {
        mpm_GetMessage(0, FMT_NOMODEL, &conv->result);
        return 0;
    }
    const DDF_DICT* dict = info.ddf;
    const auto* list = static_cast<const MDA_ENTITY_LIST*>(info.entity_list);
    mpm_GetMessage(0, FMT_ENTITYHEADER, &conv->result);
    int32_t total = 0;
    // The model's list has one slot per type of its dictionary, by TFI.
    for (int32_t tfi = 0; list != nullptr && list->counts != nullptr && tfi < dict->type_count &&
                          tfi < list->slots;
         ++tfi) {
        const int32_t count = list->counts[tfi];
        if (count <= 0) continue;
        mpm_GetMessage(0, FMT_ENTITYCOUNT, &conv->result,
                       fmt_TypeString(dict, dict->ent_names, tfi), count);
        total += count;
    }
    mpm_GetMessage(0, FMT_ENTITYTOTAL, &conv->result, total);
    return 0;
}
