// Internals of the dictionary compiler: the in-memory form of a dictionary
// that the parser builds, the encoder lays out and writes, the decoder
// rebuilds from a loaded dictionary and the printers print.
#ifndef MVX_TOOLS_DDFC_INT_H
#define MVX_TOOLS_DDFC_INT_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ddfc.h"

namespace ddfc {

// Limits of the language, most of them set by the widths of the binary
// descriptor fields.
inline constexpr int kMaxSlot = 127;             // count slots 1..127 (8-bit destination)
inline constexpr int kMaxLiteral = 32767;        // literal operands (16-bit, >= 0)
inline constexpr int kMaxDims = 5;               // dimension expressions per field
inline constexpr int kMaxDescriptors = 256;      // per entity type (8-bit field number)
inline constexpr int kMaxNesting = 32;           // structures within structures
inline constexpr int kMaxSubentDepth = 32;       // subentities within subentities
inline constexpr std::size_t kMaxName = 127;     // dictionary and entity names
inline constexpr std::size_t kMaxText = 4096;    // other strings
inline constexpr std::size_t kMaxIdent = 1024;   // a name written bare (longer ones are strings)
inline constexpr int kMaxAllDescriptors = 32767; // field descriptors in all (16-bit indexes)

// A place in the source; line 0 for things that came from a binary file.
struct Loc {
    int line = 0;
    int column = 0;
};

// A dimension expression or let instruction operand pair, as stored.
struct Dim {
    int16_t a = 0;
    int16_t b = 0;
    char op = 'e';
};

// One let instruction: dest = a op b (op 'f' 'g' 'h' 'i'), dest a slot
// number 1..127.
struct LetOp {
    int16_t a = 0;
    int16_t b = 0;
    int dest = 0;
    char op = 'f';
    Loc loc;
};

struct Field {
    uint8_t type = 0; // DDF_* code; a union is DDF_STRUCT with DDF_UNION
    bool named = false;
    std::string name;
    bool has_desc = false;
    std::string desc;
    uint32_t modifiers = 0;
    uint16_t flags = 0;    // final flag bits
    std::vector<Dim> dims; // fstring: the last is its length; count: its slot
    int16_t key = 0;       // default key, or method index of a derived field
    std::vector<std::pair<int32_t, std::string>> vdescs;
    std::vector<int32_t> refs;  // ascending
    int32_t release = 0;        // bytes 56..59 when fewer than 5 dimensions
    std::vector<LetOp> lets;    // let fields: their instructions before 'd'
    int32_t subent_tf = 0;      // subent fields: the embedded type
    std::vector<Field> members; // struct and union bodies
    Loc loc;

    // Values read from a binary file (the decoder fills them; the encoder
    // computes its own): gap byte, descriptor offsets 14 and 20, and the
    // gap of a structure's end descriptor.
    int8_t file_gap = 0;
    uint16_t file_aux = 0;
    int16_t file_key = 0;
    int8_t file_end_gap = 0;
};

struct Entity {
    int32_t tf = 0;
    std::string name; // lower case
    std::string desc;
    uint8_t info = 0;   // ent_info bits given in the source (0x4 is added)
    uint8_t uattrs = 0; // the type's ent_uattrs byte
    int16_t end_method = 0;
    std::vector<Field> fields;
    Loc loc;
    uint16_t file_size = 0; // ent_sizes entry, from a binary file
};

// Section kinds (positions in ddf__Sections) whose bytes the source gives
// directly.
inline constexpr std::array<int, 6> kRawKinds = {2, 5, 6, 21, 22, 23};

struct Dictionary {
    std::string name;
    int32_t version = 0;
    int32_t revision = 0;
    std::vector<std::string> attr_names;
    std::vector<std::string> ptr_names;
    std::array<std::vector<uint8_t>, DDF_SECTION_COUNT> raw; // by kind - 1
    std::vector<Entity> entities;
};

// Element size of a field type code (ddf__FldData's column, with fstring
// counting one byte per character).
int TypeSize(int type);

// Whether a field holds its elements through a pointer (a dynamic array).
inline bool IsDynamic(uint16_t flags) {
    return (flags & DDF_ARRAY) != 0 && (flags & DDF_FIXED) == 0;
}

// The dimensions that count elements (an fstring's length excluded).
inline std::size_t ElementDims(const Field& f) {
    if (f.type == DDF_FSTRING && !f.dims.empty()) return f.dims.size() - 1;
    if (f.type == DDF_COUNT) return 0;
    return f.dims.size();
}

// The flags the language gives a field from its form alone: ARRAY with
// FIXED for literal dimensions, ARRAY with PTRFIXED (one dimension) or
// VARIABLE (more) when a dimension names a slot; UNION for unions; REFANY
// and REFNONE as written. storage is 0, DDF_PTRFIXED or DDF_VARIABLE as the
// source asked, unsized adds DDF_UNSIZED.
uint16_t FormFlags(const Field& f, bool is_union, uint16_t storage, bool unsized, bool any,
                   bool none);

// Compiles a parsed dictionary into the binary image. Layout results go to
// *layouts when it is not null.
bool Encode(const Dictionary& dict, std::string_view file_name, std::vector<uint8_t>* image,
            std::vector<TypeLayout>* layouts, std::vector<Diagnostic>* diagnostics);

// Parses source text into a dictionary.
bool Parse(std::string_view source, std::string_view file_name, Dictionary* dict,
           std::vector<Diagnostic>* diagnostics);

// Rebuilds a dictionary from a loaded binary one.
bool Decode(const DDF_DICT& dict, const SectionSizes& sizes, Dictionary* out, std::string* error);

// Prints a dictionary as source text.
std::string Print(const Dictionary& dict);

// Formats a TF as TYPE:FORM.
std::string FormatTF(int32_t tf);

} // namespace ddfc

#endif
