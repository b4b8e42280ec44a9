#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"
#include "mvx/mvx_filetype.h"
#include "mvx/ugn.h"

using mvxft::kChunk;
using mvxft::kMaxWord;
using mvxft::WordReader;

namespace {

static_assert(sizeof(MVX_IGES_INFO) == 16 && offsetof(MVX_IGES_INFO, record_length) == 8 &&
              offsetof(MVX_IGES_INFO, eol_length) == 12);
static_assert(sizeof(MVX_MODEL_INFO) == 132 && offsetof(MVX_MODEL_INFO, dictionary) == 4 &&
              offsetof(MVX_MODEL_INFO, version) == 124 && offsetof(MVX_MODEL_INFO, revision) == 128);
static_assert(offsetof(MVX_STEP_INFO, schema) == 4 && sizeof(MVX_STEP_INFO) >= 4 + 5 * 1025);
static_assert(sizeof(MVX_VDAFS_INFO) == 8 && offsetof(MVX_VDAFS_INFO, eol_length) == 4);

// First word of the sentinel that opens a binary DXF file ("AutoCAD Binary
// DXF"), and the prefix of the version string that opens a drawing file.
constexpr const char* kBinaryDxfWord = "AutoCAD";
constexpr const char* kDrawingPrefix = "AC10";

// Up to the first kChunk bytes of the file.
struct Head {
    uint8_t bytes[kChunk];
    std::size_t size;
    int At(std::size_t index) const { return index < size ? bytes[index] : -1; }
};

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool Same(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

int32_t Saturate(long long value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// An optionally signed decimal integer at text[*at], after white space, as
// "%d" reads it; the value saturates. False when there are no digits.
bool ScanInt(const uint8_t* text, std::size_t size, std::size_t* at, int32_t* value) {
    std::size_t i = *at;
    while (i < size && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    long long v = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (v <= INT32_MAX) v = v * 10 + (text[i] - '0');
    }
    if (i == digits) return false;
    *value = Saturate(negative ? -v : v);
    *at = i;
    return true;
}

// The first of four integers that open the head, when there are four.
bool FourIntegers(const Head& head, int32_t* first) {
    // The head is read as text: a NUL ends it.
    std::size_t size = 0;
    while (size < head.size && head.bytes[size] != 0) ++size;
    std::size_t at = 0;
    int32_t values[4];
    for (int32_t& v : values) {
        if (!ScanInt(head.bytes, size, &at, &v)) return false;
    }
    *first = values[0];
    return true;
}

int32_t WordToInt(const char* word) {
    std::size_t at = 0;
    int32_t value = 0;
    ScanInt(reinterpret_cast<const uint8_t*>(word), std::strlen(word), &at, &value);
    return value;
}

// The line end of the first record: from `start`, pass the printable bytes,
// then take the non-printable run that follows, all within index 158 and
// the bytes read. Returns its index and length (length 0 when the
// printable run reaches the limit).
void FindLineEnd(const Head& head, std::size_t start, std::size_t* from, int32_t* length) {
    constexpr auto kLast = static_cast<std::size_t>(kChunk - 2); // index 158
    const std::size_t limit = head.size < kLast ? head.size : kLast;
    std::size_t i = start;
    while (i < limit && head.bytes[i] >= 0x20 && head.bytes[i] <= 0x7E) ++i;
    std::size_t j = i;
    while (j < limit && !(head.bytes[j] >= 0x20 && head.bytes[j] <= 0x7E)) ++j;
    *from = i;
    *length = i >= limit ? 0 : static_cast<int32_t>(j - i);
}

uint32_t ColumnTests(const Head& head) {
    int section = head.At(72);
    if (section >= 'a' && section <= 'z') section -= 'a' - 'A';
    const int first = head.At(73);
    const int last = head.At(79);
    if ((section == 'S' || section == 'G') && (first == '0' || first == ' ' || first == '\n') &&
        (last == '1' || last == '2' || first == '\n'))
        return MVX_FILETYPE_IGES_FIXED;
    if (section == 'C' &&
        !(head.size >= 75 && std::memcmp(head.bytes + 71, "ACIS", 4) == 0))
        return MVX_FILETYPE_IGES_COMPRESSED;
    if (section == 'B') return MVX_FILETYPE_IGES_BINARY;
    return MVX_FILETYPE_UNKNOWN;
}

// What the scan of the words found: the type, and the values of the
// records that are read from the words.
struct ScanResult {
    uint32_t type = MVX_FILETYPE_UNKNOWN;
    int32_t acis_version = 0;
    MVX_MODEL_INFO model{};
    MVX_STEP_INFO step{};
};

// The words after BEGIN_MODEL. False at the end of the file.
bool ReadModel(WordReader& reader, MVX_MODEL_INFO* model) {
    char word[kMaxWord + 1];
    if (!reader.ReadWord(word)) return false;
    model->model = WordToInt(word);
    if (!reader.ReadWord(word)) return false;
    std::memcpy(model->dictionary, word, std::strlen(word) + 1);
    if (!reader.ReadWord(word)) return false;
    model->version = WordToInt(word);
    if (!reader.ReadWord(word)) return false;
    model->revision = WordToInt(word);
    return true;
}

// The schema names of the header. False at the end of the file.
bool ReadSchemas(WordReader& reader, MVX_STEP_INFO* step) {
    char word[kMaxWord + 1];
    bool naming = false;
    int32_t count = 0;
    while (reader.ReadWord(word)) {
        if (count == MVX_FILETYPE_SCHEMAS || std::strstr(word, "ENDSEC") != nullptr ||
            (count > 0 && Same(word, ";"))) {
            step->count = count;
            return true;
        }
        if (naming) {
            std::memcpy(step->schema[count++], word, std::strlen(word) + 1);
        } else if (count == 0 && Same(word, "FILE_SCHEMA")) {
            naming = true;
        }
    }
    return false;
}

void ScanWords(const Head& head, WordReader& reader, ScanResult* result) {
    char word[kMaxWord + 1];
    uint32_t& type = result->type;
    for (int32_t number = 1; reader.ReadWord(word); ++number) {
        if (Same(word, "ISO-10303-21;")) {
            type = ReadSchemas(reader, &result->step) ? MVX_FILETYPE_STEP : MVX_FILETYPE_UNKNOWN;
            return;
        }
        if (std::strstr(word, "VDAFS") != nullptr && type == MVX_FILETYPE_UNKNOWN) {
            type = MVX_FILETYPE_VDAFS;
            return;
        }
        if (number < 5 && (Same(word, "HEADER") || Same(word, "header"))) {
            if (type != MVX_FILETYPE_IGES_FIXED) type = MVX_FILETYPE_VDAFS;
            continue;
        }
        if (type == MVX_FILETYPE_VDAFS && number > 100) return;
        if (Same(word, "BEGIN_MODEL")) {
            type = ReadModel(reader, &result->model) ? MVX_FILETYPE_SAVED_MODEL
                                                     : MVX_FILETYPE_UNKNOWN;
            return;
        }
        // A group code 0 of a text DXF file, then its value.
        if (Same(word, "0")) {
            if (!reader.ReadWord(word)) {
                type = MVX_FILETYPE_UNKNOWN;
                return;
            }
            if (Same(word, "SECTION")) {
                type = MVX_FILETYPE_DXF_TEXT;
                return;
            }
        }
        if (Same(word, kBinaryDxfWord)) {
            if (!reader.ReadWord(word)) {
                type = MVX_FILETYPE_UNKNOWN;
                return;
            }
            if (Same(word, "Binary")) {
                type = MVX_FILETYPE_DXF_BINARY;
                return;
            }
        }
        if (StartsWith(word, kDrawingPrefix)) {
            type = MVX_FILETYPE_DWG;
            return;
        }
        if (number == 5 && type == MVX_FILETYPE_UNKNOWN &&
            FourIntegers(head, &result->acis_version)) {
            type = MVX_FILETYPE_ACIS_TEXT;
            return;
        }
        if (number == 1 && StartsWith(word, "ACIS") && reader.Unread() >= 10 &&
            std::memcmp(reader.pos, "BinaryFile", 10) == 0) {
            type = MVX_FILETYPE_ACIS_BINARY;
            return;
        }
        if (number == 20 && type >= MVX_FILETYPE_IGES_FIXED && type <= MVX_FILETYPE_IGES_OTHER)
            return;
    }
}

// Builds the record of `type`; null for the types without one. Sets
// *status to the memory error when an allocation fails.
void* MakeRecord(const Head& head, const ScanResult& scan, int32_t* status) {
    void* record = nullptr;
    switch (scan.type) {
    case MVX_FILETYPE_ACIS_TEXT: {
        auto* acis = static_cast<MVX_ACIS_INFO*>(mvxc::Calloc(1, sizeof(MVX_ACIS_INFO)));
        if (acis != nullptr) acis->version = scan.acis_version;
        record = acis;
        break;
    }
    case MVX_FILETYPE_DXF_TEXT:
    case MVX_FILETYPE_DXF_BINARY:
    case MVX_FILETYPE_DWG:
        record = mvxc::Calloc(1, sizeof(MVX_DXF_INFO));
        break;
    case MVX_FILETYPE_IGES_FIXED: {
        auto* iges = static_cast<MVX_IGES_INFO*>(mvxc::Calloc(1, sizeof(MVX_IGES_INFO)));
        if (iges == nullptr) break;
        std::size_t from = 0;
        FindLineEnd(head, 73, &from, &iges->eol_length);
        iges->record_length = iges->eol_length + 80;
        if (iges->eol_length > 0) {
            iges->eol = static_cast<char*>(mvxc::Malloc(static_cast<std::size_t>(iges->eol_length)));
            if (iges->eol == nullptr) {
                *status = mpm__SetError(0, MVX_EXC_MEMORY, MPM_FATAL);
                return iges;
            }
            std::memcpy(iges->eol, head.bytes + from, static_cast<std::size_t>(iges->eol_length));
        }
        return iges;
    }
    case MVX_FILETYPE_SAVED_MODEL: {
        auto* model = static_cast<MVX_MODEL_INFO*>(mvxc::Malloc(sizeof(MVX_MODEL_INFO)));
        if (model != nullptr) *model = scan.model;
        record = model;
        break;
    }
    case MVX_FILETYPE_STEP: {
        auto* step = static_cast<MVX_STEP_INFO*>(mvxc::Malloc(sizeof(MVX_STEP_INFO)));
        if (step != nullptr) *step = scan.step;
        record = step;
        break;
    }
    case MVX_FILETYPE_VDAFS: {
        auto* vdafs = static_cast<MVX_VDAFS_INFO*>(mvxc::Calloc(1, sizeof(MVX_VDAFS_INFO)));
        if (vdafs == nullptr) break;
        std::size_t from = 0;
        FindLineEnd(head, 0, &from, &vdafs->eol_length);
        std::memcpy(vdafs->eol, head.bytes + from, vdafs->eol_length < 2 ? vdafs->eol_length : 2);
        return vdafs;
    }
    default:
        return nullptr;
    }
    if (record == nullptr) *status = mpm__SetError(0, MVX_EXC_MEMORY, MPM_FATAL);
    return record;
}

} // namespace

extern "C" int32_t mvx_GetFileType(uint32_t /*options*/, const char* name, uint32_t* type,
                                   void** info) {
    if (type != nullptr) *type = MVX_FILETYPE_UNKNOWN;
    if (info != nullptr) *info = nullptr;
    if (name == nullptr || name[0] == '\0')
        return mpm__SetError(0, MVX_BAD_FILENAME, MPM_ERROR);

    const int fd = ugn_Open(name, O_RDONLY, 0);
    if (fd < 0) {
        if (errno == ENOENT) return mpm__SetError(0, MVX_NOT_FOUND, MPM_ERROR, name);
        return mpm__SetError(0, MVX_OPEN_ERROR, MPM_ERROR, name);
    }

    Head head{};
    ssize_t got;
    do {
        got = read(fd, head.bytes, sizeof head.bytes);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int32_t status = mpm__SetError(0, MVX_READ_ERROR, MPM_ERROR, name);
        close(fd);
        return status;
    }
    head.size = static_cast<std::size_t>(got);

    ScanResult scan;
    scan.type = ColumnTests(head);
    WordReader reader(fd, name, head.bytes, head.size);
    ScanWords(head, reader, &scan);

    int32_t status = 0;
    void* record = MakeRecord(head, scan, &status);

    if (close(fd) != 0 && status == 0) status = mpm__SetError(0, MVX_CLOSE_ERROR, MPM_ERROR, name);
    if (scan.type == MVX_FILETYPE_UNKNOWN)
        mpm__SetError(0, MVX_UNKNOWN_FILETYPE, MPM_WARNING, name);

    if (type != nullptr) *type = scan.type;
    if (info != nullptr) {
        *info = record;
    } else if (record != nullptr) {
        if (scan.type == MVX_FILETYPE_IGES_FIXED) std::free(static_cast<MVX_IGES_INFO*>(record)->eol);
        std::free(record);
    }
    return status;
}
