#include <cstring>

#include "fmt/fmt_int.h"

namespace {

struct Directive {
    const char* name;
    MPM_DIRECTIVE handler;
};

// In registration order.
constexpr Directive kDirectives[] = {
    {"CurDate", fmt__GetCurDate},   {"CurTime", fmt__GetCurTime},
    {"ErrorSummary", fmt__GetErrorSummary}, {"ElapsedCPU", fmt__GetElapsedCPU},
    {"ElapsedClock", fmt__GetElapsedClock}, {"TF", fmt__GetTF},
    {"DTF", fmt__GetDTF},           {"PTR", fmt__GetPTR},
    {"PTR2", fmt__GetPTR2},         {"ModelList", fmt__GetModelList},
    {"OrigDesc", fmt__GetOrig},
};

} // namespace

extern "C" int32_t fmt_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_FMT] = fmt_Module;
    if (mpm__SpecTree == nullptr) return 0;
    for (const Directive& d : kDirectives) {
        // Find or insert by name, then point the entry at this handler.
        std::memset(&mpm__Spec, 0, sizeof mpm__Spec);
        std::strncpy(mpm__Spec.name, d.name, sizeof mpm__Spec.name - 1);
        mpm__Spec.handler = d.handler;
        auto* entry = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &mpm__Spec));
        if (entry != nullptr) entry->handler = d.handler;
    }
    return 0;
}
