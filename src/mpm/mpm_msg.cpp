#include "mpm/mpm_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " *** Information (%s) ",
    " *** Status (%s) ",
    " *** Warning (%s) ",
    " *** Error (%s) ",
    " *** Fatal (%s) ",
    " ***\n",
    " @%s(%d) ",
    " ..... INVALID MESSAGE .....\n",
    " UNKNOWN",
    " Error opening file %s for write.\n",
    " Error closing file.\n",
    " DOF error %d\n",
    " NOERR",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"INFO", 1, 0},     {"STATUS", 1, 1},    {"WARNING", 1, 2},     {"ERROR", 1, 3},
    {"FATAL", 1, 4},    {"_STARS", 1, 5},    {"_DEBUG", 1, 6},      {"_INVALIDMESSAGE", 1, 7},
    {"_UNKNOWN", 1, 8}, {"OPENERROR", 1, 9}, {"CLOSEERROR", 1, 10}, {"DOFERROR", 1, 11},
    {"_NOERR", 1, 12},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE mpm_Module = {
    MVX_MODULE_MPM, static_cast<int16_t>(std::size(kNames)), 0, "MPM", kTexts, kNames};
