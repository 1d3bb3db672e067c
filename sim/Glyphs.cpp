// Glyph rasterising with stb_truetype and code-page decoding with iconv.
#include "sim/Render.h"

#include <iconv.h>

#include <array>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

namespace QVO::Sim {

namespace {

constexpr const char* kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

std::vector<uint8_t> ReadFile(const char* path) {
    std::vector<uint8_t> data;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

// One byte or byte pair through iconv into a code point; 0 when it does not convert.
char32_t ConvertWithIconv(const char* charset, const uint8_t* bytes, size_t len) {
    iconv_t cd = ::iconv_open("UTF-32LE", charset);
    if (cd == iconv_t(-1)) return 0;
    char in[4];
    std::memcpy(in, bytes, len);
    char out[8] = {};
    char* inp = in;
    char* outp = out;
    size_t inLeft = len, outLeft = sizeof out;
    const size_t r = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    ::iconv_close(cd);
    if (r == size_t(-1) || outLeft != 4) return 0;
    char32_t cp;
    std::memcpy(&cp, out, 4);
    return cp;
}

using ByteTable = std::array<char32_t, 256>;

// Tables are built once per code table from iconv and shared by every printer.
const ByteTable& TableFor(int codeTable) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<ByteTable>> tables;
    std::lock_guard lock(mutex);
    auto& slot = tables[codeTable];
    if (!slot) {
        slot = std::make_unique<ByteTable>();
        const char* cs = CodeTableCharset(codeTable);
        if (!*cs) cs = "CP437";
        for (int b = 0; b < 256; ++b) {
            const uint8_t byte = uint8_t(b);
            char32_t cp = b < 0x80 ? char32_t(b) : ConvertWithIconv(cs, &byte, 1);
            (*slot)[size_t(b)] = cp ? cp : U'\uFFFD';
        }
    }
    return *slot;
}

}  // namespace

const char* CodeTableCharset(int codeTable) {
    switch (codeTable) {
        case 0: return "CP437";
        case 1: return "SHIFT_JIS";  // half-width katakana
        case 2: return "CP850";
        case 3: return "CP860";
        case 4: return "CP863";
        case 5: return "CP865";
        case 16: return "CP1252";
        case 17: return "CP866";
        case 18: return "CP852";
        case 19: return "CP858";
        case 21: return "CP874";
        case 36: return "CP862";
        case 37: return "CP864";
        case 49: return "CP1255";
        case 50: return "CP1256";
        default: return "";
    }
}

char32_t DecodeSingleByte(int codeTable, uint8_t b) {
    if (b < 0x80) return b;
    return TableFor(codeTable)[b];
}

char32_t ApplyInternationalSet(int intlSet, char32_t c) {
    // The twelve ASCII positions a national character set replaces, in this order.
    static constexpr char kPositions[] = "#$@[\\]^`{|}~";
    static constexpr const char32_t* kSets[] = {
        U"#$@[\\]^`{|}~",  // 0 USA
        U"#$à°ç§^`éùè¨",    // 1 France
        U"#$§ÄÖÜ^`äöüß",    // 2 Germany
        U"£$@[\\]^`{|}~",  // 3 United Kingdom
        U"#$@ÆØÅ^`æøå~",    // 4 Denmark I
        U"#¤ÉÄÖÅÜéäöåü",    // 5 Sweden
        U"#$@°\\é^ùàòèì",  // 6 Italy
        U"₧$@¡Ñ¿^`¨ñ}~",    // 7 Spain I
        U"#$@[¥]^`{|}~",    // 8 Japan
        U"#¤ÉÆØÅÜéæøåü",    // 9 Norway
        U"#$ÉÆØÅÜéæøåü",    // 10 Denmark II
    };
    if (intlSet < 0 || intlSet >= int(std::size(kSets)) || c >= 0x80) return c;
    for (int i = 0; i < 12; ++i)
        if (char32_t(uint8_t(kPositions[i])) == c) return kSets[intlSet][i];
    return c;
}

char32_t DecodeDoubleByte(int intlSet, uint8_t lead, uint8_t trail) {
    const uint8_t pair[2] = {lead, trail};
    const char32_t cp = ConvertWithIconv(intlSet == 8 ? "SHIFT_JIS" : "GB18030", pair, 2);
    return cp ? cp : U'\uFFFD';
}

struct GlyphSource::FontInfo {
    stbtt_fontinfo font;
};

GlyphSource::GlyphSource() {
    const char* path = std::getenv("QUVO_SIM_FONT");
    fontData_ = ReadFile(path && *path ? path : kDefaultFont);
    if (fontData_.empty()) return;
    info_ = new FontInfo;  // stb's C structure; released in the destructor
    if (!stbtt_InitFont(&info_->font, fontData_.data(), stbtt_GetFontOffsetForIndex(fontData_.data(), 0))) {
        delete info_;
        info_ = nullptr;
        fontData_.clear();
    }
}

GlyphSource::~GlyphSource() { delete info_; }

const std::vector<uint8_t>& GlyphSource::Glyph(char32_t cp, int w, int h) {
    const auto key = std::make_pair(cp, (w << 8) | h);
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;
    std::vector<uint8_t> cell(size_t(w) * size_t(h), 0);
    if (info_ && cp != U' ') {
        // Scale so one advance fills the cell width; a monospace font keeps every glyph in it.
        int advance, lsb;
        stbtt_GetCodepointHMetrics(&info_->font, 'M', &advance, &lsb);
        int ascent, descent, gap;
        stbtt_GetFontVMetrics(&info_->font, &ascent, &descent, &gap);
        float scale = float(w) / float(advance);
        if ((ascent - descent) * scale > float(h)) scale = float(h) / float(ascent - descent);
        const int baseline = int(float(ascent) * scale + (float(h) - float(ascent - descent) * scale) / 2);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBox(&info_->font, int(cp), scale, scale, &x0, &y0, &x1, &y1);
        const int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            std::vector<uint8_t> bmp(size_t(gw) * size_t(gh));
            stbtt_MakeCodepointBitmap(&info_->font, bmp.data(), gw, gh, gw, scale, scale, int(cp));
            int lsbPx = 0;
            stbtt_GetCodepointHMetrics(&info_->font, int(cp), &advance, &lsb);
            lsbPx = x0;
            for (int y = 0; y < gh; ++y)
                for (int x = 0; x < gw; ++x) {
                    const int cx = x + lsbPx, cy = baseline + y0 + y;
                    if (cx >= 0 && cx < w && cy >= 0 && cy < h)
                        cell[size_t(cy) * size_t(w) + size_t(cx)] = bmp[size_t(y) * size_t(gw) + size_t(x)];
                }
        }
    } else if (!info_ && cp != U' ') {
        // No font file: a hollow box per character keeps the layout visible.
        for (int x = 1; x < w - 1; ++x) cell[size_t(2) * size_t(w) + size_t(x)] = cell[size_t(h - 3) * size_t(w) + size_t(x)] = 255;
        for (int y = 2; y < h - 2; ++y) cell[size_t(y) * size_t(w) + 1] = cell[size_t(y) * size_t(w) + size_t(w - 2)] = 255;
    }
    return cache_.emplace(key, std::move(cell)).first->second;
}

}  // namespace QVO::Sim
