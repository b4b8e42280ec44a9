// Helpers shared by the fuzz targets.
#ifndef MVX_FUZZ_SUPPORT_H
#define MVX_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "libmvx.h"

// A scratch file for one fuzz target, unique to the process, in TMPDIR or /tmp.
inline std::string FuzzScratchPath(const char* tag) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/mvx-fuzz-" + tag + "-" +
           std::to_string(getpid());
}

// Message output goes nowhere: the fuzzers are about memory safety, not texts.
inline int FuzzDiscard(const char*, FILE*) {
    return 0;
}

// Starts the library once per process, with message output discarded.
inline void FuzzStartLibrary() {
    static const bool started = [] {
        mvx_Initialize(0);
        mpm__Output = FuzzDiscard;
        return true;
    }();
    (void)started;
}

#endif
