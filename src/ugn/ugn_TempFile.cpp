/*
 * Temporary file names.
 *
 * With MORVEX_TMP the name follows a fixed pattern (process id, then the
 * name counter) that other programs of the family also expect, so it is
 * built as it is, without looking at the directory. Without MORVEX_TMP the
 * name stands in for the platform's temporary-name function, whose promise
 * is a name that no file has: sequence numbers are tried until lstat finds
 * nothing under the name (a dangling symbolic link counts as a file).
 */
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"
#include "ugn/ugn_int.h"

namespace {

// How many sequence numbers one call tries before giving up.
constexpr uint32_t kMaxTries = 65536;

// Records a failure whose message text alone would not say enough: the
// formatted reason goes in front of the message as its first line.
__attribute__((format(printf, 2, 3))) void ReportWithReason(int32_t code, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // A reason that cannot be copied is left out; the message still goes.
    char* prefix = mvxc::StrDup(line);
    mpm__SetError(MPM_TAGGED, code, MPM_ERROR, MPM_TAG_PREFIX, prefix, MPM_TAG_END);
}

// Appends a heap name to the list, which takes it over. Returns false (the
// name freed, the failure reported) when it cannot be stored.
bool Record(char* name) {
    if (ugn__TempNameList == nullptr ||
        olm_AddObject(0, ugn__TempNameList, OLM_TAIL, &name) == nullptr) {
        std::free(name);
        mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
        return false;
    }
    return true;
}

// The name in the MORVEX_TMP directory, built in ugn__TmpNam.
char* NameInMorvexTmp(const char* dir) {
    const std::size_t length = std::strlen(dir);
    const char last = dir[length - 1];
    const char* separator = last == '/' || last == '\\' ? "" : "/";
    const auto count = static_cast<uint32_t>(ugn__TmpNum);
    char name[UGN_TMPNAM_SIZE];
    const int written =
        std::snprintf(name, sizeof name, "%s%st%4.4x%03x.%03x", dir, separator,
                      static_cast<unsigned>(ugn_GetPID()), count & 0xFFu, count >> 8);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof name) {
        ReportWithReason(UGN_ENV_VAR_TOO_LONG,
                         "MORVEX_TMP (%zu bytes) leaves no room for a temporary file name in %d "
                         "bytes.\n",
                         length, UGN_TMPNAM_SIZE);
        return nullptr;
    }
    char* copy = mvxc::StrDup(name);
    if (copy == nullptr) {
        mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
        return nullptr;
    }
    if (!Record(copy)) return nullptr;
    std::memcpy(ugn__TmpNam, name, static_cast<std::size_t>(written) + 1);
    ugn__TmpNum = static_cast<int32_t>(count + 1);
    return ugn__TmpNam;
}

// A name that no file has, in TMPDIR or /tmp; recorded and returned.
char* FreshName() {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
    const std::size_t length = std::strlen(dir);
    const char last = dir[length - 1];
    const char* separator = last == '/' || last == '\\' ? "" : "/";
    const auto pid = static_cast<unsigned>(ugn_GetPID());
    // Directory, separator, "tmp", 8 hex digits, '.', 8 hex digits, NUL.
    const std::size_t size = length + 1 + 3 + 8 + 1 + 8 + 1;
    auto* name = static_cast<char*>(mvxc::Malloc(size));
    if (name == nullptr) {
        mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
        return nullptr;
    }
    std::snprintf(name, size, "%s%stmp%04x.", dir, separator, pid);
    // The name goes to the platform's file functions, so it must be UTF-8;
    // the prefix is ASCII, so checking it once covers every candidate.
    if (!ugn_IsUtf8(name)) {
        std::free(name);
        return nullptr;
    }
    const std::size_t stem = std::strlen(name);
    uint32_t seq = ugn_TempSeq;
    for (uint32_t tries = 0; tries < kMaxTries; ++tries, ++seq) {
        std::snprintf(name + stem, size - stem, "%03x", seq);
        struct stat info;
        if (lstat(name, &info) == 0) continue; // taken: try the next number
        if (errno != ENOENT) {
            const int error = errno;
            ReportWithReason(MVX_BAD_FILENAME, "No temporary file name can be made in %s: %s.\n",
                             dir, std::strerror(error));
            std::free(name);
            return nullptr;
        }
        if (!Record(name)) return nullptr;
        ugn_TempSeq = seq + 1;
        return name;
    }
    ReportWithReason(MVX_BAD_FILENAME, "No free temporary file name in %s after %u tries.\n", dir,
                     kMaxTries);
    std::free(name);
    return nullptr;
}

} // namespace

extern "C" char* ugn_TempFile(void) {
    char* dir = nullptr;
    ugn_GetEnv(0, "MORVEX_TMP", &dir);
    if (dir != nullptr && dir[0] != '\0') return NameInMorvexTmp(dir);
    return FreshName();
}
