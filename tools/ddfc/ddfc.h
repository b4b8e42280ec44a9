// The dictionary compiler: turns dictionary source text (.ddl, the language
// of docs/ddf-language.md) into the binary dictionary files that
// ddf_LoadDDF reads, and turns a loaded dictionary back into source text or
// into a C header whose structs lay out entity bodies.
//
// This is tool code: it uses the C++ standard library freely and reports
// problems as diagnostics, never through the library's error stack. The
// operations that read a binary file go through the library (ddf_LoadDDF),
// so the library must be initialised (mvx_Initialize) before calling them.
#ifndef MVX_TOOLS_DDFC_H
#define MVX_TOOLS_DDFC_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mvx/ddf.h"

namespace ddfc {

// One problem found in a source text. line and column count from 1; both
// are 0 for a problem that has no place in the text (an unwritable output
// file, say).
struct Diagnostic {
    std::string file;
    int line = 0;
    int column = 0;
    std::string message;
    // "FILE:LINE:COLUMN: message", or "FILE: message" without a place.
    std::string Text() const;
};

// Largest source text the compiler accepts, in bytes.
inline constexpr std::size_t kMaxSourceSize = 16u << 20;

// Compiles source text. file_name only names the text in diagnostics. On
// success returns true and sets *image to the complete binary file (padded
// to whole DDF_PAGE_SIZE pages); otherwise returns false, leaves *image
// empty and appends at least one diagnostic. The compiler stops at the
// first error.
bool Compile(std::string_view source, std::string_view file_name, std::vector<uint8_t>* image,
             std::vector<Diagnostic>* diagnostics);

// Compiles the file source_path into output_path, written with
// WriteOutput: a failed compile or write leaves no output file behind (an
// existing one stays as it was).
bool CompileFile(const std::string& source_path, const std::string& output_path,
                 std::vector<Diagnostic>* diagnostics);

// Writes size bytes to path. A regular file (or a new one) is written to a
// fresh temporary file in the same directory and renamed over path only
// when complete, so a failure leaves path as it was and nothing else
// behind; a path that names something else (a device such as /dev/null, a
// FIFO) is opened and written as it is. False with a message in *error.
bool WriteOutput(const std::string& path, const void* data, std::size_t size, std::string* error);

// The size in bytes of each section of a binary dictionary, indexed by
// relocation kind - 1 (the order of ddf__Sections); -1 for a section the
// file does not hold. The loaded dictionary does not record the sizes of
// the sections the library only carries, so the dump needs them from the
// file.
struct SectionSizes {
    int32_t size[DDF_SECTION_COUNT];
};

// Reads the section sizes of a binary dictionary file held in memory.
// Returns false when the headers do not lie within the bytes.
bool ReadSectionSizes(const std::vector<uint8_t>& file, SectionSizes* sizes);

// Prints a loaded dictionary as source text that compiles back to the same
// bytes when the dictionary came from this compiler. Returns false with a
// message in *error, and *out empty, when the dictionary holds something
// the language cannot state (a structure without its end, a type code
// without a word, types or fields that share runs of the file, anything
// the compiler would refuse to read back: the text is compiled again before
// it is handed out, and a dump over the 16 MiB the compiler reads is
// refused too).
bool Dump(const DDF_DICT& dict, const SectionSizes& sizes, std::string* out, std::string* error);

// Writes a C header for a loaded dictionary: for every entity type a struct
// of its body (the 24-byte entity header, then the fields) and, for types
// with fields, a struct of the fields alone (what a subentity embeds), with
// _Static_asserts that pin sizeof and offsetof to the dictionary's sizes
// and to the field offsets its descriptors imply. guard names the include
// guard macro. Struct names are made unique (a number is added where two
// would clash). Descriptors that hold no data (derived, method, the union
// markers, type code 0 and codes above 19) become comments. Returns false
// with a message in *error for what C cannot declare: an fstring without a
// literal length, an inline array whose dimensions are not positive
// literals or that is larger than an entity body, runs shared between types
// or fields, subentities that contain themselves or nest more than 32 deep.
bool Header(const DDF_DICT& dict, const SectionSizes& sizes, const std::string& guard,
            std::string* out, std::string* error);

// A binary dictionary loaded from a file with ddf_LoadDDF, freed on
// destruction, with the sizes of its sections.
class LoadedDict {
public:
    LoadedDict() = default;
    ~LoadedDict();
    LoadedDict(const LoadedDict&) = delete;
    LoadedDict& operator=(const LoadedDict&) = delete;
    // Loads path; false with a message in *error (the library's message
    // text where it reported one).
    bool Load(const std::string& path, std::string* error);
    const DDF_DICT& dict() const { return *dict_; }
    const SectionSizes& sizes() const { return sizes_; }

private:
    DDF_DICT* dict_ = nullptr;
    SectionSizes sizes_{};
};

// Offsets of a compiled dictionary's fields, for tests of the layout: for
// each entity type in TF order, its TF, body size, and for every field
// descriptor its offset from the start of the body (-1 for descriptors that
// hold no data: ends, derived and method fields, markers; for members of a
// structure array, the offset within its first element).
struct TypeLayout {
    int32_t tf = 0;
    uint32_t size = 0;
    std::vector<int32_t> offsets;
};
bool Layout(std::string_view source, std::vector<TypeLayout>* layouts,
            std::vector<Diagnostic>* diagnostics);

// The offsets that the field walk finds for each descriptor of a loaded
// dictionary, worked out from its descriptors alone (sizes and gaps), in
// the form of Layout.
bool WalkLayout(const DDF_DICT& dict, const SectionSizes& sizes, std::vector<TypeLayout>* layouts,
                std::string* error);

} // namespace ddfc

#endif
