#include "mpm/mpm_int.h"

extern "C" int32_t mpm_CloseTable(uint32_t options) {
    options |= mpm__Option;
    if (mpm__Table == nullptr) return 0;
    DOF_FILE* table = mpm__Table;
    int32_t status = 0;
    if ((options & MPM_TABLE_UPDATE) != 0) {
        status = dof_ReadWrite(DOF_WRITE, table, sizeof mpm__Index, 0, mpm__Index);
    }
    int32_t closed = dof_Close(0, table);
    if (closed != 0) dof_Close(0, table); // a second close releases the handle
    mpm__Table = nullptr;
    if (status == 0) status = closed;
    if (status != 0) return mpm__IssueError(0, MPM_DOFERROR, MPM_ERROR, static_cast<int>(status));
    return 0;
}
