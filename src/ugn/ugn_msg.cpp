#include "ugn/ugn_int.h"

#include <iterator>

namespace {

// clang-format off

// Message texts, indexed by text index; the first character is the flag.
// The order of the messages is described in mvx/ugn.h.
const char* const kTexts[] = {
    /* 0xA0001 */ " Zero length name found in options structure at index %d.\n",
    /* 0xA0002 */ " Invalid type string found in options structure at index %d.\n",
    /* 0xA0003 */ " Invalid group found in options structure at index %d.\n",
    /* 0xA0004 */ " Required option \"-%s\" is inside an option group.\n",
    /* 0xA0005 */ " Error allocating memory.\n",
    /* 0xA0006 */ " Unknown option \"%s\" found.\n",
    /* 0xA0007 */ " Option \"%s\" was specified more than once.\n",
    /* 0xA0008 */ " Options \"-%s\" and \"-%s\" can not be specified at the same time.\n",
    /* 0xA0009 */ " Option \"%s\" requires a value to be specified.\n",
    /* 0xA000A */ " Invalid type/form \"%s\" specified for option \"%s\".\n",
    /* 0xA000B */ " Type \"%s\" for option \"%s\" is not a known type.\n",
    /* 0xA000C */ " Required option \"-%s\" not specified.\n",
    /* 0xA000D */ " Error while accessing environment alias table.\n",
    /* 0xA000E */ " Environment variable name too long.\n",
    /* 0xA000F */ " Exponent of a double value is too large to be formatted; 308 is used.\n",
    /* 0xA0010 */ " Exponent of a double value is too small to be formatted; -307 is used.\n",
    /* 0xA0011 */ " \"%lf\" is an invalid float. An invalid floating point number was found. Number will be processed as 0.0.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"OPTS_INVALID_NAME", 1, 0},        // 0xA0001
    {"OPTS_INVALID_TYPE", 1, 1},        // 0xA0002
    {"OPTS_INVALID_GROUP", 1, 2},       // 0xA0003
    {"OPTS_REQUIRED_IN_GROUP", 1, 3},   // 0xA0004
    {"MALLOC_ERR", 2, 4},               // 0xA0005
    {"OPTS_UNKNOWN_OPTION", 1, 5},      // 0xA0006
    {"OPTS_REPEATED_OPTION", 1, 6},     // 0xA0007
    {"OPTS_CONFLICT", 1, 7},            // 0xA0008
    {"OPTS_VALUE_MISSING", 1, 8},       // 0xA0009
    {"OPTS_INVALID_TF", 1, 9},          // 0xA000A
    {"OPTS_ILLEGAL_TYPE", 1, 10},       // 0xA000B
    {"OPTS_REQUIRED_NOT_FOUND", 1, 11}, // 0xA000C
    {"ENVALIAS_ERR", 1, 12},            // 0xA000D
    {"ENV_VAR_TOO_LONG", 1, 13},        // 0xA000E
    {"MAXEXP_ERR", 1, 14},              // 0xA000F
    {"MINEXP_ERR", 1, 15},              // 0xA0010
    {"BAD_FLOAT", 1, 16},               // 0xA0011
};

// clang-format on

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE ugn_Module = {
    MVX_MODULE_UGN, static_cast<int16_t>(std::size(kNames)), 0, "UGN", kTexts, kNames};
