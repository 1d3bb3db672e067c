// Glyph rasterising with stb_truetype and code-page decoding with iconv.
#include "sim/Render.h"

#include "platform/sync/Mutex.h"

#include <iconv.h>

#include <array>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

namespace QVO::Sim {

namespace {

constexpr const char* kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> data;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

// One lock for the code tables and the converters: a leaf lock, taken under a printer's
// lock, it never waits for another.
QVO::Platform::Mutex codecMutex;

// Converters stay open for the life of the process. Opening one loads the code page's module
// and closing the last unloads it; a module loaded on one thread and unloaded on another
// (the host converting text while the printer decodes it) is loader work ThreadSanitizer
// cannot follow, and reopening per character is slow besides.
struct Converters {
    std::map<std::string, iconv_t> open;
    ~Converters() {
        for (auto& [charset, cd] : open)
            if (cd != iconv_t(-1)) ::iconv_close(cd);
    }
};
Converters converters QUVO_GUARDED_BY(codecMutex);

// One byte or byte pair through iconv into a code point; 0 when it does not convert.
char32_t ConvertWithIconv(const char* charset, const uint8_t* bytes, size_t len) QUVO_REQUIRES(codecMutex) {
    auto found = converters.open.find(charset);
    if (found == converters.open.end())
        found = converters.open.emplace(charset, ::iconv_open("UTF-32LE", charset)).first;
    iconv_t cd = found->second;
    if (cd == iconv_t(-1)) return 0;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start after a failed conversion
    char in[4];
    std::memcpy(in, bytes, len);
    char out[8] = {};
    char* inp = in;
    char* outp = out;
    size_t inLeft = len, outLeft = sizeof out;
    size_t r = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    // Some converters (CP1255, CP1258) hold a letter back in case a combining mark follows.
    if (r != size_t(-1)) r = ::iconv(cd, nullptr, nullptr, &outp, &outLeft);
    if (r == size_t(-1) || outLeft != 4) return 0;
    char32_t cp;
    std::memcpy(&cp, out, 4);
    return cp;
}

using ByteTable = std::array<char32_t, 256>;

// Tables are built once per code table from iconv and shared by every printer.
std::map<int, std::unique_ptr<ByteTable>> tables QUVO_GUARDED_BY(codecMutex);

const ByteTable& TableFor(int codeTable) {
    QVO::Platform::MutexLock lock(codecMutex);
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
        case 0:
            return "CP437";
        case 1:
            return "SHIFT_JIS";  // half-width katakana
        case 2:
            return "CP850";
        case 3:
            return "CP860";
        case 4:
            return "CP863";
        case 5:
            return "CP865";
        case 16:
            return "CP1252";
        case 17:
            return "CP866";
        case 18:
            return "CP852";
        case 19:
            return "CP858";
        case 21:
            return "CP874";
        case 36:
            return "CP862";
        case 37:
            return "CP864";
        case 49:
            return "CP1255";
        case 50:
            return "CP1256";
        default:
            return "";
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
        U"#$à°ç§^`éùè¨",   // 1 France
        U"#$§ÄÖÜ^`äöüß",   // 2 Germany
        U"£$@[\\]^`{|}~",  // 3 United Kingdom
        U"#$@ÆØÅ^`æøå~",   // 4 Denmark I
        U"#¤ÉÄÖÅÜéäöåü",   // 5 Sweden
        U"#$@°\\é^ùàòèì",  // 6 Italy
        U"₧$@¡Ñ¿^`¨ñ}~",   // 7 Spain I
        U"#$@[¥]^`{|}~",   // 8 Japan
        U"#¤ÉÆØÅÜéæøåü",   // 9 Norway
        U"#$ÉÆØÅÜéæøåü",   // 10 Denmark II
    };
    if (intlSet < 0 || intlSet >= int(std::size(kSets)) || c >= 0x80) return c;
    for (int i = 0; i < 12; ++i)
        if (char32_t(uint8_t(kPositions[i])) == c) return kSets[intlSet][i];
    return c;
}

char32_t DecodeDoubleByte(int intlSet, uint8_t lead, uint8_t trail) {
    QVO::Platform::MutexLock lock(codecMutex);
    const uint8_t pair[2] = {lead, trail};
    const char32_t cp = ConvertWithIconv(intlSet == 8 ? "SHIFT_JIS" : "GB18030", pair, 2);
    return cp ? cp : U'\uFFFD';
}

// One font file and the glyphs rasterised from it, shared by every printer that draws
// with it: rasterising is the dear part of drawing text, and a glyph never changes.
struct GlyphSource::Font {
    std::vector<uint8_t> data;
    stbtt_fontinfo info{};  // points into data; read-only once the font is loaded
    bool usable = false;
    QVO::Platform::Mutex mutex;  // a leaf lock, held for one lookup or one rasterising
    // Entries are never removed, so a reference handed out stays valid.
    std::map<std::pair<char32_t, int>, std::vector<uint8_t>> cells QUVO_GUARDED_BY(mutex);
};

namespace {

// Font files by path, loaded once per process.
QVO::Platform::Mutex fontsMutex;
std::map<std::string, std::shared_ptr<GlyphSource::Font>> fonts QUVO_GUARDED_BY(fontsMutex);

// Coverage of `cp` in a w × h cell: scaled so one advance fills the cell width, which keeps
// every glyph of a monospace font inside it.
std::vector<uint8_t> Rasterise(const stbtt_fontinfo& font, char32_t cp, int w, int h) {
    std::vector<uint8_t> cell(size_t(w) * size_t(h), 0);
    int advance, lsb;
    stbtt_GetCodepointHMetrics(&font, 'M', &advance, &lsb);
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    float scale = float(w) / float(advance);
    if ((ascent - descent) * scale > float(h)) scale = float(h) / float(ascent - descent);
    const int baseline = int(float(ascent) * scale + (float(h) - float(ascent - descent) * scale) / 2);
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBox(&font, int(cp), scale, scale, &x0, &y0, &x1, &y1);
    const int gw = x1 - x0, gh = y1 - y0;
    if (gw <= 0 || gh <= 0) return cell;
    std::vector<uint8_t> bmp(size_t(gw) * size_t(gh));
    stbtt_MakeCodepointBitmap(&font, bmp.data(), gw, gh, gw, scale, scale, int(cp));
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
            const int cx = x0 + x, cy = baseline + y0 + y;
            if (cx >= 0 && cx < w && cy >= 0 && cy < h)
                cell[size_t(cy) * size_t(w) + size_t(cx)] = bmp[size_t(y) * size_t(gw) + size_t(x)];
        }
    return cell;
}

// No font file: a hollow box per character keeps the layout visible.
std::vector<uint8_t> HollowBox(int w, int h) {
    std::vector<uint8_t> cell(size_t(w) * size_t(h), 0);
    for (int x = 1; x < w - 1; ++x)
        cell[size_t(2) * size_t(w) + size_t(x)] = cell[size_t(h - 3) * size_t(w) + size_t(x)] = 255;
    for (int y = 2; y < h - 2; ++y) cell[size_t(y) * size_t(w) + 1] = cell[size_t(y) * size_t(w) + size_t(w - 2)] = 255;
    return cell;
}

}  // namespace

GlyphSource::GlyphSource() {
    const char* env = std::getenv("QUVO_SIM_FONT");
    const std::string path = env && *env ? env : kDefaultFont;
    QVO::Platform::MutexLock lock(fontsMutex);
    std::shared_ptr<Font>& font = fonts[path];
    if (!font) {
        font = std::make_shared<Font>();
        font->data = ReadFile(path);
        font->usable = !font->data.empty() && stbtt_InitFont(&font->info, font->data.data(),
                                                             stbtt_GetFontOffsetForIndex(font->data.data(), 0));
    }
    font_ = font;
}

GlyphSource::~GlyphSource() = default;

const std::vector<uint8_t>& GlyphSource::Glyph(char32_t cp, int w, int h) {
    QVO::Platform::MutexLock lock(font_->mutex);
    const auto key = std::make_pair(cp, (w << 8) | h);
    auto it = font_->cells.find(key);
    if (it != font_->cells.end()) return it->second;
    std::vector<uint8_t> cell = cp == U' '      ? std::vector<uint8_t>(size_t(w) * size_t(h), 0)
                                : font_->usable ? Rasterise(font_->info, cp, w, h)
                                                : HollowBox(w, h);
    return font_->cells.emplace(key, std::move(cell)).first->second;
}

}  // namespace QVO::Sim
