#include <cstring>
#include <string>

#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetDTF(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* args) {
    if (conv == nullptr || args == nullptr) return 0;
    const auto* dtf = va_arg(*args, const MVX_DTF*);
    const DDF_DICT* dict = dtf != nullptr ? dtf->ddf : nullptr;
    const int32_t tf = dtf != nullptr ? dtf->tf : MVX_NULL_TF;
    // The name is the header's first field; never read past it.
    const std::string name = dict != nullptr
                                 ? std::string(dict->name, strnlen(dict->name, sizeof dict->name))
                                 : std::string("NULL");
    char type[12], form[12];
    mpm_GetMessage(0, FMT_DTF, &conv->result, name.c_str(), fmt_TypeText(MVX_TF_TYPE(tf), type),
                   fmt_TypeText(static_cast<int16_t>(tf & 0xFFFF), form));
    return 0;
}
