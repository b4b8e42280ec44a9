#include "mvx/mvx.h"

extern "C" int32_t mvx__AllocateFile(FILE* stream) {
    for (int32_t slot = 0; slot < MVX_SYSFILE_SLOTS; ++slot) {
        if (mvx__SysFile[slot] == nullptr) {
            mvx__SysFile[slot] = stream;
            return slot;
        }
    }
    if (stream != nullptr) fclose(stream);
    return -1;
}
