#include "mvx/mpm.h"
#include "unl/unl_int.h"

extern "C" uint16_t unl_JisToUnicode(int32_t set, int32_t code) {
    int32_t row = 0;
    int32_t column = 0;
    int32_t status = unl__JisToRowCol(code, &row, &column);
    const uint16_t* table = nullptr;
    if (status == 0) {
        int32_t rows = 0;
        if (set == 1) {
            table = unl_Jis208;
            rows = UNL_JIS208_ROWS;
        } else if (set == 2) {
            table = unl_Jis212;
            rows = UNL_JIS212_ROWS;
        } else {
            return 0; // no such set: nothing to look up, nothing wrong with the code
        }
        if (row >= rows || column >= UNL_JIS_COLUMNS) status = UNL_INVALID_INDEX_ERR;
    }
    if (status != 0) {
        mpm__IssueError(0, UNL_INVALID_INDEX_ERR, MPM_ERROR, static_cast<int>(row),
                        static_cast<int>(column));
        return 0;
    }
    if (table == nullptr) return 0; // before unl_Initialize
    return table[row * UNL_JIS_COLUMNS + column];
}
