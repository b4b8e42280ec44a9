/*
 * DDF: data dictionary (module 8).
 *
 * A data dictionary describes every entity type of one model: its TF, name,
 * body size and field descriptors. Dictionaries are compiled elsewhere into a
 * binary file that ddf_LoadDDF reads into memory in one pass, turning the
 * file's section-relative string offsets into pointers. A loaded dictionary
 * is read-only and is never freed by the library.
 *
 * Binary file layout (little-endian, whole 32768-byte pages):
 *   DDF_FILEHDR (36 bytes): magic "Mor/Vex Binary DDF", version 100, number
 *     of sections;
 *   DDF_DICT (392 bytes), stored verbatim: counts, and pointer fields whose
 *     file values are replaced by the loaded sections;
 *   the sections, in any order, each a DDF_SECTHDR (36 bytes: name, data
 *     size) followed by its data. A string offset in a section is a byte
 *     offset from the start of the same section's data.
 */
#ifndef MVX_DDF_H
#define MVX_DDF_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). MALLOC_ERR raises the memory exception. */
#define DDF_NULL_MEMPTR 0x80001
#define DDF_INVALID_ARG 0x80002
#define DDF_FIELD_NOT_FOUND 0x80003
#define DDF_MALLOC_ERR 0x80004
#define DDF_OPEN_ERR 0x80005
#define DDF_READ_ERR 0x80006
#define DDF_VERSION_ERR 0x80007
#define DDF_ID_ERR 0x80008
#define DDF_NOT_UNION_TYPE 0x80009

/* Registers the module's descriptor, sets ddf__Current to null,
 * ddf__SavedTF to MVX_NULL_TF, ddf__SavedTFI to 0 and fills ddf__NoMatchLvl.
 * options: ignored. Returns 0. */
MVX_API int32_t ddf_Initialize(uint32_t options);

/* Called by the last mvx_Terminate. Loaded dictionaries are never freed, so
 * there is nothing to release. options: ignored. Returns 0. */
MVX_API int32_t ddf_Terminate(uint32_t options);

/*
 * ---- Layouts --------------------------------------------------------------
 */

/* Magic text and version of a binary dictionary file. */
#define DDF_MAGIC "Mor/Vex Binary DDF"
#define DDF_FILE_VERSION 100
/* Page size through which a dictionary is read: files come in whole pages. */
#define DDF_PAGE_SIZE 32768
/* Number of section kinds (entries of ddf__Sections before its terminator). */
#define DDF_SECTION_COUNT 23
/* Number of field type codes (entries of ddf__FldData). */
#define DDF_FIELD_TYPES 20

/* File header (36 bytes). */
typedef struct DDF_FILEHDR {
    char magic[32];   /* DDF_MAGIC, NUL-terminated */
    int16_t version;  /* DDF_FILE_VERSION */
    int16_t sections; /* number of sections that follow the dictionary header */
} DDF_FILEHDR;

/* Section header (36 bytes), followed in the file by size bytes of data. */
typedef struct DDF_SECTHDR {
    char name[32]; /* one of the names of ddf__Sections, NUL-terminated */
    int32_t size;  /* bytes of data */
} DDF_SECTHDR;

/* Value description (16 bytes): a named value of a field. */
typedef struct DDF_VDESC {
    int32_t value;
    int32_t reserved;
    char* name; /* a string offset in the file, a pointer once loaded */
} DDF_VDESC;

/* Dimension expression (6 bytes). Operand >= 0: a literal; -k: count slot k.
 * op: 'e' a, 'f' a + b, 'g' a - b, 'h' a * b, 'i' a / b. */
typedef struct DDF_DIMEXPR {
    int16_t a;
    int16_t b;
    char op;
    uint8_t reserved;
} DDF_DIMEXPR;

/* Field types (DDF_FIELD.type). A union is stored as DDF_STRUCT with the
 * DDF_UNION flag and ends at DDF_ENDSTRUCT. */
#define DDF_SHORT 1
#define DDF_INT 2
#define DDF_LONG 3
#define DDF_FLOAT 4
#define DDF_DOUBLE 5
#define DDF_CHAR 6
#define DDF_FSTRING 7
#define DDF_VSTRING 8
#define DDF_PTR 9
#define DDF_COUNT 10
#define DDF_STRUCT 11
#define DDF_ENDSTRUCT 12
#define DDF_LET 13
#define DDF_UNIONTYPE 14
#define DDF_ENDUNION 15
#define DDF_SUBENT 16
#define DDF_DERIVED 17
#define DDF_METHOD 18
#define DDF_ENDENT 19

/* Modifier bits (DDF_FIELD.modifiers). */
#define DDF_MOD_ATTR 0x01
#define DDF_MOD_DEFAULT 0x02
#define DDF_MOD_FUNCTION 0x04
#define DDF_MOD_RANGE 0x08
#define DDF_MOD_REFTYPE 0x10
#define DDF_MOD_LENGTH 0x20
#define DDF_MOD_MAXLENGTH 0x40
#define DDF_MOD_METHOD 0x80

/* Flag bits (DDF_FIELD.flags). */
#define DDF_ARRAY 0x01
#define DDF_FIXED 0x02
#define DDF_PTRFIXED 0x04
#define DDF_VARIABLE 0x08
#define DDF_REFANY 0x10
#define DDF_REFNONE 0x20
#define DDF_UNION 0x40
#define DDF_UNSIZED 0x80

/* Bit of ent_info marking types whose entities hold pointer fields. */
#define DDF_INFO_HAS_PTRS 0x04

/*
 * Field descriptor (60 bytes). The descriptors of one entity type are
 * consecutive in fld_data, in field order; the last has type DDF_ENDENT.
 *   reserved0    not read by the library
 *   modifiers    DDF_MOD_* bits
 *   name         index into fld_names; -1 for an unnamed field
 *   desc         index into fld_descs; -1 for none
 *   let          DDF_LET: index of the first instruction in opcodes
 *   aux          DDF_STRUCT: descriptors up to its DDF_ENDSTRUCT; DDF_SUBENT:
 *                bytes of the embedded subentity; a field with value
 *                descriptions: first index into vdescs
 *   ref_count    TFs in the field's reference list
 *   ref_first    first index of the reference list in ptr_data
 *   key          DDF_COUNT: fields whose dimensions refer to it; DDF_STRUCT:
 *                structure size; DDF_SUBENT: index into subent_tfis;
 *                DDF_DERIVED, DDF_ENDENT: method index; other types: the
 *                default value key
 *   type         field type code (DDF_SHORT ...)
 *   number       position of the descriptor within its entity, from 0
 *   flags        DDF_ARRAY ... bits
 *   vdesc_count  number of value descriptions
 *   dim_count    number of dimensions, 0 to 5
 *   gap          bytes that follow the value before the next field
 *   reserved29   not read by the library
 *   dims         dimension expressions
 */
typedef struct DDF_FIELD {
    int32_t reserved0;
    uint32_t modifiers;
    int16_t name;
    int16_t desc;
    uint16_t let;
    uint16_t aux;
    uint16_t ref_count;
    uint16_t ref_first;
    int16_t key;
    uint8_t type;
    uint8_t number;
    uint16_t flags;
    uint8_t vdesc_count;
    uint8_t dim_count;
    int8_t gap;
    uint8_t reserved29;
    DDF_DIMEXPR dims[5];
} DDF_FIELD;

/*
 * A loaded dictionary (392 bytes): the dictionary header of the file, byte
 * for byte, with every pointer field set to its loaded section. Counts are
 * signed. The reserved bytes are loaded and not interpreted. Sections that
 * the library does not read are void pointers: their layout belongs to the
 * dictionary's users. A TFI is a position in typeforms.
 */
typedef struct DDF_DICT {
    char name[128];
    int32_t version;
    int32_t revision;
    int32_t attr_count; /* entries of attr_names */
    uint8_t reserved140[4];
    char** attr_names;
    void* attr_masks;
    int32_t ptr_name_count; /* entries of ptr_names */
    uint8_t reserved164[4];
    int32_t* ptr_data; /* reference-list TFs, sorted per run */
    char** ptr_names;
    void* ptr_counts;
    void* ptr_indices;
    int32_t vdesc_count; /* entries of vdescs */
    uint8_t reserved204[4];
    DDF_VDESC* vdescs;
    uint8_t reserved216[8];
    uint8_t* opcodes; /* computed-value instructions, 6 bytes each */
    uint8_t reserved232[8];
    int32_t type_count; /* entity types: entries of typeforms, ent_* */
    uint8_t reserved244[4];
    int32_t* typeforms;     /* TFs, ascending */
    int32_t fld_name_count; /* entries of fld_names */
    uint8_t reserved260[4];
    char** fld_names;       /* sorted by byte comparison */
    int32_t fld_desc_count; /* entries of fld_descs */
    uint8_t reserved276[4];
    char** fld_descs;
    DDF_FIELD* fld_data;
    int16_t* fld_indices; /* per type: first descriptor in fld_data */
    char** ent_names;     /* per type, lower case */
    int16_t* ent_fldcnts; /* per type: number of descriptors */
    char** ent_descs;     /* per type */
    void* ent_uattrs;
    uint16_t* ent_sizes; /* per type: body size in bytes */
    uint8_t* ent_info;   /* per type: DDF_INFO_HAS_PTRS */
    uint8_t reserved352[8];
    uint16_t* subent_tfis; /* TFIs embedded by DDF_SUBENT fields */
    void* sub_super_data;
    void* supertype_tfs;
    void* subtype_tfs;
} DDF_DICT;

/*
 * An entry of ddf__Sections (16 bytes): a section name, its relocation kind
 * (its position in the table, 1 to 23) and the offset in DDF_DICT of the
 * pointer that receives the loaded section.
 */
typedef struct DDF_SECTION {
    const char* name;
    int32_t kind;
    int32_t offset;
} DDF_SECTION;

/*
 * An entry of ddf__FldData (24 bytes), indexed by field type code.
 *   name    the type's name ("short" ...; type 6 is "char " with a blank)
 *   decl    the C declaration text, with its trailing blanks
 *   size    element size in bytes
 *   scalar  8 for the types 1 to 9, 0 otherwise; not read by the library
 */
typedef struct DDF_FLDTYPE {
    const char* name;
    const char* decl;
    int32_t size;
    int32_t scalar;
} DDF_FLDTYPE;

/*
 * ---- Exported variables ---------------------------------------------------
 */

/* The dictionary of the current model; null when there is none. */
MVX_API extern DDF_DICT* ddf__Current;
/* The previous value of ddf__Current, saved by a module that switches
 * dictionaries so that it can put it back. */
MVX_API extern DDF_DICT* ddf__TempDDF;
/* One-entry cache of the last TF looked up in ddf__Current and its TFI.
 * ddf_Initialize sets them to MVX_NULL_TF and 0. */
MVX_API extern int32_t ddf__SavedTF;
MVX_API extern int32_t ddf__SavedTFI;
/* The count-slot values of the field walk under way (slot k is element k);
 * null when no walk is under way. */
MVX_API extern int32_t* ddf__Counters;
/* An area that ddf_Initialize fills (16-bit -1 at byte 0 and at byte 24,
 * 5 at byte 26, the rest zero) and the library never reads. */
MVX_API extern uint8_t ddf__NoMatchLvl[32];
/* The section table: DDF_SECTION_COUNT entries, then one with a null name. */
MVX_API extern const DDF_SECTION ddf__Sections[DDF_SECTION_COUNT + 1];
/* The field types, indexed by type code. */
MVX_API extern const DDF_FLDTYPE ddf__FldData[DDF_FIELD_TYPES];
/* Default values of float and double fields for keys 50 to 54:
 * 0.0, 1.0, pi, pi/2, pi/4. */
MVX_API extern const double ddf__DefaultMap[5];

/*
 * ---- Operations -----------------------------------------------------------
 */

/*
 * Loads a binary dictionary file.
 *   options  ignored
 *   name     UTF-8 path of the file
 *   dict     set to null first, then to the new dictionary on success
 * The file is opened through the paged file as an existing file for
 * reading and writing (DOF_READ_WRITE, one 32768-byte page buffer): a file
 * that cannot be opened for writing is refused, and, since the paged file
 * refuses it, so is a file whose length is not a whole number of pages. The
 * loader never reads past the end of the file (which would extend it), and
 * never writes to it: the file is left as it was, whatever the outcome.
 *
 * Each section is copied into its own malloc'ed block, stored in its
 * DDF_DICT pointer, and its string offsets are turned into pointers into
 * the block. A section that the file omits leaves its pointer with the
 * value that the file's header held. A section that comes twice is loaded
 * twice: the second block replaces the first, which is freed. An empty
 * section still gets a block (of one byte) of its own. A negative section
 * count in the file header reads no section; bytes after the last section
 * are ignored.
 *
 * Beyond the layout, the loader refuses a dictionary that later queries
 * could not read within bounds, with DDF_READ_ERR:
 *   - a negative count or section size; a section smaller than its count
 *     needs (string-offset arrays 8 bytes an entry, vdescs 16, typeforms 4,
 *     ent_fldcnts, fld_indices and ent_sizes 2, ent_info 1 per entity type);
 *   - a section missing although its count is above 0 (and, with entity
 *     types, any of typeforms, ent_names, ent_descs, ent_fldcnts,
 *     fld_indices, ent_sizes, ent_info);
 *   - a string offset at or past its section's end, or a string without a
 *     NUL before that end;
 *   - a type whose descriptor run (fld_indices, ent_fldcnts) is negative or
 *     leaves fld_data; within a run: a type code of 20 or more, more than 5
 *     dimensions, a name or description index that is neither -1 nor an
 *     entry, a reference list outside ptr_data, value descriptions outside
 *     vdescs, a let index outside opcodes, a subentity index outside
 *     subent_tfis or naming no entity type, a struct whose descriptor count
 *     leaves the run.
 * The internal layout of the sections the library does not read is not
 * checked, nor the order of typeforms and fld_names, nor the operands of
 * dimension expressions and let instructions (count slots are the field
 * walk's business).
 *
 * Returns 0, or (the file closed, everything allocated freed, *dict null):
 *   DDF_INVALID_ARG  name or dict is null;
 *   DDF_OPEN_ERR     the paged file cannot open the file (missing, not
 *                    writable, not a regular file, a partial last page);
 *   DDF_ID_ERR       the magic text differs (checked before the version);
 *   DDF_VERSION_ERR  the version is not 100;
 *   DDF_READ_ERR     a header or section lies past the end of the file or
 *                    cannot be read, a section name is not one of
 *                    ddf__Sections, or a check above fails;
 *   DDF_MALLOC_ERR   memory ran out (also when the paged file ran out of it
 *                    while opening; when it runs out while checking the
 *                    name's encoding it reports an open failure, and
 *                    DDF_OPEN_ERR follows).
 * The dictionary belongs to the caller and is never freed by the library:
 * it is the malloc'ed DDF_DICT and one malloc'ed block per loaded section.
 */
MVX_API int32_t ddf_LoadDDF(uint32_t options, const char* name, DDF_DICT** dict);

/*
 * Finds a TF in an ascending array of TFs by binary search (used for
 * typeforms and for the reference lists in ptr_data).
 *   tfs    the array; null finds nothing
 *   count  its number of entries; 0 or less finds nothing
 *   tf     the TF sought
 * Returns the index of the TF, or -1 when the array does not hold it. With
 * equal entries (not expected) any one of them may be found. No option word.
 */
MVX_API int32_t ddf_FindTF(const int32_t* tfs, int32_t count, int32_t tf);

MVX_END_DECLS

#endif /* MVX_DDF_H */
