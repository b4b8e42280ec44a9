#include "mvx/mvx.h"

extern "C" int32_t mvx__GetFile(FILE* stream) {
    for (int32_t slot = 0; slot < MVX_SYSFILE_SLOTS; ++slot) {
        if (mvx__SysFile[slot] == stream) return slot;
    }
    return -1;
}
