// ugn_LowerProper: lower case with the first letter after leading blanks in
// upper case ("  HELLO WORLD" becomes "  Hello world").
#include <cctype>

#include "ugn/ugn_int.h"

extern "C" void ugn_LowerProper(char* text) {
    if (text == nullptr) return;
    ugn_GetLower(text);
    char* p = text;
    while (*p == ' ')
        ++p;
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
}
