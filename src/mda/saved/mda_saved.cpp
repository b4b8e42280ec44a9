// Shared parts of saving and restoring models: the struct stack that both
// field visitors keep, the writer's output buffer and number forms, and the
// reader's buffered input with its token readers.
//
// The reader never trusts the file: every token is read inside the bytes
// the buffer holds (refilled from the file, with the unread rest moved to
// its start), strings of any length go to a growing scratch block, and
// every failure names the file, the line and what was wrong.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

namespace mdasm {

int64_t g_max_gap = kMaxGap;
Input g_in;

namespace {

char* g_out = nullptr;
size_t g_used = 0;
bool g_write_failed = false;

// Bytes the token readers want to see at once: longer tokens are refused.
constexpr size_t kToken = 96;

// Appends the decimal digits at p to *m while *digits stays at most limit
// (at most 19, so that *m cannot overflow) and returns where they end.
// Eight bytes are looked at at once where the buffer has them: a byte is a
// digit when its high nibble is 3 and stays 3 with 6 added (a carry out of
// a byte only reaches the bytes after it, which are not looked at), the
// digits before the first other byte are then converted by Chunk.
inline const char* TakeDigits(const char* p, const char* last, uint64_t* m, int* digits,
                              int limit) {
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0;
    constexpr uint64_t kZeros = 0x3030303030303030;
    while (last - p >= 8) {
        uint64_t v = 0;
        std::memcpy(&v, p, 8);
        const uint64_t other =
            ((v & kHigh) ^ kZeros) | (((v + 0x0606060606060606) & kHigh) ^ kZeros);
        const int n = other == 0 ? 8 : std::countr_zero(other) / 8;
        if (n == 0) return p;
        if (*digits + n > limit) break;
        *m = *m * kRunPow10[n] + Chunk(p, n);
        *digits += n;
        p += n;
        if (n < 8) return p;
    }
    while (p < last && IsDigit(*p) && *digits < limit) {
        *m = *m * 10 + static_cast<uint64_t>(*p++ - '0');
        ++*digits;
    }
    return p;
}

} // namespace

// ---- The struct stack ----

void ResetStack() {
    mda__SMStack[0] = MDA_SM_STACK{nullptr, 0, 0};
    mda__SMStackPtr = &mda__SMStack[0];
}

// Bytes 56 to 59 also hold the end of a fifth dimension expression: a field
// with five dimensions has no release of its own, and is never filtered.
int32_t Release(const DDF_FIELD* field) {
    if (field->dim_count >= MDA_MAX_DIMS) return 0;
    int32_t release = 0;
    std::memcpy(&release, reinterpret_cast<const char*>(field) + 56, sizeof release);
    return release;
}

bool Filtered(const DDF_FIELD* field) {
    const int32_t release = Release(field);
    return mda__cur_dbver_rev != 0 && release != 0 && release > mda__cur_dbver_rev;
}

int32_t Stop(int32_t status) {
    if (mda__SMError == 0) mda__SMError = status;
    return MDA_STOP;
}

int32_t EndEvent(const char* op) {
    if (mda__SMStackPtr == nullptr || mda__SMStackPtr == &mda__SMStack[0])
        return Stop(mpm__SetError(0, MDA_INTERNAL_ERR, MPM_FATAL, op));
    if (--mda__SMStackPtr->remaining <= 0) --mda__SMStackPtr;
    return 0;
}

int32_t Push(DDF_FIELD* field, int32_t remaining, bool filtered, const char* op) {
    if (mda__SMStackPtr >= &mda__SMStack[MDA_SM_STACK_SIZE - 1])
        return Stop(mpm__SetError(0, MDA_INTERNAL_ERR, MPM_FATAL, op));
    *++mda__SMStackPtr = MDA_SM_STACK{field, remaining, filtered ? 1 : 0};
    return 0;
}

int64_t UnsizedElements(const DDF_FIELD* field, const void* array) {
    if (array == nullptr) return 0;
    int32_t dims[MDA_MAX_DIMS] = {};
    int32_t ndims = 0;
    if (mda_GetFieldDims(field, array, dims, &ndims) != 0) return 0;
    int64_t total = 1;
    for (int32_t i = 0; i < ndims; ++i) {
        if (dims[i] <= 0) return 0;
        total *= dims[i];
        if (total > INT32_MAX) return INT32_MAX;
    }
    return total;
}

int64_t StringLength(const DDF_FIELD* field) {
    const int32_t n = field->dim_count < MDA_MAX_DIMS ? field->dim_count : MDA_MAX_DIMS;
    int32_t length = 1; // as the field walk steps over such a field
    if (n > 0) (void)ddf__DimValue(&field->dims[n - 1], &length);
    return length > 0 ? length : 0;
}

char* FirstElement(const DDF_FIELD* field, void* array) {
    if (array == nullptr || (field->flags & DDF_PTRFIXED) != 0) return static_cast<char*>(array);
    MDA_MBLOCK* block = nullptr;
    if (mdamb::Find(array, MDA_MBLOCK_ARRAY, &block) != 0) return nullptr;
    return reinterpret_cast<char*>(block) + MDA_MBLOCK_HDR_SIZE +
           mdamb::ArrayOf(block)->elem_offset;
}

int32_t CountedElements(const DDF_FIELD* field, int32_t* dims, int32_t* ndims, int64_t* total) {
    *total = 0;
    if (int32_t rc = mda_GetFieldDims(field, nullptr, dims, ndims)) return rc;
    int64_t product = 1;
    for (int32_t i = 0; i < *ndims; ++i) {
        if (dims[i] <= 0) return 0;
        product *= dims[i];
        if (product > INT32_MAX) product = INT32_MAX;
    }
    *total = product;
    return 0;
}

namespace {

// Whether the member run from d (up to the struct's end) is written
// starting with a value that is never blank; a member that may write
// nothing or a blank answers false, and so does anything unusual.
bool RunOpensWithValue(const DDF_FIELD* d, int32_t depth) {
    for (; depth < MDA_SM_STACK_SIZE; ++d) {
        if (d->type == DDF_LET) continue; // computed, never written
        if (Filtered(d)) return false;
        if (d->type == DDF_COUNT) return true;
        if (d->type == DDF_STRUCT || (d->type >= DDF_SHORT && d->type <= DDF_PTR)) {
            if (Unsized(d)) return true; // its count comes first
            if (Dynamic(d)) return false;
            if ((d->flags & DDF_ARRAY) != 0) {
                int32_t dims[MDA_MAX_DIMS] = {};
                int32_t ndims = 0;
                int64_t total = 0;
                if (CountedElements(d, dims, &ndims, &total) != 0 || total == 0) return false;
            }
            if (d->type != DDF_STRUCT || (d->flags & DDF_UNION) != 0) return true;
            return d->aux > 0 && RunOpensWithValue(d + 1, depth + 1);
        }
        return false;
    }
    return false;
}

} // namespace

bool OpensWithValue(const DDF_FIELD* field) {
    if ((field->flags & DDF_UNION) != 0) return true; // each element opens with its selector
    return field->aux > 0 && RunOpensWithValue(field + 1, 1);
}

// ---- Writing ----

int32_t StartOutput() {
    g_used = 0;
    g_write_failed = false;
    g_out = static_cast<char*>(mvxc::Malloc(kOutSize));
    return g_out == nullptr ? mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR) : 0;
}

void FlushOut() {
    if (g_used == 0) return;
    if (std::fwrite(g_out, 1, g_used, mda__SMFile) != g_used) g_write_failed = true;
    g_used = 0;
}

void EndOutput() {
    if (g_out != nullptr && mda__SMFile != nullptr) FlushOut();
    std::free(g_out);
    g_out = nullptr;
    g_used = 0;
}

bool WriteFailed() {
    return g_write_failed;
}

void Put(const char* text, size_t length) {
    if (length > kOutSize - g_used) {
        FlushOut();
        if (length >= kOutSize) {
            if (std::fwrite(text, 1, length, mda__SMFile) != length) g_write_failed = true;
            return;
        }
    }
    std::memcpy(g_out + g_used, text, length);
    g_used += length;
}

int32_t FormatInt(int64_t value, char* out) {
    return static_cast<int32_t>(std::to_chars(out, out + 32, value).ptr - out);
}

// "%#.16g" with the trailing zeros of a text without exponent removed
// while the character before the last is not '.': the shortest "%.16g"
// text says which form printf chooses; an exponent form is then printed
// with all 16 digits, and a form without '.' (an integer) gets the ".0"
// that stays of "%#.16g"'s zeros, or a bare '.' when all 16 digits are used.
int32_t FormatDouble(double value, char* out) {
    if (value == 0.0) {
        std::memcpy(out, "0.0", 3);
        return 3;
    }
    if (!std::isfinite(value))
        return static_cast<int32_t>(std::to_chars(out, out + 32, value).ptr - out);
    char* end = std::to_chars(out, out + 32, value, std::chars_format::general, 16).ptr;
    const size_t length = static_cast<size_t>(end - out);
    if (std::memchr(out, 'e', length) != nullptr)
        return static_cast<int32_t>(
            std::to_chars(out, out + 32, value, std::chars_format::scientific, 15).ptr - out);
    if (std::memchr(out, '.', length) == nullptr) {
        const size_t digits = length - (out[0] == '-' ? 1 : 0);
        *end++ = '.';
        if (digits < 16) *end++ = '0';
    }
    return static_cast<int32_t>(end - out);
}

void EmitValue(int32_t length) {
    char* buf = mda__SMBuf;
    if (mda__SMNumFields == 0) {
        Put(buf + 1, static_cast<size_t>(length));
        mda__SMCurCol += length;
    } else if (mda__SMCurCol + length + 1 >= kBreakColumn) {
        Put(",\n   ", 5);
        Put(buf + 1, static_cast<size_t>(length));
        mda__SMCurCol = length + 1 + 4;
    } else {
        buf[0] = ',';
        Put(buf, static_cast<size_t>(length) + 1);
        mda__SMCurCol += length + 1;
    }
    ++mda__SMNumFields;
}

void EmitString(const char* text, size_t length) {
    Put(mda__SMNumFields > 0 ? ",\n   \"" : "\n   \"", mda__SMNumFields > 0 ? 6 : 5);
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != '"' && text[i] != '\\') continue;
        Put(text + run, i - run);
        const char escaped[2] = {'\\', text[i]};
        Put(escaped, 2);
        run = i + 1;
    }
    Put(text + run, length - run);
    Put("\"", 1);
    mda__SMCurCol = 4;
    ++mda__SMNumFields;
}

// ---- Reading ----

size_t Refill(size_t want) {
    char* const buf = mda__SMBuf;
    size_t have = static_cast<size_t>(g_in.end - mda__SMBufPtr);
    if (have >= want || g_in.eof) return have;
    std::memmove(buf, mda__SMBufPtr, have);
    mda__SMBufPtr = buf;
    g_in.end = buf + have;
    while (have < want && !g_in.eof) {
        const size_t got = std::fread(g_in.end, 1, MDA_SM_LINE_BUF - have, mda__SMFile);
        if (got == 0) g_in.eof = true;
        have += got;
        g_in.end += got;
        g_in.consumed += static_cast<int64_t>(got);
    }
    return have;
}

int64_t Remaining() {
    const int64_t buffered = g_in.end - mda__SMBufPtr;
    if (g_in.file_size <= 0) return INT64_MAX;
    const int64_t unread = g_in.file_size - g_in.consumed;
    return buffered + (unread > 0 ? unread : 0);
}

int32_t ReadFailure(const char* format, ...) {
    char what[320];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    const char* name = mda__SMName != nullptr ? mda__SMName : "";
    const size_t size = std::strlen(name) + std::strlen(what) + 48;
    char* text = static_cast<char*>(mvxc::Malloc(size));
    int32_t status = 0;
    if (text == nullptr) {
        status = mpm__SetError(0, MDA_FILE_READ_ERR, MPM_ERROR, name);
    } else {
        std::snprintf(text, size, "%s, line %lld: %s", name, static_cast<long long>(g_in.line),
                      what);
        status = mpm__SetError(0, MDA_FILE_READ_ERR, MPM_ERROR, text);
        std::free(text);
    }
    g_in.failed = status;
    return Stop(status);
}

bool SkipSpaceRun() {
    for (;;) {
        char* p = mda__SMBufPtr;
        char* const end = g_in.end;
        while (p < end && IsSpace(*p)) {
            if (*p == '\n') ++g_in.line;
            ++p;
        }
        mda__SMBufPtr = p;
        if (p < end) return true;
        if (Fill(1) == 0) return false;
    }
}

namespace {

// The byte at the cursor, for messages.
const char* Shown(char* room) {
    const unsigned char c = static_cast<unsigned char>(*mda__SMBufPtr);
    if (c >= 0x21 && c < 0x7F)
        std::snprintf(room, 16, "'%c'", c);
    else
        std::snprintf(room, 16, "byte 0x%02X", c);
    return room;
}

} // namespace

int32_t SeparatorRun() {
    if (g_in.separated) {
        g_in.separated = false;
        return 0;
    }
    if (!SkipSpace()) return ReadFailure("the file ends inside a record");
    const char c = *mda__SMBufPtr;
    if (c != ',' && c != '(') {
        if (c == ')') return ReadFailure("the record ends before all its values");
        char room[16];
        return ReadFailure("%s where ',' should separate the values", Shown(room));
    }
    ++mda__SMBufPtr;
    if (!SkipSpace()) return ReadFailure("the file ends inside a record");
    return 0;
}

bool AtEmpty() {
    return mda__SMBufPtr < g_in.end && (*mda__SMBufPtr == ',' || *mda__SMBufPtr == ')');
}

int32_t TakeBlank(bool* blank) {
    *blank = false;
    if (g_in.separated || !SkipSpace()) return 0;
    if (*mda__SMBufPtr != ',' && *mda__SMBufPtr != '(') return 0;
    ++mda__SMBufPtr;
    if (!SkipSpace()) return ReadFailure("the file ends inside a record");
    *blank = AtEmpty();
    g_in.separated = !*blank;
    return 0;
}

namespace {

// After a token that ended at p: the rest must be a delimiter or the end.
int32_t EndToken(const char* p, const char* what) {
    if (p < g_in.end ? IsDelimiter(*p) : g_in.eof) {
        mda__SMBufPtr = const_cast<char*>(p);
        return 0;
    }
    return ReadFailure("malformed %s", what);
}

} // namespace

int32_t ReadIntegerRun(int64_t* value, const char* what) {
    Fill(kToken);
    const char* p = mda__SMBufPtr;
    if (p < g_in.end && *p == '+') ++p;
    const auto [ptr, ec] = std::from_chars(p, static_cast<const char*>(g_in.end), *value);
    if (ec == std::errc::result_out_of_range) return ReadFailure("%s out of range", what);
    if (ec != std::errc{}) {
        char room[16];
        if (mda__SMBufPtr >= g_in.end) return ReadFailure("the file ends inside a record");
        return ReadFailure("%s where %s should be", Shown(room), what);
    }
    return EndToken(ptr, what);
}

const double kExactPow10[kMaxExactPow10 + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

std::from_chars_result ToDouble(const char* first, const char* last, double* value) {
    // Most numbers of a file are decimals whose digits, read as an integer
    // m, stay below 2^53 and whose decimal exponent e is at most 22 either
    // way: m and 10^|e| are then both exact doubles, and one multiplication
    // or division rounds the exact quotient or product once, to nearest, as
    // a correctly rounded conversion does. Everything else (more digits, a
    // larger exponent, inf, nan, malformed text) goes to std::from_chars.
    const bool negative = first < last && *first == '-';
    if (last - first >= kWindow) {
        if (const int end = WindowDouble(first, value); end > 0) return {first + end, std::errc{}};
    }
    const char* p = first;
    if (negative) ++p;
    uint64_t m = 0;
    int digits = 0;
    int exponent = 0;
    p = TakeDigits(p, last, &m, &digits, 19);
    if (p < last && *p == '.') {
        const int before = digits;
        p = TakeDigits(p + 1, last, &m, &digits, 19);
        exponent = before - digits;
    }
    bool exact = digits > 0 && (p == last || !IsDigit(*p)) && m <= (uint64_t{1} << 53);
    if (exact && p < last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        const bool minus = q < last && *q == '-';
        if (q < last && (*q == '-' || *q == '+')) ++q;
        int written = 0;
        const char* const start = q;
        while (q < last && IsDigit(*q) && q - start < 4)
            written = written * 10 + (*q++ - '0');
        exact = q > start && (q == last || !IsDigit(*q));
        exponent += minus ? -written : written;
        p = q;
    }
    if (!exact || exponent < -kMaxExactPow10 || exponent > kMaxExactPow10)
        return std::from_chars(first, last, *value);
    double d = static_cast<double>(m);
    d = exponent < 0 ? d / kExactPow10[-exponent] : d * kExactPow10[exponent];
    *value = negative ? -d : d;
    return {p, std::errc{}};
}

int32_t ReadDoubleRun(double* value) {
    Fill(kToken);
    const char* p = mda__SMBufPtr;
    if (p < g_in.end && *p == '+') ++p;
    const auto [ptr, ec] = ToDouble(p, static_cast<const char*>(g_in.end), value);
    if (ec == std::errc::result_out_of_range) return ReadFailure("a number out of range");
    if (ec != std::errc{}) {
        char room[16];
        if (mda__SMBufPtr >= g_in.end) return ReadFailure("the file ends inside a record");
        return ReadFailure("%s where a number should be", Shown(room));
    }
    return EndToken(ptr, "number");
}

int32_t ReadPointer(int64_t* entity) {
    Fill(kToken);
    const char* p = mda__SMBufPtr;
    const char* const end = g_in.end;
    if (end - p >= 4 && std::memcmp(p, "NULL", 4) == 0) {
        *entity = 0;
        return EndToken(p + 4, "pointer");
    }
    int64_t model = 0;
    std::from_chars_result r = std::from_chars(p, end, model);
    if (r.ec == std::errc{} && r.ptr < end && *r.ptr == ':')
        r = std::from_chars(r.ptr + 1, end, *entity);
    else if (r.ec == std::errc{})
        r.ec = std::errc::invalid_argument;
    const char* ptr = r.ptr;
    const std::errc ec = r.ec;
    if (ec == std::errc::result_out_of_range) return ReadFailure("a pointer out of range");
    if (ec != std::errc{}) {
        char room[16];
        if (p >= end) return ReadFailure("the file ends inside a record");
        return ReadFailure("%s where a pointer should be", Shown(room));
    }
    if (*entity < 0 || *entity > MDA_SM_MAX_ENTITY)
        return ReadFailure("pointer to entity %lld, out of range", static_cast<long long>(*entity));
    return EndToken(ptr, "pointer");
}

namespace {

bool Append(const char* text, size_t length, size_t* used) {
    if (length == 0) return true;
    if (length > g_in.scratch_size - *used) {
        size_t size = g_in.scratch_size < 256 ? 256 : g_in.scratch_size;
        while (size - *used < length)
            size *= 2;
        char* grown = static_cast<char*>(mvxc::Realloc(g_in.scratch, size));
        if (grown == nullptr) return false;
        g_in.scratch = grown;
        g_in.scratch_size = size;
    }
    std::memcpy(g_in.scratch + *used, text, length);
    *used += length;
    return true;
}

} // namespace

int32_t ReadString(size_t* length) {
    if (*mda__SMBufPtr != '"') {
        char room[16];
        return ReadFailure("%s where a string should start with '\"'", Shown(room));
    }
    ++mda__SMBufPtr;
    size_t used = 0;
    const int64_t start = g_in.line;
    auto unended = [start] {
        g_in.line = start;
        return ReadFailure("the file ends inside the string that starts here");
    };
    for (;;) {
        if (mda__SMBufPtr >= g_in.end && Fill(1) == 0) return unended();
        char* p = mda__SMBufPtr;
        char* const end = g_in.end;
        char* q = p;
        while (q < end && *q != '"' && *q != '\\') {
            if (*q == '\n') ++g_in.line;
            ++q;
        }
        if (!Append(p, static_cast<size_t>(q - p), &used))
            return Stop(mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
        mda__SMBufPtr = q;
        if (q == end) continue;
        if (*q == '"') {
            ++mda__SMBufPtr;
            *length = used;
            return 0;
        }
        if (Fill(2) < 2) return unended();
        if (mda__SMBufPtr[1] == '\n') ++g_in.line;
        if (!Append(mda__SMBufPtr + 1, 1, &used))
            return Stop(mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
        mda__SMBufPtr += 2;
    }
}

void SkipLine() {
    for (;;) {
        char* const end = g_in.end;
        auto* nl = static_cast<char*>(
            std::memchr(mda__SMBufPtr, '\n', static_cast<size_t>(end - mda__SMBufPtr)));
        if (nl != nullptr) {
            mda__SMBufPtr = nl + 1;
            ++g_in.line;
            return;
        }
        mda__SMBufPtr = end;
        if (Fill(1) == 0) return;
    }
}

int32_t NotePointer(int64_t entity) {
    if (g_in.ptr_count == g_in.ptr_room) {
        const size_t room = g_in.ptr_room < 64 ? 64 : g_in.ptr_room * 2;
        auto* grown =
            static_cast<Input::Pointer*>(mvxc::Realloc(g_in.ptrs, room * sizeof *g_in.ptrs));
        if (grown == nullptr) return Stop(mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
        g_in.ptrs = grown;
        g_in.ptr_room = room;
    }
    const int64_t order = static_cast<int64_t>(g_in.ptr_count);
    g_in.ptrs[g_in.ptr_count++] = Input::Pointer{entity, g_in.line, g_in.parent, order};
    return 0;
}

void EndInput() {
    std::free(g_in.scratch);
    std::free(g_in.ptrs);
    g_in = Input{};
}

} // namespace mdasm
