#include "dof/dof_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Error allocating memory.\n",
    " Error reallocating memory.\n",
    " Error opening file %s.\n",
    " Error reading from file %s.\n",
    " Error writing to file %s.\n",
    " Error closing file %s.\n",
    " Error seeking in file %s.\n",
    " Bad block size requested in file %s.\n",
    " Bad offset specified into file %s.\n",
    " Bad slot is passed in.\n",
};

// Message names in message-number order: name, exception class, text index.
// The failures of the file itself (open, read, write, close, seek) raise the
// file I/O exception; the block and slot messages are usage errors.
const MVX_MSGNAME kNames[] = {
    {"MALLOC_ERR", 2, 0}, {"REALLOC_ERR", 2, 1}, {"OPEN_ERR", 3, 2}, {"READ_ERR", 3, 3},
    {"WRITE_ERR", 3, 4},  {"CLOSE_ERR", 3, 5},   {"SEEK_ERR", 3, 6}, {"BAD_SIZE", 1, 7},
    {"BAD_OFFSET", 1, 8}, {"BAD_SLOT", 1, 9},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE dof_Module = {
    MVX_MODULE_DOF, static_cast<int16_t>(std::size(kNames)), 0, "DOF", kTexts, kNames};
