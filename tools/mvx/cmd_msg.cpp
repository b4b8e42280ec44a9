// mvx msg: shows messages as the library registers them.
//
//   mvx msg NAME           one message by its full name (OTM_INVALIDSIZE)
//   mvx msg CODE           one message by its status code (0x30002 or 196610)
//   mvx msg --module MOD   every message of a module, by code (MDA) or number
//
// Everything shown comes from the library's one copy of the tables: names are
// resolved with mvx_GetMsgDefine and mpm_GetMsgName, the text without its flag
// with mpm_GetMessage (unformatted), and the stored text, flag included, and
// the exception class from the module registry. Texts are printed in double
// quotes with C escapes, so the flag character and line ends stay visible.
// The sample is the text formatted with a sample argument for each
// conversion (42, 1.5, "text") and directive (a TF 110:0, db_ptr #1:5, a DTF
// without dictionary), each directive formatted by its registered handler.
//
// Exit status: 0 shown, 1 unknown name, code or module, 2 usage error.
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "libmvx.h"

namespace {

constexpr int kExitUnknown = 1;
constexpr int kExitUsage = 2;

void PrintUsage(FILE* out) {
    std::fputs("usage: mvx msg NAME\n"
               "       mvx msg CODE\n"
               "       mvx msg --module MODULE\n"
               "\n"
               "Shows a message of the library's message tables.\n"
               "  NAME    full message name: module code, '_', message name (OTM_INVALIDSIZE)\n"
               "  CODE    status code, hexadecimal with 0x (0x30002) or decimal (196610)\n"
               "  MODULE  module code (MDA, case ignored) or module number (9); lists every\n"
               "          message of the module, one per line: code, exception class, name,\n"
               "          text\n"
               "Texts are shown as stored, in double quotes with C escapes: the first\n"
               "character is the flag (' ' plain printf text, '+' extended text) and is\n"
               "never printed; 'body' is the text without it, 'sample' the text formatted\n"
               "with sample arguments (42, 1.5, \"text\", TF 110:0, db_ptr #1:5).\n",
               out);
}

// The text in double quotes with C escapes for quotes, backslashes and
// control characters.
std::string Quote(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

// A status code's registry entries; null when the code names no registered
// message.
struct Message {
    const MVX_MODULE* module;
    const MVX_MSGNAME* entry;
};

Message Find(uint32_t code) {
    const uint32_t module = code >> 16;
    const uint32_t number = code & 0xFFFFu;
    if (module >= MVX_MAX_MODULES) return {nullptr, nullptr};
    const MVX_MODULE& mod = mvx__Table[module];
    if (mod.code == nullptr || mod.names == nullptr || number < 1 ||
        number > static_cast<uint32_t>(mod.count))
        return {nullptr, nullptr};
    return {&mod, &mod.names[number - 1]};
}

// The stored text of a message, flag included. A negative text index -k
// names text k (text k - 1 is its alternative, shown separately).
const char* StoredText(const Message& msg) {
    const int32_t index = msg.entry->text_index;
    return msg.module->texts[index < 0 ? -index : index];
}

// The name of an exception class: the frame's message of that number.
const char* ClassName(uint32_t exc_class) {
    const MVX_MODULE& frame = mvx__Table[MVX_MODULE_MVX];
    if (exc_class < 1 || frame.names == nullptr || exc_class > static_cast<uint32_t>(frame.count))
        return "?";
    return frame.names[exc_class - 1].name;
}

// An extended text formatted by the library's engine.
std::string Extended(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = mpm__ExtendedPrint(0, format, &args);
    va_end(args);
    std::string out = text != nullptr ? text : "";
    mvx_Free(0, text);
    return out;
}

// A directive with a sample argument of the kind its handler takes. A name
// without a handler keeps its source text, as the engine keeps it.
std::string SampleDirective(const std::string& name) {
    const std::string directive = "%<" + name + ">";
    const MDA_PTR db_ptr = MDA_MAKE_PTR(1, 5);
    const MVX_DTF dtf = {nullptr, MVX_TF(110, 0)};
    std::string out;
    if (name == "TF") {
        out = Extended(directive.c_str(), MVX_TF(110, 0));
    } else if (name == "DTF") {
        out = Extended(directive.c_str(), &dtf);
    } else if (name == "PTR" || name == "PTR2" || name == "OrigDesc") {
        out = Extended(directive.c_str(), db_ptr);
    } else {
        out = Extended(directive.c_str());
    }
    mpm_ClearStack(0); // no model holds the sample db_ptr: OrigDesc reports it
    return out;
}

// One conversion of a printf text (conv is "%", its flags, width and
// precision; letter its conversion) with a sample argument; false when the
// letter makes no conversion.
bool SampleConversion(std::string conv, char letter, std::string* out) {
    char buf[256] = "";
    switch (letter) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        conv += "ll";
        conv += letter;
        std::snprintf(buf, sizeof buf, conv.c_str(), 42LL);
        break;
    case 'c':
        std::snprintf(buf, sizeof buf, (conv + 'c').c_str(), '*');
        break;
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G':
        std::snprintf(buf, sizeof buf, (conv + letter).c_str(), 1.5);
        break;
    case 's':
        std::snprintf(buf, sizeof buf, (conv + 's').c_str(), "text");
        break;
    case 'p':
        std::snprintf(buf, sizeof buf, "%p", reinterpret_cast<void*>(0x1234));
        break;
    case '%':
        std::strcpy(buf, "%");
        break;
    case 'n':
        break;
    default:
        return false;
    }
    *out += buf;
    return true;
}

// The text after its flag with sample arguments. Widths and precisions are
// kept up to 3 digits; a '*' is dropped.
std::string Sample(const char* stored) {
    const bool extended = stored[0] == '+';
    const char* s = stored[0] != '\0' ? stored + 1 : stored;
    std::string out;
    for (size_t i = 0; s[i] != '\0';) {
        if (s[i] != '%') {
            out += s[i++];
            continue;
        }
        size_t j = i + 1;
        if (extended) { // an argument number "n$"
            size_t k = j;
            while (std::isdigit(static_cast<unsigned char>(s[k])))
                ++k;
            if (k > j && s[k] == '$') j = k + 1;
        }
        std::string conv = "%";
        while (s[j] != '\0' && std::strchr("+-# 0", s[j]) != nullptr)
            conv += s[j++];
        for (bool precision : {false, true}) {
            if (precision) {
                if (s[j] != '.') break;
                conv += s[j++];
            }
            if (s[j] == '*') ++j;
            for (int digits = 0; std::isdigit(static_cast<unsigned char>(s[j])); ++j)
                if (++digits <= 3) conv += s[j];
        }
        while (s[j] == 'l' || s[j] == 'h' || s[j] == 'L')
            ++j;
        const char* close = s[j] == '<' && extended ? std::strchr(s + j, '>') : nullptr;
        if (close != nullptr) {
            out += SampleDirective(std::string(s + j + 1, close));
            i = static_cast<size_t>(close - s) + 1;
        } else if (s[j] != '\0' && SampleConversion(conv, s[j], &out)) {
            i = j + 1;
        } else {
            out += s[i++]; // a literal '%'
        }
    }
    return out;
}

void ShowMessage(uint32_t code) {
    const Message msg = Find(code);
    const char* stored = StoredText(msg);
    char* body = nullptr;
    mpm_GetMessage(MPM_RAW_TEXT, static_cast<int32_t>(code), &body);

    std::printf("%s\n", mpm_GetMsgName(static_cast<int32_t>(code)));
    std::printf("  code:      0x%X\n", static_cast<unsigned>(code));
    std::printf("  module:    %d (%s)\n", msg.module->module, msg.module->code);
    std::printf("  exception: %u (%s)\n", static_cast<unsigned>(msg.entry->exc_class),
                ClassName(msg.entry->exc_class));
    std::printf("  kind:      %s\n", stored[0] == '+' ? "extended" : "plain");
    std::printf("  text:      %s\n", Quote(stored).c_str());
    if (msg.entry->text_index < 0)
        std::printf("  alt text:  %s\n",
                    Quote(msg.module->texts[-msg.entry->text_index - 1]).c_str());
    std::printf("  body:      %s\n", Quote(body != nullptr ? body : "").c_str());
    std::printf("  sample:    %s\n", Quote(Sample(stored).c_str()).c_str());
    mvx_Free(0, body);
}

void ListModule(const MVX_MODULE& mod) {
    std::printf("%s: module %d, %d messages\n", mod.code, mod.module, mod.count);
    std::size_t width = 0;
    for (int i = 0; i < mod.count; ++i) {
        const std::size_t len = std::strlen(mod.code) + 1 + std::strlen(mod.names[i].name);
        if (len > width) width = len;
    }
    for (int i = 0; i < mod.count; ++i) {
        const uint32_t code =
            (static_cast<uint32_t>(mod.module) << 16) | static_cast<uint32_t>(i + 1);
        const Message msg = Find(code);
        std::printf("  0x%-8X %u  %-*s  %s\n", static_cast<unsigned>(code),
                    static_cast<unsigned>(msg.entry->exc_class), static_cast<int>(width),
                    mpm_GetMsgName(static_cast<int32_t>(code)), Quote(StoredText(msg)).c_str());
    }
}

// Parses a whole argument as an unsigned number: hexadecimal after "0x",
// otherwise decimal. Returns false when it is not one.
bool ParseNumber(const char* arg, uint32_t* value) {
    int base = 10;
    if (arg[0] == '0' && (arg[1] == 'x' || arg[1] == 'X')) {
        base = 16;
        arg += 2;
    }
    if (!std::isxdigit(static_cast<unsigned char>(arg[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(arg, &end, base);
    if (errno != 0 || *end != '\0' || parsed > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

int LookUpModule(const char* arg) {
    uint32_t number = 0;
    const MVX_MODULE* found = nullptr;
    if (std::isdigit(static_cast<unsigned char>(arg[0]))) {
        if (!ParseNumber(arg, &number)) {
            std::fprintf(stderr, "mvx msg: '%s' is not a module number\n", arg);
            return kExitUsage;
        }
        if (number < MVX_MAX_MODULES && mvx__Table[number].code != nullptr)
            found = &mvx__Table[number];
    } else {
        std::string wanted = arg;
        for (char& c : wanted)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const MVX_MODULE& mod : mvx__Table) {
            if (mod.code != nullptr && wanted == mod.code) {
                found = &mod;
                break;
            }
        }
    }
    if (found == nullptr) {
        std::fprintf(stderr, "mvx msg: no module '%s' is registered\n", arg);
        return kExitUnknown;
    }
    ListModule(*found);
    return 0;
}

int LookUpMessage(const char* arg) {
    uint32_t code = 0;
    if (std::isdigit(static_cast<unsigned char>(arg[0]))) {
        if (!ParseNumber(arg, &code)) {
            std::fprintf(stderr, "mvx msg: '%s' is not a status code\n", arg);
            return kExitUsage;
        }
        if (Find(code).entry == nullptr) {
            std::fprintf(stderr, "mvx msg: status code 0x%X names no registered message\n",
                         static_cast<unsigned>(code));
            return kExitUnknown;
        }
    } else {
        const int32_t status = mvx_GetMsgDefine(arg, &code);
        if (status == MVX_BAD_MSG_NAME) {
            std::fprintf(stderr,
                         "mvx msg: '%s' is not a message name (module code of 3 or 4 letters, "
                         "'_', message name)\n",
                         arg);
            return kExitUnknown;
        }
        if (status != 0) {
            std::fprintf(stderr, "mvx msg: unknown message name '%s'\n", arg);
            return kExitUnknown;
        }
    }
    ShowMessage(code);
    return 0;
}

int Run(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--module") == 0) return LookUpModule(argv[2]);
    if (argc == 2 && argv[1][0] != '-' && argv[1][0] != '\0') return LookUpMessage(argv[1]);
    PrintUsage(stderr);
    return kExitUsage;
}

} // namespace

int mvx_cmd_msg(int argc, char** argv) {
    mvx_Initialize(0);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    mvx_Terminate(0);
    return status;
}
