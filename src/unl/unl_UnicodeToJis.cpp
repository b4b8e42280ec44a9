#include "mvx/mpm.h"
#include "unl/unl_int.h"

extern "C" uint32_t unl_UnicodeToJis(uint32_t /*options*/, int32_t code) {
    int32_t row = 0;
    int32_t column = 0;
    int32_t status = unl__UniToRowCol(code, &row, &column);
    if (status == 0 && (row > 255 || column > 255)) status = UNL_INVALID_INDEX_ERR;
    if (status != 0) {
        mpm__IssueError(0, UNL_INVALID_INDEX_ERR, MPM_ERROR, static_cast<int>(row),
                        static_cast<int>(column));
        // Set 'i' tells an invalid code point from an unmapped one (all zero).
        return UNL_ENTRY(0, UNL_SET_INVALID);
    }
    if (unl_Unicode == nullptr) return 0; // before unl_Initialize
    return unl_Unicode[row * 256 + column];
}
