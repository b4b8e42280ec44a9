#include <unistd.h>

#include <cerrno>

#include "mvx/mpm.h"
#include "mvx/mvx.h"
#include "mvx/mvx_filetype.h"

namespace mvxft {

namespace {

bool IsWordChar(int c, bool quoted) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == ';' || c == '-' || c == '_' || c == '{' || c == '}' || (quoted && c == ' ');
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

WordReader::WordReader(int file, const char* file_name, const uint8_t* head, std::size_t size)
    : pos(head), last(head + size), buffer{}, pushed(0), fd(file), name(file_name),
      failed(false) {}

int WordReader::ReadChar() {
    if (pos < last) return *pos++;
    if (failed) return kEnd;
    ssize_t got;
    do {
        got = read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        failed = true;
        mpm__SetError(0, MVX_READ_ERROR, MPM_ERROR, name);
        return kEnd;
    }
    pos = buffer;
    last = buffer + got;
    if (got == 0) return kEnd;
    return *pos++;
}

bool WordReader::ReadWord(char* word) {
    int length = 0;
    bool quoted = false;
    if (pushed != 0) {
        word[length++] = static_cast<char>(pushed);
        pushed = 0;
    }
    for (;;) {
        int c = ReadChar();
        if (c == kEnd) {
            word[length] = '\0';
            return false;
        }
        if (c == '\'') {
            if (quoted) break;
            quoted = true;
            continue;
        }
        if (c == '/') {
            int next = ReadChar();
            if (next == kEnd) {
                word[length] = '\0';
                return false;
            }
            if (next != '*') {
                pushed = next;
                break;
            }
            // Skip the comment up to and including its "*/".
            int previous = 0;
            for (;;) {
                c = ReadChar();
                if (c == kEnd) {
                    word[length] = '\0';
                    return false;
                }
                if (previous == '*' && c == '/') break;
                previous = c;
            }
            continue;
        }
        if (!quoted && IsSpace(c)) {
            if (length > 0) break;
            continue;
        }
        if (IsWordChar(c, quoted)) {
            if (length >= kMaxWord) break;
            word[length++] = static_cast<char>(c);
            continue;
        }
        if (length > 0) break;
    }
    word[length] = '\0';
    return true;
}

} // namespace mvxft
