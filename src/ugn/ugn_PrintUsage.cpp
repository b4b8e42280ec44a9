// ugn_PrintUsage: prints the usage text of an options table on stderr.
//
// The usage line is printed piece by piece, one piece per option; a piece
// that would reach column 80 moves to a new line indented under the first
// option. Each piece is measured before it is printed, so nothing is
// allocated.
#include <cstdio>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

using ugn_opts::IsGroupClose;
using ugn_opts::IsGroupMarker;
using ugn_opts::IsGroupOpen;
using ugn_opts::IsRequired;

constexpr std::size_t kLineEnd = 80;

// One piece of the usage line: texts printed one after another.
struct Piece {
    const char* part[6] = {"", "", "", "", "", ""};
    std::size_t Length() const {
        std::size_t n = 0;
        for (const char* p : part)
            n += std::strlen(p);
        return n;
    }
};

// The usage line being printed, with its wrap rule.
class UsageLine {
public:
    explicit UsageLine(std::size_t indent) : indent_(indent), column_(indent) {}

    // Starts a new, indented line first when the text would reach the end.
    void Wrap(std::size_t length) {
        if (column_ + length >= kLineEnd) {
            std::fprintf(stderr, "\n%*s", static_cast<int>(indent_), " ");
            column_ = indent_;
        }
    }
    void Print(const Piece& piece) {
        const std::size_t length = piece.Length();
        Wrap(length);
        for (const char* p : piece.part)
            std::fputs(p, stderr);
        column_ += length;
    }
    void Print(const char* text) {
        const std::size_t length = std::strlen(text);
        Wrap(length);
        std::fputs(text, stderr);
        column_ += length;
    }

private:
    std::size_t indent_;
    std::size_t column_;
};

// The program name: the part of the path after its last '/' or '\'.
const char* ProgramName(const char* path) {
    if (path == nullptr) return "";
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

} // namespace

extern "C" int32_t ugn_PrintUsage(uint32_t /*options*/, const UGN_OPTION* table,
                                  const char* program, const char* trailing,
                                  const char* const* extra) {
    static const UGN_OPTION kEmpty[] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};
    if (table == nullptr) table = kEmpty;

    std::size_t width = 0;
    for (const UGN_OPTION* r = table; r->name != nullptr; ++r) {
        const std::size_t n = std::strlen(r->name);
        if (n > width) width = n;
    }

    const char* name = ProgramName(program);
    const std::size_t indent = std::strlen(name) + 1;
    std::fprintf(stderr, "Usage:\n\n%s ", name);
    UsageLine line(indent);

    bool in_group = false;
    bool group_first = false; // the next option is the first of its group
    for (const UGN_OPTION* r = table; r->name != nullptr; ++r) {
        if (IsGroupOpen(*r)) {
            in_group = true;
            group_first = true;
            continue;
        }
        if (IsGroupClose(*r)) {
            // An empty group prints nothing; a "]" without an open group is
            // passed over.
            in_group = false;
            group_first = false;
            continue;
        }
        const bool required = IsRequired(*r);
        const bool flag = r->type != nullptr && r->type[0] == 'f';
        Piece piece;
        if (group_first || (!required && !in_group)) piece.part[0] = "[";
        group_first = false;
        piece.part[1] = "-";
        piece.part[2] = r->name;
        if (!flag && r->argument != nullptr) {
            piece.part[3] = " ";
            piece.part[4] = r->argument;
        }
        if (in_group) {
            const UGN_OPTION* next = r + 1;
            if (next->name != nullptr && IsGroupClose(*next)) {
                piece.part[5] = "] ";
                in_group = false;
                ++r; // the "]" record ends the group
            } else if (next->name == nullptr || IsGroupOpen(*next)) {
                piece.part[5] = "] "; // the group ends here without its "]"
                in_group = false;
            } else {
                piece.part[5] = " | ";
            }
        } else {
            piece.part[5] = required ? " " : "] ";
        }
        line.Print(piece);
    }
    if (trailing != nullptr) line.Print(trailing);

    std::fputs("\n\n", stderr);
    for (const UGN_OPTION* r = table; r->name != nullptr; ++r) {
        if (IsGroupMarker(*r)) continue;
        std::fprintf(stderr, "   -%-*s   %s\n", static_cast<int>(width), r->name,
                     r->description != nullptr ? r->description : " ");
    }
    std::fputs("\n", stderr);
    if (extra != nullptr) {
        for (const char* const* e = extra; *e != nullptr; ++e)
            std::fprintf(stderr, "%s\n", *e);
    }
    std::fputs("\n", stderr);
    return 0;
}
