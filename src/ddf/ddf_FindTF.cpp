// Binary search of an ascending array of TFs.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_FindTF(const int32_t* tfs, int32_t count, int32_t tf) {
    if (tfs == nullptr) return -1;
    int32_t low = 0;
    int32_t high = count - 1; // a count of 0 or less finds nothing
    while (low <= high) {
        const int32_t mid = low + (high - low) / 2;
        if (tfs[mid] == tf) return mid;
        if (tfs[mid] < tf) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return -1;
}
