// Closing a paged file.
#include <algorithm>

#include "dof/dof_int.h"
#include "mvx/ugn.h"

namespace {

// Writes back every dirty buffer, consecutive pages together in one
// vectored write. The buffers are taken kWriteBackRun at a time in index
// order (no allocation at close), each group sorted by page and cut into
// runs of consecutive pages. A page whose write fails keeps its report on
// the error stack and stays dirty, and the write-back goes on with the page
// after it, so one bad page never keeps the others off the disk.
void WriteBackAll(DOF_FILE* file) {
    DOF_BUFFER* group[dof::kWriteBackRun];
    int32_t next = 0;
    while (next < file->buffer_count) {
        int count = 0;
        for (; next < file->buffer_count && count < dof::kWriteBackRun; ++next) {
            if (file->buffers[next].dirty != 0) group[count++] = &file->buffers[next];
        }
        std::sort(group, group + count,
                  [](const DOF_BUFFER* a, const DOF_BUFFER* b) { return a->page < b->page; });
        for (int first = 0; first < count;) {
            int stop = first + 1;
            while (stop < count && group[stop]->page == group[stop - 1]->page + 1)
                ++stop;
            int done = 0;
            if (dof::WriteBack(file, group + first, stop - first, &done) != 0) ++done;
            first += done;
        }
    }
}

} // namespace

extern "C" int32_t dof_Close(uint32_t options, DOF_FILE* file) {
    if (file == nullptr) return 0;
    if (file->fd >= 0) {
        // Printed by the call that closes the descriptor, not again by the
        // call that finishes after a failed close.
        if (((file->options | options) & DOF_STATISTICS) != 0) dof_DbgDumpStats(file);
        if (!dof::IsTemporary(file) && !dof::IsReadOnly(file)) {
            // A page that cannot be written keeps its report on the error
            // stack, but the file is closed all the same.
            WriteBackAll(file);
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
