// ugn_EbcdicToAscii: the ASCII code of an EBCDIC code.
//
// Only the printable characters that both codes share are mapped: blank,
// punctuation, letters and digits. Every other EBCDIC code, control codes
// included, has no counterpart and gives -1. Some codes map to the same
// character (4F and 5A both to '!', 6A and FA to '|', 8B and C0 to '{', 9B
// and D0 to '}', 4E and 8E to '+').
#include <array>

#include "ugn/ugn_int.h"

namespace {

constexpr std::array<int16_t, 256> BuildTable() {
    std::array<int16_t, 256> t{};
    for (auto& entry : t)
        entry = -1;
    struct Single {
        uint8_t ebcdic;
        char ascii;
    };
    constexpr Single kSingles[] = {
        {0x40, ' '}, {0x4B, '.'},  {0x4C, '<'}, {0x4D, '('}, {0x4E, '+'},  {0x4F, '!'}, {0x50, '&'},
        {0x5A, '!'}, {0x5B, '$'},  {0x5C, '*'}, {0x5D, ')'}, {0x5E, ';'},  {0x5F, '^'}, {0x60, '-'},
        {0x61, '/'}, {0x6A, '|'},  {0x6B, ','}, {0x6C, '%'}, {0x6D, '_'},  {0x6E, '>'}, {0x6F, '?'},
        {0x79, '`'}, {0x7A, ':'},  {0x7B, '#'}, {0x7C, '@'}, {0x7D, '\''}, {0x7E, '='}, {0x7F, '"'},
        {0x8B, '{'}, {0x8E, '+'},  {0x9B, '}'}, {0xA1, '~'}, {0xAD, '['},  {0xBD, ']'}, {0xC0, '{'},
        {0xD0, '}'}, {0xE0, '\\'}, {0xFA, '|'},
    };
    for (const Single& s : kSingles)
        t[s.ebcdic] = static_cast<int16_t>(s.ascii);
    // Runs of consecutive codes: first EBCDIC code, last, first ASCII code.
    struct Run {
        uint8_t first, last;
        char ascii;
    };
    constexpr Run kRuns[] = {
        {0x81, 0x89, 'a'}, {0x91, 0x99, 'j'}, {0xA2, 0xA9, 's'}, {0xC1, 0xC9, 'A'},
        {0xD1, 0xD9, 'J'}, {0xE2, 0xE9, 'S'}, {0xF0, 0xF9, '0'},
    };
    for (const Run& r : kRuns) {
        for (int code = r.first; code <= r.last; ++code)
            t[static_cast<std::size_t>(code)] = static_cast<int16_t>(r.ascii + (code - r.first));
    }
    return t;
}

constexpr std::array<int16_t, 256> kEbcdicToAscii = BuildTable();

static_assert(kEbcdicToAscii[0xC1] == 65 && kEbcdicToAscii[0xF0] == 48 &&
              kEbcdicToAscii[0xE9] == 90 && kEbcdicToAscii[0x00] == -1);

} // namespace

extern "C" int32_t ugn_EbcdicToAscii(int32_t code) {
    if (code < 0 || code > 255) return -1;
    return kEbcdicToAscii[static_cast<std::size_t>(code)];
}
