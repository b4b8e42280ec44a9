/*
 * MVX: the library frame (module 0).
 *
 * Starts and stops every module in a fixed order, keeps the module registry
 * through which status codes find their message names and texts, resolves a
 * full message name ("OTM_INVALIDSIZE") to its status code, holds the version
 * texts, the elapsed-time base and a small table of tracked streams.
 *
 * A program calls mvx_Initialize(0) once before anything else and
 * mvx_Terminate(0) once at the end. Nested calls only count.
 */
#ifndef MVX_MVX_H
#define MVX_MVX_H

#include <stdint.h>
#include <stdio.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages of the frame (module 0). Codes 1 to 4 are also the exception numbers. */
#define MVX_EXC_NONE 1
#define MVX_EXC_MEMORY 2
#define MVX_EXC_FILEIO 3
#define MVX_EXC_MAXERROR 4
#define MVX_BAD_MSG_NAME 5
#define MVX_CLEANUP_ERR 6
#define MVX_READ_ERROR 7
#define MVX_BAD_FILENAME 8
#define MVX_NOT_FOUND 9
#define MVX_OPEN_ERROR 10
#define MVX_CLOSE_ERROR 11
#define MVX_BAD_EOL_DELIM 12
#define MVX_UNKNOWN_FILETYPE 13

/* Number of tracked stream slots. */
#define MVX_SYSFILE_SLOTS 20

/* Result of mvx_GetMsgDefine for a well-formed name that no module knows. */
#define MVX_MSG_UNKNOWN 0xFFFF

/* File type codes of mvx_GetFileType. */
#define MVX_FILETYPE_ACIS_TEXT 0
#define MVX_FILETYPE_ACIS_BINARY 1
#define MVX_FILETYPE_DXF_TEXT 2
#define MVX_FILETYPE_DXF_BINARY 3
#define MVX_FILETYPE_DWG 4
#define MVX_FILETYPE_IGES_FIXED 5
#define MVX_FILETYPE_IGES_COMPRESSED 6
#define MVX_FILETYPE_IGES_BINARY 7
#define MVX_FILETYPE_IGES_OTHER 8 /* reserved: never returned, see mvx_GetFileType */
#define MVX_FILETYPE_SAVED_MODEL 9
#define MVX_FILETYPE_RESERVED 10 /* reserved: never returned, see mvx_GetFileType */
#define MVX_FILETYPE_STEP 11
#define MVX_FILETYPE_VDAFS 12
#define MVX_FILETYPE_UNKNOWN 13

/* Sizes of the text fields of the information records. */
#define MVX_FILETYPE_DICT_NAME 120
#define MVX_FILETYPE_SCHEMAS 5
#define MVX_FILETYPE_SCHEMA_NAME 1025

/* Record of an ACIS text file (type 0). */
typedef struct MVX_ACIS_INFO {
    int32_t version; /* the first of the four integers of the first line */
} MVX_ACIS_INFO;

/* Record of DXF text, DXF binary and DWG files (types 2, 3, 4). */
typedef struct MVX_DXF_INFO {
    int32_t zero; /* always 0 */
} MVX_DXF_INFO;

/* Record of a fixed-form IGES file (type 5). */
typedef struct MVX_IGES_INFO {
    char* eol;              /* malloc'ed copy of the line-end bytes, not NUL-terminated;
                               null when eol_length is 0; freed by the caller */
    int32_t record_length;  /* eol_length + 80 */
    int32_t eol_length;     /* number of line-end bytes */
} MVX_IGES_INFO;

/* Record of a saved model (type 9): the four words after BEGIN_MODEL. */
typedef struct MVX_MODEL_INFO {
    int32_t model;
    char dictionary[MVX_FILETYPE_DICT_NAME]; /* NUL-terminated */
    int32_t version;
    int32_t revision;
} MVX_MODEL_INFO;

/* Record of a STEP file (type 11): the schema names of FILE_SCHEMA. */
typedef struct MVX_STEP_INFO {
    int32_t count; /* 0 to 5 */
    char schema[MVX_FILETYPE_SCHEMAS][MVX_FILETYPE_SCHEMA_NAME]; /* NUL-terminated */
} MVX_STEP_INFO;

/* Record of a VDAFS file (type 12). */
typedef struct MVX_VDAFS_INFO {
    char eol[2];        /* the first two line-end bytes; a byte past eol_length is 0 */
    int32_t eol_length; /* number of line-end bytes */
} MVX_VDAFS_INFO;

/* The module registry: 256 descriptors indexed by module number. */
MVX_API extern MVX_MODULE mvx__Table[MVX_MAX_MODULES];
/* Number of mvx_Initialize calls not yet matched by mvx_Terminate. */
MVX_API extern int32_t mvx__IntializeIdx;
/* Tracked streams; cleared by the first mvx_Initialize. */
MVX_API extern FILE* mvx__SysFile[MVX_SYSFILE_SLOTS];
/* Calendar time (seconds) of the last mvx_ResetElapsedTime. */
MVX_API extern int64_t mvx__ClockTime;
/* Processor clock (1000 ticks per second) of the last mvx_ResetElapsedTime. */
MVX_API extern int32_t mvx__ProcessTime;
/* Text index of the message text looked up most recently. */
MVX_API extern int32_t mvx__Index;

/* Version and build texts. */
MVX_API extern const char* const mvx__Version;
MVX_API extern const char* const mvx__BuildOS;
MVX_API extern const char* const mvx__CompilerVersion;
MVX_API extern const char* const mvx__CompilerOptions;
MVX_API extern const char* const mvx__OSVersion;

/*
 * Starts the library. The first call (count 0) resets the elapsed-time base,
 * clears the registry and the stream slots, registers the frame and
 * initialises hdb, olm, oqm, osm, otm, ugn, mpm, ddf, mda, evm, eam, mth,
 * fmt, cfg, dof and map in that order. Every call increments the count.
 * options: ignored. Returns 0.
 */
MVX_API int32_t mvx_Initialize(uint32_t options);

/*
 * Undoes one mvx_Initialize. When the count is 1 it terminates map, cfg,
 * ugn, mda, ddf and mpm in that order; at count 0 it does nothing. The
 * registry is not cleared. options: ignored. Returns 0.
 */
MVX_API int32_t mvx_Terminate(uint32_t options);

/* Sets mvx__ClockTime and mvx__ProcessTime to now. Returns 0. */
MVX_API int32_t mvx_ResetElapsedTime(uint32_t options);

/*
 * Resolves a full message name (module code, '_', message name, e.g.
 * "OTM_INVALIDSIZE") to its status code, searching the registry from
 * module 0 up.
 *   name  the full name; a null name is treated as malformed
 *   code  receives the status code when found; left unchanged otherwise
 * Returns 0 when found; MVX_BAD_MSG_NAME (reported at ERROR) when the name has
 * no '_' or its module code is not 3 or 4 characters long; MVX_MSG_UNKNOWN
 * (0xFFFF, no message) when the name is well formed but unknown.
 */
MVX_API int32_t mvx_GetMsgDefine(const char* name, uint32_t* code);

/*
 * Tracks a stream in the first free slot of mvx__SysFile and returns the
 * slot number 0..19. When every slot is taken the stream is closed and -1
 * returned. Nothing in the library frees a slot: whoever closes a tracked
 * stream clears its slot.
 */
MVX_API int32_t mvx__AllocateFile(FILE* stream);

/* Returns the first slot that holds the stream, or -1. */
MVX_API int32_t mvx__GetFile(FILE* stream);

/* Releases memory that the library handed out; null is ignored. Returns 0. */
MVX_API int32_t mvx_Free(uint32_t options, void* pointer);

/*
 * Tells which exchange format a file holds from its first 160 bytes (the
 * section and sequence columns of an IGES record) and its first words.
 *   options  ignored
 *   name     the file's path (UTF-8)
 *   type     receives the MVX_FILETYPE_ code; 13 (unknown) on entry
 *   info     receives a calloc'ed information record, or null; null on entry.
 *            Types 0, 2-5, 9, 11 and 12 come with a record (MVX_ACIS_INFO,
 *            MVX_DXF_INFO, MVX_IGES_INFO, MVX_MODEL_INFO, MVX_STEP_INFO,
 *            MVX_VDAFS_INFO); the caller frees it with free or mvx_Free, and
 *            for IGES frees its eol copy first.
 * Returns 0 whenever the file could be opened and read, recognised or not
 * (an unrecognised file gets UNKNOWN_FILETYPE at WARNING). Failures:
 * MVX_BAD_FILENAME (null or empty name), MVX_NOT_FOUND, MVX_OPEN_ERROR,
 * MVX_READ_ERROR (the first read failed, e.g. a directory), MVX_CLOSE_ERROR,
 * and MVX_EXC_MEMORY (2, at FATAL) when a record or the IGES line-end copy
 * cannot be allocated; in that last case the IGES record is still handed
 * out, with a null eol. A read that fails after the first ends the scan as
 * the end of the file does, after READ_ERROR.
 * Choices: codes 8 and 10 are reserved and never returned - no rule of this
 * recogniser produces them, so a caller may switch on them without a
 * recogniser ever sending a file there. The integers of the records
 * saturate at the int32_t range. An ACIS binary file needs "BinaryFile"
 * within the bytes already read after the first word.
 */
MVX_API int32_t mvx_GetFileType(uint32_t options, const char* name, uint32_t* type, void** info);

/*
 * Hooks for a platform file layer. This library does its own file access
 * directly, so these only fail: each sets errno to -1 and returns -1 (open,
 * seek, stat, close) or 0 bytes transferred (read, write).
 */
MVX_API int32_t mvx_SysOpen(const char* path, int32_t flags, int32_t mode);
MVX_API int32_t mvx_SysRead(int32_t fd, void* buffer, int32_t count);
MVX_API int32_t mvx_SysWrite(int32_t fd, const void* buffer, int32_t count);
MVX_API int32_t mvx_SysLseek(int32_t fd, int32_t offset, int32_t origin);
MVX_API int32_t mvx_SysFstat(int32_t fd, void* status);
MVX_API int32_t mvx_SysClose(int32_t fd);

MVX_END_DECLS

#endif /* MVX_MVX_H */
