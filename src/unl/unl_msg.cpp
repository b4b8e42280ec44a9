#include "unl/unl_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index. These texts have no leading blank:
// their first letter is the flag character and is not printed.
const char* const kTexts[] = {
    "The index %i or %i is too large or too small for the array.\n",
    "Error allocating memory.\n",
    "Unable to convert source string to target encoding.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"INVALID_INDEX_ERR", 1, 0},
    {"MALLOC_ERR", 2, 1},
    {"CONVERSION_ERR", 1, 2},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE unl_Module = {
    MVX_MODULE_UNL, static_cast<int16_t>(std::size(kNames)), 0, "UNL", kTexts, kNames};
