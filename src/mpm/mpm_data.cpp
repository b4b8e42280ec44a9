#include <cstdio>

#include "mpm/mpm_int.h"

int mpm_Busy = 0;

namespace {
int DefaultOutput(const char* line, FILE* stream) {
    return std::fputs(line, stream);
}
} // namespace

extern "C" {

OLM_LIST* mpm__ErrorStack = nullptr;
OTM_TREE* mpm__ErrorTree = nullptr;
int32_t mpm__ErrorLevelCount[5] = {0, 0, 0, 0, 0};
int32_t mpm__MaxErrorLevel[5] = {-1, -1, -1, -1, -1};
int32_t mpm__MaxError = -1;
int32_t mpm__LastError = 0;
int32_t mpm__LastErrorLevel = 0;
MPM_ERRCOUNT* mpm__ErrorCountPtr = nullptr;
OTM_TREE* mpm__ExceptionTree = nullptr;
MPM_EXCEPTION mpm__Exception = {0, nullptr};
OTM_TREE* mpm__MsgNameTree = nullptr;
OTM_TREE* mpm__SpecTree = nullptr;
MPM_SPEC mpm__Spec = {{0}, nullptr};
uint32_t mpm__Option = 0;
const char* mpm__File = nullptr;
int32_t mpm__Line = 0;

char* mpm__MsgBuffer = nullptr;
int32_t mpm__LineWidth = 80;
int32_t mpm__LeftMargin = 0;
int32_t mpm__RightMargin = 0;
int32_t mpm__Justify = 1;
MPM_OUTPUT mpm__Output = DefaultOutput;
FILE* mpm__Stream = nullptr;
int32_t mpm__LastLine = 0;
int32_t mpm__Count = 0;

} // extern "C"

static_assert(sizeof(MPM_STACKREC) == 16, "an error-stack record is 16 bytes");
static_assert(sizeof(MPM_ERRCOUNT) == 16);
static_assert(sizeof(MPM_MSGNAME) == 72);

extern "C" {
DOF_FILE* mpm__Table = nullptr;
int32_t mpm__Index[MVX_MAX_MODULES];
}
