// The parser of dictionary source text.
//
// The text is cut into tokens first (identifiers, integers, strings and
// punctuation, with '#' comments), then read by recursive descent. Names of
// count slots are resolved while reading, in the order of the text, so a
// dimension can only name a count or let slot declared before it; this is
// also the order in which the field walk fills the slots. The parser stops
// at the first error, which names the place and what was expected there.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "ddfc_int.h"

namespace ddfc {
namespace {

enum class Tok { End, Ident, Int, String, Punct };

struct Token {
    Tok kind = Tok::End;
    std::string text; // identifier, string contents or the punctuation
    int64_t value = 0;
    Loc loc;
};

// What a token is called in "expected ..." messages.
std::string Describe(const Token& t) {
    switch (t.kind) {
    case Tok::End:
        return "end of file";
    case Tok::Ident:
        return "'" + t.text + "'";
    case Tok::Int:
        return "number " + std::to_string(t.value);
    case Tok::String:
        return "string";
    case Tok::Punct:
        return "'" + t.text + "'";
    }
    return "token";
}

class Parser {
public:
    Parser(std::string_view source, std::string_view file, std::vector<Diagnostic>* diags)
        : src_(source), file_(file), diags_(diags) {}

    bool Run(Dictionary* dict);

private:
    // ---- lexer
    bool Lex();
    bool LexString(Token* t);
    bool Fail(Loc loc, const std::string& message) {
        if (!failed_) diags_->push_back({std::string(file_), loc.line, loc.column, message});
        failed_ = true;
        return false;
    }
    bool Expected(const std::string& what) {
        return Fail(Cur().loc, "expected " + what + ", found " + Describe(Cur()));
    }

    // ---- token access
    const Token& Cur() const { return toks_[pos_]; }
    void Next() {
        if (pos_ + 1 < toks_.size()) ++pos_;
    }
    bool IsPunct(const char* p) const { return Cur().kind == Tok::Punct && Cur().text == p; }
    bool IsWord(const char* w) const { return Cur().kind == Tok::Ident && Cur().text == w; }
    bool Accept(const char* p) {
        if (!IsPunct(p)) return false;
        Next();
        return true;
    }
    bool Need(const char* p) {
        if (Accept(p)) return true;
        return Expected(std::string("'") + p + "'");
    }
    bool Int(int64_t lo, int64_t hi, int64_t* out, const char* what);
    bool TF(int32_t* out);
    bool Name(std::string* out, bool allow_unnamed, bool* named, const char* what);
    bool Text(std::string* out, std::size_t limit);

    // ---- grammar
    bool Header(Dictionary* d);
    bool StringList(std::vector<std::string>* list);
    bool RawSection(Dictionary* d);
    bool EntityDef(Dictionary* d);
    bool Fields(std::vector<Field>* out, int depth);
    bool FieldDef(Field* f, int depth);
    bool Dims(Field* f);
    bool Operand(int16_t* out, bool in_let);
    bool Attributes(Field* f, uint16_t* storage, bool* unsized, bool* any, bool* none,
                    std::optional<uint16_t>* flags, std::optional<int32_t>* release,
                    std::optional<int>* slot);
    bool LetBody(Field* f);

    // ---- count slots of the entity being read
    int NewSlot() { return max_slot_ + 1; }
    void UseSlot(int k) { max_slot_ = std::max(max_slot_, k); }

    std::string_view src_;
    std::string_view file_;
    std::vector<Diagnostic>* diags_;
    std::vector<Token> toks_;
    std::size_t pos_ = 0;
    bool failed_ = false;
    std::map<std::string, int> slots_; // slot names of the current entity
    int max_slot_ = 0;
    int descriptors_ = 0;
};

bool IsIdentStart(unsigned char c) {
    return std::isalpha(c) || c == '_';
}
bool IsIdentChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '.';
}

bool Parser::LexString(Token* t) {
    std::size_t i = 0;
    // The caller stands on the opening quote.
    std::size_t at = static_cast<std::size_t>(t->value);
    i = at + 1;
    Loc loc = t->loc;
    int col = loc.column + 1;
    std::string text;
    while (true) {
        if (i >= src_.size() || src_[i] == '\n')
            return Fail(loc, "string without its closing '\"'");
        char c = src_[i];
        if (c == '"') break;
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            return Fail({loc.line, col}, "control character in a string (write it as \\xHH)");
        }
        if (c == '\\') {
            if (i + 1 >= src_.size()) return Fail(loc, "string without its closing '\"'");
            char e = src_[i + 1];
            if (e == '"' || e == '\\') {
                text += e;
                i += 2;
                col += 2;
            } else if (e == 'n') {
                text += '\n';
                i += 2;
                col += 2;
            } else if (e == 't') {
                text += '\t';
                i += 2;
                col += 2;
            } else if (e == 'x' && i + 3 < src_.size() &&
                       std::isxdigit(static_cast<unsigned char>(src_[i + 2])) &&
                       std::isxdigit(static_cast<unsigned char>(src_[i + 3]))) {
                int v = std::stoi(std::string(src_.substr(i + 2, 2)), nullptr, 16);
                if (v == 0) return Fail({loc.line, col}, "a string cannot hold a NUL byte");
                text += static_cast<char>(v);
                i += 4;
                col += 4;
            } else {
                return Fail({loc.line, col}, "expected an escape \\\" \\\\ \\n \\t or \\xHH");
            }
        } else {
            text += c;
            ++i;
            ++col;
        }
        if (text.size() > kMaxText) return Fail(loc, "string longer than 4096 bytes");
    }
    t->text = std::move(text);
    t->value = static_cast<int64_t>(i + 1); // end position, consumed by Lex
    return true;
}

bool Parser::Lex() {
    std::size_t i = 0;
    int line = 1;
    std::size_t line_start = 0;
    while (true) {
        while (i < src_.size()) {
            char c = src_[i];
            if (c == '\n') {
                ++line;
                line_start = ++i;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '#') {
                while (i < src_.size() && src_[i] != '\n')
                    ++i;
            } else {
                break;
            }
        }
        Token t;
        t.loc = {line, static_cast<int>(i - line_start) + 1};
        if (i >= src_.size()) {
            toks_.push_back(t);
            return true;
        }
        const auto c = static_cast<unsigned char>(src_[i]);
        if (IsIdentStart(c)) {
            std::size_t j = i;
            while (j < src_.size() && IsIdentChar(static_cast<unsigned char>(src_[j])))
                ++j;
            if (j - i > kMaxIdent) return Fail(t.loc, "name longer than 1024 characters");
            t.kind = Tok::Ident;
            t.text = std::string(src_.substr(i, j - i));
            i = j;
        } else if (std::isdigit(c)) {
            std::size_t j = i;
            int base = 10;
            if (c == '0' && j + 1 < src_.size() && (src_[j + 1] == 'x' || src_[j + 1] == 'X')) {
                base = 16;
                j += 2;
            }
            const std::size_t digits = j;
            int64_t v = 0;
            while (j < src_.size() && std::isxdigit(static_cast<unsigned char>(src_[j]))) {
                const auto d = static_cast<unsigned char>(src_[j]);
                if (base == 10 && !std::isdigit(d)) break;
                const int dv = std::isdigit(d) ? d - '0' : std::tolower(d) - 'a' + 10;
                v = v * base + dv;
                if (v > 0xFFFFFFFFLL) return Fail(t.loc, "number out of range");
                ++j;
            }
            if (j == digits) return Fail(t.loc, "expected hexadecimal digits after '0x'");
            if (j < src_.size() && IsIdentChar(static_cast<unsigned char>(src_[j]))) {
                return Fail(t.loc, "expected a number, found '" +
                                       std::string(src_.substr(i, j + 1 - i)) + "'");
            }
            t.kind = Tok::Int;
            t.value = v;
            i = j;
        } else if (c == '"') {
            t.kind = Tok::String;
            t.value = static_cast<int64_t>(i);
            if (!LexString(&t)) return false;
            i = static_cast<std::size_t>(t.value);
            t.value = 0;
        } else if (c != 0 && std::strchr("{}[];=+-*/|:$", c) != nullptr) {
            t.kind = Tok::Punct;
            t.text = std::string(1, static_cast<char>(c));
            ++i;
        } else {
            char buf[64];
            if (c >= 0x20 && c < 0x7F) {
                std::snprintf(buf, sizeof buf, "unexpected character '%c'", c);
            } else {
                std::snprintf(buf, sizeof buf, "unexpected byte 0x%02X", c);
            }
            return Fail(t.loc, buf);
        }
        toks_.push_back(std::move(t));
    }
}

bool Parser::Int(int64_t lo, int64_t hi, int64_t* out, const char* what) {
    const Loc loc = Cur().loc;
    bool neg = false;
    if (IsPunct("-")) {
        neg = true;
        Next();
    }
    if (Cur().kind != Tok::Int) return Expected(what);
    int64_t v = neg ? -Cur().value : Cur().value;
    if (v < lo || v > hi) {
        return Fail(loc, std::string(what) + " out of range " + std::to_string(lo) + " to " +
                             std::to_string(hi));
    }
    Next();
    *out = v;
    return true;
}

// TYPE[:FORM], type 0..32767, form 0..65535.
bool Parser::TF(int32_t* out) {
    const Loc loc = Cur().loc;
    int64_t type = 0;
    int64_t form = 0;
    if (!Int(0, 32767, &type, "an entity type number")) return false;
    if (Accept(":") && !Int(0, 65535, &form, "a form number")) return false;
    *out = static_cast<int32_t>(static_cast<uint32_t>(type) << 16 | static_cast<uint32_t>(form));
    if (*out == MVX_NULL_TF) return Fail(loc, "16000:16000 is the null TF and cannot be used");
    return true;
}

bool Parser::Name(std::string* out, bool allow_unnamed, bool* named, const char* what) {
    if (allow_unnamed && IsPunct("-")) {
        Next();
        *named = false;
        out->clear();
        return true;
    }
    if (Cur().kind != Tok::Ident && Cur().kind != Tok::String) return Expected(what);
    if (Cur().text.empty()) return Fail(Cur().loc, "a name cannot be empty");
    *out = Cur().text;
    if (named != nullptr) *named = true;
    Next();
    return true;
}

bool Parser::Text(std::string* out, std::size_t limit) {
    if (Cur().kind != Tok::String) return Expected("a string");
    if (Cur().text.size() > limit) {
        return Fail(Cur().loc, "string longer than " + std::to_string(limit) + " bytes");
    }
    *out = Cur().text;
    Next();
    return true;
}

bool Parser::Header(Dictionary* d) {
    if (!IsWord("dictionary")) return Expected("'dictionary'");
    Next();
    const Loc loc = Cur().loc;
    if (!Name(&d->name, false, nullptr, "the dictionary name")) return false;
    if (d->name.size() > kMaxName) return Fail(loc, "dictionary name longer than 127 bytes");
    int64_t v = 0;
    if (IsWord("version")) {
        Next();
        if (!Int(INT32_MIN, INT32_MAX, &v, "a version number")) return false;
        d->version = static_cast<int32_t>(v);
    }
    if (IsWord("revision")) {
        Next();
        if (!Int(INT32_MIN, INT32_MAX, &v, "a revision number")) return false;
        d->revision = static_cast<int32_t>(v);
    }
    return Need(";");
}

bool Parser::StringList(std::vector<std::string>* list) {
    if (!Need("{")) return false;
    while (Cur().kind == Tok::String) {
        list->push_back(Cur().text);
        Next();
    }
    if (!IsPunct("}")) return Expected("a string or '}'");
    Next();
    return true;
}

bool Parser::RawSection(Dictionary* d) {
    const Loc loc = Cur().loc;
    if (Cur().kind != Tok::Ident) return Expected("a section name");
    int kind = 0;
    for (int k : kRawKinds) {
        if (Cur().text == ddf__Sections[k - 1].name) kind = k;
    }
    if (kind == 0) {
        return Fail(loc, "expected one of the sections attr_masks, ptr_counts, ptr_indices, "
                         "sub_super_data, supertype_tfs, subtype_tfs");
    }
    Next();
    std::vector<uint8_t>& bytes = d->raw[kind - 1];
    if (!bytes.empty())
        return Fail(loc, "section " + std::string(ddf__Sections[kind - 1].name) + " given twice");
    if (!Need("{")) return false;
    int width = 1;
    bool is_signed = false;
    while (!IsPunct("}")) {
        if (Cur().kind == Tok::Ident) {
            static const struct {
                const char* word;
                int width;
                bool is_signed;
            } kWidths[] = {{"u8", 1, false}, {"i8", 1, true},   {"u16", 2, false},
                           {"i16", 2, true}, {"u32", 4, false}, {"i32", 4, true}};
            bool found = false;
            for (const auto& w : kWidths) {
                if (Cur().text == w.word) {
                    width = w.width;
                    is_signed = w.is_signed;
                    found = true;
                }
            }
            if (!found) return Expected("a number, a width (u8 i8 u16 i16 u32 i32) or '}'");
            Next();
            continue;
        }
        int64_t v = 0;
        const int64_t bits = 8 * width;
        const int64_t lo = is_signed ? -(int64_t{1} << (bits - 1)) : 0;
        const int64_t hi = is_signed ? (int64_t{1} << (bits - 1)) - 1 : (int64_t{1} << bits) - 1;
        if (!IsPunct("-") && Cur().kind != Tok::Int) return Expected("a number, a width or '}'");
        if (!Int(lo, hi, &v, "a value")) return false;
        // A TF written TYPE:FORM in a 32-bit run.
        if (width == 4 && IsPunct(":")) {
            Next();
            int64_t form = 0;
            if (v < 0 || v > 32767) return Fail(loc, "entity type out of range 0 to 32767");
            if (!Int(0, 65535, &form, "a form number")) return false;
            v = v << 16 | form;
        }
        if (bytes.size() + 4 > (1u << 24)) return Fail(loc, "section larger than 16 MiB");
        const auto u = static_cast<uint64_t>(v);
        for (int b = 0; b < width; ++b)
            bytes.push_back(static_cast<uint8_t>(u >> (8 * b)));
    }
    Next();
    if (bytes.empty()) return Fail(loc, "a section needs at least one byte");
    return true;
}

bool Parser::EntityDef(Dictionary* d) {
    Entity e;
    e.loc = Cur().loc;
    if (!TF(&e.tf)) return false;
    const Loc name_loc = Cur().loc;
    if (!Name(&e.name, false, nullptr, "the entity name")) return false;
    if (e.name.size() > kMaxName) return Fail(name_loc, "entity name longer than 127 bytes");
    for (char& c : e.name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (Cur().kind == Tok::String && !Text(&e.desc, kMaxText)) return false;
    int64_t v = 0;
    while (!IsPunct("{")) {
        if (IsWord("info")) {
            Next();
            if (!Int(0, 255, &v, "an ent_info byte")) return false;
            e.info = static_cast<uint8_t>(v);
        } else if (IsWord("uattrs")) {
            Next();
            if (!Int(0, 255, &v, "an ent_uattrs byte")) return false;
            e.uattrs = static_cast<uint8_t>(v);
        } else if (IsWord("method")) {
            Next();
            if (!Int(-32768, 32767, &v, "a method index")) return false;
            e.end_method = static_cast<int16_t>(v);
        } else {
            return Expected("'info', 'uattrs', 'method' or '{'");
        }
    }
    Next();
    slots_.clear();
    max_slot_ = 0;
    descriptors_ = 0;
    if (!Fields(&e.fields, 0)) return false;
    if (++descriptors_ > kMaxDescriptors) {
        return Fail(e.loc, "entity type with more than 256 field descriptors");
    }
    d->entities.push_back(std::move(e));
    return true;
}

// Fields up to the closing '}', which is consumed.
bool Parser::Fields(std::vector<Field>* out, int depth) {
    while (!IsPunct("}")) {
        if (Cur().kind == Tok::End) return Expected("a field or '}'");
        Field f;
        if (!FieldDef(&f, depth)) return false;
        out->push_back(std::move(f));
    }
    Next();
    return true;
}

// An operand: a literal, a slot name or $K.
bool Parser::Operand(int16_t* out, bool in_let) {
    const Loc loc = Cur().loc;
    if (Accept("$")) {
        int64_t k = 0;
        if (!Int(1, kMaxSlot, &k, "a slot number")) return false;
        *out = static_cast<int16_t>(-k);
        return true;
    }
    if (Cur().kind == Tok::Int) {
        int64_t v = 0;
        if (!Int(0, kMaxLiteral, &v, "a literal")) return false;
        *out = static_cast<int16_t>(v);
        return true;
    }
    if (Cur().kind == Tok::Ident) {
        auto it = slots_.find(Cur().text);
        if (it == slots_.end()) {
            return Fail(loc,
                        "'" + Cur().text + "' names no count field or let slot declared before it");
        }
        *out = static_cast<int16_t>(-it->second);
        Next();
        return true;
    }
    return Expected(in_let ? "a literal, a slot name or $N" : "a literal, a count name or $N");
}

bool Parser::Dims(Field* f) {
    while (IsPunct("[")) {
        const Loc loc = Cur().loc;
        Next();
        if (f->dims.size() == kMaxDims) return Fail(loc, "more than 5 dimensions");
        Dim d;
        if (!Operand(&d.a, false)) return false;
        static const char kOps[] = "+-*/";
        static const char kCodes[] = "fghi";
        if (Cur().kind == Tok::Punct && Cur().text.size() == 1 &&
            std::strchr(kOps, Cur().text[0]) != nullptr) {
            d.op = kCodes[std::strchr(kOps, Cur().text[0]) - kOps];
            Next();
            const Loc b_loc = Cur().loc;
            if (!Operand(&d.b, false)) return false;
            if (d.op == 'i' && d.b == 0) return Fail(b_loc, "division by zero in a dimension");
        }
        if (!Need("]")) return false;
        f->dims.push_back(d);
    }
    return true;
}

bool Parser::Attributes(Field* f, uint16_t* storage, bool* unsized, bool* any, bool* none,
                        std::optional<uint16_t>* flags, std::optional<int32_t>* release,
                        std::optional<int>* slot) {
    int64_t v = 0;
    while (true) {
        const Loc loc = Cur().loc;
        if (Cur().kind == Tok::String && !f->has_desc) {
            f->has_desc = true;
            if (!Text(&f->desc, kMaxText)) return false;
        } else if (IsWord("default") || IsWord("method")) {
            const bool method = IsWord("method");
            Next();
            if (method != (f->type == DDF_DERIVED)) {
                return Fail(loc, method ? "only a derived field has a method index"
                                        : "a derived field has a method index, not a default");
            }
            if (!Int(-32768, 32767, &v, method ? "a method index" : "a default key")) return false;
            f->key = static_cast<int16_t>(v);
        } else if (IsWord("mod")) {
            Next();
            static const char* const kMods[] = {"ATTR",    "DEFAULT", "FUNCTION",  "RANGE",
                                                "REFTYPE", "LENGTH",  "MAXLENGTH", "METHOD"};
            do {
                bool found = false;
                if (Cur().kind == Tok::Ident) {
                    for (int b = 0; b < 8; ++b) {
                        if (Cur().text == kMods[b]) {
                            f->modifiers |= 1u << b;
                            found = true;
                        }
                    }
                    if (!found)
                        return Expected("a modifier (ATTR DEFAULT FUNCTION RANGE REFTYPE LENGTH "
                                        "MAXLENGTH METHOD)");
                    Next();
                } else {
                    if (!Int(0, 0xFFFFFFFFLL, &v, "a modifier name or number")) return false;
                    f->modifiers |= static_cast<uint32_t>(v);
                }
            } while (Accept("|"));
        } else if (IsWord("values")) {
            Next();
            if (!Need("{")) return false;
            while (!IsPunct("}")) {
                if (!IsPunct("-") && Cur().kind != Tok::Int) return Expected("a value or '}'");
                if (!Int(INT32_MIN, INT32_MAX, &v, "a value")) return false;
                std::string name;
                if (!Text(&name, kMaxText)) return false;
                if (f->vdescs.size() == 255) return Fail(loc, "more than 255 value descriptions");
                f->vdescs.emplace_back(static_cast<int32_t>(v), std::move(name));
            }
            Next();
        } else if (IsWord("refs")) {
            Next();
            if (f->type != DDF_PTR) return Fail(loc, "only a ptr field has a reference list");
            if (!Need("{")) return false;
            while (!IsPunct("}")) {
                if (IsWord("any")) {
                    *any = true;
                    Next();
                } else if (IsWord("none")) {
                    *none = true;
                    Next();
                } else if (Cur().kind == Tok::Int) {
                    const Loc tf_loc = Cur().loc;
                    int32_t tf = 0;
                    if (!TF(&tf)) return false;
                    if (std::find(f->refs.begin(), f->refs.end(), tf) != f->refs.end()) {
                        return Fail(tf_loc, FormatTF(tf) + " listed twice");
                    }
                    if (f->refs.size() == 65535) return Fail(tf_loc, "reference list too long");
                    f->refs.push_back(tf);
                } else {
                    return Expected("a TF, 'any', 'none' or '}'");
                }
            }
            Next();
            std::sort(f->refs.begin(), f->refs.end());
        } else if (IsWord("release")) {
            Next();
            if (!Int(INT32_MIN, INT32_MAX, &v, "a release number")) return false;
            *release = static_cast<int32_t>(v);
        } else if (IsWord("ptrfixed") || IsWord("variable")) {
            *storage = IsWord("ptrfixed") ? DDF_PTRFIXED : DDF_VARIABLE;
            Next();
        } else if (IsWord("unsized")) {
            *unsized = true;
            Next();
        } else if (IsWord("flags")) {
            Next();
            if (!Int(0, 0xFFFF, &v, "a flags word")) return false;
            *flags = static_cast<uint16_t>(v);
        } else if (IsWord("slot")) {
            Next();
            if (f->type != DDF_COUNT) return Fail(loc, "only a count field has a slot");
            if (!Int(1, kMaxSlot, &v, "a slot number")) return false;
            *slot = static_cast<int>(v);
        } else {
            return true;
        }
    }
}

// { DEST = A op B; ... }
bool Parser::LetBody(Field* f) {
    const Loc open = Cur().loc;
    if (!Need("{")) return false;
    while (!IsPunct("}")) {
        LetOp op;
        op.loc = Cur().loc;
        std::string dest_name;
        int dest = 0;
        if (Accept("$")) {
            int64_t k = 0;
            if (!Int(1, kMaxSlot, &k, "a slot number")) return false;
            dest = static_cast<int>(k);
        } else if (Cur().kind == Tok::Ident) {
            dest_name = Cur().text;
            Next();
        } else {
            return Expected("a slot name, $N or '}'");
        }
        if (!Need("=")) return false;
        if (!Operand(&op.a, true)) return false;
        static const char kOps[] = "+-*/";
        static const char kCodes[] = "fghi";
        if (!(Cur().kind == Tok::Punct && Cur().text.size() == 1 &&
              std::strchr(kOps, Cur().text[0]) != nullptr)) {
            return Expected("an operator + - * /");
        }
        op.op = kCodes[std::strchr(kOps, Cur().text[0]) - kOps];
        Next();
        const Loc b_loc = Cur().loc;
        if (!Operand(&op.b, true)) return false;
        if (op.op == 'i' && op.b == 0) return Fail(b_loc, "division by zero in a let");
        if (!Need(";")) return false;
        if (!dest_name.empty()) {
            auto it = slots_.find(dest_name);
            if (it != slots_.end()) {
                dest = it->second;
            } else {
                dest = NewSlot();
                if (dest > kMaxSlot) return Fail(op.loc, "more than 127 count slots");
                slots_[dest_name] = dest;
            }
        }
        UseSlot(dest);
        op.dest = dest;
        f->lets.push_back(op);
    }
    Next();
    if (f->lets.empty()) return Fail(open, "a let needs at least one instruction");
    return true;
}

bool Parser::FieldDef(Field* f, int depth) {
    f->loc = Cur().loc;
    static const struct {
        const char* word;
        uint8_t type;
    } kTypes[] = {{"short", DDF_SHORT},
                  {"int", DDF_INT},
                  {"long", DDF_LONG},
                  {"float", DDF_FLOAT},
                  {"double", DDF_DOUBLE},
                  {"char", DDF_CHAR},
                  {"fstring", DDF_FSTRING},
                  {"vstring", DDF_VSTRING},
                  {"ptr", DDF_PTR},
                  {"count", DDF_COUNT},
                  {"struct", DDF_STRUCT},
                  {"union", DDF_STRUCT},
                  {"let", DDF_LET},
                  {"union_mark", DDF_UNIONTYPE},
                  {"endunion_mark", DDF_ENDUNION},
                  {"subent", DDF_SUBENT},
                  {"derived", DDF_DERIVED},
                  {"method", DDF_METHOD}};
    bool is_union = false;
    bool found = false;
    for (const auto& t : kTypes) {
        if (IsWord(t.word)) {
            f->type = t.type;
            is_union = std::strcmp(t.word, "union") == 0;
            found = true;
        }
    }
    if (!found) return Expected("a field type or '}'");
    const std::string type_word = Cur().text;
    Next();
    if (++descriptors_ > kMaxDescriptors) {
        return Fail(f->loc, "entity type with more than 256 field descriptors");
    }
    if (!Name(&f->name, true, &f->named, "a field name or '-'")) return false;
    if (f->type == DDF_SUBENT && !TF(&f->subent_tf)) return false;
    if (IsPunct("[")) {
        if (f->type >= DDF_COUNT && f->type != DDF_STRUCT) {
            return Fail(Cur().loc, "a " + type_word + " field has no dimensions");
        }
        if (!Dims(f)) return false;
    }
    if (f->type == DDF_FSTRING) {
        if (f->dims.empty()) return Fail(f->loc, "an fstring needs its length as last dimension");
        const Dim& len = f->dims.back();
        if (len.op != 'e' || len.a < 1) {
            return Fail(f->loc, "the length of an fstring must be a literal of at least 1");
        }
    }
    uint16_t storage = 0;
    bool unsized = false;
    bool any = false;
    bool none = false;
    std::optional<uint16_t> flags;
    std::optional<int32_t> release;
    std::optional<int> slot;
    const Loc attr_loc = Cur().loc;
    if (!Attributes(f, &storage, &unsized, &any, &none, &flags, &release, &slot)) return false;

    const bool dynamic_dims =
        std::any_of(f->dims.begin(), f->dims.begin() + static_cast<long>(ElementDims(*f)),
                    [](const Dim& d) { return d.a < 0 || (d.op != 'e' && d.b < 0); });
    if ((storage != 0 || unsized) && ElementDims(*f) == 0) {
        return Fail(attr_loc, "'ptrfixed', 'variable' and 'unsized' need array dimensions");
    }
    if (storage == DDF_VARIABLE && ElementDims(*f) < 2 && !flags) {
        return Fail(attr_loc, "a variable array needs at least two dimensions");
    }
    (void)dynamic_dims;
    if (f->type == DDF_STRUCT || f->type == DDF_SUBENT) {
        if (!f->vdescs.empty())
            return Fail(f->loc, "a " + type_word + " field has no value descriptions");
        if (f->key != 0) return Fail(f->loc, "a " + type_word + " field has no default");
    }
    if (f->type == DDF_COUNT && f->key != 0) {
        return Fail(f->loc, "a count field has no default key: it counts the fields it sizes");
    }
    if ((f->type == DDF_FLOAT || f->type == DDF_DOUBLE) && f->key != 0 &&
        (f->key < 50 || f->key > 54)) {
        return Fail(f->loc, "the default key of a float or double is 0 or 50 to 54");
    }
    f->flags = FormFlags(*f, is_union, storage, unsized, any, none);
    if (flags) f->flags = *flags;

    if (release) {
        if (f->dims.size() == 5) {
            const Dim& d5 = f->dims[4];
            const int32_t implied =
                static_cast<int32_t>(static_cast<uint16_t>(d5.b) |
                                     static_cast<uint32_t>(static_cast<uint8_t>(d5.op)) << 16);
            if (*release != implied) {
                return Fail(attr_loc, "a field with five dimensions cannot carry a release: its "
                                      "release bytes are the fifth dimension's");
            }
        } else {
            f->release = *release;
        }
    }

    if (f->type == DDF_COUNT) {
        const int k = slot ? *slot : NewSlot();
        if (k > kMaxSlot) return Fail(f->loc, "more than 127 count slots");
        UseSlot(k);
        if (f->named) slots_[f->name] = k;
        f->dims.push_back({static_cast<int16_t>(-k), 0, 'e'});
    }
    if (f->type == DDF_LET) return LetBody(f);
    if (f->type == DDF_STRUCT) {
        if (depth + 1 > kMaxNesting) return Fail(f->loc, "structures nested more than 32 deep");
        const Loc open = Cur().loc;
        if (!Need("{")) return false;
        if (++descriptors_ > kMaxDescriptors) {
            return Fail(f->loc, "entity type with more than 256 field descriptors");
        }
        if (!Fields(&f->members, depth + 1)) return false;
        const bool data = std::any_of(f->members.begin(), f->members.end(), [](const Field& m) {
            return m.type <= DDF_COUNT || m.type == DDF_STRUCT || m.type == DDF_LET ||
                   m.type == DDF_SUBENT;
        });
        if (!data)
            return Fail(open, "a " + type_word + " needs at least one member that holds data");
        return true;
    }
    return Need(";");
}

bool Parser::Run(Dictionary* d) {
    if (src_.size() > kMaxSourceSize) return Fail({1, 1}, "source larger than 16 MiB");
    if (!Lex()) return false;
    if (!Header(d)) return false;
    while (Cur().kind != Tok::End) {
        const Loc loc = Cur().loc;
        if (IsWord("entity")) {
            Next();
            if (!EntityDef(d)) return false;
        } else if (IsWord("attr_names") || IsWord("ptr_names")) {
            const bool attr = IsWord("attr_names");
            Next();
            auto& list = attr ? d->attr_names : d->ptr_names;
            if (!list.empty())
                return Fail(loc, std::string(attr ? "attr_names" : "ptr_names") + " given twice");
            if (!StringList(&list)) return false;
        } else if (IsWord("section")) {
            Next();
            if (!RawSection(d)) return false;
        } else {
            return Expected("'entity', 'attr_names', 'ptr_names', 'section' or end of file");
        }
    }
    return true;
}

} // namespace

uint16_t FormFlags(const Field& f, bool is_union, uint16_t storage, bool unsized, bool any,
                   bool none) {
    uint16_t flags = 0;
    if (is_union) flags |= DDF_UNION;
    if (any) flags |= DDF_REFANY;
    if (none) flags |= DDF_REFNONE;
    const std::size_t n = ElementDims(f);
    if (n > 0) {
        flags |= DDF_ARRAY;
        bool literal = true;
        for (std::size_t i = 0; i < n; ++i) {
            const Dim& d = f.dims[i];
            if (d.a < 0 || (d.op != 'e' && d.b < 0)) literal = false;
        }
        if (storage != 0) {
            flags |= storage;
        } else if (literal && !unsized) {
            flags |= DDF_FIXED;
        } else {
            flags |= n == 1 ? DDF_PTRFIXED : DDF_VARIABLE;
        }
        if (unsized) flags |= DDF_UNSIZED;
    }
    return flags;
}

bool Parse(std::string_view source, std::string_view file_name, Dictionary* dict,
           std::vector<Diagnostic>* diagnostics) {
    Parser p(source, file_name, diagnostics);
    return p.Run(dict);
}

} // namespace ddfc
