// ugn_ParseCommandLine: reads the options at the front of a command line
// against a caller's options table.
//
// The work runs in four passes over fixed data: the table is checked, the
// arguments are scanned (values stored, consumed arguments nulled in argv),
// required options are checked, and argv is compacted. Only the last pass
// moves arguments, so a failure anywhere before it leaves argv with its
// consumed entries null and every other entry where it was.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "ugn/ugn_int.h"

namespace {

using ugn_opts::CountRecords;
using ugn_opts::IsGroupClose;
using ugn_opts::IsGroupMarker;
using ugn_opts::IsGroupOpen;
using ugn_opts::IsRequired;

// What the scan knows about one record of the table.
struct RecordState {
    int32_t group; // index of the "[" record of the record's group; -1 outside groups
    bool seen;     // the option occurred on the command line
};

// Releases the bookkeeping on every path.
struct StateGuard {
    RecordState* state = nullptr;
    ~StateGuard() { std::free(state); }
};

int32_t CheckTable(const UGN_OPTION* table, int32_t count) {
    bool group_open = false;
    for (int32_t i = 0; i < count; ++i) {
        const UGN_OPTION& record = table[i];
        const bool marker = IsGroupMarker(record);
        if (record.name[0] == '\0')
            return mpm__SetError(0, UGN_OPTS_INVALID_NAME, MPM_ERROR, static_cast<int>(i));
        if ((record.type == nullptr && !marker) ||
            (record.type != nullptr && record.type[0] == '\0'))
            return mpm__SetError(0, UGN_OPTS_INVALID_TYPE, MPM_ERROR, static_cast<int>(i));
        if (IsGroupOpen(record)) {
            if (group_open)
                return mpm__SetError(0, UGN_OPTS_INVALID_GROUP, MPM_ERROR, static_cast<int>(i));
            group_open = true;
        } else if (IsGroupClose(record)) {
            if (!group_open)
                return mpm__SetError(0, UGN_OPTS_INVALID_GROUP, MPM_ERROR, static_cast<int>(i));
            group_open = false;
        } else if (group_open && IsRequired(record)) {
            return mpm__SetError(0, UGN_OPTS_REQUIRED_IN_GROUP, MPM_ERROR, record.name);
        }
    }
    return 0;
}

// Reads an integer at the start of text as "%d" would, clamped to 32 bits.
// Returns false when text does not start with a number; *end receives the
// position after the number.
bool ReadInt32(const char* text, int32_t* out, const char** end) {
    char* stop = nullptr;
    const long long value = std::strtoll(text, &stop, 10);
    if (stop == text) return false;
    if (value < INT32_MIN) {
        *out = INT32_MIN;
    } else if (value > INT32_MAX) {
        *out = INT32_MAX;
    } else {
        *out = static_cast<int32_t>(value);
    }
    *end = stop;
    return true;
}

// Reads "first:second" as "%d:%ld" or "%d:%d" would: the ':' must follow the
// first number at once.
bool ReadPair(const char* text, int32_t* first, int32_t* second) {
    const char* p = nullptr;
    if (!ReadInt32(text, first, &p) || *p != ':') return false;
    return ReadInt32(p + 1, second, &p);
}

// Converts value for record and stores it. Returns 0 or the status reported.
int32_t StoreValue(const UGN_OPTION& record, const char* option, char* value) {
    const char* end = nullptr;
    switch (record.type[0]) {
    case 'd': {
        char* stop = nullptr;
        const double parsed = std::strtod(value, &stop);
        if (stop != value) *static_cast<double*>(record.value) = parsed;
        return 0;
    }
    case 'i':
    case 'l': {
        int32_t parsed = 0;
        if (ReadInt32(value, &parsed, &end)) *static_cast<int32_t*>(record.value) = parsed;
        return 0;
    }
    case 'm': {
        int32_t model = 0;
        int32_t entity = 0;
        const bool read = std::strchr(value, ':') != nullptr ? ReadPair(value, &model, &entity)
                                                             : ReadInt32(value, &entity, &end);
        if (read) {
            // The model number takes bits 63 to 57, the entity number the low 57 bits.
            const uint64_t bits =
                (static_cast<uint64_t>(static_cast<uint32_t>(model)) << 57) |
                (static_cast<uint64_t>(static_cast<int64_t>(entity)) & ((uint64_t{1} << 57) - 1));
            *static_cast<MDA_PTR*>(record.value) = static_cast<MDA_PTR>(bits);
        }
        return 0;
    }
    case 's':
        *static_cast<char**>(record.value) = value;
        return 0;
    case 't': {
        int32_t type = 0;
        int32_t form = 0;
        if (std::strchr(value, ':') == nullptr || !ReadPair(value, &type, &form))
            return mpm__SetError(0, UGN_OPTS_INVALID_TF, MPM_ERROR, value, option);
        *static_cast<int32_t*>(record.value) =
            static_cast<int32_t>((static_cast<uint32_t>(type) << 16) | static_cast<uint32_t>(form));
        return 0;
    }
    default:
        return mpm__SetError(0, UGN_OPTS_ILLEGAL_TYPE, MPM_ERROR, record.type, record.name);
    }
}

// The index of the option named by arg (after its '-'), or -1.
int32_t FindOption(const UGN_OPTION* table, int32_t count, const char* name) {
    for (int32_t k = 0; k < count; ++k) {
        if (!IsGroupMarker(table[k]) && std::strcmp(table[k].name, name) == 0) return k;
    }
    return -1;
}

// The first other option of k's group that was seen, or -1.
int32_t SeenInGroup(const UGN_OPTION* table, int32_t count, const RecordState* state, int32_t k) {
    for (int32_t j = state[k].group + 1; j < count && !IsGroupClose(table[j]); ++j) {
        if (j != k && state[j].seen) return j;
    }
    return -1;
}

// Takes the options from argv[1] on until the first argument that does not
// begin with '-'. *stop receives the index of that argument.
int32_t Scan(const UGN_OPTION* table, int32_t count, RecordState* state, int32_t argc, char** argv,
             int32_t* stop) {
    int32_t i = 1;
    while (i < argc && argv[i] != nullptr && argv[i][0] == '-') {
        char* arg = argv[i];
        const int32_t k = FindOption(table, count, arg + 1);
        if (k < 0) return mpm__SetError(0, UGN_OPTS_UNKNOWN_OPTION, MPM_ERROR, arg);
        const UGN_OPTION& record = table[k];
        if (state[k].seen && record.value != nullptr)
            return mpm__SetError(0, UGN_OPTS_REPEATED_OPTION, MPM_ERROR, arg);
        if (state[k].group >= 0 && record.value != nullptr) {
            const int32_t other = SeenInGroup(table, count, state, k);
            if (other >= 0)
                return mpm__SetError(0, UGN_OPTS_CONFLICT, MPM_ERROR, record.name,
                                     table[other].name);
        }
        state[k].seen = true;

        const char letter = record.type[0];
        if (letter == 'f') {
            if (record.value != nullptr) {
                *static_cast<int32_t*>(record.value) = 1;
                argv[i] = nullptr;
            }
            ++i;
            continue;
        }
        // Every other type takes the next argument as its value; only the
        // numeric ones may begin with '-'.
        char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool numeric = letter == 'd' || letter == 'i' || letter == 'l';
        if (value == nullptr || (value[0] == '-' && !numeric))
            return mpm__SetError(0, UGN_OPTS_VALUE_MISSING, MPM_ERROR, arg);
        if (record.value != nullptr) {
            const int32_t status = StoreValue(record, arg, value);
            if (status != 0) return status;
            argv[i] = nullptr;
            argv[i + 1] = nullptr;
        }
        i += 2;
    }
    *stop = i;
    return 0;
}

// Removes the consumed (null) arguments of argv[1 .. stop - 1], moving the
// others down in their order; the slots freed at the end are set to null.
void Compact(int32_t* argc, char** argv, int32_t stop) {
    int32_t kept = 1;
    for (int32_t i = 1; i < *argc; ++i) {
        if (i < stop && argv[i] == nullptr) continue;
        argv[kept++] = argv[i];
    }
    for (int32_t i = kept; i < *argc; ++i)
        argv[i] = nullptr;
    *argc = kept;
}

} // namespace

extern "C" int32_t ugn_ParseCommandLine(uint32_t /*options*/, const UGN_OPTION* table,
                                        int32_t* argc, char** argv) {
    static const UGN_OPTION kEmpty[] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};
    if (table == nullptr) table = kEmpty;
    const int32_t count = CountRecords(table);

    int32_t status = CheckTable(table, count);
    if (status != 0) return status;

    StateGuard guard;
    guard.state = static_cast<RecordState*>(
        mvxc::Calloc(static_cast<std::size_t>(count) + 1, sizeof(RecordState)));
    if (guard.state == nullptr) return mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
    RecordState* state = guard.state;
    int32_t group = -1;
    for (int32_t i = 0; i < count; ++i) {
        state[i].group = -1;
        if (IsGroupOpen(table[i])) {
            group = i;
        } else if (IsGroupClose(table[i])) {
            group = -1;
        } else {
            state[i].group = group;
        }
    }

    const bool have_args = argc != nullptr && argv != nullptr && *argc >= 2;
    int32_t stop = 1;
    if (have_args) {
        status = Scan(table, count, state, *argc, argv, &stop);
        if (status != 0) return status;
    }

    for (int32_t k = 0; k < count; ++k) {
        if (!IsGroupMarker(table[k]) && IsRequired(table[k]) && !state[k].seen)
            return mpm__SetError(0, UGN_OPTS_REQUIRED_NOT_FOUND, MPM_ERROR, table[k].name);
    }

    if (have_args) Compact(argc, argv, stop);
    return 0;
}
