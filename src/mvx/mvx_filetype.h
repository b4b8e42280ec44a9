/*
 * File type recognition internals: the word reader that walks the start of
 * a file, and the fixed sizes the recogniser works with.
 */
#ifndef MVX_MVX_FILETYPE_H
#define MVX_MVX_FILETYPE_H

#include <cstddef>
#include <cstdint>

namespace mvxft {

// Bytes read at a time, and the size of the head of the file that the
// column tests, the line-end search and the integer test look at.
constexpr int kChunk = 160;
// Longest word the reader returns; the buffer holds one more for the NUL.
constexpr int kMaxWord = 119;

constexpr int kEnd = -1; // ReadChar: end of the file (or a failed read)

/*
 * Reads the file's bytes and splits them into words. It starts on the head
 * buffer that the caller already filled (head..head+size) and then reads
 * kChunk bytes at a time into its own buffer.
 *
 * A word is made of letters, digits, ';', '-', '_', '{' and '}'. A quote
 * opens a quoted word, in which blanks belong to the word and which the
 * next quote ends. Blanks and any other character separate words. A
 * C-style comment is skipped without ending the word. A '/' that does not
 * open a comment ends the word, and the character after it is kept back
 * to begin the next word whatever it is. A word longer than kMaxWord is
 * cut there (the character that would overflow is dropped). The end of the
 * file while a word is read ends the reading, so the file's last word is
 * never returned.
 */
struct WordReader {
    const uint8_t* pos;  // next byte to hand out
    const uint8_t* last; // one past the last valid byte
    uint8_t buffer[kChunk];
    int pushed; // character kept back for the next word, 0 for none
    int fd;
    const char* name; // for READ_ERROR
    bool failed;      // a read failed: the file has ended for the reader

    WordReader(int file, const char* file_name, const uint8_t* head, std::size_t size);

    // The next byte, or kEnd. A failing read reports READ_ERROR once.
    int ReadChar();
    // Reads the next word into word[kMaxWord + 1]. False at the end of the file.
    bool ReadWord(char* word);
    // The bytes not yet handed out of the current buffer.
    std::size_t Unread() const { return static_cast<std::size_t>(last - pos); }
};

} // namespace mvxft

#endif
