/*
 * The conversion grammar of message texts, and what a text consumes.
 *
 * Two formatters read message texts. Extended texts ('+') go to the engine
 * (mpm_engine.cpp), which understands exactly the conversions that
 * mpm_ScanExtended recognises and keeps every other '%' as literal text; it
 * rebuilds each conversion from known pieces, so no text can make it read an
 * argument of another kind than the one its grammar names. Plain texts go to
 * vsnprintf, whose grammar is much larger (%n, %hhn, %1$s, %ls, %a, the '
 * flag ...) and which rejects some texts outright. mpm_ScanPlain recognises
 * the part of it whose consumption and output are known here:
 *
 *   "%%", or "%" flags* width? ("." precision?)? length? conversion
 *   flags      any of "-+ #0"
 *   width      digits or "*"; precision likewise ("." alone is 0)
 *   length     "h", "l" or "ll", only before d i o u x X
 *   conversion d i o u x X c e E f g G s p
 *
 * Widths and precisions written in a text may not exceed MPM_MAX_FIELD, the
 * number of characters the line buffer holds.
 *
 * mpm_Consume lists the arguments a text takes, in the order the formatter
 * takes them: text order for a plain text, ascending argument number (ties
 * in text order) for an extended one. A message table text is used in place
 * of a built-in text only when every '%' of it is understood and the list is
 * a leading part of the built-in text's (see mpm_TableText).
 */
#include <cstring>

#include "mpm/mpm_int.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsFlag(char c) {
    return c != '\0' && std::strchr("+-# 0", c) != nullptr;
}
bool IsInteger(char c) {
    return c != '\0' && std::strchr("diouxX", c) != nullptr;
}

// Reads a run of digits as a non-negative int. Values above MPM_MAX_FIELD
// read as MPM_MAX_FIELD + 1, so that a caller can tell them apart without
// any run of digits overflowing.
int32_t ReadNumber(const char* s, int32_t* i) {
    int32_t value = 0;
    while (IsDigit(s[*i])) {
        if (value <= MPM_MAX_FIELD) value = value * 10 + (s[*i] - '0');
        if (value > MPM_MAX_FIELD) value = MPM_MAX_FIELD + 1;
        ++*i;
    }
    return value;
}

// Reads the flags, width and precision common to both grammars.
int32_t ReadFields(const char* s, int32_t i, MPM_ARGSPEC* conv) {
    conv->flags_at = i;
    while (IsFlag(s[i]))
        ++i;
    conv->flags_len = i - conv->flags_at;
    if (s[i] == '*') {
        conv->width = MPM_SPEC_FROM_ARGS;
        ++i;
    } else if (IsDigit(s[i])) {
        conv->width = ReadNumber(s, &i);
    }
    if (s[i] == '.') {
        ++i;
        if (s[i] == '*') {
            conv->precision = MPM_SPEC_FROM_ARGS;
            ++i;
        } else {
            conv->precision = ReadNumber(s, &i);
        }
    }
    return i;
}

void Reset(const char* s, MPM_ARGSPEC* conv) {
    *conv = MPM_ARGSPEC{};
    conv->text = s;
    conv->width = MPM_SPEC_NONE;
    conv->precision = MPM_SPEC_NONE;
    conv->modifier = MPM_MOD_NONE;
}

// The kind of argument a conversion letter takes, or 0 for none ("%%").
char KindOf(char letter, int32_t modifier, bool extended) {
    if (IsInteger(letter)) {
        if (modifier == MPM_MOD_LL) return 'q';
        return modifier == MPM_MOD_L && !extended ? 'l' : 'i';
    }
    if (letter == 'c') return 'i';
    if (letter != '\0' && std::strchr("eEfgG", letter) != nullptr) return 'd';
    if (letter == 's') return 's';
    if (letter == 'p' || letter == 'n') return 'p';
    return 0;
}

// Appends one argument use; false when the list is full.
bool Add(MpmConsumption* out, char kind, const char* name, int32_t name_len) {
    if (out->count == MpmConsumption::kMax) {
        out->overflow = true;
        return false;
    }
    out->use[out->count++] = MpmArgUse{kind, name, name_len};
    return true;
}

bool FieldsFit(const MPM_ARGSPEC& conv) {
    return conv.width <= MPM_MAX_FIELD && conv.precision <= MPM_MAX_FIELD;
}

// The uses of one recognised conversion: its '*' fields, then its argument.
bool AddConversion(MpmConsumption* out, const MPM_ARGSPEC& conv, const char* s, bool extended) {
    if (conv.width == MPM_SPEC_FROM_ARGS && !Add(out, 'i', nullptr, 0)) return false;
    if (conv.precision == MPM_SPEC_FROM_ARGS && !Add(out, 'i', nullptr, 0)) return false;
    if (s[conv.name_at - 1] == '<') return Add(out, '<', s + conv.name_at, conv.name_len);
    char kind = KindOf(s[conv.name_at], conv.modifier, extended);
    return kind == 0 || Add(out, kind, nullptr, 0);
}

void ConsumePlain(const char* s, MpmConsumption* out) {
    for (int32_t i = 0; s[i] != '\0'; ++i) {
        if (s[i] != '%') continue;
        MPM_ARGSPEC conv;
        int32_t len = mpm_ScanPlain(s, i, &conv);
        if (len == 0 || !FieldsFit(conv)) {
            out->understood = false;
            return;
        }
        if (s[conv.name_at] != '%' && !AddConversion(out, conv, s, false)) return;
        i += len - 1;
    }
}

void ConsumeExtended(const char* s, MpmConsumption* out) {
    // The conversions that consume, with their numbers, in text order.
    struct Entry {
        MPM_ARGSPEC conv;
        int32_t seq;
    };
    Entry entries[MpmConsumption::kMax];
    int n = 0;
    int32_t counter = 1;
    for (int32_t i = 0; s[i] != '\0'; ++i) {
        if (s[i] != '%') continue;
        MPM_ARGSPEC conv;
        int32_t len = mpm_ScanExtended(s, i, &counter, &conv);
        if (len == 0) continue; // literal text
        i += len - 1;
        if (!FieldsFit(conv)) out->understood = false;
        if (mpm_IsPercent(conv)) continue;
        if (n == MpmConsumption::kMax) {
            out->overflow = true;
            return;
        }
        entries[n] = Entry{conv, n};
        ++n;
    }
    // Ascending number, ties in text order (insertion sort: stable).
    for (int k = 1; k < n; ++k) {
        Entry e = entries[k];
        int j = k;
        for (; j > 0 && entries[j - 1].conv.number > e.conv.number; --j)
            entries[j] = entries[j - 1];
        entries[j] = e;
    }
    for (int k = 0; k < n; ++k) {
        if (k > 0 && entries[k - 1].conv.number == entries[k].conv.number) {
            out->repeated = true; // formatted once: the later place takes nothing
            continue;
        }
        if (!AddConversion(out, entries[k].conv, s, true)) return;
    }
}

} // namespace

int32_t mpm_ScanExtended(const char* s, int32_t at, int32_t* counter, MPM_ARGSPEC* conv) {
    Reset(s, conv);
    int32_t i = at + 1;
    int32_t j = i;
    if (IsDigit(s[j])) {
        int32_t number = ReadNumber(s, &j);
        if (s[j] == '$') {
            conv->number = number;
            i = j + 1;
        }
    }
    if (i == at + 1) conv->number = (*counter)++;
    i = ReadFields(s, i, conv);
    if (s[i] == 'l' && s[i + 1] == 'l') {
        conv->modifier = MPM_MOD_LL;
        i += 2;
    } else if (s[i] == 'l' || s[i] == 'L' || s[i] == 'h') {
        conv->modifier = s[i];
        ++i;
    }
    if (s[i] == '<') {
        const char* close = std::strchr(s + i + 1, '>');
        if (close == nullptr) return 0; // unterminated: stays literal
        conv->name_at = i + 1;
        conv->name_len = static_cast<int32_t>(close - (s + i + 1));
        return static_cast<int32_t>(close - s) + 1 - at;
    }
    if (s[i] == '\0' || std::strchr("cfnudgoxeGpXEis%", s[i]) == nullptr) return 0;
    conv->name_at = i;
    conv->name_len = 1;
    return i + 1 - at;
}

int32_t mpm_ScanPlain(const char* s, int32_t at, MPM_ARGSPEC* conv) {
    Reset(s, conv);
    if (s[at + 1] == '%') {
        conv->name_at = at + 1;
        conv->name_len = 1;
        return 2;
    }
    int32_t i = ReadFields(s, at + 1, conv);
    if (s[i] == 'l' && s[i + 1] == 'l') {
        conv->modifier = MPM_MOD_LL;
        i += 2;
    } else if (s[i] == 'l' || s[i] == 'h') {
        conv->modifier = s[i];
        ++i;
    }
    const char letter = s[i];
    if (letter == '\0' || std::strchr("diouxXceEfgGsp", letter) == nullptr) return 0;
    if (conv->modifier != MPM_MOD_NONE && !IsInteger(letter)) return 0;
    conv->name_at = i;
    conv->name_len = 1;
    return i + 1 - at;
}

bool mpm_IsPercent(const MPM_ARGSPEC& conv) {
    return conv.text[conv.name_at] == '%' && conv.text[conv.name_at - 1] != '<';
}

void mpm_Consume(const char* text, MpmConsumption* out) {
    *out = MpmConsumption{};
    const bool extended = text[0] == '+';
    const char* s = text[0] != '\0' ? text + 1 : text; // after the flag
    if (extended) {
        ConsumeExtended(s, out);
    } else {
        ConsumePlain(s, out);
    }
}

bool mpm_CanReplace(const MpmConsumption& table, const MpmConsumption& builtin) {
    if (!table.understood || table.overflow || table.repeated) return false;
    // What the built-in text takes is certain only when all of it is known.
    const int known = builtin.understood && !builtin.overflow ? builtin.count : 0;
    if (table.count > known) return false;
    for (int k = 0; k < table.count; ++k) {
        const MpmArgUse& a = table.use[k];
        const MpmArgUse& b = builtin.use[k];
        if (a.kind == '<' || b.kind == '<') {
            if (a.kind != b.kind || a.name_len != b.name_len ||
                std::memcmp(a.name, b.name, static_cast<size_t>(a.name_len)) != 0) {
                return false;
            }
        } else if (a.kind != b.kind && !(a.kind == 'i' && b.kind == 'l')) {
            // An int may be read where a long is passed: its low half is
            // the value, as the engine's 'l' reads it.
            return false;
        }
    }
    return true;
}
