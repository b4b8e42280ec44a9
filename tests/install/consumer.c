/* A translator's smallest use of an installed libmvx: start it, format one
   message of the object tree module, print it and stop. */
#include <stdio.h>

#include "libmvx.h"
#include "mvx/version.h"

int main(void) {
    char* text = NULL;
    if (mvx_Initialize(0) != 0) return 1;
    int32_t rc = mpm_GetMessage(0, OTM_INVALIDSIZE, &text, 0);
    if (rc == 0 && text != NULL) printf("libmvx %s: %s", MVX_VERSION_STRING, text);
    mvx_Free(0, text);
    mvx_Terminate(0);
    return rc == 0 ? 0 : 1;
}
