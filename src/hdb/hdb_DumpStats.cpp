#include "hdb/hdb_int.h"

extern "C" void hdb_DumpStats(void) {
    if (hdb__Rqst == 0) return;
    FILE* out = hdb__Output;
    std::fprintf(out, "Heap Function Statistics\n");
    std::fprintf(out, "  mallocs:   %lu\n", static_cast<unsigned long>(hdb__Mallocs));
    std::fprintf(out, "  callocs:   %lu\n", static_cast<unsigned long>(hdb__Callocs));
    std::fprintf(out, "  reallocs:  %lu\n", static_cast<unsigned long>(hdb__Reallocs));
    std::fprintf(out, "  frees:     %lu\n", static_cast<unsigned long>(hdb__Frees));
    std::fprintf(out, "  strdups:   %lu\n\n", static_cast<unsigned long>(hdb__Strdups));
    std::fprintf(out, "  Total allocated memory %lu bytes in %lu blocks\n",
                 static_cast<unsigned long>(hdb__TotMem), static_cast<unsigned long>(hdb__TotBlk));
    std::fprintf(out, "  Maximum allocated memory %lu bytes in %lu blocks\n",
                 static_cast<unsigned long>(hdb__MaxMem), static_cast<unsigned long>(hdb__MaxMemBlk));
    std::fprintf(out, "  Maximum number of blocks %lu\n", static_cast<unsigned long>(hdb__MaxBlk));
}
