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

// ---- Saved models ----
FILE* mda__SMFile = nullptr;
char* mda__SMBuf = nullptr;
char* mda__SMBufPtr = nullptr;
int32_t mda__SMCurCol = 0;
int32_t mda__SMNumFields = 0;
int32_t mda__SMError = 0;
const char* mda__SMName = nullptr;
const int32_t* mda__SMModels = nullptr;
int32_t mda__SMNumModels = 0;
OTM_TREE* mda__SMTree = nullptr;
int32_t mda__cur_dbver_rev = 0;
MDA_SM_STACK mda__SMStack[MDA_SM_STACK_SIZE] = {};
MDA_SM_STACK* mda__SMStackPtr = nullptr;

} // extern "C"
