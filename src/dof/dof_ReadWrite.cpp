// Byte-addressed reads and writes through the page buffers.
#include <algorithm>
#include <cstring>

#include "dof/dof_int.h"

extern "C" int32_t dof_ReadWrite(int32_t direction, DOF_FILE* file, int64_t count, int64_t offset,
                                 void* memory) {
    if (count < 0) return dof::Fail(DOF_BAD_SIZE, file);
    if (offset < 0 || offset > dof::kMaxOffset || count > dof::kMaxOffset - offset) {
        return dof::Fail(DOF_BAD_OFFSET, file);
    }
    if (count == 0) return 0;
    const bool writing = direction != DOF_READ;
    if (writing) {
        // Refused at once: the dirty pages could never be written back.
        if (dof::IsReadOnly(file)) return dof::Fail(DOF_WRITE_ERR, file);
        ++file->write_requests;
    } else {
        ++file->read_requests;
    }

    const int64_t size = file->page_size;
    int64_t page = offset / size;
    int64_t at = offset % size;
    auto* bytes = static_cast<uint8_t*>(memory);
    while (count > 0) {
        const int64_t n = std::min(count, size - at);
        DOF_BUFFER* buffer = nullptr;
        const int32_t rc = dof::LoadPage(file, page, writing && n == size, &buffer);
        if (rc != 0) return rc;
        if (writing) {
            std::memcpy(buffer->data + at, bytes, static_cast<std::size_t>(n));
            buffer->dirty = 1;
        } else {
            std::memcpy(bytes, buffer->data + at, static_cast<std::size_t>(n));
        }
        bytes += n;
        count -= n;
        ++page;
        at = 0;
    }
    return 0;
}
