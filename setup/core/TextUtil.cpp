// Small text routines the forms share.
#include "setup/core/TextUtil.h"

#include "platform/registry/RegText.h"

namespace QVO::Setup {

namespace RegText = QVO::Platform::Registry::Text;

std::vector<std::wstring> SplitText(std::wstring_view text, std::wstring_view separator) {
    std::vector<std::wstring> parts;
    if (text.empty()) return parts;
    if (separator.empty()) return {std::wstring(text)};
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::wstring_view::npos; at = text.find(separator, start)) {
        parts.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    parts.emplace_back(text.substr(start));
    return parts;
}

size_t CountOccurrences(std::wstring_view text, std::wstring_view part) {
    if (part.empty() || text.size() < 2) return 0;
    size_t count = 0;
    for (size_t at = text.find(part, 1); at != std::wstring_view::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

size_t NthOccurrence(std::wstring_view text, std::wstring_view part, size_t n) {
    if (part.empty() || n == 0) return std::wstring_view::npos;
    size_t at = text.find(part);
    for (size_t i = 1; i < n && at != std::wstring_view::npos; ++i) at = text.find(part, at + part.size());
    return at;
}

std::wstring Trim(std::wstring_view text) {
    constexpr std::wstring_view kBlanks = L" \t\r\n\f\v\u3000";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return std::wstring(text.substr(first, last - first + 1));
}

bool SameText(std::wstring_view a, std::wstring_view b) { return RegText::FoldCase(a) == RegText::FoldCase(b); }

bool ContainsText(std::wstring_view text, std::wstring_view part) {
    return RegText::FoldCase(text).find(RegText::FoldCase(part)) != std::wstring::npos;
}

bool ParseDecimal(std::wstring_view text, unsigned long long max, unsigned long long& value) {
    constexpr unsigned long long kBase = 10;
    if (text.empty()) return false;
    unsigned long long v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const auto digit = static_cast<unsigned long long>(c - L'0');
        if (v > (max - digit) / kBase) return false;
        v = v * kBase + digit;
    }
    value = v;
    return true;
}

std::string ToUtf8(std::wstring_view text) { return RegText::EncodeUtf8(text); }

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    size_t bad = 0;
    if (RegText::DecodeUtf8(text, out, bad)) return out;
    // Not UTF-8: take it as the ANSI code page, as an editor on Windows would have saved it.
    return RegText::DecodeCp1252(text);
}

}  // namespace QVO::Setup
