#include "eam/eam_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " NULL pointer\n",
    " Out of memory\n",
    " Invalid size = %d\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"NULLPOINTER", 1, 0},
    {"NOMEMORY", 2, 1},
    {"INVALIDSIZE", 1, 2},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE eam_Module = {
    MVX_MODULE_EAM, static_cast<int16_t>(std::size(kNames)), 0, "EAM", kTexts, kNames};
