#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "evm/evm_int.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"

namespace {

template <typename T> T* CopyArray(const T* source, int32_t count) {
    T* copy = static_cast<T*>(mvxc::Calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(T)));
    if (copy != nullptr && source != nullptr && count > 0)
        std::memcpy(copy, source, static_cast<size_t>(count) * sizeof(T));
    return copy;
}

void FreeStrings(char** strings, int32_t count) {
    if (strings == nullptr) return;
    for (int32_t i = 0; i < count; ++i) std::free(strings[i]);
    std::free(strings);
}

} // namespace

extern "C" int32_t evm_CopyTable(uint32_t /*options*/, const EVM_TABLE* source, EVM_TABLE* destination) {
    if (destination == nullptr) return 0;
    const int32_t count = evm::Count(source);
    EVM_TABLE copy{};
    copy.count = count;
    if (source != nullptr) {
        copy.user = source->user;
        copy.default_tolerance = source->default_tolerance;
    }
    copy.checks = CopyArray(source != nullptr ? source->checks : nullptr, count);
    copy.integers = CopyArray(source != nullptr ? source->integers : nullptr, count);
    copy.doubles = CopyArray(source != nullptr ? source->doubles : nullptr, count);
    bool ok = copy.checks != nullptr && copy.integers != nullptr && copy.doubles != nullptr;
    if (ok && source != nullptr && source->strings != nullptr) {
        copy.strings = static_cast<char**>(mvxc::Calloc(static_cast<size_t>(count > 0 ? count : 1), sizeof(char*)));
        ok = copy.strings != nullptr;
        for (int32_t i = 0; ok && i < count; ++i) {
            char** from = evm::StringSlot(source, &source->checks[i]);
            if (from == nullptr || *from == nullptr) continue;
            char*& to = copy.strings[source->checks[i].value_index];
            if (to != nullptr) continue; // two checks sharing one string
            to = mvxc::StrDup(*from);
            ok = to != nullptr;
        }
    }
    if (!ok) {
        std::free(copy.checks);
        std::free(copy.integers);
        std::free(copy.doubles);
        FreeStrings(copy.strings, count);
        return mpm__SetError(0, MVX_EXC_MEMORY, MPM_ERROR);
    }
    *destination = copy;
    return 0;
}
