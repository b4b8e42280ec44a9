// The unl module's exported variables: the addresses of its three character
// tables, null until unl_Initialize allocates them.
#include "unl/unl_int.h"

extern "C" {
uint16_t* unl_Jis208 = nullptr;
uint16_t* unl_Jis212 = nullptr;
uint32_t* unl_Unicode = nullptr;
}
