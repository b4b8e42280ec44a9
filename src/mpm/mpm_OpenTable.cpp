#include "mpm/mpm_int.h"
#include "mvx/ugn.h"

namespace {

constexpr int32_t kTableBuffers = 32;
constexpr int32_t kTablePageSize = 2048;

// Issues a paged-file failure at once; the table is closed.
int32_t Fail(int32_t status) {
    if (mpm__Table != nullptr) {
        MpmBusyGuard guard;
        dof_Close(0, mpm__Table);
        mpm__Table = nullptr;
    }
    return mpm__IssueError(0, MPM_DOFERROR, MPM_ERROR, static_cast<int>(status));
}

} // namespace

extern "C" int32_t mpm_OpenTable(uint32_t options, const char* name) {
    options |= mpm__Option;
    if (mpm__Table != nullptr) mpm_CloseTable(0);
    int32_t status = 0;
    DOF_FILE* table = nullptr;
    bool create = (options & MPM_TABLE_UPDATE) != 0 && ugn_FileExist(0, name) == 0;
    if (create) {
        status = dof_Open(0, name, kTableBuffers, kTablePageSize, &table);
        if (status != 0) return Fail(status);
        mpm__Table = table;
        for (int32_t& entry : mpm__Index)
            entry = -1;
        int64_t offset = -1;
        status = dof_AllocateBlock(table, sizeof mpm__Index, &offset);
        if (status == 0 && offset != 0) status = DOF_BAD_OFFSET; // the index must come first
        if (status == 0) status = dof_ReadWrite(DOF_WRITE, table, sizeof mpm__Index, 0, mpm__Index);
        if (status != 0) return Fail(status);
        return 0;
    }
    uint32_t mode = (options & MPM_TABLE_UPDATE) != 0 ? DOF_READ_WRITE : DOF_READ_ONLY;
    status = dof_Open(mode, name, kTableBuffers, kTablePageSize, &table);
    if (status != 0) return Fail(status);
    mpm__Table = table;
    if (table->end < static_cast<int64_t>(sizeof mpm__Index)) return Fail(DOF_BAD_OFFSET);
    status = dof_ReadWrite(DOF_READ, table, sizeof mpm__Index, 0, mpm__Index);
    if (status != 0) return Fail(status);
    return 0;
}
