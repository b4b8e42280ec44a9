// Low-level helpers of the paged file: reporting, whole-page transfers,
// extension, vectored write-back, block headers and releasing a handle.
//
// Every transfer names its offset (pread, pwrite, pwritev), so no call ever
// seeks. The handle still keeps the position the page algorithm defines:
// where a descriptor moved by the same transfers would stand, the offset
// just past the last byte moved. Whenever a transfer fails part-way that
// position is unknown and becomes -1.
#include <fcntl.h>

#include <algorithm>
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

namespace {

int32_t WriteFailed(DOF_FILE* file) {
    file->position = -1;
    return Fail(DOF_WRITE_ERR, file);
}

} // namespace

int32_t WritePage(DOF_FILE* file, int64_t page, const uint8_t* data) {
    const auto size = static_cast<std::size_t>(file->page_size);
    const int64_t at = page * file->page_size;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = SysWrite(file->fd, data + done, size - done,
                                   static_cast<off_t>(at + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        // A write that moves nothing would repeat forever: the device is
        // full or broken, so it fails like an error.
        if (n <= 0) return WriteFailed(file);
        done += static_cast<std::size_t>(n);
    }
    file->position = at + file->page_size;
    return 0;
}

int32_t ReadPage(DOF_FILE* file, int64_t page, uint8_t* data) {
    const auto size = static_cast<std::size_t>(file->page_size);
    const int64_t at = page * file->page_size;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = SysRead(file->fd, data + done, size - done,
                                  static_cast<off_t>(at + static_cast<int64_t>(done)));
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
    file->position = at + static_cast<int64_t>(done);
    return 0;
}

int32_t ExtendTo(DOF_FILE* file, int64_t last, const uint8_t* zeros) {
    // The module is the file's only writer, so the file ends where its last
    // page ends and every new page lies past its end: fallocate gives them
    // zero bytes and reserves their space (a full disk shows here, as it
    // does when zeros are written), in one call. Each page still counts as
    // one physical write. Where the file system cannot reserve space, the
    // zero pages are written one by one.
    const int64_t from = file->pages * file->page_size;
    const int64_t to = (last + 1) * file->page_size;
    int rc;
    do {
        rc = SysAllocate(file->fd, 0, static_cast<off_t>(from), static_cast<off_t>(to - from));
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        file->physical_writes += static_cast<uint32_t>(last + 1 - file->pages);
        file->pages = last + 1;
        file->position = to;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) return WriteFailed(file);
    while (file->pages <= last) {
        const int32_t failed = WritePage(file, file->pages, zeros);
        if (failed != 0) return failed;
        ++file->pages;
        ++file->physical_writes;
    }
    return 0;
}

int32_t WriteBack(DOF_FILE* file, DOF_BUFFER* const* run, int count, int* done) {
    const auto size = static_cast<std::size_t>(file->page_size);
    iovec parts[kWriteBackRun];
    for (int i = 0; i < count; ++i)
        parts[i] = {run[i]->data, size};
    const int64_t start = run[0]->page * file->page_size;
    int first = 0;         // the first part not yet written whole
    std::size_t moved = 0; // bytes of the run written so far
    *done = 0;
    while (first < count) {
        const ssize_t n = SysWriteV(file->fd, parts + first, count - first,
                                    static_cast<off_t>(start + static_cast<int64_t>(moved)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return WriteFailed(file); // as for a single page
        moved += static_cast<std::size_t>(n);
        // Pages written whole are clean from here on; a page written in part
        // goes on where the system stopped.
        while (first < count && moved >= (static_cast<std::size_t>(first) + 1) * size) {
            run[first]->dirty = 0;
            ++file->physical_writes;
            ++first;
            *done = first;
        }
        if (first < count) {
            const std::size_t into = moved - static_cast<std::size_t>(first) * size;
            parts[first] = {run[first]->data + into, size - into};
        }
    }
    file->position = start + static_cast<int64_t>(moved);
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
