// iconv-based conversions between wide text and UTF-8 or the ANSI code page.
#include "so/io/TextConv.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace QVO::IO {
namespace {

// Converts `inBytes` from one charset to another; an unconvertible or invalid input unit
// of `inUnit` bytes is replaced by `replacement` and skipped, so one bad character never
// loses the rest of a name.
std::string Convert(const char* to, const char* from, const char* in, size_t inBytes, size_t inUnit,
                    std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out;
    std::vector<char> chunk(256);
    char* src = const_cast<char*>(in);
    size_t left = inBytes;
    while (left > 0) {
        char* dst = chunk.data();
        size_t room = chunk.size();
        size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(chunk.data(), chunk.size() - room);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: replace one input unit and carry on.
        out.append(replacement);
        size_t skip = left < inUnit ? left : inUnit;
        src += skip;
        left -= skip;
    }
    iconv_close(cd);
    return out;
}

std::wstring BytesToWide(const std::string& bytes) {
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

const std::string kWideQuestion = [] {
    wchar_t q = L'?';
    return std::string(reinterpret_cast<const char*>(&q), sizeof q);
}();

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
    return Convert("UTF-8", "WCHAR_T", reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                   sizeof(wchar_t), "?");
}

std::wstring Utf8ToWide(std::string_view text) {
    return BytesToWide(Convert("WCHAR_T", "UTF-8", text.data(), text.size(), 1, kWideQuestion));
}

std::string WideToAnsi(std::wstring_view text) {
    return Convert("CP1252", "WCHAR_T", reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                   sizeof(wchar_t), "?");
}

std::wstring AnsiToWide(std::string_view text) {
    return BytesToWide(Convert("WCHAR_T", "CP1252", text.data(), text.size(), 1, kWideQuestion));
}

}  // namespace QVO::IO
