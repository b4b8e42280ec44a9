// Low-level helpers of the paged file: reporting, seeking, whole-page
// transfers, block headers and releasing a handle.
//
// The handle tracks where its descriptor stands (position) so that
// sequential access never seeks. Whenever a transfer fails part-way the
// descriptor may stand anywhere, so the position becomes -1 and the next
// access seeks again.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dof/dof_int.h"

namespace dof {

int32_t Fail(int32_t code, const DOF_FILE* file, int32_t severity) {
    const char* name = file != nullptr && file->name != nullptr ? file->name : "(null)";
    return mpm__SetError(0, code, severity, name);
}

int32_t Seek(DOF_FILE* file, int64_t offset) {
    if (file->position == offset) return 0;
    if (SysSeek(file->fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
        file->position = -1;
        return Fail(DOF_SEEK_ERR, file);
    }
    file->position = offset;
    return 0;
}

int32_t WritePage(DOF_FILE* file, const uint8_t* data) {
    const auto size = static_cast<std::size_t>(file->page_size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = SysWrite(file->fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        // A write that moves nothing would repeat forever: the device is
        // full or broken, so it fails like an error.
        if (n <= 0) {
            file->position = -1;
            return Fail(DOF_WRITE_ERR, file);
        }
        done += static_cast<std::size_t>(n);
    }
    file->position += file->page_size;
    return 0;
}

int32_t ReadPage(DOF_FILE* file, uint8_t* data) {
    const auto size = static_cast<std::size_t>(file->page_size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = SysRead(file->fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file->position = -1;
            return Fail(DOF_READ_ERR, file);
        }
        if (n == 0) break; // end of file: a short read is not an error
        done += static_cast<std::size_t>(n);
    }
    // Never leave the bytes of the buffer's previous page behind.
    if (done < size) std::memset(data + done, 0, size - done);
    file->position += static_cast<int64_t>(done);
    return 0;
}

int32_t ReadHeader(DOF_FILE* file, int64_t offset, BlockHeader* header) {
    if (offset < DOF_BLOCK_HEADER || offset >= file->end) return Fail(DOF_BAD_OFFSET, file);
    BlockHeader read{};
    const int32_t rc =
        dof_ReadWrite(DOF_READ, file, DOF_BLOCK_HEADER, offset - DOF_BLOCK_HEADER, &read);
    if (rc != 0) return rc;
    if (read.used == 0 || read.used > read.capacity) return Fail(DOF_BAD_OFFSET, file);
    // The capacity may reach past the end offset (see KeepBlockInside).
    *header = read;
    return 0;
}

void Release(DOF_FILE* file) {
    if (file == nullptr) return;
    if (file->buffers != nullptr) {
        for (int32_t i = 0; i < file->buffer_count; ++i)
            std::free(file->buffers[i].data);
        std::free(file->buffers);
    }
    DeleteFreeList(file->free_list);
    std::free(file->name);
    std::free(file);
}

} // namespace dof
