#include "hdb/hdb_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
// The module's only message is a placeholder: its text is the flag alone.
const char* const kTexts[] = {
    " ",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"_DUMMY", 1, 0},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE hdb_Module = {
    MVX_MODULE_HDB, static_cast<int16_t>(std::size(kNames)), 0, "HDB", kTexts, kNames};
