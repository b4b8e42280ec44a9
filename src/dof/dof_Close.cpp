// Closing a paged file.
#include "dof/dof_int.h"
#include "mvx/ugn.h"

extern "C" int32_t dof_Close(uint32_t options, DOF_FILE* file) {
    if (file == nullptr) return 0;
    if (file->fd >= 0) {
        // Printed by the call that closes the descriptor, not again by the
        // call that finishes after a failed close.
        if (((file->options | options) & DOF_STATISTICS) != 0) dof_DbgDumpStats(file);
        if (!dof::IsTemporary(file) && !dof::IsReadOnly(file)) {
            // A buffer that cannot be written keeps its report on the error
            // stack, but the file is closed all the same.
            for (int32_t i = 0; i < file->buffer_count; ++i) {
                DOF_BUFFER* buffer = &file->buffers[i];
                if (buffer->dirty != 0) dof_FlushPage(file, buffer);
            }
        }
        const int rc = dof::SysClose(file->fd);
        // The descriptor is gone even when close reports an error, so it is
        // never closed twice.
        file->fd = -1;
        if (rc != 0) return dof::Fail(DOF_CLOSE_ERR, file);
    }
    if (dof::IsTemporary(file)) ugn_Unlink(file->name);
    dof::Release(file);
    return 0;
}
