// Text conversions the .reg format needs (UTF-8, UTF-16LE, Windows-1252) and name case folding.
//
// wchar_t is 32 bits here, so wide text holds code points; UTF-16 appears only in files and
// in the data of hex(1)/hex(2)/hex(7) values. All functions are pure and thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::Platform::Registry::Text {

// Strict decoders for whole files. On failure they return false and set `badOffset` to the
// byte offset of the first bad sequence, so the caller can name the line.
bool DecodeUtf8(std::string_view in, std::wstring& out, size_t& badOffset);
bool DecodeUtf16Le(std::string_view in, std::wstring& out, size_t& badOffset);

// Windows-1252, as Windows converts it: the five bytes the code page leaves undefined become
// U+0081, U+008D, U+008F, U+0090 and U+009D.
std::wstring DecodeCp1252(std::string_view in);

// Lenient UTF-16LE for value data: an unpaired surrogate is kept as its code unit so that
// whatever was stored comes back unchanged; an odd trailing byte is dropped.
std::wstring DecodeUtf16Units(const uint8_t* data, size_t size);

// UTF-8 of text made of Unicode scalar values (see IsScalarValue).
std::string EncodeUtf8(std::wstring_view in);
// UTF-16LE; a lone surrogate code point is written as its single unit (the inverse of
// DecodeUtf16Units). Characters above U+10FFFF must have been refused before.
void AppendUtf16Le(std::wstring_view in, std::vector<uint8_t>& out);

// A code point that UTF-8 and UTF-16 can carry: up to U+10FFFF and not a surrogate.
bool IsScalarValue(wchar_t c);
// Every character fits a UTF-16 code unit sequence (surrogates included, as single units).
bool FitsUtf16(std::wstring_view s);

// The form names are compared and sorted in: simple upper-casing, independent of the
// process locale so every process agrees on the order of a hive file.
std::wstring FoldCase(std::wstring_view s);

}  // namespace QVO::Platform::Registry::Text
