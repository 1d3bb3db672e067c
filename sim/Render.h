// Building blocks of the paper picture: glyphs, code pages and barcode modules.
#pragma once

#include "sim/Paper.h"
#include "sim/PrinterState.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace QVO::Sim {

// Rasterises characters of one monospace TrueType font into fixed cells and caches them.
// Not thread-safe: owned by one Paper.
class GlyphSource {
public:
    GlyphSource();
    ~GlyphSource();
    GlyphSource(const GlyphSource&) = delete;
    GlyphSource& operator=(const GlyphSource&) = delete;

    bool loaded() const { return !fontData_.empty(); }
    // Coverage 0 (paper) .. 255 (ink) of the character in a w × h cell.
    const std::vector<uint8_t>& Glyph(char32_t cp, int w, int h);

private:
    struct FontInfo;
    std::vector<uint8_t> fontData_;
    FontInfo* info_ = nullptr;  // owned; the stb structure points into fontData_
    std::map<std::pair<char32_t, int>, std::vector<uint8_t>> cache_;
};

// The character a printer prints for byte b in code table n (ESC t n).
char32_t DecodeSingleByte(int codeTable, uint8_t b);
// What an ASCII character becomes under international character set n (ESC R n).
char32_t ApplyInternationalSet(int intlSet, char32_t c);
// The iconv name of a code table, or "" for tables this printer draws as code page 437.
const char* CodeTableCharset(int codeTable);
// A two-byte character in Kanji mode: Shift_JIS for the Japanese set, else GB18030.
char32_t DecodeDoubleByte(int intlSet, uint8_t lead, uint8_t trail);

// The dark modules of an encoded symbol, rows × cols, plus its human-readable text.
struct SymbolModules {
    bool ok = false;
    std::string error;
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> on;       // rows × cols
    std::vector<float> rowHeight;  // relative heights of the rows
    std::string hri;
    bool isSet(int r, int c) const { return on[size_t(r) * size_t(cols) + size_t(c)] != 0; }
};

SymbolModules EncodeLinear(int m, const std::vector<uint8_t>& data);
SymbolModules EncodeQr(const QrSettings& qr);
SymbolModules EncodePdf417(const Pdf417Settings& pdf);
// Code 128 data as the printer receives it ("{B" code-set prefixes, "{C" digit pairs as
// bytes) turned into the characters it stands for.
std::string Code128Text(const std::vector<uint8_t>& data);

}  // namespace QVO::Sim
