// The module's exported variables.
#include "mda/mda_int.h"

extern "C" {

FILE* mda__DbgFile = nullptr;

} // extern "C"
