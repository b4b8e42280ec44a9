#include "mda/mda_int.h"

#include <iterator>

namespace {

// clang-format off

// Message texts, indexed by text index; the first character is the flag.
// The order of the messages, and the numbers reserved, are described in
// mvx/mda.h.
const char* const kTexts[] = {
    /* 0x90001 */ " Invalid model number specified.\n",
    /* 0x90002 */ " Invalid database pointer.\n",
    /* 0x90003 */ " Unexpected NULL memory pointer.\n",
    /* 0x90004 */ " Error allocating memory.\n",
    /* 0x90005 */ " Error reallocating memory.\n",
    /* 0x90006 */ " Entity is referenced from another entity.\n",
    /* 0x90007 */ " No back pointer information exists in model.\n",
    /* 0x90008 */ " Parent not found in parent list of entity.\n",
    /* 0x90009 */ " No more models available.\n",
    /* 0x9000A */ " No DDF was specified.\n",
    /* 0x9000B */ " Entity must be read/write locked.\n",
    /* 0x9000C */ " Entity locked too many times without being unlocked.\n",
    /* 0x9000D */ " Error processing entity parent list.\n",
    /* 0x9000E */ " Error using OTM tree.\n",
    /* 0x9000F */ " Reference to child entity not found in parent entity.\n",
    /* 0x90010 */ " Unable to replace the db_ptr across the model.\n",
    /* 0x90011 */ " Can not allocate an array which has 0 elements in one or more dimensions.\n",
    /* 0x90012 */ " Number of dimensions or element size specified is different than array was originally declared with.\n",
    /* 0x90013 */ " Target entity of repalce db_ptr has not been deleted.\n",
    /* 0x90014 */ "+Invalid memory reference found in entity %<PTR2>.\n",
    /* 0x90015 */ "+Questionably large disk block (%ld bytes) found in entity %<PTR2>.\n",
    /* 0x90016 */ "+Bad block number (%d) in DBlock chain for entity %<PTR2>.\n",
    /* 0x90017 */ "+Bad pointer block number (%d) in DBlock chain for entity %<PTR2>.\n",
    /* 0x90018 */ " Callback function not found in callback list.\n",
    /* 0x90019 */ " Bad backpointers found.\n",
    /* 0x9001A */ "+The entity %<PTR> (%<PTR2>) is already defined in the current entity list. The new entry was not added to the current entity list.\n",
    /* 0x9001B */ "+Cross model pointers are not currently supported.  Entity %<PTR> (%<PTR2>) referenced entity %<PTR> (%<PTR2>).  Pointer will be changed to MDA_NULL_PTR.\n",
    /* 0x9001C */ " File already exists.\n",
    /* 0x9001D */ " Error opening file %s.\n",
    /* 0x9001E */ " An internal error occurred in function %s.\n",
    /* 0x9001F */ " Model %d specified as target of restore is not empty.\n",
    /* 0x90020 */ " Incorrect database name found in saved model file %s.  Expected \"%s\" but found \"%s\".  Parsing aborted.\n",
    /* 0x90021 */ " Incorrect database version number found in saved model file %s.  Expected %d but found %d.  Parsing aborted.\n",
    /* 0x90022 */ " Newer database release number found in saved model file %s.  Expected %d but found %d.\n",
    /* 0x90023 */ " Older database release number found in saved model file %s.  Expected %d but found %d.\n",
    /* 0x90024 */ " Unknown entity name \"%s\" found in saved model file %s.  Parsing aborted.\n",
    /* 0x90025 */ " Non-independent MBlock passed to mda_AddMemory.\n",
    /* 0x90026 */ " Bad MBlock found at address 0x%p.\n",
    /* 0x90027 */ " An error occurred while reading from the saved model file %s.  Parsing aborted.\n",
    /* 0x90028 */ " No more db_ptr available.\n",
    /* 0x90029 */ " Reserved message; not used by the library.\n",
    /* 0x9002A */ "+The pointer %<PTR> has already been created in the current model.\n",
    /* 0x9002B */ " Reserved message; not used by the library.\n",
    /* 0x9002C */ " Reserved message; not used by the library.\n",
    /* 0x9002D */ " The MDA_INVALIDATE option is no longer supporeted as a default.\nIf this option must be used, use MDA_NO_DELAYED_WRITE option in mda_AllocateModel() for backward compatibility.\n",
    /* 0x9002E */ "+An entity %<PTR2> is not locked.\n",
    /* 0x9002F */ "+An entity %<PTR> (TF:%<TF>) is corrupted.\nMarking it as DELETED\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"INVALID_MODEL", 1, 0},            // 0x90001
    {"INVALID_PTR", 1, 1},              // 0x90002
    {"NULL_MEMPTR", 1, 2},              // 0x90003
    {"MALLOC_ERR", 2, 3},               // 0x90004
    {"REALLOC_ERR", 2, 4},              // 0x90005
    {"HAS_PARENTS", 1, 5},              // 0x90006
    {"NO_BACKPTRS", 1, 6},              // 0x90007
    {"PAR_NOT_FOUND", 1, 7},            // 0x90008
    {"NO_MORE_MODEL", 1, 8},            // 0x90009
    {"NO_DDF", 1, 9},                   // 0x9000A
    {"NOT_RWLOCKED", 1, 10},            // 0x9000B
    {"TOO_MANY_LOCKS", 1, 11},          // 0x9000C
    {"PAR_LIST_ERR", 1, 12},            // 0x9000D
    {"TREE_ERR", 1, 13},                // 0x9000E
    {"CHILD_NOT_FOUND", 1, 14},         // 0x9000F
    {"MODELS_DIFFER", 1, 15},           // 0x90010
    {"ZERO_DIM", 1, 16},                // 0x90011
    {"ARRAY_MISMATCH", 1, 17},          // 0x90012
    {"ENTITY_NOT_DELETED", 1, 18},      // 0x90013
    {"DBG_BADMEMREF", 1, 19},           // 0x90014
    {"DBG_BIGDBLOCK", 1, 20},           // 0x90015
    {"DBG_BADBLOCKNUM", 1, 21},         // 0x90016
    {"DBG_BADPTRNUM", 1, 22},           // 0x90017
    {"CALLBACK_NOT_FOUND", 1, 23},      // 0x90018
    {"BAD_BACKPTRS", 1, 24},            // 0x90019
    {"DUPLICATE_ENTLIST_ENTRY", 1, 25}, // 0x9001A
    {"CROSS_MODEL_PTR", 1, 26},         // 0x9001B
    {"FILE_EXISTS", 1, 27},             // 0x9001C
    {"OPEN_ERR", 1, 28},                // 0x9001D
    {"INTERNAL_ERR", 1, 29},            // 0x9001E
    {"MODEL_NOT_EMPTY", 1, 30},         // 0x9001F
    {"INCORRECT_DBNAME", 1, 31},        // 0x90020
    {"INCORRECT_DBVERSION", 1, 32},     // 0x90021
    {"NEWER_DBRELEASE", 1, 33},         // 0x90022
    {"OLDER_DBRELEASE", 1, 34},         // 0x90023
    {"UNKNOWN_NAME", 1, 35},            // 0x90024
    {"NOT_IND_MBLOCK", 1, 36},          // 0x90025
    {"BAD_MBLOCK", 1, 37},              // 0x90026
    {"FILE_READ_ERR", 1, 38},           // 0x90027
    {"NO_MORE_PTR", 1, 39},             // 0x90028
    {"_RESERVED_41", 1, 40},            // 0x90029
    {"PTR_ALREADY_CREATED", 1, 41},     // 0x9002A
    {"_RESERVED_43", 1, 42},            // 0x9002B
    {"_RESERVED_44", 1, 43},            // 0x9002C
    {"NOLONGER_SUPPORTED", 1, 44},      // 0x9002D
    {"ENTITY_NOT_LOCKED", 1, 45},       // 0x9002E
    {"CORRUPTED_ENT", 1, 46},           // 0x9002F
};

// clang-format on

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE mda_Module = {
    MVX_MODULE_MDA, static_cast<int16_t>(std::size(kNames)), 0, "MDA", kTexts, kNames};
