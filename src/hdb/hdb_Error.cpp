#include "hdb/hdb_int.h"

// Every detected corruption ends here: a breakpoint on this function stops a
// debugger at the moment the damage is found. The empty asm keeps the call
// from being optimised away.
extern "C" void hdb_Error(void) {
    __asm__ volatile("");
}
