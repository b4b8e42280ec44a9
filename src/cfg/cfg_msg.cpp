#include "cfg/cfg_int.h"

#include <iterator>

namespace {

// clang-format off

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    /* 0x110001 */ " Binary Configuration files are not supported.\n",
    /* 0x110002 */ " Close-brace (}) operator expected.\n",
    /* 0x110003 */ " Corresponding ({) not found.\n",
    /* 0x110004 */ " Colon (:) or Equal (=) operator expected.\n",
    /* 0x110005 */ " Error closing the file '%s'.\n",
    /* 0x110006 */ " Comma (,) operator expected.\n",
    /* 0x110007 */ " Line #%ld: Data points discarded: '%s'\nOnly %ld of %ld data points extracted.\n",
    /* 0x110008 */ " Line #%ld: Invalid Double/Integer combination: '%s'\nDouble value cast to an integer.\n",
    /* 0x110009 */ " Configuration entity %s (%ld:%ld) not found.\n",
    /* 0x11000A */ " No parameter data was found for the '%s' entity.\nNormally, parameter data is not required for\neach entity, but this is the ONLY configuration\nentity in the specified DDF.\n",
    /* 0x11000B */ " Identifier expected.\n",
    /* 0x11000C */ " Invalid DDF specified.\n",
    /* 0x11000D */ " No section headers were found.  Unable to determine\nwith which entity to associate parameters.\n",
    /* 0x11000E */ " Line #%ld: Invalid Pointer/Integer combination: '%s'\n",
    /* 0x11000F */ " Line #%ld: Invalid count value: '%s'\n",
    /* 0x110010 */ " Invalid model specified.\n",
    /* 0x110011 */ " Invalid configuration file name specified.\n",
    /* 0x110012 */ " Line #%ld: Invalid section name: '%s'\nNo DDF entity by this name.  Parameters ignored.\n",
    /* 0x110013 */ " Line #%ld: Invalid Double/Integer combination: '%s'\nInteger value cast to a double.\n",
    /* 0x110014 */ " Error locking configuration entity #%ld.\n",
    /* 0x110015 */ " A Memory error occurred.\n",
    /* 0x110016 */ " Error initializing configuration model.\n",
    /* 0x110017 */ " Error allocating configuration model.\n",
    /* 0x110018 */ " Line #%ld: Multiple dimensioned array: '%s'\n",
    /* 0x110019 */ " Illegal nested comment\n",
    /* 0x11001A */ " New-line in character string.\n",
    /* 0x11001B */ " The specified DDF contains no entities.\n",
    /* 0x11001C */ " This configuration DDF is not supported by Command Line Preprocessor.\n",
    /* 0x11001D */ " Line #%ld: Non-Unique section name: '%s'\n",
    /* 0x11001E */ " Open-brace ({) operator expected.\n",
    /* 0x11001F */ " Structure declaration not valid.\n",
    /* 0x110020 */ " Error opening the file '%s'.\n",
    /* 0x110021 */ " Line #%ld: Parameter redeclared within context of file: '%s'\n",
    /* 0x110022 */ " Error parsing the configuration file.\n",
    /* 0x110023 */ " Print Usage",
    /* 0x110024 */ " Error parsing '%s' structure.\n",
    /* 0x110025 */ " Parameter value(s) expected.\n",
    /* 0x110026 */ " Value out of range.\n",
    /* 0x110027 */ " Error reading the file '%s'.\n",
    /* 0x110028 */ " The first section of this file does not have\na configuration header token.  This token is\nnecessary in configuration files with more than\none section.\n",
    /* 0x110029 */ " Arrays not supported within structures.\nFound array '%s' within structure '%s' on line #%ld.\n",
    /* 0x11002A */ " Error traversing entity #%ld.\n",
    /* 0x11002B */ " Error traversing configuration model #%ld.\n",
    /* 0x11002C */ " Line #%ld:  Unexpected EOF\n",
    /* 0x11002D */ " Line #%ld:  Undefined symbol: '%s'\n",
    /* 0x11002E */ " SYNTAX ERROR: %s is an unknown command line argument.\nFor Usage specify -h.\n",
    /* 0x11002F */ " Error unlocking configuration entity #%ld.\n",
    /* 0x110030 */ " Error processing array '%s'.\n",
    /* 0x110031 */ " Error adding node to system list.\n",
    /* 0x110032 */ " Error adding node to system tree.\n",
    /* 0x110033 */ " Error deleting system list.\n",
    /* 0x110034 */ " Error deleting system tree.\n",
    /* 0x110035 */ " Error retrieving dimension information for structure '%s'.\n",
    /* 0x110036 */ " Syntax Error: Line #%ld <%s>\n`%s`",
    /* 0x110037 */ "  %s^",
    /* 0x110038 */ " Error retrieving node from list.\n",
    /* 0x110039 */ " Invalid data type '%ld' specified for '%s'.\n",
    /* 0x11003A */ " Error creating system list.\n",
    /* 0x11003B */ " Error retrieving entity reference tree.\n",
    /* 0x11003C */ " Error resetting system list cycle.\n",
    /* 0x11003D */ " Error resetting system tree cycle.\n",
    /* 0x11003E */ " Error determining the number of structure elements in the '%s' array.\n",
    /* 0x11003F */ " Error creating system tree.\n",
    /* 0x110040 */ " Undefined data type specified for extraction.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"BINARY_UNSUPPORTED", 1, 0},    // 0x110001
    {"CB_EXP", 1, 1},                // 0x110002
    {"CB_INVAL", 1, 2},              // 0x110003
    {"CEQ_EXP", 1, 3},               // 0x110004
    {"CLOSE_ERROR", 1, 4},           // 0x110005
    {"COP_EXP", 1, 5},               // 0x110006
    {"DATA_IGNORED", 1, 6},          // 0x110007
    {"D_TO_I", 1, 7},                // 0x110008
    {"ENT_NOT_FOUND", 1, 8},         // 0x110009
    {"ENT_WO_SECTION", 1, 9},        // 0x11000A
    {"IDEN_EXP", 1, 10},             // 0x11000B
    {"INVALID_DDF", 1, 11},          // 0x11000C
    {"INVALID_DEFAULT", 1, 12},      // 0x11000D
    {"INVALID_COMBO", 1, 13},        // 0x11000E
    {"INVALID_COUNT", 1, 14},        // 0x11000F
    {"INVALID_MODEL", 1, 15},        // 0x110010
    {"INVALID_NAME", 1, 16},         // 0x110011
    {"INVALID_SECTION", 1, 17},      // 0x110012
    {"I_TO_D", 1, 18},               // 0x110013
    {"LOCK_ERROR", 1, 19},           // 0x110014
    {"MALLOC_ERROR", 2, 20},         // 0x110015
    {"MODEL_INIT_ERROR", 1, 21},     // 0x110016
    {"MODEL_ALLOC_ERROR", 1, 22},    // 0x110017
    {"MULT_DIM_ARRAY", 1, 23},       // 0x110018
    {"NESTED_COMMENT", 1, 24},       // 0x110019
    {"NEWLINE_STRING", 1, 25},       // 0x11001A
    {"NO_ENTITIES", 1, 26},          // 0x11001B
    {"NOT_SUPPORTED", 1, 27},        // 0x11001C
    {"NOT_UNIQUE", 1, 28},           // 0x11001D
    {"OB_EXP", 1, 29},               // 0x11001E
    {"OB_INVAL", 1, 30},             // 0x11001F
    {"OPEN_ERROR", 1, 31},           // 0x110020
    {"PARAM_REDEC", 1, 32},          // 0x110021
    {"PARSE_ERROR", 1, 33},          // 0x110022
    {"PRINT_USAGE", 1, 34},          // 0x110023
    {"PS_ERROR", 1, 35},             // 0x110024
    {"PVAL_EXP", 1, 36},             // 0x110025
    {"RANGE_ERROR", 1, 37},          // 0x110026
    {"READ_ERROR", 1, 38},           // 0x110027
    {"SECTION_MISSING", 1, 39},      // 0x110028
    {"ST_ARRAY", 1, 40},             // 0x110029
    {"TRAVERSE_ENT_ERROR", 1, 41},   // 0x11002A
    {"TRAVERSE_MODEL_ERROR", 1, 42}, // 0x11002B
    {"UNEXPECTED_EOF", 1, 43},       // 0x11002C
    {"UNDEFINED_SYMBOL", 1, 44},     // 0x11002D
    {"UNKNOWN_OPTION", 1, 45},       // 0x11002E
    {"UNLOCK_ERROR", 1, 46},         // 0x11002F
    {"_ARRAY_ERROR", 1, 47},         // 0x110030
    {"_ADDL_ERROR", 1, 48},          // 0x110031
    {"_ADDT_ERROR", 1, 49},          // 0x110032
    {"_DELETEL_ERROR", 1, 50},       // 0x110033
    {"_DELETET_ERROR", 1, 51},       // 0x110034
    {"_DIM_ERROR", 1, 52},           // 0x110035
    {"_ERROR_RECORD", 1, 53},        // 0x110036
    {"_ERROR_PTR", 1, 54},           // 0x110037
    {"_GETL_ERROR", 1, 55},          // 0x110038
    {"_INVALID_TYPE", 1, 56},        // 0x110039
    {"_LIST_ERROR", 1, 57},          // 0x11003A
    {"_MOD_UDATA_ERROR", 1, 58},     // 0x11003B
    {"_RESETL_ERROR", 1, 59},        // 0x11003C
    {"_RESETT_ERROR", 1, 60},        // 0x11003D
    {"_STRUCT_COUNT_ERROR", 1, 61},  // 0x11003E
    {"_TREE_ERROR", 1, 62},          // 0x11003F
    {"_UNKNOWN_TYPE", 1, 63},        // 0x110040
};

// clang-format on

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE cfg_Module = {
    MVX_MODULE_CFG, static_cast<int16_t>(std::size(kNames)), 0, "CFG", kTexts, kNames};
