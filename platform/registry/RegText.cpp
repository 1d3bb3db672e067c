// Text conversions for the registry store: UTF-8 and UTF-16LE by hand (the store needs exact
// error offsets and must keep unpaired surrogates of stored data), Windows-1252 through iconv.
#include "platform/registry/RegText.h"

#include <cerrno>
#include <clocale>
#include <cwctype>
#include <iconv.h>
#include <locale.h>

namespace QVO::Platform::Registry::Text {

namespace {

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The code point of the UTF-8 sequence at `i`, or -1 when it is malformed, overlong, a
// surrogate or beyond U+10FFFF. Advances `i` past a good sequence.
long DecodeUtf8Char(std::string_view in, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(in[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length;
    uint32_t c;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return -1;
    }
    if (in.size() - i < length) return -1;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return -1;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) return -1;
    i += length;
    return static_cast<long>(c);
}

// Windows-1252 through glibc's converter, turned into a table once. glibc refuses the five
// unassigned bytes, which Windows maps to the C1 control of the same number; they keep that.
class Cp1252Table {
public:
    Cp1252Table() {
        for (unsigned c = 0; c < 256; ++c) table_[c] = static_cast<wchar_t>(c);
        iconv_t cd = iconv_open("WCHAR_T", "CP1252");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (unsigned c = 0x80; c < 256; ++c) {
            char inByte = static_cast<char>(c);
            wchar_t wide = 0;
            char* inPtr = &inByte;
            size_t inLeft = 1;
            char* outPtr = reinterpret_cast<char*>(&wide);
            size_t outLeft = sizeof wide;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) table_[c] = wide;
        }
        iconv_close(cd);
    }

    wchar_t operator[](unsigned char c) const { return table_[c]; }

private:
    wchar_t table_[256];
};

locale_t FoldingLocale() {
    // C.UTF-8 is built into glibc, so this never depends on installed locales; without it
    // the folding degrades to ASCII, still the same in every process of this machine.
    static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

bool IsScalarValue(wchar_t c) {
    const auto u = static_cast<uint32_t>(c);
    return u <= 0x10FFFF && !IsSurrogate(u);
}

bool FitsUtf16(std::wstring_view s) {
    for (wchar_t c : s)
        if (static_cast<uint32_t>(c) > 0x10FFFF) return false;
    return true;
}

bool DecodeUtf8(std::string_view in, std::wstring& out, size_t& badOffset) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const size_t start = i;
        const long c = DecodeUtf8Char(in, i);
        if (c < 0) {
            badOffset = start;
            return false;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return true;
}

bool DecodeUtf16Le(std::string_view in, std::wstring& out, size_t& badOffset) {
    out.clear();
    out.reserve(in.size() / 2);
    const auto unit = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<uint8_t>(in[k]) | (static_cast<uint8_t>(in[k + 1]) << 8));
    };
    size_t i = 0;
    for (; i + 1 < in.size(); i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < in.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        if (IsSurrogate(u)) {
            badOffset = i;
            return false;
        }
        out.push_back(static_cast<wchar_t>(u));
    }
    if (i != in.size()) {  // an odd byte count: the file was cut inside a character
        badOffset = i;
        return false;
    }
    return true;
}

std::wstring DecodeCp1252(std::string_view in) {
    static const Cp1252Table table;
    std::wstring out;
    out.reserve(in.size());
    for (unsigned char c : in) out.push_back(table[c]);
    return out;
}

std::wstring DecodeUtf16Units(const uint8_t* data, size_t size) {
    std::wstring out;
    out.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint32_t u = data[i] | (data[i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < size) {
            const uint32_t low = data[i + 2] | (data[i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
                i += 2;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(u));
    }
    return out;
}

std::string EncodeUtf8(std::wstring_view in) {
    std::string out;
    out.reserve(in.size());
    for (wchar_t wc : in) {
        const auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void AppendUtf16Le(std::wstring_view in, std::vector<uint8_t>& out) {
    const auto put = [&](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (wchar_t wc : in) {
        const auto c = static_cast<uint32_t>(wc);
        if (c < 0x10000) {
            put(c);
        } else {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
}

std::wstring FoldCase(std::wstring_view s) {
    const locale_t loc = FoldingLocale();
    std::wstring out(s);
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        } else if (c >= 0x80 && loc != static_cast<locale_t>(0) && IsScalarValue(c)) {
            c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc));
        }
    }
    return out;
}

}  // namespace QVO::Platform::Registry::Text
