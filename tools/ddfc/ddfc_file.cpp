// The compiler's entry points and its file handling: reading sources,
// writing outputs without leaving partial files, reading section sizes and
// loading and freeing binary dictionaries.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ddfc_int.h"
#include "mvx/mpm.h"

namespace ddfc {

std::string Diagnostic::Text() const {
    if (line == 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

bool Compile(std::string_view source, std::string_view file_name, std::vector<uint8_t>* image,
             std::vector<Diagnostic>* diagnostics) {
    image->clear();
    Dictionary dict;
    if (!Parse(source, file_name, &dict, diagnostics)) return false;
    return Encode(dict, file_name, image, nullptr, diagnostics);
}

bool Layout(std::string_view source, std::vector<TypeLayout>* layouts,
            std::vector<Diagnostic>* diagnostics) {
    Dictionary dict;
    std::vector<uint8_t> image;
    layouts->clear();
    if (!Parse(source, "<layout>", &dict, diagnostics)) return false;
    return Encode(dict, "<layout>", &image, layouts, diagnostics);
}

namespace {

// Reads a whole file of at most limit bytes.
bool ReadAll(const std::string& path, std::size_t limit, std::string* out, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    out->clear();
    char buf[65536];
    std::size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (out->size() + got > limit) {
            std::fclose(f);
            *error = "file larger than " + std::to_string(limit >> 20) + " MiB";
            return false;
        }
        out->append(buf, got);
    }
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        *error = "cannot read the file";
        return false;
    }
    return true;
}

} // namespace

bool CompileFile(const std::string& source_path, const std::string& output_path,
                 std::vector<Diagnostic>* diagnostics) {
    std::string source;
    std::string error;
    if (!ReadAll(source_path, kMaxSourceSize, &source, &error)) {
        diagnostics->push_back({source_path, 0, 0, error});
        return false;
    }
    std::vector<uint8_t> image;
    if (!Compile(source, source_path, &image, diagnostics)) return false;
    if (!WriteOutput(output_path, image.data(), image.size(), &error)) {
        diagnostics->push_back({output_path, 0, 0, error});
        return false;
    }
    return true;
}

bool WriteOutput(const std::string& path, const void* data, std::size_t size, std::string* error) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    auto write_all = [bytes, size](int fd) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(fd, bytes + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    };
    // A device or a pipe cannot be replaced by a file: it is written as it is.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        bool ok = fd >= 0 && write_all(fd);
        const int saved = errno;
        if (fd >= 0 && close(fd) != 0) ok = false;
        if (!ok) *error = std::string("cannot write: ") + std::strerror(fd < 0 ? saved : errno);
        return ok;
    }
    // Written to a name of its own beside the target (never following or
    // removing anything that stands there) and renamed over it only when
    // complete.
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    const bool written = write_all(fd);
    const int saved = errno;
    // The loader opens dictionaries for reading and writing, so the file
    // gets the usual permissions of a new file rather than mkstemp's 0600.
    const mode_t mask = umask(0);
    umask(mask);
    const bool ok = written && fchmod(fd, 0666 & ~mask) == 0;
    const int after = errno;
    const bool closed = close(fd) == 0;
    if (!ok || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int why = !written ? saved : !ok ? after : errno;
        std::remove(temp.c_str());
        *error = std::string("cannot write: ") + std::strerror(why);
        return false;
    }
    return true;
}

bool ReadSectionSizes(const std::vector<uint8_t>& file, SectionSizes* sizes) {
    for (int32_t& s : sizes->size)
        s = -1;
    if (file.size() < sizeof(DDF_FILEHDR) + sizeof(DDF_DICT)) return false;
    DDF_FILEHDR fh;
    std::memcpy(&fh, file.data(), sizeof fh);
    std::size_t offset = sizeof(DDF_FILEHDR) + sizeof(DDF_DICT);
    for (int16_t i = 0; i < fh.sections; ++i) {
        if (file.size() - offset < sizeof(DDF_SECTHDR)) return false;
        DDF_SECTHDR sh;
        std::memcpy(&sh, file.data() + offset, sizeof sh);
        offset += sizeof sh;
        if (sh.size < 0 || file.size() - offset < static_cast<std::size_t>(sh.size)) return false;
        offset += static_cast<std::size_t>(sh.size);
        if (std::memchr(sh.name, 0, sizeof sh.name) == nullptr) return false;
        bool known = false;
        for (int k = 0; k < DDF_SECTION_COUNT; ++k) {
            if (std::strcmp(ddf__Sections[k].name, sh.name) == 0) {
                sizes->size[k] = sh.size; // a repeated section replaces the earlier one
                known = true;
            }
        }
        if (!known) return false;
    }
    return true;
}

LoadedDict::~LoadedDict() {
    if (dict_ == nullptr) return;
    // Each section that the file holds owns one block; a repeated section's
    // earlier block was freed by the loader.
    for (int k = 0; k < DDF_SECTION_COUNT; ++k) {
        if (sizes_.size[k] < 0) continue;
        void* block = nullptr;
        std::memcpy(&block, reinterpret_cast<uint8_t*>(dict_) + ddf__Sections[k].offset,
                    sizeof block);
        std::free(block);
    }
    std::free(dict_);
}

bool LoadedDict::Load(const std::string& path, std::string* error) {
    std::string bytes;
    if (!ReadAll(path, std::size_t{1} << 30, &bytes, error)) {
        *error = path + ": " + *error;
        return false;
    }
    const std::vector<uint8_t> file(bytes.begin(), bytes.end());
    DDF_DICT* dict = nullptr;
    if (ddf_LoadDDF(0, path.c_str(), &dict) != 0) {
        *error = path + ": not a loadable binary dictionary";
        return false;
    }
    if (!ReadSectionSizes(file, &sizes_)) {
        // The loader accepted it, so this cannot happen unless the file
        // changed in between; the blocks cannot be told apart, so they are
        // left alone.
        *error = path + ": changed while being read";
        return false;
    }
    dict_ = dict;
    return true;
}

} // namespace ddfc
