// ugn_GetUpper: changes a text in place to upper case.
#include <cctype>

#include "ugn/ugn_int.h"

extern "C" void ugn_GetUpper(char* text) {
    if (text == nullptr) return;
    for (char* p = text; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
}
