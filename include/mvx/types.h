/*
 * libmvx shared types.
 *
 * Every module header includes this one. It defines the export macro, the
 * status-code scheme, the severities, the module descriptor that each module
 * publishes in the registry, and the entity-store scalar types that cross
 * module boundaries.
 *
 * Status codes: 0 is success; a failure is (module number << 16) | message
 * number, message numbers counting from 1. The message number selects the
 * message's name and text in the module's table.
 */
#ifndef MVX_TYPES_H
#define MVX_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define MVX_BEGIN_DECLS extern "C" {
#define MVX_END_DECLS }
#else
#define MVX_BEGIN_DECLS
#define MVX_END_DECLS
#endif

/* Marks a name that libmvx.so exports; everything else is hidden. */
#if defined(__GNUC__) || defined(__clang__)
#define MVX_API __attribute__((visibility("default")))
#else
#define MVX_API
#endif

MVX_BEGIN_DECLS

/* A status code: 0 success, else (module << 16) | message number. */
typedef int32_t MVX_STATUS;

/* Builds a status code from a module number and a message number. */
#define MVX_CODE(module, message) ((MVX_STATUS)(((int32_t)(module) << 16) | (int32_t)(message)))
/* The module number of a status code. */
#define MVX_CODE_MODULE(code) ((int32_t)(((uint32_t)(code) >> 16) & 0xFFFFu))
/* The message number of a status code. */
#define MVX_CODE_MESSAGE(code) ((int32_t)((uint32_t)(code)&0xFFFFu))

/* Severities are the message module's codes MPM_INFO .. MPM_FATAL (mvx/mpm.h). */

/* Module numbers. */
#define MVX_MODULE_MVX 0
#define MVX_MODULE_MPM 1
#define MVX_MODULE_OLM 2
#define MVX_MODULE_OTM 3
#define MVX_MODULE_OSM 4
#define MVX_MODULE_OQM 5
#define MVX_MODULE_EAM 6
#define MVX_MODULE_DDF 8
#define MVX_MODULE_MDA 9
#define MVX_MODULE_UGN 10
#define MVX_MODULE_MTH 11
#define MVX_MODULE_EVM 12
#define MVX_MODULE_FMT 13
#define MVX_MODULE_HDB 16
#define MVX_MODULE_CFG 17
#define MVX_MODULE_DOF 18
#define MVX_MODULE_MAP 19
#define MVX_MODULE_UNL 24

/* Number of slots in the module registry. */
#define MVX_MAX_MODULES 256

/*
 * One entry per message of a module, in message-number order (entry i is
 * message i + 1). 16 bytes.
 *   name        upper-case message name, unique within its module
 *   exc_class   exception raised when the message is issued: 1 none,
 *               2 memory, 3 file I/O, 4 maximum error
 *   text_index  index of the message's text in the module's text array; a
 *               negative index -k names text k, or text k - 1 when the
 *               issuing call holds option 0x200
 */
typedef struct MVX_MSGNAME {
    const char* name;
    uint32_t exc_class;
    int32_t text_index;
} MVX_MSGNAME;

/*
 * A module descriptor, copied byte for byte into the registry by the
 * module's Initialize. 32 bytes. An empty registry slot is all zero.
 *   module  the module number (its registry slot)
 *   count   number of messages
 *   code    module code of 3 or 4 upper-case letters ("OTM")
 *   texts   message texts indexed by text index; the first character of a
 *           text is a flag: '+' an extended text, anything else a plain
 *           printf text; the flag is never printed
 *   names   message name entries, count of them
 */
typedef struct MVX_MODULE {
    int16_t module;
    int16_t count;
    int32_t reserved;
    const char* code;
    const char* const* texts;
    const MVX_MSGNAME* names;
} MVX_MODULE;

/* Entity reference: bits 63..57 the model number (signed), 56..0 the entity number. */
typedef int64_t MDA_PTR;
#define MDA_NULL_PTR ((MDA_PTR)0)
/* Counts of the entity store. */
typedef int32_t MDA_COUNT;

/* Entity type: (type << 16) | form. */
#define MVX_TF(type, form) ((int32_t)(((uint32_t)(type) << 16) | ((uint32_t)(form)&0xFFFFu)))
#define MVX_TF_TYPE(tf) ((int32_t)((int32_t)(tf) >> 16))
#define MVX_TF_FORM(tf) ((int32_t)((tf)&0xFFFF))
/* The null TF (type 16000, form 16000). */
#define MVX_NULL_TF 0x3E803E80

/* A DTF: an entity type together with the dictionary that defines it, which
 * identifies a type across dictionaries. ddf is a loaded dictionary (the
 * data dictionary module's DDF_DICT) or null. */
struct DDF_DICT;
typedef struct MVX_DTF {
    struct DDF_DICT* ddf;
    int32_t tf;
} MVX_DTF;

MVX_END_DECLS

#endif /* MVX_TYPES_H */
