// mvx filetype: tells which exchange format each file holds.
//
//   mvx filetype [--json] FILE...
//
// One line per file: the file name, the type code, the format's name and
// the contents of the information record that mvx_GetFileType returned.
// Line-end bytes are shown in double quotes with C escapes. With --json the
// same facts come as one JSON array with an object per file.
//
// A file that cannot be read gets the library's message on standard error
// (and in JSON an object with its status code and message name).
//
// Exit status: 0 when every file could be read (recognised or not), 1
// otherwise, 2 usage error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "commands.h"
#include "libmvx.h"

namespace {

constexpr int kExitUnread = 1;
constexpr int kExitUsage = 2;

struct Format {
    const char* key;  // short name for machines
    const char* name; // for people
};

// Indexed by type code.
const Format kFormats[] = {
    {"acis_text", "ACIS text"},
    {"acis_binary", "ACIS binary"},
    {"dxf_text", "DXF text"},
    {"dxf_binary", "DXF binary"},
    {"dwg", "binary drawing file (DWG)"},
    {"iges_fixed", "IGES, fixed-length ASCII form"},
    {"iges_compressed", "IGES, compressed ASCII form"},
    {"iges_binary", "IGES, binary form"},
    {"iges_other", "IGES family"},
    {"saved_model", "saved model"},
    {"reserved", "reserved"},
    {"step", "STEP"},
    {"vdafs", "VDAFS"},
    {"unknown", "unknown"},
};

// Bytes in double quotes with C escapes (for people) or JSON escapes.
std::string Quote(const char* bytes, std::size_t size, bool json) {
    std::string out = "\"";
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        char hex[8];
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F || (!json && c >= 0x80)) {
                std::snprintf(hex, sizeof hex, json ? "\\u%04x" : "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Quote(const char* text, bool json) {
    return Quote(text, std::strlen(text), json);
}

// The record's contents as "; "-separated text or as JSON members.
std::string DescribeRecord(uint32_t type, const void* info, bool json) {
    if (info == nullptr) return "";
    char line[256];
    std::string out;
    switch (type) {
    case MVX_FILETYPE_ACIS_TEXT:
        std::snprintf(line, sizeof line, json ? ", \"acis_version\": %d" : ", ACIS version %d",
                      static_cast<const MVX_ACIS_INFO*>(info)->version);
        return line;
    case MVX_FILETYPE_IGES_FIXED: {
        const auto* iges = static_cast<const MVX_IGES_INFO*>(info);
        const std::string eol =
            Quote(iges->eol != nullptr ? iges->eol : "", static_cast<std::size_t>(
                                                              iges->eol != nullptr ? iges->eol_length : 0),
                  json);
        std::snprintf(line, sizeof line,
                      json ? ", \"record_length\": %d, \"eol_length\": %d, \"eol\": %s"
                           : ", record length %d, line end of %d bytes %s",
                      iges->record_length, iges->eol_length, eol.c_str());
        return line;
    }
    case MVX_FILETYPE_SAVED_MODEL: {
        const auto* model = static_cast<const MVX_MODEL_INFO*>(info);
        const std::string dict = Quote(model->dictionary, json);
        std::snprintf(line, sizeof line,
                      json ? ", \"model\": %d, \"dictionary\": %s, \"version\": %d, \"revision\": %d"
                           : ", model %d, dictionary %s, version %d, revision %d",
                      model->model, dict.c_str(), model->version, model->revision);
        return line;
    }
    case MVX_FILETYPE_STEP: {
        const auto* step = static_cast<const MVX_STEP_INFO*>(info);
        out = json ? ", \"schemas\": [" : ", schemas:";
        for (int i = 0; i < step->count && i < MVX_FILETYPE_SCHEMAS; ++i) {
            if (json && i > 0) out += ", ";
            if (!json) out += " ";
            out += Quote(step->schema[i], json);
        }
        if (json) out += "]";
        if (!json && step->count == 0) out += " none";
        return out;
    }
    case MVX_FILETYPE_VDAFS: {
        const auto* vdafs = static_cast<const MVX_VDAFS_INFO*>(info);
        const std::size_t shown = vdafs->eol_length < 2 ? static_cast<std::size_t>(vdafs->eol_length) : 2;
        const std::string eol = Quote(vdafs->eol, shown, json);
        std::snprintf(line, sizeof line,
                      json ? ", \"eol_length\": %d, \"eol\": %s"
                           : ", line end of %d bytes beginning %s",
                      vdafs->eol_length, eol.c_str());
        return line;
    }
    default:
        return "";
    }
}

void FreeRecord(uint32_t type, void* info) {
    if (info != nullptr && type == MVX_FILETYPE_IGES_FIXED)
        std::free(static_cast<MVX_IGES_INFO*>(info)->eol);
    std::free(info);
}

// Classifies one file and prints its line or object. False when the file
// could not be read.
bool Show(const char* path, bool json, bool first) {
    uint32_t type = MVX_FILETYPE_UNKNOWN;
    void* info = nullptr;
    const int32_t status = mvx_GetFileType(0, path, &type, &info);
    const char* format = type < std::size(kFormats) ? kFormats[type].name : "?";
    const char* key = type < std::size(kFormats) ? kFormats[type].key : "?";
    const std::string record = DescribeRecord(type, info, json);
    FreeRecord(type, info);
    if (json) {
        std::printf("%s  {\"file\": %s, ", first ? "" : ",\n", Quote(path, true).c_str());
        if (status != 0) {
            const char* name = mpm_GetMsgName(status);
            std::printf("\"status\": %d, \"error\": %s}", status,
                        Quote(name != nullptr ? name : "", true).c_str());
        } else {
            std::printf("\"type\": %u, \"format\": \"%s\"%s}", type, key, record.c_str());
        }
    } else if (status == 0) {
        std::printf("%s: %u %s%s\n", path, type, format, record.c_str());
    }
    if (status != 0) {
        std::fflush(stdout);
        mpm_DumpStack(MPM_DUMP_ALL);
        return false;
    }
    // The warning for an unrecognised file says no more than the line.
    mpm_ClearError(0);
    return true;
}

} // namespace

int mvx_cmd_filetype(int argc, char** argv) {
    bool json = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--json") == 0) {
        json = true;
        first = 2;
    }
    if (first >= argc) {
        std::fputs("mvx filetype: no file given\n", stderr);
        return kExitUsage;
    }
    mvx_Initialize(0);
    bool all_read = true;
    if (json) std::printf("[\n");
    for (int i = first; i < argc; ++i)
        all_read = Show(argv[i], json, i == first) && all_read;
    if (json) std::printf("\n]\n");
    std::fflush(stdout);
    mvx_Terminate(0);
    return all_read ? 0 : kExitUnread;
}
