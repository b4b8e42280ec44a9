#include "hdb/hdb_int.h"

// Stops at the first block whose markers are damaged: its links may be
// damaged too, so nothing past it is followed.
extern "C" int32_t hdb__ValidateHeap(const char* file, int32_t line, const char* name) {
    const char* who = hdb::Name(name);
    const char* where = hdb::Name(file);
    const long rqst = static_cast<long>(hdb__Rqst);
    bool sound = true;
    for (HDB_BLOCK* b = hdb__Head; b != nullptr && sound; b = b->next) {
        void* data = HDB_DATA(b);
        if (!hdb::StartGood(b)) {
            std::fprintf(hdb__Output, "%s at %s(%d) Rqst %ld: %p start marker bad\n", who, where, line, rqst, data);
            sound = false;
        } else if (!hdb::EndGood(b)) {
            std::fprintf(hdb__Output, "%s at %s(%d) Rqst %ld: %p end marker bad\n", who, where, line, rqst, data);
            sound = false;
        } else if ((b->flags & HDB_FREED) != 0 && (hdb__Options & HDB_CHECK_FREED) != 0) {
            const uint16_t sum = hdb__GetBlockChecksum(b);
            if (sum != b->checksum) {
                std::fprintf(hdb__Output, "%s @%s(%d) Rqst %ld: Freed block %p modified\n", who, where, line,
                             rqst, data);
                b->checksum = sum;
            }
        }
    }
    if (sound) {
        if (file != nullptr) {
            hdb__LastFile = file;
            hdb__LastLine = line;
            hdb__LastRqst = hdb__Rqst;
        }
        return 1;
    }
    if (hdb__LastFile != nullptr)
        std::fprintf(hdb__Output, "Last successful validation at %s(%d) Rqst %ld\n", hdb__LastFile,
                     hdb__LastLine, static_cast<long>(hdb__LastRqst));
    hdb_Error();
    return 0;
}
