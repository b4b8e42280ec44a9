#include "mvx/mvx_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " no exception",
    " Memory error",
    " File I/O error",
    " max error reached",
    " Invalid message name %s.\n",
    " Cleanup error in %s at line %d.\n",
    " Error reading from the file '%s'.\n",
    " Invalid or null filename specified.\n",
    " File '%s' does not exist.\n",
    " Error opening the file '%s'.\n",
    " Error closing the file '%s'.\n",
    " The file contains end-of-line delimiters consisting of 3 or more characters.\n",
    " File type could not be determined for the file '%s'.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"EXC_NONE", 1, 0},          {"EXC_MEMORY", 1, 1},   {"EXC_FILEIO", 1, 2},
    {"EXC_MAXERROR", 1, 3},      {"BAD_MSG_NAME", 1, 4}, {"CLEANUP_ERR", 1, 5},
    {"READ_ERROR", 1, 6},        {"BAD_FILENAME", 1, 7}, {"NOT_FOUND", 1, 8},
    {"OPEN_ERROR", 1, 9},        {"CLOSE_ERROR", 1, 10}, {"BAD_EOL_DELIM", 1, 11},
    {"UNKNOWN_FILETYPE", 1, 12},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE mvx_Module = {
    MVX_MODULE_MVX, static_cast<int16_t>(std::size(kNames)), 0, "MVX", kTexts, kNames};
