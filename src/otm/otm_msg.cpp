#include "otm/otm_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " Out of memory\n",
    " Invalid size = %d\n",
    " NULL pointer\n",
    " Object Tree Manager Logic Error\n",
    " Invalid return from compare function = %d\n",
    " Object not found\n",
    " Invalid option\n",
    " Data size one (%d) does not equal data size two (%d)\n",
    " Function pointer one does not equal function pointer two\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"NOMEMORY", 2, 0},      {"INVALIDSIZE", 1, 1},    {"NULLPOINTER", 1, 2},
    {"LOGICERROR", 1, 3},    {"INVALIDCOMPARE", 1, 4}, {"NOTFOUND", 1, 5},
    {"INVALIDOPTION", 1, 6}, {"SIZENOTEQ", 1, 7},      {"FUNCTIONNOTEQ", 1, 8},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE otm_Module = {
    MVX_MODULE_OTM, static_cast<int16_t>(std::size(kNames)), 0, "OTM", kTexts, kNames};
