// Formatting of the port error texts.
#include "so/io/ErrorText.h"

#include <cstring>

#include "platform/text/TextConv.h"

namespace QVO::IO {
namespace {

std::wstring Cut(std::wstring text) {
    if (text.size() > kErrorTextChars - 1) text.resize(kErrorTextChars - 1);
    return text;
}

}  // namespace

std::wstring FormatPortError(std::wstring_view what, int systemError) {
    char buffer[128];
    // The GNU strerror_r returns its text, which may or may not be in `buffer`.
    const char* reason = ::strerror_r(systemError, buffer, sizeof buffer);
    return Cut(std::wstring(what) + L": " + Platform::Text::Utf8ToWide(reason) + L" (error " +
               std::to_wstring(systemError) + L")");
}

std::wstring PortErrorText(std::wstring_view what, std::wstring_view detail) {
    std::wstring text(what);
    if (!detail.empty()) text += L": " + std::wstring(detail);
    return Cut(std::move(text));
}

std::wstring WithBytesSent(std::wstring_view what, size_t sent, size_t total) {
    return Cut(std::wstring(what) + L"; " + std::to_wstring(sent) + L" of " + std::to_wstring(total) + L" bytes sent");
}

}  // namespace QVO::IO
