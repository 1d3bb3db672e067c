// Building blocks of the paper picture: glyphs, code pages and barcode modules.
#pragma once

#include "sim/Paper.h"
#include "sim/PrinterState.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace QVO::Sim {

// Rasterises characters of one monospace TrueType font ($QUVO_SIM_FONT, else DejaVu Sans
// Mono) into fixed cells. The font and its glyphs are shared by every GlyphSource of the
// process; thread-safe (a leaf lock guards the shared cache).
class GlyphSource {
public:
    struct Font;

    GlyphSource();
    ~GlyphSource();
    GlyphSource(const GlyphSource&) = delete;
    GlyphSource& operator=(const GlyphSource&) = delete;

    // Coverage 0 (paper) .. 255 (ink) of the character in a w × h cell; the reference stays
    // valid for the life of the process.
    const std::vector<uint8_t>& Glyph(char32_t cp, int w, int h);

private:
    std::shared_ptr<Font> font_;
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

SymbolModules EncodeLinear(int symbology, const std::vector<uint8_t>& data);  // GS k m
SymbolModules EncodeQr(const QrSettings& qr);
SymbolModules EncodePdf417(const Pdf417Settings& pdf);
// Code 128 data as the printer receives it ("{B" code-set prefixes, "{C" digit pairs as
// bytes) turned into the characters it stands for.
std::string Code128Text(const std::vector<uint8_t>& data);

}  // namespace QVO::Sim
