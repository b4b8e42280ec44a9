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

/* Computed-value (let) instruction (6 bytes), an entry of opcodes.
 * Operands as in a dimension expression; dest -k names count slot k;
 * op: 'f' a + b, 'g' a - b, 'h' a * b, 'i' a / b, 'd' done. */
typedef struct DDF_LETOP {
    int16_t a;
    int16_t b;
    int8_t dest;
    char op;
} DDF_LETOP;

/* Entries of the count-slot table that ddf__Counters points to while a
 * field walk is under way: slots 0 to DDF_COUNT_SLOTS - 1. A walk level
 * provides a table of exactly this many values; slot numbers beyond it are
 * refused by the let and dimension evaluation below. */
#define DDF_COUNT_SLOTS 256

/* Result of a lookup that found nothing; carries no message. */
#define DDF_NOT_FOUND 0x8FFFF
/* Result of a let sequence that cannot be evaluated; carries no message. */
#define DDF_BAD_LET 0x8FFFE

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
 *     leaves fld_data, or a struct whose descriptor count leaves its run;
 *   - in any descriptor of fld_data (in a run or not, since a query may be
 *     handed any of them): more than 5 dimensions, a name or description
 *     index that is neither -1 nor an entry, a reference list outside
 *     ptr_data, value descriptions outside vdescs, a let index outside
 *     opcodes, a subentity index outside subent_tfis or naming no entity
 *     type, a struct whose descriptor count leaves fld_data.
 * Type codes of 20 and more are loaded (the field walk steps over them);
 * such a code has no entry in ddf__FldData, so the library gives it no name
 * and an element size of 0 wherever it looks a code up.
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
 * ---- Queries --------------------------------------------------------------
 *
 * Unless it takes a dictionary or an array, a query works on ddf__Current.
 * Queries never read outside the dictionary, whatever they are given:
 *   - with no current dictionary (ddf__Current null) a query reports
 *     DDF_NULL_MEMPTR;
 *   - a null pointer argument (a name, an output) is DDF_NULL_MEMPTR;
 *   - a field descriptor argument must be one of ddf__Current's descriptors:
 *     an address inside its fld_data at a 60-byte boundary. Null is
 *     DDF_NULL_MEMPTR, anything else (a copy, a descriptor of another
 *     dictionary, a pointer into the middle of one) DDF_INVALID_ARG.
 * These failures are reported (severity ERROR) and returned by the queries
 * that return a status; the others report them and return their "nothing"
 * value (the null TF, null, 0), so that mpm__LastError tells why.
 *
 * The extent of fld_data and of opcodes is recorded by ddf_LoadDDF for each
 * dictionary it loads, together with a copy of the 392-byte header it handed
 * out; the record holds only while the dictionary at that address still has
 * exactly that header. A dictionary made some other way (or one whose
 * header changed, such as another dictionary at the address of a freed
 * one) has no record, which is then forgotten: its fld_data is taken to end
 * after the last descriptor of any type's run, and its opcodes to be empty,
 * so every let of such a dictionary is DDF_BAD_LET.
 *
 * TF lookup cache: a query that takes a TF finds its TFI through
 * ddf__SavedTF / ddf__SavedTFI. When the TF equals ddf__SavedTF and the
 * cached TFI still names that TF in ddf__Current, the cached TFI is used;
 * otherwise typeforms is searched and, when the TF is found, both are
 * stored. A TF that is not found leaves the cache as it was. Checking the
 * cached entry against typeforms means that a stale cache (a dictionary
 * switched without resetting it) costs a search, never a wrong answer.
 */

/*
 * Finds a TF in an ascending array of TFs by binary search (used for
 * typeforms and for the reference lists in ptr_data).
 *   tfs    the array; null finds nothing
 *   count  its number of entries; 0 or less finds nothing
 *   tf     the TF sought
 * Returns the index of the TF, or -1 when the array does not hold it. With
 * equal entries (not expected) any one of them may be found. No option word;
 * reports nothing.
 */
MVX_API int32_t ddf_FindTF(const int32_t* tfs, int32_t count, int32_t tf);

/*
 * Finds a field name's index in fld_names by binary search (byte order, as
 * strcmp compares).
 *   name   the field name
 *   index  receives the index; -1 when the name is not found
 * Returns 0, DDF_NOT_FOUND (no message), or DDF_NULL_MEMPTR.
 */
MVX_API int32_t ddf_MakeFieldNum(const char* name, int32_t* index);

/*
 * Finds a field of an entity type, given by TFI, by its name.
 *   tfi    the type's index in typeforms
 *   name   the field name
 *   field  receives the descriptor (owned by the dictionary), null when
 *          nothing is found
 * The type's descriptors are scanned from its first one up to its endent
 * descriptor (and never past the end of its run) for a descriptor whose
 * name index is the name's index in fld_names.
 * Returns 0, DDF_NOT_FOUND (no message) for a TFI outside the dictionary
 * (negative or too large), a name not in fld_names or no such field of the
 * type, or DDF_NULL_MEMPTR.
 */
MVX_API int32_t ddf_FindTFIField(int32_t tfi, const char* name, DDF_FIELD** field);

/*
 * Finds a field of an entity type, given by TF, by its name.
 *   name   the field name, compared exactly with each named descriptor's
 *          fld_names entry; unnamed descriptors are skipped
 *   tf     the entity type (looked up through the TF cache)
 *   field  receives the descriptor (owned by the dictionary), or null
 * All ent_fldcnts descriptors of the type are scanned.
 * Returns 0, DDF_NOT_FOUND (no message) for an unknown TF or name, or
 * DDF_NULL_MEMPTR.
 */
MVX_API int32_t ddf_GetFieldFromName(const char* name, int32_t tf, DDF_FIELD** field);

/*
 * Finds an entity type by its name.
 *   name  the name, in any case: it is lower-cased (ugn_GetLower) into a
 *         copy and compared exactly with each ent_names entry in TFI order
 * Returns the TF of the first type of that name, or MVX_NULL_TF when there
 * is none. A name longer than 127 characters matches nothing (no stored
 * name is that long in a compiled dictionary); a null name or no current
 * dictionary reports DDF_NULL_MEMPTR and returns MVX_NULL_TF.
 */
MVX_API int32_t ddf_GetNameTF(const char* name);

/*
 * Lists the forms of an entity type.
 *   type   the type number (TF >> 16)
 *   count  receives the number of TFs of that type
 *   tfs    receives a malloc'ed array of those TFs, which the caller frees;
 *          null when the count is 0
 * From the first TF of typeforms whose type is the number, the consecutive
 * TFs of that type are taken (all of them, as typeforms is sorted).
 * Returns 0; DDF_MALLOC_ERR when the array cannot be allocated (reported,
 * count 0 and array null); DDF_NULL_MEMPTR (outputs that are given are set
 * to 0 and null first).
 */
MVX_API int32_t ddf_ExpandForms(int32_t type, int32_t* count, int32_t** tfs);

/*
 * Writes a field's default value.
 *   field  a descriptor of ddf__Current
 *   value  receives the default, its width by type: short 2 bytes (the
 *          key); int, long 4 (the key sign-extended); count 4 (0); float 4
 *          and double 8 (key 50 to 54: ddf__DefaultMap[key - 50]; key 0 and
 *          every other key: 0.0); char 1 (the key's low byte); fstring 1
 *          (0, an empty string); vstring and ptr 8 (null)
 * Other types write nothing.
 * Returns 0, DDF_NULL_MEMPTR or DDF_INVALID_ARG (nothing written).
 */
MVX_API int32_t ddf_GetFieldDefault(const DDF_FIELD* field, void* value);

/*
 * Finds the name of one of a field's value descriptions.
 *   field  a descriptor of ddf__Current
 *   value  the value
 * Searches the field's run of vdescs (vdesc_count entries from aux).
 * Returns the name (owned by the dictionary) of the first description with
 * that value, or null when there is none or the field has no descriptions.
 * A bad field reports as described above and returns null.
 */
MVX_API const char* ddf_GetFieldVdescVal(const DDF_FIELD* field, int32_t value);

/*
 * Tells whether a reference field may refer to an entity of a type.
 *   field  a descriptor of ddf__Current
 *   tf     the referenced entity's TF
 * Returns 1 for any TF when the field has DDF_REFANY; 1 for MVX_NULL_TF when
 * it has DDF_REFNONE; 1 when the TF is in the field's reference list
 * (binary search of its run of ptr_data); else 0. A bad field reports as
 * described above and returns 0.
 */
MVX_API int32_t ddf_CheckFieldReftype(const DDF_FIELD* field, int32_t tf);

/*
 * Finds the count field that sizes an array field.
 *   tf     the entity type that holds both fields
 *   array  a descriptor of ddf__Current (the array field)
 *   count  receives the first count descriptor of the type whose first
 *          dimension operand a equals the array's, or null
 * Returns 0; DDF_FIELD_NOT_FOUND (reported) when the type's endent comes
 * first or the TF is not in the dictionary; DDF_NULL_MEMPTR or
 * DDF_INVALID_ARG.
 */
MVX_API int32_t ddf_GetPFixedCount(int32_t tf, const DDF_FIELD* array, DDF_FIELD** count);

/*
 * Finds a member of a union by name or by type.
 *   field  a descriptor of ddf__Current: a struct with the DDF_UNION flag
 *   name   the member name; only the part after its last '.' counts
 *   type   a field type code; DDF_UNIONTYPE asks for a struct with the
 *          DDF_UNION flag, DDF_STRUCT for any struct
 *   index  receives the member index: the matched descriptor's field number
 *          minus the union's minus 1 (so descriptors of nested structs before
 *          it count); -1 when nothing matches
 * The descriptors after the union are walked with a depth that starts at 1:
 * a struct raises it, an endstruct lowers it (and is no candidate); every
 * other descriptor, nested structs included, is a candidate. The walk ends,
 * with DDF_NOT_FOUND, when the depth falls below 1, and also at an endent
 * descriptor or the end of fld_data (a union without its end). By name, a
 * candidate matches when the part of its name after its last '.' equals that
 * of the given name; unnamed candidates never match.
 * Returns 0, DDF_NOT_FOUND (no message), DDF_NOT_UNION_TYPE (reported) when
 * the descriptor is not a union, DDF_NULL_MEMPTR or DDF_INVALID_ARG.
 */
MVX_API int32_t ddf_GetUnionTypeByName(const DDF_FIELD* field, const char* name, int32_t* index);
MVX_API int32_t ddf_GetUnionTypeByType(const DDF_FIELD* field, int32_t type, int32_t* index);

/*
 * Evaluates a let field's instructions with the count slots of ddf__Counters.
 *   first  the field's first instruction: ddf__Current->opcodes + 6 * let
 *   value  receives the value; 0 when the evaluation fails
 * The instructions run in order: 'f', 'g', 'h', 'i' compute from their
 * operands (x >= 0 the literal x, x < 0 the value of slot -x) and store the
 * result in slot -dest; at 'd' the value is the slot written by the
 * instruction just before it. Arithmetic is done in 64 bits and the result
 * kept modulo 2^32 (two's complement), so no operation overflows.
 * Returns 0, DDF_NULL_MEMPTR (value null or no current dictionary, reported)
 * or DDF_BAD_LET (no message) when:
 *   - first is not an instruction of ddf__Current's opcodes;
 *   - an instruction has another operation letter, or 'd' comes first;
 *   - the sequence runs past the end of opcodes without a 'd';
 *   - an instruction reads or writes a slot outside the table (slot 0 to
 *     DDF_COUNT_SLOTS - 1, and no slot at all while ddf__Counters is null),
 *     or has a positive destination;
 *   - 'i' divides by zero.
 * Slots written before the failing instruction keep their new values.
 */
MVX_API int32_t ddf__ComputeLet(const DDF_LETOP* first, int32_t* value);

/*
 * The value of a dimension expression, with slot operands read from
 * ddf__Counters: 'e' a; 'f' a + b; 'g' a - b; 'h' a * b; 'i' a / b, computed
 * in 64 bits and kept modulo 2^32.
 *   expr   the expression
 *   value  receives the value; 0 on failure, and 0 for a division by zero
 *          (an array sized by such an expression is empty)
 * Returns 0, or DDF_BAD_LET (no message) for a null argument, an unknown
 * operation letter, or a slot operand outside the table (also any slot
 * while ddf__Counters is null). For the library's own modules; not exported.
 */
int32_t ddf__DimValue(const DDF_DIMEXPR* expr, int32_t* value);

/*
 * Prints a field descriptor to standard output:
 *   <type> <name> ("<description>")
 *      Address: <descriptor address>
 *      Modifiers:  ATTR  DEFAULT ...       (the bits set, in bit order)
 *      Flags:  ARRAY  FIXED ...            (the bits set, in bit order)
 *      Field #: <number>  NDims: <dims>   Offset: <gap>  <key label>:  <key>
 * and for a struct (a union too) "   # of fields to endstruct:  <aux>", for a
 * subent "   # of bytes in subent:  <aux>". The key label is "# of
 * referencing fields" for count, "Structure size" for struct, "Subentity
 * form" for subent, "fld_methods index" for derived and endent, "Default
 * value key" for the others. An unnamed field prints "**Field not named**"
 * and an empty description; a named one without description an empty one.
 * <type> is the ddf__FldData name; a type code of 20 or more has none, so
 * the line then starts with the blank before the name.
 *   options  ignored
 *   field    a descriptor of ddf__Current; null prints nothing
 * Returns 0; DDF_NULL_MEMPTR or DDF_INVALID_ARG (nothing printed).
 */
MVX_API int32_t ddf_DbgDumpField(uint32_t options, const DDF_FIELD* field);

/*
 * Prints every field descriptor of an entity type, in order, as
 * ddf_DbgDumpField does.
 *   options  ignored
 *   tf       the entity type; MVX_NULL_TF prints nothing
 * Returns 0; DDF_NOT_FOUND (no message, nothing printed) for a TF that is
 * not in the dictionary; DDF_NULL_MEMPTR with no current dictionary.
 */
MVX_API int32_t ddf_DbgDumpEntityFields(uint32_t options, int32_t tf);

MVX_END_DECLS

#endif /* MVX_DDF_H */
