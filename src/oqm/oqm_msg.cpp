#include "oqm/oqm_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Out of memory\n",
    " NULL pointer\n",
    " No objects in que\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"NOMEMORY", 1, 0},
    {"NULLPOINTER", 1, 1},
    {"NOOBJECTS", 1, 2},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE oqm_Module = {
    MVX_MODULE_OQM, static_cast<int16_t>(std::size(kNames)), 0, "OQM", kTexts, kNames};
