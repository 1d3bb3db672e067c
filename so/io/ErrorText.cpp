// Formatting of the port error texts.
#include "so/io/ErrorText.h"

#include <cwchar>

namespace QVO::IO {

std::wstring FormatPortError(const wchar_t* format, int systemError) {
    wchar_t text[kErrorTextChars];
    // Every format takes the value once or twice; a spare argument is harmless.
    int n = std::swprintf(text, kErrorTextChars, format, systemError, static_cast<unsigned>(systemError));
    if (n < 0) text[kErrorTextChars - 1] = L'\0';
    return text;
}

}  // namespace QVO::IO
