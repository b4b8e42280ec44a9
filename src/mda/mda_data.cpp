// The module's exported variables.
#include "mda/mda_int.h"

extern "C" {

FILE* mda__DbgFile = nullptr;

// ---- Models and the entity directory ----
MDA_MODEL mda__Model[MDA_MAX_MODELS + 1] = {};
MDA_MODEL* mda__CurModel = nullptr;
int32_t mda__CurModelNum = 0;
int32_t mda__EntDirBlkSizeMax = 0;
OLM_LIST* mda__AppDataList = nullptr;

// ---- Entity traversal ----
void* mda__TraverseAddr = nullptr;

} // extern "C"
