// Small text routines the forms share: splitting lists, counting parts, trimming blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace QVO::Setup {

// Splits at every `separator`; an empty text gives an empty list, "a,,b" gives "a", "", "b".
std::vector<std::wstring> SplitText(std::wstring_view text, std::wstring_view separator);

// Occurrences of `part` that start after the first character ("....1" counts 4 dots, ".1.2"
// counts 1): the first character never counts.
size_t CountOccurrences(std::wstring_view text, std::wstring_view part);

// Position of the n-th (1-based) occurrence of `part`, or npos.
size_t NthOccurrence(std::wstring_view text, std::wstring_view part, size_t n);

// Without leading and trailing blanks (spaces, tabs, line ends).
std::wstring Trim(std::wstring_view text);

// Case-insensitive comparisons as the registry makes them.
bool SameText(std::wstring_view a, std::wstring_view b);
bool ContainsText(std::wstring_view text, std::wstring_view part);

// A decimal number of digits only (no sign, no blanks) that fits `max`; false otherwise.
bool ParseDecimal(std::wstring_view text, unsigned long long max, unsigned long long& value);

// UTF-8 of wide text and back, for files and the terminal.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace QVO::Setup
