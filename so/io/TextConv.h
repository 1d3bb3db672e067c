// Conversions between the ports' wide texts and the byte strings the system calls take.
#pragma once

#include <string>
#include <string_view>

namespace QVO::IO {

// Wide text to UTF-8, for file names handed to the kernel. Characters that cannot be
// encoded become '?'.
std::string WideToUtf8(std::wstring_view text);

// UTF-8 (file names read back from the file system) to wide text; invalid bytes become '?'.
std::wstring Utf8ToWide(std::string_view text);

// Wide text to the system ANSI code page (1252), for the fields the settings keep as
// ANSI text. Characters outside the code page become '?'.
std::string WideToAnsi(std::wstring_view text);

// ANSI (1252) back to wide text.
std::wstring AnsiToWide(std::string_view text);

}  // namespace QVO::IO
