/*
 * The smallest complete use of libmvx: start the library, make a call fail,
 * read the status code it returns and print the message behind it.
 */
#include <stdio.h>

#include "libmvx.h"

static int compare_ints(const void* key, const void* object) {
    int a = *(const int*)key, b = *(const int*)object;
    return (a > b) - (a < b);
}

int main(void) {
    mvx_Initialize(0);

    /* An object size of 0 is refused: the call returns NULL and stacks a message. */
    OTM_TREE* tree = otm_CreateTree(0, 0, compare_ints, 0);
    if (tree == NULL) {
        int32_t code = mpm__LastError;
        printf("otm_CreateTree failed with 0x%X (%s)\n", (unsigned)code, mpm_GetMsgName(code));
        fflush(stdout);
        mpm_DumpStack(MPM_DUMP_ALL); /* prints the stacked message on stderr */
    }

    mvx_Terminate(0);
    return 0;
}
