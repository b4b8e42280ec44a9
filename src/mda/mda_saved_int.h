/* MDA internals of saved models (src/mda/saved): the struct stack, the
 * writer's output and number forms, and the reader's buffered input. */
#ifndef MVX_MDA_SAVED_INT_H
#define MVX_MDA_SAVED_INT_H

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mda/mda_int.h"

namespace mdasm {

/* The line width rule: a value that would bring the column to this goes on
 * a continuation line. */
constexpr int32_t kBreakColumn = 79;
/* Bytes the writer gathers before it hands them to the file. */
constexpr size_t kOutSize = 1 << 16;
/* The most entity numbers a record may skip past the highest one read. */
constexpr int64_t kMaxGap = int64_t{1} << 24;
/* Test seam: the gap limit in force (kMaxGap unless a test lowers it). */
extern int64_t g_max_gap;

/* ---- The struct stack (shared by writer and reader) ---- */

/* Empties the stack down to its sentinel. */
void ResetStack();
/* The field's release number: bytes 56 to 59 of its descriptor; 0 for a
 * field with five dimensions, whose fifth expression those bytes end. */
int32_t Release(const DDF_FIELD* field);
/* True when the field is filtered by the combined release in force. */
bool Filtered(const DDF_FIELD* field);
/* True for an array held by pointer. */
inline bool Dynamic(const DDF_FIELD* f) {
    return (f->flags & DDF_ARRAY) != 0 && (f->flags & DDF_FIXED) == 0;
}
inline bool Unsized(const DDF_FIELD* f) {
    return Dynamic(f) && (f->flags & DDF_UNSIZED) != 0;
}
/* An end event: the top entry loses an element and goes when none is left.
 * An end event with nothing open reports MDA_INTERNAL_ERR (FATAL) naming
 * op; the result is then MDA_STOP with mda__SMError set. */
int32_t EndEvent(const char* op);
/* Opens field's entry (remaining elements) unless it is on top already;
 * deeper than the stack holds: MDA_INTERNAL_ERR naming op, MDA_STOP. */
int32_t Push(DDF_FIELD* field, int32_t remaining, bool filtered, const char* op);
/* Records a failure that stops the walk: mda__SMError, and MDA_STOP. */
int32_t Stop(int32_t status);

/* The length of an fstring field's strings: its last dimension (1 without
 * dimensions, 0 when not positive), as the field walk steps over them. */
int64_t StringLength(const DDF_FIELD* field);
/* The elements of an UNSIZED array as its allocation gives them. */
int64_t UnsizedElements(const DDF_FIELD* field, const void* array);
/* The first element of a dynamic array (plain or with row pointers). */
char* FirstElement(const DDF_FIELD* field, void* array);
/* The elements that a counted (not UNSIZED) dynamic array's dimensions give
 * under the count slots of the walk in progress (0 when one of them is not
 * positive, at most INT32_MAX) in *total; dims and *ndims receive the
 * dimensions. Returns 0 or the failure of mda_GetFieldDims (reported). */
int32_t CountedElements(const DDF_FIELD* field, int32_t* dims, int32_t* ndims, int64_t* total);
/* True when every element of the struct or union array field is written
 * starting with a value that is never blank (a number, a string, a
 * pointer, a selector or a count). Only then can a blank value in its
 * place stand for a null array whose dimensions give elements. */
bool OpensWithValue(const DDF_FIELD* field);

/* ---- Writing ---- */

/* Appends bytes to the output; a failed write is remembered (WriteFailed). */
void Put(const char* text, size_t length);
/* Hands the gathered bytes to the file. */
void FlushOut();
/* Starts and ends the writer's output buffer; EndOutput flushes. Returns 0
 * or MDA_MALLOC_ERR (reported). */
int32_t StartOutput();
void EndOutput();
bool WriteFailed();

/* Number forms of the file; each returns the length written at out (room
 * for 32 bytes). */
int32_t FormatDouble(double value, char* out);
int32_t FormatInt(int64_t value, char* out);

/* Emits the value in mda__SMBuf + 1 (length bytes; mda__SMBuf[0] is free
 * for its comma) under the line width rule. */
void EmitValue(int32_t length);
/* Emits a string value of length bytes. */
void EmitString(const char* text, size_t length);

/* ---- Reading ---- */

/* White space of the file. */
inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
/* The code of a failure that a reading step answered with MDA_STOP. */
inline int32_t Code(int32_t rc) {
    return rc == MDA_STOP ? mda__SMError : rc;
}

/* The reader's input: mda__SMBuf holds the bytes [mda__SMBufPtr, end) not
 * yet read; more are read from mda__SMFile when needed. */
struct Input {
    char* end = nullptr;
    bool eof = false;
    int64_t line = 1;        /* line of the cursor, from 1 */
    int64_t file_size = 0;   /* bytes of the file (0 when unknown) */
    int64_t consumed = 0;    /* bytes read from the file into the buffer */
    char* scratch = nullptr; /* a string being read */
    size_t scratch_size = 0;
    int64_t target = 0;     /* model being restored */
    bool separated = false; /* the next value's separator is taken already */
    int32_t failed = 0;     /* a reading failure already reported */
    /* The record being read: its entity number, or 0 when its type keeps
     * no pointers (its pointers then make no parents). */
    int64_t parent = 0;
    /* Pointers read, checked after the last record and then made the
     * parent lists. */
    struct Pointer {
        int64_t target; /* entity number named */
        int64_t line;   /* where it was read */
        int64_t parent; /* as above */
        int64_t order;  /* position among the pointers read */
    };
    Pointer* ptrs = nullptr;
    size_t ptr_count = 0;
    size_t ptr_room = 0;
};
extern Input g_in;

/* Makes at least want bytes available from the cursor unless the file
 * ends first; returns the bytes available. Refill is its slow path. */
size_t Refill(size_t want);
inline size_t Fill(size_t want) {
    const size_t have = static_cast<size_t>(g_in.end - mda__SMBufPtr);
    return have >= want || g_in.eof ? have : Refill(want);
}
/* The bytes of the file not yet read into the buffer, plus those in it. */
int64_t Remaining();
/* Reports MDA_FILE_READ_ERR with the file name, the cursor's line and
 * what went wrong (printf-style); returns MDA_STOP with mda__SMError set. */
int32_t ReadFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* Skips blanks, tabs, carriage returns and line ends. False at the end. */
bool SkipSpaceRun();
inline bool SkipSpace() {
    return (mda__SMBufPtr < g_in.end && !IsSpace(*mda__SMBufPtr)) || SkipSpaceRun();
}
/* Skips one separator ('(' or ',') with the white space around it. The
 * inline part takes a separator that stands right before its value, or the
 * writer's line break between it and the value. */
int32_t SeparatorRun();
inline int32_t Separator() {
    char* const p = mda__SMBufPtr;
    if (!g_in.separated && g_in.end - p >= 2 && (*p == ',' || *p == '(') && !IsSpace(p[1])) {
        mda__SMBufPtr = p + 1;
        return 0;
    }
    // The writer's line break between values: ",\n   " before the value.
    if (!g_in.separated && g_in.end - p >= 6 && std::memcmp(p, ",\n   ", 5) == 0 &&
        !IsSpace(p[5])) {
        ++g_in.line;
        mda__SMBufPtr = p + 5;
        return 0;
    }
    return SeparatorRun();
}
/* True when the cursor stands on an empty value (',' or ')'). */
bool AtEmpty();
/* At a place where a blank value may stand: takes it and sets *blank when
 * it is there; otherwise takes the next value's separator when there is
 * one (Separator then takes none) and leaves *blank false. */
int32_t TakeBlank(bool* blank);
/* Characters that may end a token. */
inline bool IsDelimiter(char c) {
    return IsSpace(c) || c == ',' || c == ')' || c == ';' || c == '=' || c == '(';
}
inline bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// Tokens are found in a window of kWindow bytes: a mask of the digits
// there gives where each digit run ends in a few instructions, so that the
// next token's position does not wait for a digit-by-digit scan, and the
// runs' values are computed from known lengths beside it.
constexpr std::ptrdiff_t kWindow = 32;

// Bit i set when window[i] is a decimal digit; all kWindow bytes readable.
inline uint32_t DigitMask(const char* window) {
#if defined(__SSE2__)
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    auto digits = [&](const char* at) {
        const __m128i x = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), zero);
        return static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(x, nine), nine)));
    };
    return digits(window) | digits(window + 16) << 16;
#else
    uint32_t mask = 0;
    for (int i = 0; i < kWindow; ++i)
        mask |= static_cast<uint32_t>(IsDigit(window[i])) << i;
    return mask;
#endif
}

// The first position at or after from (below kWindow) that is no digit,
// or kWindow or more when the digits run to the window's end.
inline int RunEnd(uint32_t digits, int from) {
    if (from >= kWindow) return kWindow;
    return from + std::countr_zero(~digits >> from);
}

// The value of n (1 to 8) digits at p, whose eight bytes are readable (in
// the window: a run read there holds at most 19 digits and starts at most
// 21 bytes in, so every chunk of it starts at most 20 bytes in and ends by
// byte 28). The digits are shifted to the top of the word, so that the bytes
// below them read as leading zeros (a little-endian load holds the text's
// first byte at the low end), and the eight values are combined pairwise in
// three multiplications.
inline uint64_t Chunk(const char* p, int n) {
    constexpr uint64_t kZeros = 0x3030303030303030;
    uint64_t x = 0;
    std::memcpy(&x, p, 8);
    x = (x - kZeros) << (8 * (8 - n)); // only the bytes after the digits borrow
    x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FF;
    x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFF;
    return (x * 10000 + (x >> 32)) & 0xFFFFFFFF;
}

constexpr uint64_t kRunPow10[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000,
                                  10000000000000000,
                                  100000000000000000,
                                  1000000000000000000,
                                  10000000000000000000u};

// Appends the digits [from, to) of the window to m; at most 19 digits in
// all, so that m cannot overflow.
inline uint64_t AppendRun(uint64_t m, const char* from, const char* to) {
    while (from < to) {
        const int n = to - from < 8 ? static_cast<int>(to - from) : 8;
        m = m * kRunPow10[n] + Chunk(from, n);
        from += n;
    }
    return m;
}

/* The powers of ten that a double holds exactly, up to 10^22. */
constexpr int kMaxExactPow10 = 22;
extern const double kExactPow10[kMaxExactPow10 + 1];

/*
 * A double of digits, an optional point and digits (no exponent) at first,
 * all inside the window, whose digits read as an integer m stay within
 * 2^53: m and 10^fraction digits are then exact doubles, and one division
 * rounds the exact quotient once, to nearest, as a correctly rounded
 * conversion does. Returns the token's length with *value set, or 0 when
 * the text is anything else (the caller then takes the general path).
 */
inline int WindowDouble(const char* first, double* value) {
    const uint32_t digits = DigitMask(first);
    const int sign = *first == '-' ? 1 : 0;
    const int point = RunEnd(digits, sign);
    int end = point;
    if (point < kWindow && first[point] == '.') end = RunEnd(digits, point + 1);
    const int fraction = end > point ? end - point - 1 : 0;
    const int count = point - sign + fraction;
    if (end >= kWindow || count == 0 || count > 19 || first[end] == 'e' || first[end] == 'E')
        return 0;
    uint64_t m = AppendRun(0, first + sign, first + point);
    if (fraction > 0) m = AppendRun(m, first + point + 1, first + end);
    if (m > (uint64_t{1} << 53)) return 0;
    double d = static_cast<double>(m);
    if (fraction > 0) d /= kExactPow10[fraction];
    *value = sign != 0 ? -d : d;
    return end;
}

/* The general paths of ReadInteger and ReadDouble. */
int32_t ReadIntegerRun(int64_t* value, const char* what);
int32_t ReadDoubleRun(double* value);

/* Reads a decimal integer token into *value. The common token, a sign and
 * up to 17 digits ending at a delimiter inside the window, is read here. */
inline int32_t ReadInteger(int64_t* value, const char* what) {
    char* const q = mda__SMBufPtr;
    if (g_in.end - q >= kWindow) {
        const int sign = *q == '-' ? 1 : 0;
        const int end = RunEnd(DigitMask(q), sign);
        if (end > sign && end - sign < 18 && IsDelimiter(q[end])) {
            const auto v = static_cast<int64_t>(AppendRun(0, q + sign, q + end));
            *value = sign != 0 ? -v : v;
            mda__SMBufPtr = q + end;
            return 0;
        }
    }
    return ReadIntegerRun(value, what);
}
/* std::from_chars of a double (the same result, bit for bit, and the same
 * end), with the common short decimals converted without it. */
std::from_chars_result ToDouble(const char* first, const char* last, double* value);
/* Reads a floating-point token; the common one, ending at a delimiter inside
 * the window, is read here. */
inline int32_t ReadDouble(double* value) {
    char* const p = mda__SMBufPtr;
    if (g_in.end - p >= kWindow) {
        double d = 0;
        const int end = WindowDouble(p, &d);
        if (end > 0 && IsDelimiter(p[end])) {
            *value = d;
            mda__SMBufPtr = p + end;
            return 0;
        }
    }
    return ReadDoubleRun(value);
}
/* Reads a pointer: "NULL" (*entity 0) or "model:entity" (the model is
 * read and ignored; the entity number must be 0 to MDA_SM_MAX_ENTITY). */
int32_t ReadPointer(int64_t* entity);
/* Reads a quoted string into g_in.scratch; *length receives its bytes. */
int32_t ReadString(size_t* length);
/* Skips to the start of the next line. */
void SkipLine();
/* Records a pointer target of the record being read. */
int32_t NotePointer(int64_t entity);

/* Frees what the reader allocated and clears g_in. */
void EndInput();

} // namespace mdasm

#endif
