// Replacement texts from an open message table.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

namespace {

// Longest replacement text accepted; longer records are taken as corrupt.
constexpr int32_t kMaxTableText = 65536;

} // namespace

char* mpm_TableText(int32_t module, int32_t text_index, const char* builtin) {
    if (mpm__Table == nullptr || module < 0 || module >= MVX_MAX_MODULES) return nullptr;
    const int64_t directory = mpm__Index[module];
    if (directory < 0 || text_index < 0) return nullptr;
    const int64_t end = mpm__Table->end;
    const int64_t record_at = directory + 8 * static_cast<int64_t>(text_index);
    // Nothing outside the file is read: a read there would extend it.
    if (record_at > end - 8) return nullptr;

    MpmBusyGuard guard; // the paged file's own reports are not recorded
    int32_t record[2] = {0, 0};
    if (dof_ReadWrite(DOF_READ, mpm__Table, sizeof record, record_at, record) != 0) {
        mpm_OutOfMemory();
        return nullptr;
    }
    const int64_t offset = record[0];
    const int32_t length = record[1];
    if (length < 1 || length > kMaxTableText || offset < 0 || offset > end - length) return nullptr;
    auto* text = static_cast<char*>(mvxc::Malloc(static_cast<std::size_t>(length) + 1));
    if (text == nullptr) {
        mpm_OutOfMemory();
        return nullptr;
    }
    if (dof_ReadWrite(DOF_READ, mpm__Table, length, offset, text) != 0) {
        std::free(text);
        mpm_OutOfMemory();
        return nullptr;
    }
    text[length] = '\0';
    // A text with a NUL inside is not the one its record describes; any
    // other text is used when it may be formatted with the arguments that
    // the built-in text takes (mpm_grammar.cpp).
    MpmConsumption theirs;
    MpmConsumption mine;
    mpm_Consume(builtin, &theirs);
    mpm_Consume(text, &mine);
    if (std::strlen(text) != static_cast<std::size_t>(length) || !mpm_CanReplace(mine, theirs)) {
        std::free(text);
        return nullptr;
    }
    return text;
}
