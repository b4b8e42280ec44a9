#include "mth/mth_int.h"

#include <iterator>

namespace {

// Message texts, indexed by text index. These texts have no leading blank:
// their first character is the flag character and is not printed, so a
// plain text loses its first letter and DEGENERATE_LINE is extended.
const char* const kTexts[] = {
    "All the plane points are collinear - plane matrix can not be defined\n",
    "No more memory available\n",
    "Point to add to list is the same as a point already in the list\n",
    "Intersection lines are parallel\n",
    "A singular system of equations occurred.\n",
    "The given range is either negative or zero\n",
    "The option is not valid\n",
    "The minimum value is not smaller than the maximum value\n",
    "The singular matrix found.\n",
    "The point is at the origin or on an axis.\n",
    "A self-intersecting loop found.\n",
    "A curve crossing the origin.\n",
    "+The line (%<PFID>) is degenerate.\n",
    "Loops are intersecting.\n",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"COLINEARPLANEPNTS", 1, 0},   {"NOMEMORY", 2, 1},
    {"SAMEPOINT", 1, 2},           {"PARALLELLINES", 1, 3},
    {"SINGULAREQS", 1, 4},         {"INVALID_RANGE", 1, 5},
    {"INVALID_OPT", 1, 6},         {"MINMAX", 1, 7},
    {"SINGULAR_MATRIX", 1, 8},     {"ORIGIN_POINT", 1, 9},
    {"SELFINTERSECT_LOOP", 1, 10}, {"ORIGIN_CROSSING", 1, 11},
    {"DEGENERATE_LINE", 1, 12},    {"INTERSECTED_LOOPS", 1, 13},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE mth_Module = {
    MVX_MODULE_MTH, static_cast<int16_t>(std::size(kNames)), 0, "MTH", kTexts, kNames};
