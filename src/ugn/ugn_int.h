/* UGN module internals. */
#ifndef MVX_UGN_INT_H
#define MVX_UGN_INT_H

#include "mvx/ugn.h"

/* The module's descriptor, copied into the registry by ugn_Initialize. */
extern const MVX_MODULE ugn_Module;

/* ---- Environment aliases and temporary files ----------------------------
 * State and helpers shared by the operations of the alias table and the
 * temporary names. None of these names is exported from the shared library;
 * the tests reach the seams through the static build. */

/* Test seam: when not 0, ugn_GetPID returns this instead of the real id. */
extern int32_t ugn_FixedPid;

/* The sequence number that ugn_TempFile tries first for its next name
 * without MORVEX_TMP. Kept across ugn_Terminate, so that a restarted module
 * does not retry the numbers it handed out before. */
extern uint32_t ugn_TempSeq;

/* Whether text is well-formed UTF-8, checked with the library's converter
 * (which records UNL_CONVERSION_ERR when it is not). On failure errno is
 * EILSEQ (EINVAL for a null text). */
bool ugn_IsUtf8(const char* text);

/* Frees every stored value and the alias table, every recorded temporary
 * name and the list; leaves both pointers null. */
void ugn_ReleaseEnvAndTemp();

/* ---- Command-line options and memory utilities ---------------------------
 * Helpers shared by ugn_ParseCommandLine and ugn_PrintUsage, and by the
 * Swap operations. */

namespace ugn_opts {

/* A record that opens or closes a group of mutually exclusive options. */
inline bool IsGroupOpen(const UGN_OPTION& record) {
    return record.name[0] == '[' && record.name[1] == '\0';
}
inline bool IsGroupClose(const UGN_OPTION& record) {
    return record.name[0] == ']' && record.name[1] == '\0';
}
inline bool IsGroupMarker(const UGN_OPTION& record) {
    return IsGroupOpen(record) || IsGroupClose(record);
}

/* A required option: its type text has '+' as second character. */
inline bool IsRequired(const UGN_OPTION& record) {
    return record.type != nullptr && record.type[0] != '\0' && record.type[1] == '+';
}

/* The number of records before the terminating one (null name). */
inline int32_t CountRecords(const UGN_OPTION* table) {
    int32_t n = 0;
    if (table != nullptr) {
        while (table[n].name != nullptr)
            ++n;
    }
    return n;
}

} // namespace ugn_opts

namespace ugn_mem {

/* Exchanges count elements of a and b. */
template <typename T> void SwapElements(int32_t count, T* a, T* b) {
    if (a == nullptr || b == nullptr) return;
    for (int32_t i = 0; i < count; ++i) {
        T t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

} // namespace ugn_mem

#endif
