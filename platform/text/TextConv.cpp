// iconv-based conversions between wide text and code pages.
#include "platform/text/TextConv.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace QVO::Platform::Text {
namespace {

constexpr size_t kWideUnit = sizeof(wchar_t);

// Converts `inBytes` from one charset to another; an unconvertible or invalid input unit of
// `inUnit` bytes is replaced by `replacement` and skipped. False when iconv has no such
// conversion.
bool Convert(const std::string& to, const std::string& from, const char* in, size_t inBytes, size_t inUnit,
             std::string_view replacement, std::string& out, bool* lossy) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
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
        if (lossy) *lossy = true;
        size_t skip = left < inUnit ? left : inUnit;
        src += skip;
        left -= skip;
    }
    // Flush any shift state (stateful encodings end in their initial state).
    char* dst = chunk.data();
    size_t room = chunk.size();
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(chunk.data(), chunk.size() - room);
    iconv_close(cd);
    return true;
}

bool Convertible(const std::string& charset) {
    if (charset.empty()) return false;
    iconv_t cd = iconv_open("WCHAR_T", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

std::string NameOf(int codePage) {
    if (codePage == kCodePageUtf8) return "UTF-8";
    if (codePage == kCodePageAscii) return "ASCII";
    if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage == 28605) return "ISO-8859-15";
    if (codePage <= 0) return {};
    return "CP" + std::to_string(codePage);
}

}  // namespace

std::string CharsetOfCodePage(int codePage) {
    std::string name = NameOf(codePage);
    return Convertible(name) ? name : std::string();
}

std::string WideToCodePage(std::wstring_view text, int codePage, bool* lossy) {
    if (lossy) *lossy = false;
    std::string out;
    if (text.empty()) return out;
    if (!Convert(NameOf(codePage), "WCHAR_T", reinterpret_cast<const char*>(text.data()), text.size() * kWideUnit,
                 kWideUnit, "?", out, lossy)) {
        if (lossy) *lossy = true;
        return {};
    }
    return out;
}

std::wstring CodePageToWide(std::string_view bytes, int codePage) {
    static const std::string kWideQuestion = [] {
        wchar_t q = L'?';
        return std::string(reinterpret_cast<const char*>(&q), sizeof q);
    }();
    std::string raw;
    if (bytes.empty() ||
        !Convert("WCHAR_T", NameOf(codePage), bytes.data(), bytes.size(), 1, kWideQuestion, raw, nullptr))
        return {};
    std::wstring wide(raw.size() / kWideUnit, L'\0');
    if (!wide.empty()) std::memcpy(wide.data(), raw.data(), wide.size() * kWideUnit);
    return wide;
}

int SystemAnsiCodePage() {
    // Read once: the setting is process-wide, like the code page of a Windows session.
    static const int codePage = [] {
        const char* setting = std::getenv("QUVO_ANSI_CODEPAGE");
        if (setting != nullptr) {
            int value = std::atoi(setting);
            if (Convertible(NameOf(value))) return value;
        }
        return 1252;
    }();
    return codePage;
}

}  // namespace QVO::Platform::Text
