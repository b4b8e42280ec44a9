#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_FileExist(uint32_t /*options*/, const char* path) {
    if (path == nullptr) return 0;
    errno = 0;
    const int32_t fd = ugn_Open(path, O_RDONLY, 0);
    if (fd >= 0) {
        close(fd);
        return 1;
    }
    // Errors that mean the name names nothing; any other one (no permission,
    // too many open files ...) means the file is there but cannot be opened.
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case EILSEQ: // not UTF-8: no file can be reached by it
        return 0;
    default:
        return 1;
    }
}
