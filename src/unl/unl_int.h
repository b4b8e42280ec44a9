/* UNL module internals. */
#ifndef MVX_UNL_INT_H
#define MVX_UNL_INT_H

#include <cstddef>
#include <cstdint>

#include "mvx/unl.h"

/* The module's descriptor, copied into the registry by unl_Initialize. */
extern const MVX_MODULE unl_Module;

/*
 * One JIS character set in compact form, generated at build time from
 * data/jis0208.tsv and data/jis0212.tsv by tools/gen_jis.py. The set's
 * characters are listed in table order (index row * 94 + column); the runs
 * say where they sit: a run covers `count` consecutive table indexes from
 * `first` on and takes the next `count` code points of `unicode`. The counts
 * of all runs add up to `char_count`.
 */
struct UnlRun {
    uint16_t first;
    uint16_t count;
};

struct UnlJisSet {
    const UnlRun* runs;
    std::size_t run_count;
    const uint16_t* unicode;
    std::size_t char_count;
};

extern const UnlJisSet unl_Jis208Set;
extern const UnlJisSet unl_Jis212Set;

/* Calls visit(table index, code point) for every character of a set, in
 * table order. */
template <typename Visit> void unl_ForEachChar(const UnlJisSet& set, Visit visit) {
    std::size_t next = 0;
    for (std::size_t r = 0; r < set.run_count; ++r) {
        const UnlRun& run = set.runs[r];
        for (std::size_t i = 0; i < run.count; ++i)
            visit(static_cast<std::size_t>(run.first) + i, set.unicode[next++]);
    }
}

#endif
