// Writing a page buffer back to the file.
#include "dof/dof_int.h"

extern "C" int32_t dof_FlushPage(DOF_FILE* file, DOF_BUFFER* buffer) {
    if (buffer->page < 0) return 0;
    const int32_t rc = dof::WritePage(file, buffer->page, buffer->data);
    if (rc != 0) return rc;
    ++file->physical_writes;
    buffer->dirty = 0;
    return 0;
}
