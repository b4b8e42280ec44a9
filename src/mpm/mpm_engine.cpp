/*
 * The formatting engine for extended texts.
 *
 * An extended text is a printf-like text whose conversions may name the
 * argument they take ("%2$s") and may be directives ("%<TF>") that a handler
 * registered in mpm__SpecTree formats. Arguments are consumed in ascending
 * argument number, whatever the order of the conversions in the text, so a
 * translated text may reorder its arguments freely.
 *
 * The engine works in three passes:
 *  1. Scan (mpm_ScanExtended, mpm_grammar.cpp): every '%' that forms a
 *     recognised conversion or directive gets a conversion record; anything
 *     else stays literal text. A conversion without "n$" takes the next
 *     number of a running counter, which every '%' without "n$" advances,
 *     recognised or not.
 *  2. Visit the conversion records in ascending argument number (ties in text
 *     order) and produce each one's text into a heap string of its own:
 *     through its directive handler, or by rebuilding a single conversion and
 *     formatting one argument with snprintf.
 *  3. Assemble the literal pieces and the produced texts in text order.
 *
 * Because every intermediate result lives in its own heap string and the
 * line buffer is used only for the duration of one snprintf, a handler may
 * format further texts (even extended ones) from inside the engine.
 *
 * Choices where the behaviour is open:
 *  - An argument number used twice is formatted once, by the first
 *    conversion in text order; the later conversions with that number
 *    receive a copy of the same text.
 *  - A directive without a registered handler, and a "%<" that no '>'
 *    closes, leave their source text in place, unchanged.
 *  - A width or precision taken from the arguments that is negative is
 *    dropped from the rebuilt conversion.
 *  - '.' without digits is a precision of 0, as in printf.
 *  - 'l' means 32 bits and 'L' still takes a double: both are dropped from
 *    the rebuilt conversion. 'll' takes a 64-bit integer.
 *  - "%n" consumes its pointer argument but writes nothing through it: a
 *    text read from a message table must not be able to write to memory.
 *  - "%%" (with any flags, width or number) takes no argument, not even for
 *    a '*', and is always "%".
 *  - Length modifiers reach the rebuilt conversion only on d i o u x X; a
 *    "%lls" or "%llc" is an ordinary "%s" or "%c".
 *
 * Bounds: a width or precision is at most MPM_MAX_FIELD (larger ones are cut
 * to it), so every conversion's text fits the line buffer, where it is cut
 * if it would not; only a "%s" whose string is longer gets a heap buffer,
 * sized by the string. No text can make the engine allocate more than its
 * conversions times the line buffer plus its string arguments.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

namespace {

// Where a recognised conversion stands in the text.
struct Place {
    int32_t at;   // offset of the '%'
    int32_t len;  // length of the whole conversion
    int32_t conv; // index of its conversion record
};

// A growable array whose storage comes from the checked allocator: a few
// entries live inline, more move to the heap.
template <typename T, int Inline> class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() {
        if (data_ != inline_) std::free(data_);
    }
    bool Push(const T& value) {
        if (size_ == capacity_) {
            int grown = capacity_ * 2;
            auto* bigger = static_cast<T*>(mvxc::Malloc(sizeof(T) * static_cast<size_t>(grown)));
            if (bigger == nullptr) return false;
            std::memcpy(static_cast<void*>(bigger), data_, sizeof(T) * static_cast<size_t>(size_));
            if (data_ != inline_) std::free(data_);
            data_ = bigger;
            capacity_ = grown;
        }
        data_[size_++] = value;
        return true;
    }
    T& operator[](int i) { return data_[i]; }
    int size() const { return size_; }

private:
    T inline_[Inline];
    T* data_ = inline_;
    int size_ = 0;
    int capacity_ = Inline;
};

// Copies a formatted result out of `buffer` (size n + 1 including its NUL).
char* Keep(const char* buffer, int n) {
    auto* copy = static_cast<char*>(mvxc::Malloc(static_cast<size_t>(n) + 1));
    if (copy != nullptr) std::memcpy(copy, buffer, static_cast<size_t>(n) + 1);
    return copy;
}

// Formats one value with a rebuilt single conversion into the line buffer.
// A result that does not fit is cut to what the buffer holds, except for a
// string (may_grow), which gets a heap buffer of its own size: its width is
// at most MPM_MAX_FIELD, so that size is bounded by the string itself.
template <typename T> char* FormatOne(const char* conversion, T value, bool may_grow = false) {
    char local[MPM_MSGBUFFER_SIZE];
    char* buffer = mpm__MsgBuffer != nullptr ? mpm__MsgBuffer : local;
    const size_t size = MPM_MSGBUFFER_SIZE;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    int n = std::snprintf(buffer, size, conversion, value);
    if (n < 0) return mvxc::StrDup("");
    if (static_cast<size_t>(n) < size) return Keep(buffer, n);
    if (!may_grow) return Keep(buffer, static_cast<int>(size) - 1);
    auto* big = static_cast<char*>(mvxc::Malloc(static_cast<size_t>(n) + 1));
    if (big != nullptr) std::snprintf(big, static_cast<size_t>(n) + 1, conversion, value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return big;
}

// Produces the text of one plain conversion, consuming its argument.
char* Convert(const MPM_ARGSPEC& conv, va_list* args) {
    const char* s = conv.text;
    char letter = s[conv.name_at];

    char conversion[64];
    int k = 0;
    conversion[k++] = '%';
    for (int32_t f = 0; f < conv.flags_len && k < 12; ++f)
        conversion[k++] = s[conv.flags_at + f];
    if (conv.width >= 0) k += std::snprintf(conversion + k, 16, "%d", static_cast<int>(conv.width));
    if (conv.precision >= 0)
        k += std::snprintf(conversion + k, 16, ".%d", static_cast<int>(conv.precision));
    // Length modifiers only where they change an integer's size: "l" and
    // "L" mean 32 bits here and are dropped, and nothing else takes one.
    const bool integer = std::strchr("diouxX", letter) != nullptr;
    const bool wide = integer && conv.modifier == MPM_MOD_LL;
    if (wide) {
        conversion[k++] = 'l';
        conversion[k++] = 'l';
    } else if (integer && conv.modifier == MPM_MOD_H) {
        conversion[k++] = 'h';
    }
    conversion[k++] = letter;
    conversion[k] = '\0';

    switch (letter) {
    case 'c':
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        if (wide) return FormatOne(conversion, va_arg(*args, long long));
        return FormatOne(conversion, va_arg(*args, int));
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
        return FormatOne(conversion, va_arg(*args, double));
    case 's':
        return FormatOne(conversion, va_arg(*args, const char*), true);
    case 'p':
        return FormatOne(conversion, va_arg(*args, void*));
    case 'n':
        (void)va_arg(*args, void*);
        return mvxc::StrDup("");
    default:
        return mvxc::StrDup("");
    }
}

// Looks up the handler registered under the conversion record's name.
MPM_DIRECTIVE FindHandler(const MPM_ARGSPEC& conv) {
    if (mpm__SpecTree == nullptr ||
        conv.name_len >= static_cast<int32_t>(sizeof(MPM_SPEC{}.name))) {
        return nullptr;
    }
    char name[sizeof(MPM_SPEC{}.name)];
    std::memcpy(name, conv.text + conv.name_at, static_cast<size_t>(conv.name_len));
    name[conv.name_len] = '\0';
    MPM_SPEC* found = nullptr;
    {
        MpmBusyGuard guard;
        found = static_cast<MPM_SPEC*>(otm_GetObject(OTM_QUIET, mpm__SpecTree, name));
    }
    return found != nullptr ? found->handler : nullptr;
}

// Produces one conversion record's text. Returns false when memory ran out.
bool Produce(MPM_ARGSPEC* conv, const Place& place, va_list* args) {
    if (conv->width == MPM_SPEC_FROM_ARGS) {
        int w = va_arg(*args, int);
        conv->width = w >= 0 ? w : MPM_SPEC_NONE;
    }
    if (conv->precision == MPM_SPEC_FROM_ARGS) {
        int p = va_arg(*args, int);
        conv->precision = p >= 0 ? p : MPM_SPEC_NONE;
    }
    conv->width = std::min(conv->width, MPM_MAX_FIELD);
    conv->precision = std::min(conv->precision, MPM_MAX_FIELD);
    const bool directive = conv->text[conv->name_at - 1] == '<';
    MPM_DIRECTIVE handler = FindHandler(*conv);
    if (handler != nullptr) {
        handler(0, conv, args);
        if (conv->result == nullptr) conv->result = mvxc::StrDup("");
    } else if (directive) {
        // No handler: the directive's source text stays as it was.
        auto* copy = static_cast<char*>(mvxc::Malloc(static_cast<size_t>(place.len) + 1));
        if (copy != nullptr) {
            std::memcpy(copy, conv->text + place.at, static_cast<size_t>(place.len));
            copy[place.len] = '\0';
        }
        conv->result = copy;
    } else {
        conv->result = Convert(*conv, args);
    }
    return conv->result != nullptr;
}

// Recognises every conversion of s (the text after the flag), in text
// order, with where each stands. Returns false when memory ran out.
bool ScanAll(const char* s, Buffer<MPM_ARGSPEC, 16>* convs, Buffer<Place, 16>* places) {
    const auto length = static_cast<int32_t>(std::strlen(s));
    int32_t counter = 1;
    for (int32_t i = 0; i < length; ++i) {
        if (s[i] != '%') continue;
        MPM_ARGSPEC conv;
        int32_t len = mpm_ScanExtended(s, i, &counter, &conv);
        if (len == 0) continue; // literal; scanning goes on after the '%'
        if (!convs->Push(conv) || !places->Push(Place{i, len, convs->size() - 1})) return false;
        i += len - 1;
    }
    return true;
}

// Fills order with the indexes of convs in the order of consumption:
// ascending argument number, equal numbers in text order. Returns false
// when memory ran out.
bool Order(Buffer<MPM_ARGSPEC, 16>& convs, Buffer<int, 16>* order) {
    const int n = convs.size();
    for (int k = 0; k < n; ++k) {
        if (!order->Push(k)) return false;
    }
    if (n > 1) {
        std::sort(&(*order)[0], &(*order)[0] + n, [&convs](int a, int b) {
            return convs[a].number != convs[b].number ? convs[a].number < convs[b].number : a < b;
        });
    }
    return true;
}

} // namespace

bool mpm_FormatExtended(char** text, va_list* args) {
    const char* s = **text != '\0' ? *text + 1 : *text; // after the flag
    const auto length = static_cast<int32_t>(std::strlen(s));

    Buffer<MPM_ARGSPEC, 16> convs;
    Buffer<Place, 16> places;
    Buffer<int, 16> order;
    // Visit in ascending argument number; equal numbers in text order.
    bool ok = ScanAll(s, &convs, &places) && Order(convs, &order);
    const int n = convs.size();
    const MPM_ARGSPEC* done = nullptr; // the last conversion that took its number
    for (int v = 0; ok && v < n; ++v) {
        MPM_ARGSPEC& conv = convs[order[v]];
        if (mpm_IsPercent(conv)) {
            // "%%" takes nothing and never shares a number's text.
            conv.result = mvxc::StrDup("%");
            ok = conv.result != nullptr;
        } else if (done != nullptr && done->number == conv.number) {
            // The number was formatted already: this place gets the same text.
            conv.result = mvxc::StrDup(done->result);
            ok = conv.result != nullptr;
        } else {
            ok = Produce(&conv, places[order[v]], args);
            done = &conv;
        }
    }

    char* result = nullptr;
    if (ok) {
        size_t total = static_cast<size_t>(length);
        for (int k = 0; k < n; ++k)
            total += std::strlen(convs[k].result) - static_cast<size_t>(places[k].len);
        result = static_cast<char*>(mvxc::Malloc(total + 1));
        if (result != nullptr) {
            char* out = result;
            int32_t from = 0;
            for (int k = 0; k < n; ++k) {
                std::memcpy(out, s + from, static_cast<size_t>(places[k].at - from));
                out += places[k].at - from;
                size_t r = std::strlen(convs[k].result);
                std::memcpy(out, convs[k].result, r);
                out += r;
                from = places[k].at + places[k].len;
            }
            std::memcpy(out, s + from, static_cast<size_t>(length - from) + 1);
        }
    }
    for (int k = 0; k < n; ++k)
        std::free(convs[k].result);
    if (result == nullptr) return false;
    std::free(*text);
    *text = result;
    return true;
}
