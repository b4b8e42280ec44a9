#include "mvx/mvx.h"

extern "C" {

MVX_MODULE mvx__Table[MVX_MAX_MODULES];
int32_t mvx__IntializeIdx = 0;
FILE* mvx__SysFile[MVX_SYSFILE_SLOTS];
int64_t mvx__ClockTime = 0;
int32_t mvx__ProcessTime = 0;
int32_t mvx__Index = 0;

const char* const mvx__Version = "Morvex Version v51a, created Tue 11/30/2010";
const char* const mvx__BuildOS = "MORVEX_BUILD_OS:Unknown";
const char* const mvx__CompilerVersion = "";
#ifdef NDEBUG
const char* const mvx__CompilerOptions = "Release:/MD /D _CRT_SECURE_NO_WARNINGS";
#else
const char* const mvx__CompilerOptions = "Debug:/MD /D _CRT_SECURE_NO_WARNINGS";
#endif
const char* const mvx__OSVersion = "Microsoft Windows [Version 5.2.3790]";

} // extern "C"

static_assert(sizeof(MVX_MODULE) == 32, "a module descriptor is 32 bytes");
static_assert(offsetof(MVX_MODULE, count) == 2);
static_assert(offsetof(MVX_MODULE, code) == 8);
static_assert(offsetof(MVX_MODULE, texts) == 16);
static_assert(offsetof(MVX_MODULE, names) == 24);
static_assert(sizeof(MVX_MSGNAME) == 16, "a message name entry is 16 bytes");
static_assert(offsetof(MVX_MSGNAME, exc_class) == 8);
static_assert(offsetof(MVX_MSGNAME, text_index) == 12);
