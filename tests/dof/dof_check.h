// Helpers of the paged-file tests: a fixture with a private temporary
// directory, a check of the newest report, failing system calls.
#ifndef MVX_TEST_DOF_CHECK_H
#define MVX_TEST_DOF_CHECK_H

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "dof/dof_int.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace doftest {

// The library started, MORVEX_TMP at a fresh directory, the seams restored.
class DofTest : public mvxtest::LibraryTest {
protected:
    void TearDown() override {
        dof::SysRead = dof::DefaultRead;
        dof::SysWrite = dof::DefaultWrite;
        dof::SysWriteV = dof::DefaultWriteV;
        dof::SysAllocate = dof::DefaultAllocate;
        dof::SysStat = dof::DefaultStat;
        dof::SysClose = dof::DefaultClose;
        dof::MergeLimit = UINT32_MAX;
        LibraryTest::TearDown();
    }
    std::string Path(const std::string& name) const { return tmp_ / name; }
    std::size_t FileCount() const {
        const std::filesystem::directory_iterator all(tmp_.path());
        return static_cast<std::size_t>(std::distance(begin(all), end(all)));
    }

    mvxtest::TempDir tmp_;
    mvxtest::EnvVar morvex_tmp_{"MORVEX_TMP", tmp_.path()};
};

// The newest report has the code and its text ends with message; clears.
inline ::testing::AssertionResult Reported(int32_t code, const std::string& message) {
    const int32_t got = mpm__LastError;
    const std::string text = mvxtest::LastText();
    mpm_ClearError(0);
    if (got == code && text.ends_with(message)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got 0x" << std::hex << got << " '" << text
                                         << "', expected 0x" << code << " '" << message << "'";
}

// The module's system calls, installed on construction: each countdown names
// the call (1 = the next) that fails with `error`, 0 none (write_at counts
// vectored writes too). A nonzero short_writes caps every write; without
// `reserve` no space can be reserved, so new pages are written.
struct Faults {
    static inline long write_at, read_at, extend_at, stat_at, close_at;
    static inline int error;
    static inline std::size_t short_writes;
    static inline bool reserve;

    Faults() {
        write_at = read_at = extend_at = stat_at = close_at = 0;
        error = EIO;
        short_writes = 0;
        reserve = true;
        dof::SysWrite = [](int fd, const void* data, std::size_t count, off_t at) {
            const std::size_t n = short_writes != 0 ? std::min(count, short_writes) : count;
            return Hit(write_at) ? Fail() : dof::DefaultWrite(fd, data, n, at);
        };
        dof::SysWriteV = [](int fd, const iovec* parts, int count, off_t at) {
            if (Hit(write_at)) return Fail();
            iovec capped[dof::kWriteBackRun];
            int n = 0;
            for (std::size_t left = short_writes != 0 ? short_writes : SIZE_MAX;
                 n < count && left > 0; left -= capped[n++].iov_len)
                capped[n] = {parts[n].iov_base, std::min(parts[n].iov_len, left)};
            return dof::DefaultWriteV(fd, capped, n, at);
        };
        dof::SysRead = [](int fd, void* data, std::size_t count, off_t at) {
            return Hit(read_at) ? Fail() : dof::DefaultRead(fd, data, count, at);
        };
        dof::SysAllocate = [](int fd, int mode, off_t at, off_t length) {
            if (Hit(extend_at)) return static_cast<int>(Fail());
            if (!reserve) return errno = EOPNOTSUPP, -1;
            return dof::DefaultAllocate(fd, mode, at, length);
        };
        dof::SysStat = [](int fd, struct stat* status) {
            return Hit(stat_at) ? static_cast<int>(Fail()) : dof::DefaultStat(fd, status);
        };
        dof::SysClose = [](int fd) { // released even when it fails, like an interrupted close
            const int rc = dof::DefaultClose(fd);
            return Hit(close_at) ? static_cast<int>(Fail()) : rc;
        };
    }
    static bool Hit(long& countdown) { return countdown > 0 && --countdown == 0; }
    static ssize_t Fail() { return errno = error, -1; }
};

} // namespace doftest

#endif
