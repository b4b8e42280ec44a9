/*
 * The line output.
 *
 * A message text is cut into lines of at most W = width - left margin -
 * right margin characters. A line ends at a '\n'; a longer stretch is broken
 * at the last blank at or before column W (the blank is dropped), or cut
 * after exactly W characters when there is none. Each line is indented by
 * the left margin plus what the justification asks for, assembled in the
 * line buffer with its '\n' and written with mpm__PutString. What follows
 * the last '\n' forms the last line, with '\n' unless MPM_NO_NEWLINE; when
 * nothing follows, the last line is a bare "\n", so a message ending in '\n'
 * is followed by an empty line. mpm__LastLine is 1 while the last line of the
 * message is written.
 *
 * A width so small that W < 1 is taken as W = 1, and a negative indent
 * (margin plus justification) as 0, so that every setting makes progress
 * through the text.
 */
#include <cstdlib>
#include <cstring>

#include "mpm/mpm_int.h"

namespace {

constexpr std::size_t kPiece = MPM_MSGBUFFER_SIZE - 2; // 8192 bytes per write

// Writes indent blanks, n bytes of s and an optional '\n' as one line,
// through the line buffer, in pieces of at most kPiece bytes.
void Emit(uint32_t options, FILE* stream, std::size_t indent, const char* s, std::size_t n,
          bool newline) {
    char local[MPM_MSGBUFFER_SIZE];
    char* buffer = mpm__MsgBuffer != nullptr ? mpm__MsgBuffer : local;
    std::size_t total = indent + n + (newline ? 1 : 0);
    std::size_t done = 0;
    while (done < total) {
        std::size_t fill = 0;
        while (fill < kPiece && done < total) {
            char c;
            if (done < indent) {
                c = ' ';
            } else if (done < indent + n) {
                c = s[done - indent];
            } else {
                c = '\n';
            }
            buffer[fill++] = c;
            ++done;
        }
        buffer[fill] = '\0';
        mpm__Count = static_cast<int32_t>(fill);
        mpm__PutString(options, buffer, stream);
    }
}

// The blanks before a line of `length` characters: the left margin plus
// what the justification adds, counted as a whole and never below 0, so a
// negative margin moves a right-justified or centred line to the left.
std::size_t Indent(std::size_t width, std::size_t length) {
    const int64_t room = static_cast<int64_t>(width) - static_cast<int64_t>(length);
    int64_t indent = mpm__LeftMargin;
    switch (static_cast<uint8_t>(mpm__Justify)) {
    case 2:
        indent += room;
        break;
    case 3:
        indent += room / 2;
        break;
    default:
        break;
    }
    return indent > 0 ? static_cast<std::size_t>(indent) : 0;
}

} // namespace

extern "C" int32_t mpm__IssueMessage(uint32_t options, FILE* stream, char* text) {
    options |= mpm__Option;
    mpm__LastLine = 0;
    if (text == nullptr) return 0;
    int64_t w = static_cast<int64_t>(mpm__LineWidth) - mpm__LeftMargin - mpm__RightMargin;
    const std::size_t width = w < 1 ? 1 : static_cast<std::size_t>(w);
    const bool no_newline = (options & MPM_NO_NEWLINE) != 0;
    const std::size_t length = std::strlen(text);

    std::size_t pos = 0;
    for (;;) {
        const char* nl = static_cast<const char*>(std::memchr(text + pos, '\n', length - pos));
        std::size_t stop = nl != nullptr ? static_cast<std::size_t>(nl - text) : length;
        std::size_t line_end; // one past the line's last character
        std::size_t ended_at; // the character at which the line ended
        std::size_t next;     // where the next line starts
        if (stop - pos > width) {
            std::size_t j = width + 1;
            while (j > 0 && text[pos + j - 1] != ' ')
                --j;
            if (j > 0) { // blank at column j - 1: dropped
                line_end = pos + j - 1;
                ended_at = line_end;
                next = line_end + 1;
            } else { // no blank: hard cut after exactly width characters
                line_end = pos + width;
                ended_at = line_end - 1;
                next = line_end;
            }
        } else if (nl != nullptr) {
            line_end = stop;
            ended_at = stop;
            next = stop + 1;
        } else {
            break; // the rest of the text is the last line
        }
        std::size_t n = line_end - pos;
        mpm__LastLine = no_newline && ended_at == length - 1 ? 1 : 0;
        Emit(options, stream, Indent(width, n), text + pos, n, true);
        mpm__LastLine = 0;
        pos = next;
    }

    std::size_t rest = length - pos;
    mpm__LastLine = 1;
    if (rest > 0) {
        Emit(options, stream, Indent(width, rest), text + pos, rest, !no_newline);
    } else if (!no_newline) {
        Emit(options, stream, 0, "", 0, true);
    }
    std::free(text);
    mpm__Count = 0;
    mpm__LastLine = 0;
    return 0;
}
