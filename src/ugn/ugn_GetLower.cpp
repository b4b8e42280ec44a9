// ugn_GetLower: changes a text in place to lower case.
#include <cctype>

#include "ugn/ugn_int.h"

extern "C" void ugn_GetLower(char* text) {
    if (text == nullptr) return;
    for (char* p = text; *p != '\0'; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
}
