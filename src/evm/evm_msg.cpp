#include "evm/evm_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Invalid database pointer.\n",
    " Unexpected NULL memory pointer.\n",
    " Check %s not found in validation table.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"INVALID_PTR", 1, 0},
    {"NULL_MEMPTR", 1, 1},
    {"CHECK_NOT_FOUND", 1, 2},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE evm_Module = {
    MVX_MODULE_EVM, static_cast<int16_t>(std::size(kNames)), 0, "EVM", kTexts, kNames};
