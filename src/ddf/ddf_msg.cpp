#include "ddf/ddf_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Unexpected NULL memory pointer.\n",
    " Invalid argument.\n",
    " Specified field was not found.\n",
    " Error allocating memory.\n",
    " Error opening DDF file %s.\n",
    " Error reading DDF file %s.\n",
    " Binary DDF file %s has wrong version number.\n",
    " File %s is not a binary DDF.\n",
    " Field type of union expected but not found.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"NULL_MEMPTR", 1, 0}, {"INVALID_ARG", 1, 1}, {"FIELD_NOT_FOUND", 1, 2},
    {"MALLOC_ERR", 2, 3},  {"OPEN_ERR", 1, 4},    {"READ_ERR", 1, 5},
    {"VERSION_ERR", 1, 6}, {"ID_ERR", 1, 7},      {"NOT_UNION_TYPE", 1, 8},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE ddf_Module = {
    MVX_MODULE_DDF, static_cast<int16_t>(std::size(kNames)), 0, "DDF", kTexts, kNames};
