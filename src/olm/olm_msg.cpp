#include "olm/olm_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Out of memory\n",
    " Invalid size = %d\n",
    " NULL pointer\n",
    " Invalid position = %d\n",
    " Data size one (%d) does not equal data size two (%d)\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"NOMEMORY", 2, 0},        {"INVALIDSIZE", 1, 1}, {"NULLPOINTER", 1, 2},
    {"INVALIDPOSITION", 1, 3}, {"SIZENOTEQ", 1, 4},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE olm_Module = {
    MVX_MODULE_OLM, static_cast<int16_t>(std::size(kNames)), 0, "OLM", kTexts, kNames};
