// UTF-8 <-> wchar_t for file paths and diagnostics inside the platform runtime (printer code
// pages are not this: they go through iconv in platform/text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace QVO::Platform::Com {

inline std::string WideToUtf8(std::wstring_view w) {
    std::string out;
    for (wchar_t wc : w) {
        auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | ((c >> 18) & 0x07));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Malformed sequences decode byte by byte rather than being dropped, so nothing is lost.
inline std::wstring Utf8ToWide(std::string_view s) {
    std::wstring out;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra >= s.size()) {
            out += wchar_t(c);
            ++i;
            continue;
        }
        uint32_t value = c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            value = (value << 6) | (cc & 0x3F);
        }
        if (!ok) {
            out += wchar_t(c);
            ++i;
            continue;
        }
        out += wchar_t(value);
        i += extra + 1;
    }
    return out;
}

}  // namespace QVO::Platform::Com
