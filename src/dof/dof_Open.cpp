// Opening a paged file.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "common/common_alloc.h"
#include "dof/dof_int.h"
#include "mvx/ugn.h"

namespace {

// Generated names tried for one temporary file before giving up; a name is
// only taken again when a file of that name exists already.
constexpr int kTemporaryTries = 16;

// Replaces the handle's name by a copy of name. Returns 0 or DOF_MALLOC_ERR.
int32_t TakeName(DOF_FILE* file, const char* name) {
    char* copy = mvxc::StrDup(name);
    if (copy == nullptr) return mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
    std::free(file->name);
    file->name = copy;
    return 0;
}

// Takes the next temporary name. Returns 0, DOF_OPEN_ERR (no name to be
// had) or DOF_MALLOC_ERR.
int32_t TakeTemporaryName(DOF_FILE* file) {
    const char* name = ugn_TempFile();
    if (name == nullptr) return dof::Fail(DOF_OPEN_ERR, file);
    return TakeName(file, name);
}

// Allocates the buffers and their zeroed pages, all empty.
int32_t AllocateBuffers(DOF_FILE* file) {
    file->buffers = static_cast<DOF_BUFFER*>(
        mvxc::Calloc(static_cast<std::size_t>(file->buffer_count), sizeof(DOF_BUFFER)));
    if (file->buffers == nullptr) return mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        DOF_BUFFER& buffer = file->buffers[i];
        buffer.page = -1;
        buffer.data =
            static_cast<uint8_t*>(mvxc::Calloc(1, static_cast<std::size_t>(file->page_size)));
        if (buffer.data == nullptr) return mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
    }
    return 0;
}

// Opens the descriptor: a new temporary file, an existing file, or a created
// one. Returns 0 or DOF_OPEN_ERR / DOF_MALLOC_ERR.
int32_t OpenDescriptor(DOF_FILE* file) {
    const uint32_t options = file->options;
    if ((options & DOF_TEMPORARY) != 0) {
        // Exclusive: a generated name never clobbers a file that is there.
        for (int tries = 1;; ++tries) {
            errno = 0; // a name ugn_Open refuses leaves errno alone
            file->fd = ugn_Open(file->name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (file->fd >= 0) return 0;
            if (errno != EEXIST || tries == kTemporaryTries) break;
            const int32_t rc = TakeTemporaryName(file);
            if (rc != 0) return rc;
        }
        return dof::Fail(DOF_OPEN_ERR, file);
    }
    int flags = O_RDWR | O_CREAT | O_TRUNC;
    if ((options & DOF_READ_ONLY) != 0) {
        flags = O_RDONLY;
    } else if ((options & DOF_READ_WRITE) != 0) {
        flags = O_RDWR;
    }
    file->fd = ugn_Open(file->name, flags | O_CLOEXEC, 0666);
    if (file->fd < 0) return dof::Fail(DOF_OPEN_ERR, file);
    return 0;
}

// Checks what was opened and takes the size of an existing file.
int32_t Inspect(DOF_FILE* file) {
    struct stat status {};
    if (dof::SysStat(file->fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return dof::Fail(DOF_OPEN_ERR, file);
    }
    if ((file->options & DOF_TEMPORARY) == 0 &&
        (file->options & (DOF_READ_WRITE | DOF_READ_ONLY)) != 0) {
        const int64_t size = status.st_size;
        // A partial last page would count as absent and be overwritten with
        // zeros once requested: such a file is refused.
        if (size % file->page_size != 0) return dof::Fail(DOF_OPEN_ERR, file);
        file->end = size;
        file->pages = size / file->page_size;
    }
    return 0;
}

} // namespace

extern "C" int32_t dof_Open(uint32_t options, const char* name, int32_t buffer_count,
                            int32_t page_size, DOF_FILE** out) {
    *out = nullptr;
    auto* file = static_cast<DOF_FILE*>(mvxc::Calloc(1, sizeof(DOF_FILE)));
    if (file == nullptr) return mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
    file->fd = -1;
    file->options = options;

    int32_t rc = (options & DOF_TEMPORARY) != 0 ? TakeTemporaryName(file)
                 : name != nullptr              ? TakeName(file, name)
                                                : dof::Fail(DOF_OPEN_ERR, file);
    if (rc == 0) {
        file->buffer_count = buffer_count > 0 ? buffer_count : DOF_DEFAULT_BUFFERS;
        file->page_size = page_size > 0 ? page_size : DOF_DEFAULT_PAGE_SIZE;
        rc = AllocateBuffers(file);
    }
    if (rc == 0 && (options & DOF_FREE_LISTS) != 0) {
        file->free_lists = 1;
        file->free_list = dof::CreateFreeList();
        if (file->free_list == nullptr) rc = DOF_MALLOC_ERR;
    }
    if (rc == 0) rc = OpenDescriptor(file);
    if (rc == 0) {
        rc = Inspect(file);
        if (rc != 0) {
            dof::SysClose(file->fd);
            if ((options & DOF_TEMPORARY) != 0) ugn_Unlink(file->name);
        }
    }
    if (rc != 0) {
        dof::Release(file);
        return rc;
    }
    *out = file;
    return 0;
}
