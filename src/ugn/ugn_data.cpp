// The ugn module's exported variables, and the hidden state of its
// temporary names.
#include "ugn/ugn_int.h"

extern "C" {
OTM_TREE* ugn__EnvAliases = nullptr;
int32_t ugn__TmpNum = 0;
char ugn__TmpNam[UGN_TMPNAM_SIZE] = {};
OLM_LIST* ugn__TempNameList = nullptr;
}

int32_t ugn_FixedPid = 0;
uint32_t ugn_TempSeq = 0;
