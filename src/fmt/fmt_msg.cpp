#include "fmt/fmt_int.h"

#include <iterator>
#include <string_view>

namespace {

// The two banner texts of the entity-count table of the ModelList directive.
// Printed (without the flag), the heading's "Count" starts in column 73 and
// its rule, like the rule above the total, is 78 '-' wide; "Total" and the
// five-digit count end in column 77 too.
constexpr char kEntityHeader[] =
    " "
    " Name                                                                    Count\n"
    "------------------------------------------------------------------------------\n";
constexpr char kEntityTotal[] =
    " "
    "------------------------------------------------------------------------------\n"
    "                                                              Total      %5d\n";

constexpr std::string_view kHeaderView{kEntityHeader};
static_assert(kHeaderView.find("Count") == 1 + 73);
static_assert(kHeaderView.size() == 1 + 78 + 1 + 78 + 1);
constexpr std::string_view kTotalView{kEntityTotal};
static_assert(kTotalView.find("Total") == 1 + 78 + 1 + 62);
static_assert(kTotalView.size() == 1 + 78 + 1 + 62 + 5 + 6 + 3 + 1);

// Message texts, indexed by text index; the first character is the flag.
const char* const kTexts[] = {
    " %.3s, %.3s %.2s, %.4s",
    " %.8s",
    " The following message was issued %d time(s)",
    "  and suppressed after %d time(s)",
    " \n",
    " No errors.\n",
    " Information: %d\nStatus:      %d\nWarning:     %d\nError:       %d\nFatal:       %d\n",
    " %02d:%02d:%02d",
    " %s:%s",
    " #%ld:%lld",
    "+TF = %<TF>, PTR = %<PTR>\n",
    " 0x%llx",
    " %s:%s:%s",
    kEntityHeader,
    "  %-69s   %5d\n",
    kEntityTotal,
    " No model active.\n",
    "+IGES %<TF> %s DE#%ld",
    " DXF %s handle:%s",
    " STEP %s PFID #%ld",
    " VDAFS %s name:%s",
    "+MDA %s model:entity %<PTR>",
};

// Message names in message-number order: name, exception class, text index.
const MVX_MSGNAME kNames[] = {
    {"CURDATE", 1, 0},    {"CURTIME", 1, 1},       {"ERRORTOTAL", 1, 2},   {"ERRORISSUE", 1, 3},
    {"ERRORTERM", 1, 4},  {"NOERROR", 1, 5},       {"ERRORSUMMARY", 1, 6}, {"ELAPSEDTIME", 1, 7},
    {"TF", 1, 8},         {"PTR", 1, 9},           {"TEST", 1, 10},        {"PTR2", 1, 11},
    {"DTF", 1, 12},       {"ENTITYHEADER", 1, 13}, {"ENTITYCOUNT", 1, 14}, {"ENTITYTOTAL", 1, 15},
    {"NOMODEL", 1, 16},   {"IGES_ORIG", 1, 17},    {"DXFI_ORIG", 1, 18},   {"STEP_ORIG", 1, 19},
    {"VDAF_ORIG", 1, 20}, {"MDA_ORIG", 1, 21},
};

static_assert(std::size(kTexts) == std::size(kNames));

} // namespace

extern const MVX_MODULE fmt_Module = {
    MVX_MODULE_FMT, static_cast<int16_t>(std::size(kNames)), 0, "FMT", kTexts, kNames};
