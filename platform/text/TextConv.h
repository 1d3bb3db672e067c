// The one place where wide text becomes bytes and back: UTF-8, the system ANSI code page and
// the printer code pages, through glibc's iconv.
//
// wchar_t is 32 bits here, so wide text holds code points. Every function is pure and
// thread-safe (each call opens its own converter).
#pragma once

#include <string>
#include <string_view>

namespace QVO::Platform::Text {

// Windows code page numbers for the special cases.
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageAscii = 20127;

// The iconv name of a Windows code page (437 -> "CP437", 65001 -> "UTF-8", 28591 ->
// "ISO-8859-1"); empty when this system cannot convert it.
std::string CharsetOfCodePage(int codePage);

// Wide text to the bytes of `codePage`. A character the code page lacks becomes '?', so one
// character never loses the rest of the text; *lossy (if given) tells whether that happened.
// An unknown code page gives an empty result and *lossy = true for non-empty input.
std::string WideToCodePage(std::wstring_view text, int codePage, bool* lossy = nullptr);
// Bytes of `codePage` to wide text; an invalid byte becomes '?'.
std::wstring CodePageToWide(std::string_view bytes, int codePage);

inline std::string WideToUtf8(std::wstring_view text) { return WideToCodePage(text, kCodePageUtf8); }
inline std::wstring Utf8ToWide(std::string_view bytes) { return CodePageToWide(bytes, kCodePageUtf8); }

// The "system ANSI code page" that Windows programs use for narrow text: a setting of this
// runtime, $QUVO_ANSI_CODEPAGE when it names a code page this system converts, else 1252.
int SystemAnsiCodePage();
inline std::string WideToAnsi(std::wstring_view text) { return WideToCodePage(text, SystemAnsiCodePage()); }
inline std::wstring AnsiToWide(std::string_view bytes) { return CodePageToWide(bytes, SystemAnsiCodePage()); }

}  // namespace QVO::Platform::Text
