// What a caller may know about a model.
#include <cstdint>
#include <cstring>

#include "mda/mda_int.h"

namespace {

void CopyName(char (&to)[128], const char* from) {
    const std::size_t n = strnlen(from, sizeof to - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

} // namespace

extern "C" int32_t mda_GetModelInfo(int32_t model, MDA_MODEL_INFO* info) {
    if (info == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr) return mpm__SetError(0, MDA_INVALID_MODEL, MPM_WARNING);
    CopyName(info->name, m->name);
    info->ddf = m->ddf;
    CopyName(info->ddf_name, m->ddf->name);
    info->backptrs = m->backptrs;
    info->ddf_version = m->ddf->version * 100 + m->ddf->revision;
    info->user_data = m->user_data;
    info->entity_count =
        m->entity_count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(m->entity_count);
    info->entity_list = m->entity_list;
    return 0;
}
