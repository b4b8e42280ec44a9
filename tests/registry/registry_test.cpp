// The message tables of all modules, the registry that start-up fills with
// them, name and code resolution, and the `mvx msg` command that shows them.
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "libmvx.h"
#include "support/fixture.h"
#include "support/tempdir.h"
#include "unl/unl_int.h"

namespace {

struct Expected {
    const char* name; // full message name
    uint32_t code;
    uint32_t exc_class;
    const char* text; // as stored, flag character first
};

// Every message of the library with its code, exception class and stored
// text. Where a module's messages have no fixed numbers (most of MDA's, all
// of UGN's), the numbers are the ones its header documents.
// clang-format off
const Expected kMessages[] = {
    {"MVX_EXC_NONE", 0x1, 1, " no exception"},
    {"MVX_EXC_MEMORY", 0x2, 1, " Memory error"},
    {"MVX_EXC_FILEIO", 0x3, 1, " File I/O error"},
    {"MVX_EXC_MAXERROR", 0x4, 1, " max error reached"},
    {"MVX_BAD_MSG_NAME", 0x5, 1, " Invalid message name %s.\n"},
    {"MVX_CLEANUP_ERR", 0x6, 1, " Cleanup error in %s at line %d.\n"},
    {"MVX_READ_ERROR", 0x7, 1, " Error reading from the file '%s'.\n"},
    {"MVX_BAD_FILENAME", 0x8, 1, " Invalid or null filename specified.\n"},
    {"MVX_NOT_FOUND", 0x9, 1, " File '%s' does not exist.\n"},
    {"MVX_OPEN_ERROR", 0xA, 1, " Error opening the file '%s'.\n"},
    {"MVX_CLOSE_ERROR", 0xB, 1, " Error closing the file '%s'.\n"},
    {"MVX_BAD_EOL_DELIM", 0xC, 1, " The file contains end-of-line delimiters consisting of 3 or more characters.\n"},
    {"MVX_UNKNOWN_FILETYPE", 0xD, 1, " File type could not be determined for the file '%s'.\n"},

    {"MPM_INFO", 0x10001, 1, " *** Information (%s) "},
    {"MPM_STATUS", 0x10002, 1, " *** Status (%s) "},
    {"MPM_WARNING", 0x10003, 1, " *** Warning (%s) "},
    {"MPM_ERROR", 0x10004, 1, " *** Error (%s) "},
    {"MPM_FATAL", 0x10005, 1, " *** Fatal (%s) "},
    {"MPM__STARS", 0x10006, 1, " ***\n"},
    {"MPM__DEBUG", 0x10007, 1, " @%s(%d) "},
    {"MPM__INVALIDMESSAGE", 0x10008, 1, " ..... INVALID MESSAGE .....\n"},
    {"MPM__UNKNOWN", 0x10009, 1, " UNKNOWN"},
    {"MPM_OPENERROR", 0x1000A, 1, " Error opening file %s for write.\n"},
    {"MPM_CLOSEERROR", 0x1000B, 1, " Error closing file.\n"},
    {"MPM_DOFERROR", 0x1000C, 1, " DOF error %d\n"},
    {"MPM__NOERR", 0x1000D, 1, " NOERR"},

    {"OLM_NOMEMORY", 0x20001, 2, " Out of memory\n"},
    {"OLM_INVALIDSIZE", 0x20002, 1, " Invalid size = %d\n"},
    {"OLM_NULLPOINTER", 0x20003, 1, " NULL pointer\n"},
    {"OLM_INVALIDPOSITION", 0x20004, 1, " Invalid position = %d\n"},
    {"OLM_SIZENOTEQ", 0x20005, 1, " Data size one (%d) does not equal data size two (%d)\n"},

    {"OTM_NOMEMORY", 0x30001, 2, " Out of memory\n"},
    {"OTM_INVALIDSIZE", 0x30002, 1, " Invalid size = %d\n"},
    {"OTM_NULLPOINTER", 0x30003, 1, " NULL pointer\n"},
    {"OTM_LOGICERROR", 0x30004, 1, " Object Tree Manager Logic Error\n"},
    {"OTM_INVALIDCOMPARE", 0x30005, 1, " Invalid return from compare function = %d\n"},
    {"OTM_NOTFOUND", 0x30006, 1, " Object not found\n"},
    {"OTM_INVALIDOPTION", 0x30007, 1, " Invalid option\n"},
    {"OTM_SIZENOTEQ", 0x30008, 1, " Data size one (%d) does not equal data size two (%d)\n"},
    {"OTM_FUNCTIONNOTEQ", 0x30009, 1, " Function pointer one does not equal function pointer two\n"},

    {"OSM_NOMEMORY", 0x40001, 1, " Out of memory\n"},
    {"OSM_NULLPOINTER", 0x40002, 1, " NULL pointer\n"},
    {"OSM_NOOBJECTS", 0x40003, 1, " No objects in stack\n"},

    {"OQM_NOMEMORY", 0x50001, 1, " Out of memory\n"},
    {"OQM_NULLPOINTER", 0x50002, 1, " NULL pointer\n"},
    {"OQM_NOOBJECTS", 0x50003, 1, " No objects in que\n"},

    {"EAM_NULLPOINTER", 0x60001, 1, " NULL pointer\n"},
    {"EAM_NOMEMORY", 0x60002, 2, " Out of memory\n"},
    {"EAM_INVALIDSIZE", 0x60003, 1, " Invalid size = %d\n"},

    {"DDF_NULL_MEMPTR", 0x80001, 1, " Unexpected NULL memory pointer.\n"},
    {"DDF_INVALID_ARG", 0x80002, 1, " Invalid argument.\n"},
    {"DDF_FIELD_NOT_FOUND", 0x80003, 1, " Specified field was not found.\n"},
    {"DDF_MALLOC_ERR", 0x80004, 2, " Error allocating memory.\n"},
    {"DDF_OPEN_ERR", 0x80005, 1, " Error opening DDF file %s.\n"},
    {"DDF_READ_ERR", 0x80006, 1, " Error reading DDF file %s.\n"},
    {"DDF_VERSION_ERR", 0x80007, 1, " Binary DDF file %s has wrong version number.\n"},
    {"DDF_ID_ERR", 0x80008, 1, " File %s is not a binary DDF.\n"},
    {"DDF_NOT_UNION_TYPE", 0x80009, 1, " Field type of union expected but not found.\n"},

    {"MDA_INVALID_MODEL", 0x90001, 1, " Invalid model number specified.\n"},
    {"MDA_INVALID_PTR", 0x90002, 1, " Invalid database pointer.\n"},
    {"MDA_NULL_MEMPTR", 0x90003, 1, " Unexpected NULL memory pointer.\n"},
    {"MDA_MALLOC_ERR", 0x90004, 2, " Error allocating memory.\n"},
    {"MDA_REALLOC_ERR", 0x90005, 2, " Error reallocating memory.\n"},
    {"MDA_HAS_PARENTS", 0x90006, 1, " Entity is referenced from another entity.\n"},
    {"MDA_NO_BACKPTRS", 0x90007, 1, " No back pointer information exists in model.\n"},
    {"MDA_PAR_NOT_FOUND", 0x90008, 1, " Parent not found in parent list of entity.\n"},
    {"MDA_NO_MORE_MODEL", 0x90009, 1, " No more models available.\n"},
    {"MDA_NO_DDF", 0x9000A, 1, " No DDF was specified.\n"},
    {"MDA_NOT_RWLOCKED", 0x9000B, 1, " Entity must be read/write locked.\n"},
    {"MDA_TOO_MANY_LOCKS", 0x9000C, 1, " Entity locked too many times without being unlocked.\n"},
    {"MDA_PAR_LIST_ERR", 0x9000D, 1, " Error processing entity parent list.\n"},
    {"MDA_TREE_ERR", 0x9000E, 1, " Error using OTM tree.\n"},
    {"MDA_CHILD_NOT_FOUND", 0x9000F, 1, " Reference to child entity not found in parent entity.\n"},
    {"MDA_MODELS_DIFFER", 0x90010, 1, " Unable to replace the db_ptr across the model.\n"},
    {"MDA_ZERO_DIM", 0x90011, 1, " Can not allocate an array which has 0 elements in one or more dimensions.\n"},
    {"MDA_ARRAY_MISMATCH", 0x90012, 1, " Number of dimensions or element size specified is different than array was originally declared with.\n"},
    {"MDA_ENTITY_NOT_DELETED", 0x90013, 1, " Target entity of repalce db_ptr has not been deleted.\n"},
    {"MDA_DBG_BADMEMREF", 0x90014, 1, "+Invalid memory reference found in entity %<PTR2>.\n"},
    {"MDA_DBG_BIGDBLOCK", 0x90015, 1, "+Questionably large disk block (%ld bytes) found in entity %<PTR2>.\n"},
    {"MDA_DBG_BADBLOCKNUM", 0x90016, 1, "+Bad block number (%d) in DBlock chain for entity %<PTR2>.\n"},
    {"MDA_DBG_BADPTRNUM", 0x90017, 1, "+Bad pointer block number (%d) in DBlock chain for entity %<PTR2>.\n"},
    {"MDA_CALLBACK_NOT_FOUND", 0x90018, 1, " Callback function not found in callback list.\n"},
    {"MDA_BAD_BACKPTRS", 0x90019, 1, " Bad backpointers found.\n"},
    {"MDA_DUPLICATE_ENTLIST_ENTRY", 0x9001A, 1, "+The entity %<PTR> (%<PTR2>) is already defined in the current entity list. The new entry was not added to the current entity list.\n"},
    {"MDA_CROSS_MODEL_PTR", 0x9001B, 1, "+Cross model pointers are not currently supported.  Entity %<PTR> (%<PTR2>) referenced entity %<PTR> (%<PTR2>).  Pointer will be changed to MDA_NULL_PTR.\n"},
    {"MDA_FILE_EXISTS", 0x9001C, 1, " File already exists.\n"},
    {"MDA_OPEN_ERR", 0x9001D, 1, " Error opening file %s.\n"},
    {"MDA_INTERNAL_ERR", 0x9001E, 1, " An internal error occurred in function %s.\n"},
    {"MDA_MODEL_NOT_EMPTY", 0x9001F, 1, " Model %d specified as target of restore is not empty.\n"},
    {"MDA_INCORRECT_DBNAME", 0x90020, 1, " Incorrect database name found in saved model file %s.  Expected \"%s\" but found \"%s\".  Parsing aborted.\n"},
    {"MDA_INCORRECT_DBVERSION", 0x90021, 1, " Incorrect database version number found in saved model file %s.  Expected %d but found %d.  Parsing aborted.\n"},
    {"MDA_NEWER_DBRELEASE", 0x90022, 1, " Newer database release number found in saved model file %s.  Expected %d but found %d.\n"},
    {"MDA_OLDER_DBRELEASE", 0x90023, 1, " Older database release number found in saved model file %s.  Expected %d but found %d.\n"},
    {"MDA_UNKNOWN_NAME", 0x90024, 1, " Unknown entity name \"%s\" found in saved model file %s.  Parsing aborted.\n"},
    {"MDA_NOT_IND_MBLOCK", 0x90025, 1, " Non-independent MBlock passed to mda_AddMemory.\n"},
    {"MDA_BAD_MBLOCK", 0x90026, 1, " Bad MBlock found at address 0x%p.\n"},
    {"MDA_FILE_READ_ERR", 0x90027, 1, " An error occurred while reading from the saved model file %s.  Parsing aborted.\n"},
    {"MDA_NO_MORE_PTR", 0x90028, 1, " No more db_ptr available.\n"},
    {"MDA__RESERVED_41", 0x90029, 1, " Reserved message; not used by the library.\n"},
    {"MDA_PTR_ALREADY_CREATED", 0x9002A, 1, "+The pointer %<PTR> has already been created in the current model.\n"},
    {"MDA__RESERVED_43", 0x9002B, 1, " Reserved message; not used by the library.\n"},
    {"MDA__RESERVED_44", 0x9002C, 1, " Reserved message; not used by the library.\n"},
    {"MDA_NOLONGER_SUPPORTED", 0x9002D, 1, " The MDA_INVALIDATE option is no longer supporeted as a default.\nIf this option must be used, use MDA_NO_DELAYED_WRITE option in mda_AllocateModel() for backward compatibility.\n"},
    {"MDA_ENTITY_NOT_LOCKED", 0x9002E, 1, "+An entity %<PTR2> is not locked.\n"},
    {"MDA_CORRUPTED_ENT", 0x9002F, 1, "+An entity %<PTR> (TF:%<TF>) is corrupted.\nMarking it as DELETED\n"},

    {"UGN_OPTS_INVALID_NAME", 0xA0001, 1, " Zero length name found in options structure at index %d.\n"},
    {"UGN_OPTS_INVALID_TYPE", 0xA0002, 1, " Invalid type string found in options structure at index %d.\n"},
    {"UGN_OPTS_INVALID_GROUP", 0xA0003, 1, " Invalid group found in options structure at index %d.\n"},
    {"UGN_OPTS_REQUIRED_IN_GROUP", 0xA0004, 1, " Required option \"-%s\" is inside an option group.\n"},
    {"UGN_MALLOC_ERR", 0xA0005, 2, " Error allocating memory.\n"},
    {"UGN_OPTS_UNKNOWN_OPTION", 0xA0006, 1, " Unknown option \"%s\" found.\n"},
    {"UGN_OPTS_REPEATED_OPTION", 0xA0007, 1, " Option \"%s\" was specified more than once.\n"},
    {"UGN_OPTS_CONFLICT", 0xA0008, 1, " Options \"-%s\" and \"-%s\" can not be specified at the same time.\n"},
    {"UGN_OPTS_VALUE_MISSING", 0xA0009, 1, " Option \"%s\" requires a value to be specified.\n"},
    {"UGN_OPTS_INVALID_TF", 0xA000A, 1, " Invalid type/form \"%s\" specified for option \"%s\".\n"},
    {"UGN_OPTS_ILLEGAL_TYPE", 0xA000B, 1, " Type \"%s\" for option \"%s\" is not a known type.\n"},
    {"UGN_OPTS_REQUIRED_NOT_FOUND", 0xA000C, 1, " Required option \"-%s\" not specified.\n"},
    {"UGN_ENVALIAS_ERR", 0xA000D, 1, " Error while accessing environment alias table.\n"},
    {"UGN_ENV_VAR_TOO_LONG", 0xA000E, 1, " Environment variable name too long.\n"},
    {"UGN_MAXEXP_ERR", 0xA000F, 1, " Exponent of a double value is too large to be formatted; 308 is used.\n"},
    {"UGN_MINEXP_ERR", 0xA0010, 1, " Exponent of a double value is too small to be formatted; -307 is used.\n"},
    {"UGN_BAD_FLOAT", 0xA0011, 1, " \"%lf\" is an invalid float. An invalid floating point number was found. Number will be processed as 0.0.\n"},

    {"MTH_COLINEARPLANEPNTS", 0xB0001, 1, "All the plane points are collinear - plane matrix can not be defined\n"},
    {"MTH_NOMEMORY", 0xB0002, 2, "No more memory available\n"},
    {"MTH_SAMEPOINT", 0xB0003, 1, "Point to add to list is the same as a point already in the list\n"},
    {"MTH_PARALLELLINES", 0xB0004, 1, "Intersection lines are parallel\n"},
    {"MTH_SINGULAREQS", 0xB0005, 1, "A singular system of equations occurred.\n"},
    {"MTH_INVALID_RANGE", 0xB0006, 1, "The given range is either negative or zero\n"},
    {"MTH_INVALID_OPT", 0xB0007, 1, "The option is not valid\n"},
    {"MTH_MINMAX", 0xB0008, 1, "The minimum value is not smaller than the maximum value\n"},
    {"MTH_SINGULAR_MATRIX", 0xB0009, 1, "The singular matrix found.\n"},
    {"MTH_ORIGIN_POINT", 0xB000A, 1, "The point is at the origin or on an axis.\n"},
    {"MTH_SELFINTERSECT_LOOP", 0xB000B, 1, "A self-intersecting loop found.\n"},
    {"MTH_ORIGIN_CROSSING", 0xB000C, 1, "A curve crossing the origin.\n"},
    {"MTH_DEGENERATE_LINE", 0xB000D, 1, "+The line (%<PFID>) is degenerate.\n"},
    {"MTH_INTERSECTED_LOOPS", 0xB000E, 1, "Loops are intersecting.\n"},

    {"EVM_INVALID_PTR", 0xC0001, 1, " Invalid database pointer.\n"},
    {"EVM_NULL_MEMPTR", 0xC0002, 1, " Unexpected NULL memory pointer.\n"},
    {"EVM_CHECK_NOT_FOUND", 0xC0003, 1, " Check %s not found in validation table.\n"},

    {"FMT_CURDATE", 0xD0001, 1, " %.3s, %.3s %.2s, %.4s"},
    {"FMT_CURTIME", 0xD0002, 1, " %.8s"},
    {"FMT_ERRORTOTAL", 0xD0003, 1, " The following message was issued %d time(s)"},
    {"FMT_ERRORISSUE", 0xD0004, 1, "  and suppressed after %d time(s)"},
    {"FMT_ERRORTERM", 0xD0005, 1, " \n"},
    {"FMT_NOERROR", 0xD0006, 1, " No errors.\n"},
    {"FMT_ERRORSUMMARY", 0xD0007, 1, " Information: %d\nStatus:      %d\nWarning:     %d\nError:       %d\nFatal:       %d\n"},
    {"FMT_ELAPSEDTIME", 0xD0008, 1, " %02d:%02d:%02d"},
    {"FMT_TF", 0xD0009, 1, " %s:%s"},
    {"FMT_PTR", 0xD000A, 1, " #%ld:%lld"},
    {"FMT_TEST", 0xD000B, 1, "+TF = %<TF>, PTR = %<PTR>\n"},
    {"FMT_PTR2", 0xD000C, 1, " 0x%llx"},
    {"FMT_DTF", 0xD000D, 1, " %s:%s:%s"},
    {"FMT_ENTITYHEADER", 0xD000E, 1, "  Name                                                                    Count\n------------------------------------------------------------------------------\n"},
    {"FMT_ENTITYCOUNT", 0xD000F, 1, "  %-69s   %5d\n"},
    {"FMT_ENTITYTOTAL", 0xD0010, 1, " ------------------------------------------------------------------------------\n                                                              Total      %5d\n"},
    {"FMT_NOMODEL", 0xD0011, 1, " No model active.\n"},
    {"FMT_IGES_ORIG", 0xD0012, 1, "+IGES %<TF> %s DE#%ld"},
    {"FMT_DXFI_ORIG", 0xD0013, 1, " DXF %s handle:%s"},
    {"FMT_STEP_ORIG", 0xD0014, 1, " STEP %s PFID #%ld"},
    {"FMT_VDAF_ORIG", 0xD0015, 1, " VDAFS %s name:%s"},
    {"FMT_MDA_ORIG", 0xD0016, 1, "+MDA %s model:entity %<PTR>"},

    {"HDB__DUMMY", 0x100001, 1, " "},

    {"CFG_BINARY_UNSUPPORTED", 0x110001, 1, " Binary Configuration files are not supported.\n"},
    {"CFG_CB_EXP", 0x110002, 1, " Close-brace (}) operator expected.\n"},
    {"CFG_CB_INVAL", 0x110003, 1, " Corresponding ({) not found.\n"},
    {"CFG_CEQ_EXP", 0x110004, 1, " Colon (:) or Equal (=) operator expected.\n"},
    {"CFG_CLOSE_ERROR", 0x110005, 1, " Error closing the file '%s'.\n"},
    {"CFG_COP_EXP", 0x110006, 1, " Comma (,) operator expected.\n"},
    {"CFG_DATA_IGNORED", 0x110007, 1, " Line #%ld: Data points discarded: '%s'\nOnly %ld of %ld data points extracted.\n"},
    {"CFG_D_TO_I", 0x110008, 1, " Line #%ld: Invalid Double/Integer combination: '%s'\nDouble value cast to an integer.\n"},
    {"CFG_ENT_NOT_FOUND", 0x110009, 1, " Configuration entity %s (%ld:%ld) not found.\n"},
    {"CFG_ENT_WO_SECTION", 0x11000A, 1, " No parameter data was found for the '%s' entity.\nNormally, parameter data is not required for\neach entity, but this is the ONLY configuration\nentity in the specified DDF.\n"},
    {"CFG_IDEN_EXP", 0x11000B, 1, " Identifier expected.\n"},
    {"CFG_INVALID_DDF", 0x11000C, 1, " Invalid DDF specified.\n"},
    {"CFG_INVALID_DEFAULT", 0x11000D, 1, " No section headers were found.  Unable to determine\nwith which entity to associate parameters.\n"},
    {"CFG_INVALID_COMBO", 0x11000E, 1, " Line #%ld: Invalid Pointer/Integer combination: '%s'\n"},
    {"CFG_INVALID_COUNT", 0x11000F, 1, " Line #%ld: Invalid count value: '%s'\n"},
    {"CFG_INVALID_MODEL", 0x110010, 1, " Invalid model specified.\n"},
    {"CFG_INVALID_NAME", 0x110011, 1, " Invalid configuration file name specified.\n"},
    {"CFG_INVALID_SECTION", 0x110012, 1, " Line #%ld: Invalid section name: '%s'\nNo DDF entity by this name.  Parameters ignored.\n"},
    {"CFG_I_TO_D", 0x110013, 1, " Line #%ld: Invalid Double/Integer combination: '%s'\nInteger value cast to a double.\n"},
    {"CFG_LOCK_ERROR", 0x110014, 1, " Error locking configuration entity #%ld.\n"},
    {"CFG_MALLOC_ERROR", 0x110015, 2, " A Memory error occurred.\n"},
    {"CFG_MODEL_INIT_ERROR", 0x110016, 1, " Error initializing configuration model.\n"},
    {"CFG_MODEL_ALLOC_ERROR", 0x110017, 1, " Error allocating configuration model.\n"},
    {"CFG_MULT_DIM_ARRAY", 0x110018, 1, " Line #%ld: Multiple dimensioned array: '%s'\n"},
    {"CFG_NESTED_COMMENT", 0x110019, 1, " Illegal nested comment\n"},
    {"CFG_NEWLINE_STRING", 0x11001A, 1, " New-line in character string.\n"},
    {"CFG_NO_ENTITIES", 0x11001B, 1, " The specified DDF contains no entities.\n"},
    {"CFG_NOT_SUPPORTED", 0x11001C, 1, " This configuration DDF is not supported by Command Line Preprocessor.\n"},
    {"CFG_NOT_UNIQUE", 0x11001D, 1, " Line #%ld: Non-Unique section name: '%s'\n"},
    {"CFG_OB_EXP", 0x11001E, 1, " Open-brace ({) operator expected.\n"},
    {"CFG_OB_INVAL", 0x11001F, 1, " Structure declaration not valid.\n"},
    {"CFG_OPEN_ERROR", 0x110020, 1, " Error opening the file '%s'.\n"},
    {"CFG_PARAM_REDEC", 0x110021, 1, " Line #%ld: Parameter redeclared within context of file: '%s'\n"},
    {"CFG_PARSE_ERROR", 0x110022, 1, " Error parsing the configuration file.\n"},
    {"CFG_PRINT_USAGE", 0x110023, 1, " Print Usage"},
    {"CFG_PS_ERROR", 0x110024, 1, " Error parsing '%s' structure.\n"},
    {"CFG_PVAL_EXP", 0x110025, 1, " Parameter value(s) expected.\n"},
    {"CFG_RANGE_ERROR", 0x110026, 1, " Value out of range.\n"},
    {"CFG_READ_ERROR", 0x110027, 1, " Error reading the file '%s'.\n"},
    {"CFG_SECTION_MISSING", 0x110028, 1, " The first section of this file does not have\na configuration header token.  This token is\nnecessary in configuration files with more than\none section.\n"},
    {"CFG_ST_ARRAY", 0x110029, 1, " Arrays not supported within structures.\nFound array '%s' within structure '%s' on line #%ld.\n"},
    {"CFG_TRAVERSE_ENT_ERROR", 0x11002A, 1, " Error traversing entity #%ld.\n"},
    {"CFG_TRAVERSE_MODEL_ERROR", 0x11002B, 1, " Error traversing configuration model #%ld.\n"},
    {"CFG_UNEXPECTED_EOF", 0x11002C, 1, " Line #%ld:  Unexpected EOF\n"},
    {"CFG_UNDEFINED_SYMBOL", 0x11002D, 1, " Line #%ld:  Undefined symbol: '%s'\n"},
    {"CFG_UNKNOWN_OPTION", 0x11002E, 1, " SYNTAX ERROR: %s is an unknown command line argument.\nFor Usage specify -h.\n"},
    {"CFG_UNLOCK_ERROR", 0x11002F, 1, " Error unlocking configuration entity #%ld.\n"},
    {"CFG__ARRAY_ERROR", 0x110030, 1, " Error processing array '%s'.\n"},
    {"CFG__ADDL_ERROR", 0x110031, 1, " Error adding node to system list.\n"},
    {"CFG__ADDT_ERROR", 0x110032, 1, " Error adding node to system tree.\n"},
    {"CFG__DELETEL_ERROR", 0x110033, 1, " Error deleting system list.\n"},
    {"CFG__DELETET_ERROR", 0x110034, 1, " Error deleting system tree.\n"},
    {"CFG__DIM_ERROR", 0x110035, 1, " Error retrieving dimension information for structure '%s'.\n"},
    {"CFG__ERROR_RECORD", 0x110036, 1, " Syntax Error: Line #%ld <%s>\n`%s`"},
    {"CFG__ERROR_PTR", 0x110037, 1, "  %s^"},
    {"CFG__GETL_ERROR", 0x110038, 1, " Error retrieving node from list.\n"},
    {"CFG__INVALID_TYPE", 0x110039, 1, " Invalid data type '%ld' specified for '%s'.\n"},
    {"CFG__LIST_ERROR", 0x11003A, 1, " Error creating system list.\n"},
    {"CFG__MOD_UDATA_ERROR", 0x11003B, 1, " Error retrieving entity reference tree.\n"},
    {"CFG__RESETL_ERROR", 0x11003C, 1, " Error resetting system list cycle.\n"},
    {"CFG__RESETT_ERROR", 0x11003D, 1, " Error resetting system tree cycle.\n"},
    {"CFG__STRUCT_COUNT_ERROR", 0x11003E, 1, " Error determining the number of structure elements in the '%s' array.\n"},
    {"CFG__TREE_ERROR", 0x11003F, 1, " Error creating system tree.\n"},
    {"CFG__UNKNOWN_TYPE", 0x110040, 1, " Undefined data type specified for extraction.\n"},

    {"DOF_MALLOC_ERR", 0x120001, 2, " Error allocating memory.\n"},
    {"DOF_REALLOC_ERR", 0x120002, 2, " Error reallocating memory.\n"},
    {"DOF_OPEN_ERR", 0x120003, 3, " Error opening file %s.\n"},
    {"DOF_READ_ERR", 0x120004, 3, " Error reading from file %s.\n"},
    {"DOF_WRITE_ERR", 0x120005, 3, " Error writing to file %s.\n"},
    {"DOF_CLOSE_ERR", 0x120006, 3, " Error closing file %s.\n"},
    {"DOF_SEEK_ERR", 0x120007, 3, " Error seeking in file %s.\n"},
    {"DOF_BAD_SIZE", 0x120008, 1, " Bad block size requested in file %s.\n"},
    {"DOF_BAD_OFFSET", 0x120009, 1, " Bad offset specified into file %s.\n"},
    {"DOF_BAD_SLOT", 0x12000A, 1, " Bad slot is passed in.\n"},

    {"MAP_INVALID_PTR", 0x130001, 1, " Invalid database pointer.\n"},
    {"MAP_NULL_MEMPTR", 0x130002, 1, " Unexpected NULL memory pointer.\n"},
    {"MAP_MALLOC_ERR", 0x130003, 2, " Error allocating memory.\n"},
    {"MAP_REALLOC_ERR", 0x130004, 2, " Error reallocating memory.\n"},
    {"MAP_INVALID_ARG", 0x130005, 1, " Invalid argument.\n"},
    {"MAP_INVALID_OPTIONS", 0x130006, 1, " Invalid combination of options.\n"},
    {"MAP_ALREADY_DEFINED", 0x130007, 1, " Mapping \"%s\" is already defined.\n"},
    {"MAP_UNDEFINED", 0x130008, 1, " Mapping \"%s\" is not defined.\n"},
    {"MAP_LIST_TOO_LONG", 0x130009, 1, " Mapping list \"%s\" contains more than %d mappings.\n"},
    {"MAP_TOO_MANY_PARAMS", 0x13000A, 1, " Too many parameters specified for \"%s\".  Maximum number of parameters is %d.\n"},
    {"MAP_EMPTY_PARAM", 0x13000B, 1, " Empty parameter string.\n"},
    {"MAP_UNKNOWN_TOKEN", 0x13000C, 1, " Unknown token %d passed to map_EnableMapping.\n"},
    {"MAP_SYNTAX_ERR", 0x13000D, 1, " Syntax error parsing mapping parameter \"%s\".\n"},
    {"MAP_TREE_ERR", 0x13000E, 1, " Error using OTM tree.\n"},
    {"MAP_LIST_ERR", 0x13000F, 1, " Error using OLM tree.\n"},
    {"MAP_NO_MAPPING", 0x130010, 1, "+No mapping enabled for entity %<PTR> (%<PTR2>).\n"},
    {"MAP_EMPTY_LIST", 0x130011, 1, " Mapping list \"%s\" does not contain any entries.\n"},
    {"MAP_NOT_DEFINED", 0x130012, 1, " Mapping \"%s\" is not defined.\n"},
    {"MAP_INCORRECT_TYPE", 0x130013, 1, "+An incorrect type was passed into map_DispatchEntity for %<PTR> (%<PTR2>). The type expected was %<DTF>, the type found was %<DTF>.\n"},
    {"MAP_NO_FORMS", 0x130014, 1, " Could not expand forms for mapping \"%s\".\n"},
    {"MAP_PARAM_ALREADY_DEFINED", 0x130015, 1, " Mapping parameter \"%s\" is already defined.\n"},
    {"MAP_UNDEFINED_PARAM", 0x130016, 1, " Mapping parameter \"%s\" is not defined.\n"},
    {"MAP_INTERNAL_ERR", 0x130017, 1, " An internal error occurred in function %s.\n"},
    {"MAP_FILE_DOES_NOT_EXIST", 0x130018, 1, " Mapping file %s does not exist.\n"},
    {"MAP_OPEN_ERR", 0x130019, 1, " Error opening file %s.\n"},
    {"MAP_READ_ERR", 0x13001A, 1, " Error reading file %s.\n"},
    {"MAP_PARSE_ERR", 0x13001B, 1, " Error while parsing argument list.\n"},
    {"MAP_NO_MODEL", 0x13001C, 1, " Could not determine the model number for the model name %s.\n"},
    {"MAP_FILE_ERR", 0x13001D, 1, " Error on or before line %d of mapping file %s.\n"},
    {"MAP_NOT_LISTABLE", 0x13001E, 1, " Mapping \"%s\" can not be made part of a mapping list.\n"},
    {"MAP_CONDITIONAL_NO_MATCH", 0x13001F, 1, " Mapping \"%s\" can not be made a component of the conditional mapping, \"%s\".\n"},
    {"MAP_HAS_PARENTS", 0x130020, 1, "+Could not delete entity %<PTR> (%<PTR2>) in map_ProcessEntity because entity has parents.\n"},
    {"MAP_UNEXPECTED_DTF", 0x130021, 1, "+Expected DTF %<DTF> but found %<DTF> for %<PTR> (%<PTR2>) in map_ProcessEntity while processing output of mapping \"%s\".\n"},
    {"MAP_NON_GENERAL_MAP", 0x130022, 1, "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was not defined with MAP_GENERAL.\n"},
    {"MAP_NO_TARGET_DDF", 0x130023, 1, "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was defined with a target DDF of NULL.\n"},
    {"MAP_NO_PROCESS_CONDITIONAL", 0x130024, 1, "+map_ProcessEntity called for %<PTR> (%<PTR2>) from mapping \"%s\" which was defined as a conditional mapping.  map_ProcessEntity may not be called from conditional mappings.\n"},
    {"MAP_INVOKE_NONCONDITIONAL", 0x130025, 1, "+map_InvokeMapping called for %<PTR> (%<PTR2>) from mapping \"%s\" which was not defined as a conditional mapping.\n"},
    {"MAP_CNDTL_NEST_TOO_DEEP", 0x130026, 1, "+An attempt was made to nest conditional mappings beyond the limit for DTF, %<DTF>\n"},

    {"UNL_INVALID_INDEX_ERR", 0x180001, 1, "The index %i or %i is too large or too small for the array.\n"},
    {"UNL_MALLOC_ERR", 0x180002, 2, "Error allocating memory.\n"},
    {"UNL_CONVERSION_ERR", 0x180003, 1, "Unable to convert source string to target encoding.\n"},
};
// clang-format on

struct Module {
    int number;
    const char* code;
    int count;
};

// Registered by mvx_Initialize; UNL (24, 3 messages) only by unl_Initialize.
const Module kStartUpModules[] = {
    {0, "MVX", 13},  {1, "MPM", 13},  {2, "OLM", 5},   {3, "OTM", 9},  {4, "OSM", 3},
    {5, "OQM", 3},   {6, "EAM", 3},   {8, "DDF", 9},   {9, "MDA", 47}, {10, "UGN", 17},
    {11, "MTH", 14}, {12, "EVM", 3},  {13, "FMT", 22}, {16, "HDB", 1}, {17, "CFG", 64},
    {18, "DOF", 10}, {19, "MAP", 38},
};

class Registry : public mvxtest::LibraryTest {};

TEST_F(Registry, HoldsExactlyTheStartUpModulesAndTheirCounts) {
    std::map<int, const Module*> expected;
    for (const Module& m : kStartUpModules)
        expected[m.number] = &m;
    const MVX_MODULE empty{};
    for (int slot = 0; slot < MVX_MAX_MODULES; ++slot) {
        const MVX_MODULE& mod = mvx__Table[slot];
        auto it = expected.find(slot);
        if (it == expected.end()) {
            EXPECT_EQ(std::memcmp(&mod, &empty, sizeof empty), 0) << slot;
            continue;
        }
        EXPECT_EQ(mod.module, slot);
        EXPECT_EQ(mod.count, it->second->count) << slot;
        EXPECT_EQ(mod.reserved, 0) << slot;
        EXPECT_STREQ(mod.code, it->second->code) << slot;
    }
}

// Every message: its table entry (name, exception class, stored text), its
// name resolved to its code and back, its text without the flag character
// (whatever that character is: MTH's and UNL's texts lose their first
// letter), and the header macro of that name with that value. Each module
// lists as many messages as it registers.
TEST_F(Registry, EveryMessageHasItsNameClassTextCodeAndMacro) {
    mvx__Table[MVX_MODULE_UNL] = unl_Module; // what unl_Initialize does first of all
    std::map<std::string, uint32_t> macros;  // "#define NAME number" of every public header
    for (const auto& entry : std::filesystem::directory_iterator(std::string(MVX_TEST_DATA_DIR) +
                                                                 "/../../include/mvx")) {
        std::ifstream in(entry.path());
        std::string line, define, name, value;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            if (words >> define >> name >> value && define == "#define" &&
                std::isdigit(static_cast<unsigned char>(value[0])) != 0) {
                macros[name] = static_cast<uint32_t>(std::stoul(value, nullptr, 0));
            }
        }
    }
    std::map<uint32_t, int> listed; // messages listed per module number
    for (const Expected& e : kMessages) {
        SCOPED_TRACE(e.name);
        const uint32_t module = e.code >> 16, number = e.code & 0xFFFFu;
        ++listed[module];
        ASSERT_LT(module, static_cast<uint32_t>(MVX_MAX_MODULES));
        const MVX_MODULE& mod = mvx__Table[module];
        ASSERT_NE(mod.code, nullptr);
        EXPECT_EQ(std::string(e.name, std::strchr(e.name, '_')), mod.code);
        ASSERT_TRUE(number >= 1 && number <= static_cast<uint32_t>(mod.count));
        const MVX_MSGNAME& entry = mod.names[number - 1];
        EXPECT_STREQ(entry.name, e.name + std::strlen(mod.code) + 1);
        EXPECT_EQ(entry.exc_class, e.exc_class);
        ASSERT_EQ(entry.text_index, static_cast<int32_t>(number - 1));
        EXPECT_STREQ(mod.texts[entry.text_index], e.text);
        uint32_t code = 0;
        EXPECT_EQ(mvx_GetMsgDefine(e.name, &code), 0);
        EXPECT_EQ(code, e.code);
        EXPECT_STREQ(mpm_GetMsgName(static_cast<int32_t>(e.code)), e.name);
        char* body = nullptr;
        mpm_GetMessage(MPM_RAW_TEXT, static_cast<int32_t>(e.code), &body);
        ASSERT_NE(body, nullptr);
        EXPECT_STREQ(body, e.text + 1);
        mvx_Free(0, body);
        EXPECT_EQ(macros.count(e.name), 1u);
        EXPECT_EQ(macros[e.name], e.code);
    }
    for (int slot = 0; slot < MVX_MAX_MODULES; ++slot)
        EXPECT_EQ(listed[static_cast<uint32_t>(slot)], mvx__Table[slot].count) << "module " << slot;
    char* text = nullptr;
    mpm_GetMessage(0, UNL_INVALID_INDEX_ERR, &text, 3, 95);
    EXPECT_STREQ(text, "he index 3 or 95 is too large or too small for the array.\n");
    mvx_Free(0, text);
}

// `mvx msg`: one plain and one extended message (by name, hex and decimal
// code), a module table by code and number, and every kind of refusal.
TEST(MvxMsg, ShowsMessagesAndTablesAndRejectsBadRequests) {
    const std::string plain = "OTM_INVALIDSIZE\n"
                              "  code:      0x30002\n"
                              "  module:    3 (OTM)\n"
                              "  exception: 1 (EXC_NONE)\n"
                              "  kind:      plain\n"
                              "  text:      \" Invalid size = %d\\n\"\n"
                              "  body:      \"Invalid size = %d\\n\"\n";
    const std::string eam = "EAM: module 6, 3 messages\n"
                            "  0x60001    1  EAM_NULLPOINTER  \" NULL pointer\\n\"\n"
                            "  0x60002    2  EAM_NOMEMORY     \" Out of memory\\n\"\n"
                            "  0x60003    1  EAM_INVALIDSIZE  \" Invalid size = %d\\n\"\n";
    const struct {
        const char* args;
        int status;
        std::string out; // "" with a refusal: not compared
    } cases[] = {
        {"msg OTM_INVALIDSIZE", 0, plain},
        {"msg 0x30002", 0, plain},
        {"msg 196610", 0, plain},
        {"msg FMT_MDA_ORIG", 0,
         "FMT_MDA_ORIG\n  code:      0xD0016\n  module:    13 (FMT)\n  exception: 1 (EXC_NONE)\n"
         "  kind:      extended\n  text:      \"+MDA %s model:entity %<PTR>\"\n"
         "  body:      \"MDA %s model:entity %<PTR>\"\n"},
        {"msg --module EAM", 0, eam},
        {"msg --module 6", 0, eam},
        {"msg OTM_NOSUCH", 1, ""},
        {"msg NONAME", 1, ""},
        {"msg 0x3000A", 1, ""},
        {"msg 0x70001", 1, ""},
        {"msg --module XYZ", 1, ""},
        {"msg", 2, ""},
        {"msg 12zz", 2, ""},
    };
    for (const auto& c : cases) {
        const mvxtest::ToolRun run = mvxtest::RunTool(
            c.args, c.status == 0 ? mvxtest::ToolStreams::kStdout : mvxtest::ToolStreams::kBoth);
        EXPECT_EQ(run.status, c.status) << c.args;
        if (c.status == 0) {
            EXPECT_EQ(run.out, c.out) << c.args;
        }
    }
    EXPECT_NE(
        mvxtest::RunTool("msg OTM_NOSUCH", mvxtest::ToolStreams::kBoth).out.find("OTM_NOSUCH"),
        std::string::npos);
}

} // namespace
