#include "map/map_int.h"

#include <iterator>

namespace {

// clang-format off

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    /* 0x130001 */ " Invalid database pointer.\n",
    /* 0x130002 */ " Unexpected NULL memory pointer.\n",
    /* 0x130003 */ " Error allocating memory.\n",
    /* 0x130004 */ " Error reallocating memory.\n",
    /* 0x130005 */ " Invalid argument.\n",
    /* 0x130006 */ " Invalid combination of options.\n",
    /* 0x130007 */ " Mapping \"%s\" is already defined.\n",
    /* 0x130008 */ " Mapping \"%s\" is not defined.\n",
    /* 0x130009 */ " Mapping list \"%s\" contains more than %d mappings.\n",
    /* 0x13000A */ " Too many parameters specified for \"%s\".  Maximum number of parameters is %d.\n",
    /* 0x13000B */ " Empty parameter string.\n",
    /* 0x13000C */ " Unknown token %d passed to map_EnableMapping.\n",
    /* 0x13000D */ " Syntax error parsing mapping parameter \"%s\".\n",
    /* 0x13000E */ " Error using OTM tree.\n",
    /* 0x13000F */ " Error using OLM tree.\n",
    /* 0x130010 */ "+No mapping enabled for entity %<PTR> (%<PTR2>).\n",
    /* 0x130011 */ " Mapping list \"%s\" does not contain any entries.\n",
    /* 0x130012 */ " Mapping \"%s\" is not defined.\n",
    /* 0x130013 */ "+An incorrect type was passed into map_DispatchEntity for %<PTR> (%<PTR2>). The type expected was %<DTF>, the type found was %<DTF>.\n",
    /* 0x130014 */ " Could not expand forms for mapping \"%s\".\n",
    /* 0x130015 */ " Mapping parameter \"%s\" is already defined.\n",
    /* 0x130016 */ " Mapping parameter \"%s\" is not defined.\n",
    /* 0x130017 */ " An internal error occurred in function %s.\n",
    /* 0x130018 */ " Mapping file %s does not exist.\n",
    /* 0x130019 */ " Error opening file %s.\n",
    /* 0x13001A */ " Error reading file %s.\n",
    /* 0x13001B */ " Error while parsing argument list.\n",
    /* 0x13001C */ " Could not determine the model number for the model name %s.\n",
    /* 0x13001D */ " Error on or before line %d of mapping file %s.\n",
    /* 0x13001E */ " Mapping \"%s\" can not be made part of a mapping list.\n",
    /* 0x13001F */ " Mapping \"%s\" can not be made a component of the conditional mapping, \"%s\".\n",
    /* 0x130020 */ "+Could not delete entity %<PTR> (%<PTR2>) in map_ProcessEntity because entity has parents.\n",
    /* 0x130021 */ "+Expected DTF %<DTF> but found %<DTF> for %<PTR> (%<PTR2>) in map_ProcessEntity while processing output of mapping \"%s\".\n",
    /* 0x130022 */ "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was not defined with MAP_GENERAL.\n",
    /* 0x130023 */ "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was defined with a target DDF of NULL.\n",
    /* 0x130024 */ "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was defined as a conditional mapping.  map_ProcessEntity may not be called from conditional mappings.\n",
    /* 0x130025 */ "+map_InvokeMapping called for %<PTR> (%<PTR2>) from mapping \"%s\" which was not defined as a conditional mapping.\n",
    /* 0x130026 */ "+An attempt was made to nest conditional mappings beyond the limit for DTF, %<DTF>\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"INVALID_PTR", 1, 0},             // 0x130001
    {"NULL_MEMPTR", 1, 1},             // 0x130002
    {"MALLOC_ERR", 2, 2},              // 0x130003
    {"REALLOC_ERR", 2, 3},             // 0x130004
    {"INVALID_ARG", 1, 4},             // 0x130005
    {"INVALID_OPTIONS", 1, 5},         // 0x130006
    {"ALREADY_DEFINED", 1, 6},         // 0x130007
    {"UNDEFINED", 1, 7},               // 0x130008
    {"LIST_TOO_LONG", 1, 8},           // 0x130009
    {"TOO_MANY_PARAMS", 1, 9},         // 0x13000A
    {"EMPTY_PARAM", 1, 10},            // 0x13000B
    {"UNKNOWN_TOKEN", 1, 11},          // 0x13000C
    {"SYNTAX_ERR", 1, 12},             // 0x13000D
    {"TREE_ERR", 1, 13},               // 0x13000E
    {"LIST_ERR", 1, 14},               // 0x13000F
    {"NO_MAPPING", 1, 15},             // 0x130010
    {"EMPTY_LIST", 1, 16},             // 0x130011
    {"NOT_DEFINED", 1, 17},            // 0x130012
    {"INCORRECT_TYPE", 1, 18},         // 0x130013
    {"NO_FORMS", 1, 19},               // 0x130014
    {"PARAM_ALREADY_DEFINED", 1, 20},  // 0x130015
    {"UNDEFINED_PARAM", 1, 21},        // 0x130016
    {"INTERNAL_ERR", 1, 22},           // 0x130017
    {"FILE_DOES_NOT_EXIST", 1, 23},    // 0x130018
    {"OPEN_ERR", 1, 24},               // 0x130019
    {"READ_ERR", 1, 25},               // 0x13001A
    {"PARSE_ERR", 1, 26},              // 0x13001B
    {"NO_MODEL", 1, 27},               // 0x13001C
    {"FILE_ERR", 1, 28},               // 0x13001D
    {"NOT_LISTABLE", 1, 29},           // 0x13001E
    {"CONDITIONAL_NO_MATCH", 1, 30},   // 0x13001F
    {"HAS_PARENTS", 1, 31},            // 0x130020
    {"UNEXPECTED_DTF", 1, 32},         // 0x130021
    {"NON_GENERAL_MAP", 1, 33},        // 0x130022
    {"NO_TARGET_DDF", 1, 34},          // 0x130023
    {"NO_PROCESS_CONDITIONAL", 1, 35}, // 0x130024
    {"INVOKE_NONCONDITIONAL", 1, 36},  // 0x130025
    {"CNDTL_NEST_TOO_DEEP", 1, 37},    // 0x130026
};

// clang-format on

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE map_Module = {
    MVX_MODULE_MAP, static_cast<int16_t>(std::size(kNames)), 0, "MAP", kTexts, kNames};
