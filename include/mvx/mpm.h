/*
 * MPM: messages (module 1).
 *
 * How every operation of the library reports. A failing operation calls
 * mpm__SetError with its status code, a severity and the arguments of the
 * code's message text; the message is formatted at once, counted, pushed on
 * the error stack and the code returned, so that the operation passes it
 * straight back. The application later dumps (mpm_DumpStack) or clears
 * (mpm_ClearStack) the stack. mpm__IssueError prints its message at once.
 *
 * Counting: every status code has an error-count entry with a limit (the
 * value of mpm__MaxError when the code is first counted; -1 none); each
 * severity has a counter and a limit (mpm__MaxErrorLevel, -1 none). A
 * message past a limit is suppressed and raises MVX_EXC_MAXERROR.
 *
 * Exceptions are numbered events (MVX_EXC_NONE .. MVX_EXC_MAXERROR and the
 * five severities) to which the application attaches handlers with
 * mpm_SetException. Issuing a message raises the exception of its class
 * (from its module's table), then the one of its severity.
 *
 * Issued messages are printed through the line output (mpm__IssueMessage):
 * lines of at most mpm__LineWidth - mpm__LeftMargin - mpm__RightMargin
 * characters, broken at blanks, indented by margin and justification, and
 * written with mpm__Output to the message's stream and to the log.
 *
 * Choices of this implementation:
 *  - Allocation failures inside this module raise MVX_EXC_MEMORY with code 0.
 *    When no handler is registered, or the handler returns, the operation
 *    goes on without the text it could not build: the record is not stacked
 *    or the line not printed, and the status code is still returned.
 *  - The issued and total counts of an error-count entry grow together, also
 *    past the limit.
 *  - While the module is not initialised (before mvx_Initialize or after the
 *    last mvx_Terminate) nothing is counted, stacked or raised; issuing calls
 *    still print and mpm__SetError still sets the last error.
 *  - A failure that a container reports while this module is working on its
 *    own trees and lists is not recorded again (that would recurse); the
 *    module reports it as MVX_EXC_MEMORY instead.
 *  - A message name longer than 67 characters is cut to 67 in
 *    mpm_GetMsgName's record.
 *  - A plain text whose formatted result does not fit the line buffer is
 *    formatted into a heap buffer of the right size instead: nothing is cut.
 *
 * Not thread-safe: all state is process-wide.
 */
#ifndef MVX_MPM_H
#define MVX_MPM_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include "mvx/olm.h"
#include "mvx/otm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages. The first five are the severities. */
#define MPM_INFO 0x10001
#define MPM_STATUS 0x10002
#define MPM_WARNING 0x10003
#define MPM_ERROR 0x10004
#define MPM_FATAL 0x10005
#define MPM__STARS 0x10006
#define MPM__DEBUG 0x10007
#define MPM__INVALIDMESSAGE 0x10008
#define MPM__UNKNOWN 0x10009
#define MPM_OPENERROR 0x1000A
#define MPM_CLOSEERROR 0x1000B
#define MPM_DOFERROR 0x1000C
#define MPM__NOERR 0x1000D

/* Option bits of the issuing calls (mpm__Option is ORed into every call). */
#define MPM_DUMP_OLDEST 0x1 /* mpm_DumpStack: print the first record stacked */
#define MPM_DUMP_NEWEST 0x2 /* mpm_DumpStack: print the most recent record */
#define MPM_DUMP_ALL 0x4    /* mpm_DumpStack: print every record */
#define MPM_NO_BANNER 0x10
#define MPM_NO_NEWLINE 0x20         /* no final newline */
#define MPM_CLEAR_AFTER 0x40        /* mpm__IssueError clears the stack instead of dumping */
#define MPM_ISSUE_NOW 0x80          /* mpm__SetError issues at once instead of stacking */
#define MPM_RAW_TEXT 0x100          /* take the text unformatted */
#define MPM_ALT_TEXT 0x200          /* alternative text of a negative text index */
#define MPM_NO_STREAM 0x400         /* do not write to the message's stream */
#define MPM_NO_LOG 0x800            /* do not write to the log */
#define MPM_TAGGED 0x1000           /* arguments begin with a tagged list */
#define MPM_NO_COUNT 0x2000         /* mpm__SetError skips counting and suppression */
#define MPM_KEEP_STACK 0x20000000   /* mpm__IssueError leaves the stack alone */
#define MPM_EXTENDED 0x40000000     /* format a plain text as an extended text */
#define MPM_TABLE_UPDATE 0x10000000 /* mpm_OpenTable, mpm_CloseTable: for update */

/* Tags of a tagged argument list (MPM_TAGGED). */
#define MPM_TAG_END 1     /* end; the message's arguments follow */
#define MPM_TAG_VALIST 2  /* va_list*: end; the message's arguments come from it */
#define MPM_TAG_PREFIX 4  /* char* heap string: prefix text, freed by the module */
#define MPM_TAG_SOURCE 8  /* const char* file, int line */
#define MPM_TAG_STREAM 16 /* FILE*: stream on which the message is printed */

/* Size of the line buffer mpm__MsgBuffer. */
#define MPM_MSGBUFFER_SIZE 8194

/* A record of the error stack (16 bytes). text is owned by the record. */
typedef struct MPM_STACKREC {
    uint32_t severity;
    uint32_t code;
    char* text;
} MPM_STACKREC;

/* An error-count entry of mpm__ErrorTree. */
typedef struct MPM_ERRCOUNT {
    int32_t code;
    int32_t limit; /* -1: none */
    int32_t issued;
    int32_t total;
} MPM_ERRCOUNT;

/* An exception handler: handler(key, status code). */
typedef void (*MPM_HANDLER)(uint32_t key, int32_t code);

/* An entry of mpm__ExceptionTree. */
typedef struct MPM_EXCEPTION {
    uint32_t key;
    MPM_HANDLER handler;
} MPM_EXCEPTION;

/* An entry of mpm__MsgNameTree: a status code and its full message name. */
typedef struct MPM_MSGNAME {
    int32_t code;
    char name[68];
} MPM_MSGNAME;

/* Length modifiers of an conversion record. */
#define MPM_MOD_NONE 0
#define MPM_MOD_H 'h'
#define MPM_MOD_L 'l'       /* 32 bits, like the interface's long */
#define MPM_MOD_LL 'q'      /* long long: 64 bits */
#define MPM_MOD_LONGDBL 'L' /* accepted; the argument is still a double */

/* Width and precision encodings. */
#define MPM_SPEC_NONE (-1)
#define MPM_SPEC_FROM_ARGS (-2)

/*
 * What the formatting engine records for one conversion or directive of an
 * extended text, and hands to a directive handler. Positions are offsets in
 * the text being formatted (text).
 */
typedef struct MPM_ARGSPEC {
    int32_t number;   /* argument number: the order of consumption */
    int32_t flags_at; /* the flag characters */
    int32_t flags_len;
    int32_t width;     /* >= 0, MPM_SPEC_NONE or MPM_SPEC_FROM_ARGS */
    int32_t precision; /* likewise */
    int32_t modifier;  /* MPM_MOD_... */
    int32_t name_at;   /* conversion letter or directive name */
    int32_t name_len;
    const char* text; /* the text being formatted */
    char* result;     /* heap text produced for this conversion, or null */
} MPM_ARGSPEC;

/* A directive handler: handler(options, conversion record, argument list). */
typedef int32_t (*MPM_DIRECTIVE)(uint32_t options, struct MPM_ARGSPEC* conv, va_list* args);

/* An entry of mpm__SpecTree: a directive name and its handler. */
typedef struct MPM_SPEC {
    char name[32];
    MPM_DIRECTIVE handler;
} MPM_SPEC;

/* The line-output function: writes one line to a stream. */
typedef int (*MPM_OUTPUT)(const char* line, FILE* stream);

/* Error state. */
MVX_API extern OLM_LIST* mpm__ErrorStack;       /* records MPM_STACKREC, newest first */
MVX_API extern OTM_TREE* mpm__ErrorTree;        /* MPM_ERRCOUNT by code */
MVX_API extern int32_t mpm__ErrorLevelCount[5]; /* INFO .. FATAL */
MVX_API extern int32_t mpm__MaxErrorLevel[5];   /* -1: none */
MVX_API extern int32_t mpm__MaxError;           /* limit given to new entries; -1 */
MVX_API extern int32_t mpm__LastError;
MVX_API extern int32_t mpm__LastErrorLevel;
MVX_API extern MPM_ERRCOUNT* mpm__ErrorCountPtr; /* entry being summarised */
MVX_API extern OTM_TREE* mpm__ExceptionTree;     /* MPM_EXCEPTION by key */
MVX_API extern MPM_EXCEPTION mpm__Exception;     /* key record of a registration */
MVX_API extern OTM_TREE* mpm__MsgNameTree;       /* MPM_MSGNAME by code */
MVX_API extern OTM_TREE* mpm__SpecTree;          /* MPM_SPEC by name */
MVX_API extern MPM_SPEC mpm__Spec;               /* record of a directive registration */
MVX_API extern uint32_t mpm__Option;             /* ORed into every call's options */
MVX_API extern const char* mpm__File;            /* last tagged source file */
MVX_API extern int32_t mpm__Line;                /* last tagged source line */

/* Line output settings and state. */
MVX_API extern char* mpm__MsgBuffer;     /* line buffer, MPM_MSGBUFFER_SIZE bytes */
MVX_API extern int32_t mpm__LineWidth;   /* 80 */
MVX_API extern int32_t mpm__LeftMargin;  /* 0 */
MVX_API extern int32_t mpm__RightMargin; /* 0 */
MVX_API extern int32_t mpm__Justify;     /* low byte: 1 left, 2 right, 3 centre */
MVX_API extern MPM_OUTPUT mpm__Output;   /* fputs; null writes nothing */
MVX_API extern FILE* mpm__Stream;        /* the open log, or null */
MVX_API extern int32_t mpm__LastLine;    /* 1 while the last line of a message is written */
MVX_API extern int32_t mpm__Count;       /* bytes in the line buffer during output */

/* The open message table (a paged file), or null, and its index: per module
 * number the offset of the module's text directory, or -1. */
struct DOF_FILE;
MVX_API extern struct DOF_FILE* mpm__Table;
MVX_API extern int32_t mpm__Index[MVX_MAX_MODULES];

/*
 * Records a failure: formats banner, prefix and message, counts the code,
 * pushes the record on the error stack and raises the class and severity
 * exceptions. With MPM_ISSUE_NOW the message is issued at once instead.
 *   code      the status code; its message text takes the arguments
 *   severity  MPM_INFO .. MPM_FATAL
 * Returns code.
 */
MVX_API int32_t mpm__SetError(uint32_t options, int32_t code, int32_t severity, ...);

/*
 * Issues a message at once on standard error (or the tagged stream) and the
 * log, counts it, raises its exceptions, then dumps the error stack with the
 * same options (MPM_CLEAR_AFTER: clears it; MPM_KEEP_STACK: leaves it).
 * Returns code.
 */
MVX_API int32_t mpm__IssueError(uint32_t options, int32_t code, int32_t severity, ...);

/* Prints a message without banner, counting or exceptions, on standard
 * output (or the tagged stream) and the log. Returns 0. */
MVX_API int32_t mpm_IssueMessage(uint32_t options, int32_t code, ...);

/*
 * Appends a message's formatted text (MPM_RAW_TEXT: unformatted) to *text,
 * which is null (a new string is made) or a string from an earlier call.
 * An invalid code appends " ..... INVALID MESSAGE .....\n" without its flag.
 * The caller frees *text with mvx_Free. Returns 0.
 */
MVX_API int32_t mpm_GetMessage(uint32_t options, int32_t code, char** text, ...);

/* As mpm_GetMessage, with the arguments as a va_list. */
MVX_API int32_t mpm__GetMessage(uint32_t options, int32_t code, char** text, va_list args);

/*
 * Returns the full name of a status code ("OTM_INVALIDSIZE"); "NOERR" for 0,
 * "UNKNOWN" for another invalid code. The name belongs to the module and
 * stays valid until mpm_Terminate.
 */
MVX_API const char* mpm_GetMsgName(int32_t code);

/* Appends the banner of code at severity (" *** Error (NAME) ***\n"
 * without flags) to *text. Returns 0. */
MVX_API int32_t mpm__GetBanner(uint32_t options, int32_t code, int32_t severity, char** text);

/* Returns a new heap copy of a message's text, flag included (from the open
 * message table when it has one), or NULL (invalid message, no memory). The
 * caller frees it with mvx_Free. Sets mvx__Index. */
MVX_API char* mpm__GetText(uint32_t options, int32_t module, int32_t message);

/* Splits a code into module and message number (either out pointer may be
 * null). Returns 0, or MPM__INVALIDMESSAGE for an invalid code. */
MVX_API int32_t mpm__ValidateMessage(uint32_t options, int32_t code, int16_t* module,
                                     int16_t* message);

/* Counts code at severity; returns 1 to issue, 0 to suppress. */
MVX_API int32_t mpm__CheckErrorCount(int32_t code, int32_t severity);

/* As mpm__CheckErrorCount without counting. */
MVX_API int32_t mpm__CheckErrorCount2(int32_t code, int32_t severity);

/* Calls the handler registered for key, if any, as handler(key, code). Returns 0. */
MVX_API int32_t mpm__RaiseException(uint32_t options, uint32_t key, int32_t code);

/* Registers (or replaces; null disables) the handler of an exception key. */
MVX_API void mpm_SetException(uint32_t key, MPM_HANDLER handler);

/* Sets mpm__LastError and mpm__LastErrorLevel. Returns 0. */
MVX_API int32_t mpm__SetGlobal(uint32_t options, int32_t code, int32_t severity);

/*
 * Reads a tagged argument list from *args up to tag 1 or 2. Prefix texts are
 * appended to *prefix (taking ownership), the source location is stored in
 * *file, *line (and mpm__File, mpm__Line), a stream in *stream. Tag 2 replaces
 * *args by a copy of the list it points to. Unknown tags are skipped. Any of
 * prefix, file, line, stream may be null. Returns 0.
 */
MVX_API int32_t mpm_ParseToken(uint32_t options, va_list* args, char** prefix, const char** file,
                               int32_t* line, FILE** stream);

/* Prints and empties the error stack: MPM_DUMP_ALL every record, newest
 * first; MPM_DUMP_OLDEST the oldest; MPM_DUMP_NEWEST the newest; none of
 * them: nothing. Counts are kept; the last error is cleared. Returns 0. */
MVX_API int32_t mpm_DumpStack(uint32_t options);

/* Empties the error stack and takes its records out of the counts. Returns 0. */
MVX_API int32_t mpm_ClearStack(uint32_t options);

/* Clears the stack, the error counts and the level counters (limits stay). Returns 0. */
MVX_API int32_t mpm_ClearError(uint32_t options);

/*
 * Prints a text through the line output: breaks it into lines of the line
 * width less the margins at blanks, indents them by margin and
 * justification and passes each to mpm__PutString. The text must be a heap
 * string and is released.
 */
MVX_API int32_t mpm__IssueMessage(uint32_t options, FILE* stream, char* text);

/* Writes one line to the stream (unless MPM_NO_STREAM) and to the log
 * (unless MPM_NO_LOG) through mpm__Output. Returns 0. */
MVX_API int32_t mpm__PutString(uint32_t options, const char* line, FILE* stream);

/*
 * Formats a message text in place: *text is a heap text whose first
 * character is the flag ('+' extended, anything else plain); it is replaced
 * by the formatted text without the flag. A plain text is formatted as
 * vsprintf does (the result is never cut: one that does not fit the line
 * buffer is formatted into a heap buffer of its size). An extended text, or
 * any text with MPM_EXTENDED, goes through the extended engine: numbered
 * arguments ("%2$d") consumed in ascending number, directives ("%<TF>")
 * formatted by the handlers in mpm__SpecTree.
 *   args  the arguments; an extended text consumes them from *args
 * Returns 0, or MVX_EXC_MEMORY (the memory exception raised, *text unchanged).
 *
 * Choices of the extended engine: an argument number used twice is formatted
 * by its first conversion and later ones repeat that text; a directive
 * without a handler and a "%<" without '>' stay in the text unchanged; a
 * negative width or precision from the arguments is dropped; '.' alone is
 * precision 0; 'l' reads 32 bits and 'L' a double; "%n" consumes its pointer
 * but writes nothing.
 */
MVX_API int32_t mpm__FormatMessage(uint32_t options, char** text, va_list* args);

/* Formats format as an extended text and returns it as a new heap string
 * (freed by the caller with mvx_Free), or null when memory ran out. */
MVX_API char* mpm__ExtendedPrint(uint32_t options, const char* format, va_list* args);

/* printf through the extended engine, to standard output (no line layout, no
 * log). Returns 0. */
MVX_API int32_t mpm_Printf(const char* format, ...);

/* As mpm_Printf, to stream. */
MVX_API int32_t mpm_Fprintf(FILE* stream, const char* format, ...);

/* As mpm_Printf, into buffer with its NUL; the caller sizes the buffer. */
MVX_API int32_t mpm_Sprintf(char* buffer, const char* format, ...);

/*
 * Opens the message log: every issued line is written to it as well as to
 * its own stream. The file is created (or truncated) through ugn_Fopen and
 * unbuffered. A log that is open already is closed first.
 *   name  UTF-8 path
 * Returns 0, or MPM_OPENERROR (reported at ERROR with the name; no log is
 * open afterwards).
 */
MVX_API int32_t mpm_OpenLog(uint32_t options, const char* name);

/* Closes the log. Returns 0 (also when none is open), or MPM_CLOSEERROR. */
MVX_API int32_t mpm_CloseLog(uint32_t options);

/*
 * Opens a message table: a paged file (32 buffers of 2048 bytes) whose texts
 * replace the built-in texts of the modules it holds. An open table is
 * closed first. Without MPM_TABLE_UPDATE the file is opened read-only; with
 * it, opened for reading and writing, or created with an index of -1 entries
 * in its first 1024 bytes. Applications fill a table opened for update
 * through mpm__Table and mpm__Index with the paged-file calls.
 *
 * Table texts are outside input. A text is taken from the table only when
 * its record and bytes lie inside the file, its length is 1 to 65536 with no
 * NUL inside, and its formatter can take it with the arguments the built-in
 * text takes:
 *  - either flag kind: " " plain or "+" extended, whatever the built-in's;
 *  - every '%' of a plain text is "%%" or a conversion of the form
 *    %[-+ #0]*[width][.precision][h|l|ll]X with X one of d i o u x X, or
 *    %[-+ #0]*[width][.precision]X with X one of c e E f g G s p; width and
 *    precision are digits or '*' (so no %n, no "n$", no %hhn, %zs, %jd, %S,
 *    %ls, %a, no ' flag). In an extended text a '%' that forms no
 *    conversion of the engine is literal text;
 *  - no width or precision above 8193, what the line buffer holds;
 *  - an extended text uses no argument number twice;
 *  - the arguments it takes, in the order its formatter takes them (text
 *    order for plain texts, ascending number for extended ones, "%%" taking
 *    none, a '*' taking an int), are the built-in text's or a leading part of
 *    them, kind for kind (int, 64-bit int, double, string, pointer, the same
 *    directive; an int may stand where the built-in text reads a long).
 * Any other text falls back to the built-in text. A failing read raises the
 * memory exception and the built-in text is used.
 * Returns 0, or MPM_DOFERROR (issued at once with the paged-file code; no
 * table is open afterwards).
 */
MVX_API int32_t mpm_OpenTable(uint32_t options, const char* name);

/* Closes the message table; with MPM_TABLE_UPDATE writes mpm__Index back at
 * offset 0 first. Returns 0 (also when none is open) or MPM_DOFERROR. */
MVX_API int32_t mpm_CloseTable(uint32_t options);

/* Registers the descriptor and sets up the error state, the trees and the
 * line buffer. Returns 0. */
MVX_API int32_t mpm_Initialize(uint32_t options);

/* Clears the stack and releases the stack, the trees, the log and the line
 * buffer. Returns 0. */
MVX_API int32_t mpm_Terminate(uint32_t options);

MVX_END_DECLS

#endif /* MVX_MPM_H */
