// mvx info: prints the version texts and the library's release version, then the module registry as the
// library fills it at start-up: one line per registered module with its
// number, code and message count; then one JIS lookup and one UTF-8 round
// trip of the text-encoding module; last, one issued warning, wrapped and
// centred, and the copy of it that the message log received.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "libmvx.h"
#include "mvx/version.h"

int mvx_cmd_info(int /*argc*/, char** /*argv*/) {
    mvx_Initialize(0);
    std::printf("%s\n%s\n%s\n", mvx__Version, mvx__BuildOS, mvx__OSVersion);
    std::printf("libmvx %s\n", MVX_VERSION_STRING);
    std::printf("compiler options: %s\n\n", mvx__CompilerOptions);
    std::printf("module  code  messages\n");
    for (int m = 0; m < MVX_MAX_MODULES; ++m) {
        const MVX_MODULE& mod = mvx__Table[m];
        if (mod.code == nullptr) continue;
        std::printf("%6d  %-4s  %8d\n", mod.module, mod.code, mod.count);
    }

    // Text encodings: one JIS lookup and one UTF-8 -> UTF-16 -> UTF-8 round trip.
    std::printf("\ntext encodings\n");
    if (unl_Initialize(0) == 0) {
        std::printf("JIS X 0208 0x2422 -> U+%04X\n", unl_JisToUnicode(1, 0x2422));
    }
    const char* sample = "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"; // café 日本 😀
    uint16_t* wide = nullptr;
    char* back = nullptr;
    if (unl_StrUTF8ToUTF16(0, sample, &wide) == 0 && unl_StrUTF16ToUTF8(0, wide, &back) == 0) {
        std::printf("UTF-8 \"%s\" -> UTF-16", sample);
        for (const uint16_t* u = wide; *u != 0; ++u)
            std::printf(" %04X", *u);
        std::printf(" -> UTF-8 \"%s\" (%s)\n", back,
                    std::strcmp(sample, back) == 0 ? "same" : "DIFFERENT");
    }
    std::free(back);
    std::free(wide);
    unl_Terminate(0);

    // An issued warning: wrapped at 60 columns, centred, and logged.
    std::printf("\nissued warning (width 60, centred) and its log copy\n");
    char* log = ugn_TempFile();
    if (log != nullptr && mpm_OpenLog(0, log) == 0) {
        mpm__LineWidth = 60;
        mpm__Justify = 3;
        mpm__IssueError(0, MVX_BAD_EOL_DELIM, MPM_WARNING);
        mpm__LineWidth = 80;
        mpm__Justify = 1;
        mpm_CloseLog(0);
        std::fflush(stderr);
        std::printf("--- log %s ---\n", log);
        if (FILE* in = ugn_Fopen(log, "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, in) != nullptr)
                std::fputs(line, stdout);
            std::fclose(in);
        }
        ugn_Unlink(log);
    }
    mvx_Terminate(0);
    return 0;
}
