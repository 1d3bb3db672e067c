// Splits a PortSettings text into its fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace QVO::IO {

// The text thrown (as std::string) when the text or the separator set is empty.
// ParsePortSettings catches it and returns it as the reason.
inline constexpr char kTokenizeEmptyError[] = "tokenize: empty  string";

// Splits `text` at any of the `separators`. An empty piece becomes `filler`, or is dropped
// when `skipEmpty` is set. Throws std::string(kTokenizeEmptyError) for an empty text or
// an empty separator set. Pure function, safe from any thread.
std::vector<std::wstring> Tokenize(std::wstring_view text, std::wstring_view separators, bool skipEmpty,
                                   std::wstring_view filler);

}  // namespace QVO::IO
