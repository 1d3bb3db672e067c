// The paper roll: line layout, page mode, images, symbols, cut marks and the PNG file.
#include "sim/Paper.h"

#include "sim/Render.h"

#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace QVO::Sim {

namespace {

constexpr int kBottomMargin = 24;

struct FontCell {
    int w, h;
};
constexpr FontCell kFonts[2] = {{12, 24}, {9, 17}};

Canvas Blank(int w, int h) {
    Canvas c;
    c.Resize(std::max(w, 0), std::max(h, 0));
    return c;
}

void Blit(Canvas& dst, const Canvas& src, int x0, int y0) {
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x) {
            const int dx = x0 + x, dy = y0 + y;
            if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
            uint8_t& d = dst.px[size_t(dy) * size_t(dst.width) + size_t(dx)];
            d = std::min(d, src.Get(x, y));
        }
}

Canvas Rotate180(const Canvas& c) {
    Canvas r = c;
    std::reverse(r.px.begin(), r.px.end());
    return r;
}

// Clockwise quarter turn.
Canvas RotateCw(const Canvas& c) {
    Canvas r = Blank(c.height, c.width);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) r.px[size_t(x) * size_t(r.width) + size_t(c.height - 1 - y)] = c.Get(x, y);
    return r;
}

Canvas RotateCcw(const Canvas& c) { return Rotate180(RotateCw(c)); }

// Where a line or block `width` wide starts in a printable area (ESC a: 0 left, 1 centre, 2 right).
int JustifyOffset(int justification, int area, int width) {
    constexpr int kCentre = 1, kRight = 2;
    if (justification == kCentre) return std::max(0, (area - width) / 2);
    if (justification == kRight) return std::max(0, area - width);
    return 0;
}

Canvas FromModules(const MonoImage& img, int scaleX, int scaleY) {
    Canvas c = Blank(img.width * scaleX, img.height * scaleY);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (img.at(x / scaleX, y / scaleY)) c.px[size_t(y) * size_t(c.width) + size_t(x)] = 0;
    return c;
}

}  // namespace

void Canvas::Resize(int w, int h) {
    if (w == width) {
        px.resize(size_t(w) * size_t(h), 255);
        height = h;
        return;
    }
    std::vector<uint8_t> next(size_t(w) * size_t(h), 255);
    for (int y = 0; y < std::min(h, height); ++y)
        for (int x = 0; x < std::min(w, width); ++x) next[size_t(y) * size_t(w) + size_t(x)] = Get(x, y);
    px.swap(next);
    width = w;
    height = h;
}

void Canvas::Darken(int x, int y) {
    if (x >= 0 && y >= 0 && x < width && y < height) px[size_t(y) * size_t(width) + size_t(x)] = 0;
}

struct Paper::Item {
    int x = 0;
    Canvas ink;
};

Paper::Paper(const PrinterIdentity& identity) : identity_(identity), glyphs_(std::make_unique<GlyphSource>()) {
    const int paperDots = int(std::lround(identity_.paperMm / identity_.dotMm));
    roll_ = Blank(std::max(paperDots, identity_.printWidthDots), 0);
    margin_ = (roll_.width - identity_.printWidthDots) / 2;
}

Paper::~Paper() = default;

Canvas& Paper::Target() { return inPage_ ? page_ : roll_; }

int Paper::TargetWidth() const { return inPage_ ? page_.width : identity_.printWidthDots; }

// The left margin applies to the roll only; a page is laid out from its own edge.
int Paper::AreaLeft(const PrinterState& state) const { return inPage_ ? 0 : margin_ + state.leftMargin; }

int Paper::AreaWidth(const PrinterState& state) const {
    const int left = inPage_ ? 0 : state.leftMargin;
    return std::max(1, std::min(state.printAreaWidth, TargetWidth() - left));
}

int Paper::PixelsForUnits(int units) {
    // Vertical motion units are finer than the dot pitch; carry the remainder so that
    // many small feeds add up exactly.
    const double px = units * identity_.unitMm / identity_.dotMm + unitRemainder_;
    const int whole = int(std::floor(px));
    unitRemainder_ = px - whole;
    return whole;
}

void Paper::Grow(int rows) {
    if (rows > roll_.height && rows <= identity_.maxRollRows) roll_.Resize(roll_.width, rows);
}

void Paper::Text(const std::vector<uint8_t>& bytes, const PrinterState& state) {
    const FontCell cell = kFonts[state.font & 1];
    for (uint8_t b : bytes) {
        char32_t cp;
        int cellW = cell.w;
        if (pendingLead_ >= 0) {
            cp = DecodeDoubleByte(state.intlSet, uint8_t(pendingLead_), b);
            pendingLead_ = -1;
            cellW = cell.h;  // two-byte characters are square
        } else if (state.kanji && identity_.multiByte && b >= 0x80) {
            pendingLead_ = b;
            continue;
        } else {
            cp = ApplyInternationalSet(state.intlSet, DecodeSingleByte(state.codeTable, b));
        }
        const std::vector<uint8_t>& glyph = glyphs_->Glyph(cp, cellW, cell.h);
        Canvas ink = Blank(cellW * state.widthMul, cell.h * state.heightMul);
        const bool bold = state.emphasized || state.doubleStrike;
        for (int y = 0; y < ink.height; ++y)
            for (int x = 0; x < ink.width; ++x) {
                int cover = glyph[size_t(y / state.heightMul) * size_t(cellW) + size_t(x / state.widthMul)];
                if (bold && x >= state.widthMul)
                    cover = std::max<int>(cover, glyph[size_t(y / state.heightMul) * size_t(cellW) +
                                                       size_t((x - state.widthMul) / state.widthMul)]);
                ink.px[size_t(y) * size_t(ink.width) + size_t(x)] = uint8_t(255 - cover);
            }
        if (state.underline > 0)
            for (int t = 0; t < state.underline; ++t)
                for (int x = 0; x < ink.width; ++x) ink.Darken(x, ink.height - 1 - t);
        if (state.reverse)
            for (auto& p : ink.px) p = uint8_t(255 - p);
        if (state.rotate90) ink = RotateCw(ink);
        AddItem(Item{0, std::move(ink)}, state);
    }
}

void Paper::AddItem(Item item, const PrinterState& state) {
    const int area = AreaWidth(state);
    if (!line_.empty() && column_ + item.ink.width > area) PrintLine(state, kByLineSpacing);  // wrap
    item.x = column_;
    column_ += item.ink.width + state.charSpacing * state.widthMul;
    line_.push_back(std::move(item));
}

void Paper::Tab(const PrinterState& state) {
    const int step = kFonts[state.font & 1].w * state.widthMul + state.charSpacing;
    std::vector<int> stops = state.tabStops;
    if (stops.empty())
        for (int s = 8; s < 256; s += 8) stops.push_back(s);
    for (int s : stops)
        if (s * step > column_) {
            column_ = s * step;
            return;
        }
}

void Paper::SetColumn(int dots) { column_ = std::max(0, dots); }

void Paper::PrintLine(const PrinterState& state, int feedUnits) {
    int lineH = 0, right = 0;
    for (const Item& it : line_) {
        lineH = std::max(lineH, it.ink.height);
        right = std::max(right, it.x + it.ink.width);
    }
    const int area = AreaWidth(state);
    const int advance = std::max(PixelsForUnits(feedUnits < 0 ? LineSpacingUnits(identity_, state) : feedUnits), lineH);
    int& y = inPage_ ? pageY_ : y_;
    if (!inPage_) Grow(y + std::max(advance, lineH));
    if (!line_.empty()) {
        Canvas strip = Blank(area, lineH);
        for (const Item& it : line_) Blit(strip, it.ink, it.x, lineH - it.ink.height);
        // Inside a page ESC a is only remembered; lines are placed by ESC $.
        const int offset = inPage_ ? 0 : JustifyOffset(state.justification, area, right);
        if (offset) {
            Canvas shifted = Blank(area, lineH);
            Blit(shifted, strip, offset, 0);
            strip = std::move(shifted);
        }
        if (state.upsideDown) strip = Rotate180(strip);
        Blit(Target(), strip, AreaLeft(state), y);
    }
    y += advance;
    line_.clear();
    column_ = 0;
}

void Paper::Cut(bool partial) {
    if (inPage_) return;
    Grow(y_ + 12);
    // Full cuts are long dashes over the whole width; partial cuts short ones.
    const int dash = partial ? 4 : 10;
    for (int x = 0; x < roll_.width; ++x)
        if ((x / dash) % 2 == 0) {
            roll_.Darken(x, y_ + 5);
            roll_.Darken(x, y_ + 6);
        }
    y_ += 12;
}

void Paper::InlineImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) {
    if (img.empty()) return;
    AddItem(Item{0, FromModules(img, scaleX, scaleY)}, state);
}

void Paper::PlaceBlock(const Canvas& block, const PrinterState& state) {
    if (!line_.empty()) PrintLine(state, kByLineSpacing);
    const int area = AreaWidth(state);
    // Inside a page a symbol or image prints where ESC $ put the print position.
    const int offset = inPage_ ? column_ : JustifyOffset(state.justification, area, block.width);
    int& y = inPage_ ? pageY_ : y_;
    if (!inPage_) Grow(y + block.height);
    Blit(Target(), block, AreaLeft(state) + offset, y);
    y += block.height;
    column_ = 0;
}

void Paper::BlockImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) {
    if (img.empty()) return;
    PlaceBlock(FromModules(img, scaleX, scaleY), state);
}

namespace {

// The HRI line: the symbol's readable text in font A or B, centred under the bars.
Canvas HriLine(GlyphSource& glyphs, const std::string& text, int font, int width) {
    const FontCell cell = kFonts[font & 1];
    Canvas line = Blank(std::max(width, int(text.size()) * cell.w), cell.h);
    const int x0 = (line.width - int(text.size()) * cell.w) / 2;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto& g = glyphs.Glyph(char32_t(uint8_t(text[i])), cell.w, cell.h);
        for (int y = 0; y < cell.h; ++y)
            for (int x = 0; x < cell.w; ++x)
                line.px[size_t(y) * size_t(line.width) + size_t(x0 + int(i) * cell.w + x)] =
                    uint8_t(255 - g[size_t(y) * size_t(cell.w) + size_t(x)]);
    }
    return line;
}

}  // namespace

bool Paper::Barcode(int symbology, const std::vector<uint8_t>& data, const PrinterState& state) {
    const SymbolModules sym = EncodeLinear(symbology, data);
    if (!sym.ok) return false;
    const int mw = std::clamp(state.barcode.moduleWidth, 1, 6);
    const int height = std::max(1, state.barcode.height);
    float total = 0;
    for (float h : sym.rowHeight) total += h;
    Canvas bars = Blank(sym.cols * mw, height);
    int y = 0;
    for (int r = 0; r < sym.rows; ++r) {
        const int rowH = r + 1 == sym.rows ? height - y : int(float(height) * sym.rowHeight[size_t(r)] / total);
        for (int c = 0; c < sym.cols; ++c)
            if (sym.isSet(r, c))
                for (int yy = y; yy < y + rowH; ++yy)
                    for (int x = c * mw; x < (c + 1) * mw; ++x) bars.Darken(x, yy);
        y += rowH;
    }
    const int pos = state.barcode.hriPosition;
    const Canvas hri = HriLine(*glyphs_, sym.hri, state.barcode.hriFont, bars.width);
    Canvas block = Blank(std::max(bars.width, hri.width),
                         bars.height + ((pos & 1) ? hri.height : 0) + ((pos & 2) ? hri.height : 0));
    int at = 0;
    if (pos & 1) {
        Blit(block, hri, (block.width - hri.width) / 2, at);
        at += hri.height;
    }
    Blit(block, bars, (block.width - bars.width) / 2, at);
    at += bars.height;
    if (pos & 2) Blit(block, hri, (block.width - hri.width) / 2, at);
    PlaceBlock(block, state);
    return true;
}

bool Paper::Qr(const PrinterState& state) {
    const SymbolModules sym = EncodeQr(state.qr);
    if (!sym.ok) return false;
    const int size = std::clamp(state.qr.moduleSize, 1, 16);
    Canvas block = Blank(sym.cols * size, sym.rows * size);
    for (int r = 0; r < sym.rows; ++r)
        for (int c = 0; c < sym.cols; ++c)
            if (sym.isSet(r, c))
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x) block.Darken(c * size + x, r * size + y);
    PlaceBlock(block, state);
    return true;
}

bool Paper::Pdf417(const PrinterState& state) {
    const SymbolModules sym = EncodePdf417(state.pdf417);
    if (!sym.ok) return false;
    const int mw = std::clamp(state.pdf417.moduleWidth, 2, 8);
    const int rowH = std::clamp(state.pdf417.rowHeight, 2, 8) * mw;  // row height counts module widths
    Canvas block = Blank(sym.cols * mw, sym.rows * rowH);
    for (int r = 0; r < sym.rows; ++r)
        for (int c = 0; c < sym.cols; ++c)
            if (sym.isSet(r, c))
                for (int y = 0; y < rowH; ++y)
                    for (int x = 0; x < mw; ++x) block.Darken(c * mw + x, r * rowH + y);
    PlaceBlock(block, state);
    return true;
}

void Paper::EnterPageMode(const PrinterState& state) {
    inPage_ = true;
    pageArea_ = state.pageArea;
    pageArea_.width = std::clamp(pageArea_.width, 1, identity_.maxPageSide);
    pageArea_.height = std::clamp(pageArea_.height, 1, identity_.maxPageSide);
    pageDirection_ = state.pageDirection & 3;
    // The page is laid out along the print direction and turned when it is printed.
    const bool sideways = pageDirection_ == 1 || pageDirection_ == 3;
    page_ = sideways ? Blank(pageArea_.height, pageArea_.width) : Blank(pageArea_.width, pageArea_.height);
    pageY_ = 0;
    line_.clear();
    column_ = 0;
}

void Paper::SetPageY(int units) {
    if (inPage_) pageY_ = PixelsForUnits(units);
}

void Paper::MovePageY(int units) {
    if (inPage_) pageY_ = std::max(0, pageY_ + PixelsForUnits(units));
}

void Paper::PrintPage(const PrinterState& state) {
    if (!inPage_) return;
    if (!line_.empty()) PrintLine(state, 0);
    Canvas out = page_;
    switch (pageDirection_) {
        case 1:
            out = RotateCcw(out);
            break;
        case 2:
            out = Rotate180(out);
            break;
        case 3:
            out = RotateCw(out);
            break;
        default:
            break;
    }
    Grow(y_ + pageArea_.y + out.height);
    Blit(roll_, out, margin_ + pageArea_.x, y_ + pageArea_.y);
    y_ += pageArea_.y + out.height;
    ClearPage();
}

void Paper::ClearPage() {
    std::fill(page_.px.begin(), page_.px.end(), 255);
    pageY_ = 0;
    line_.clear();
    column_ = 0;
}

void Paper::LeavePageMode() {
    inPage_ = false;
    line_.clear();
    column_ = 0;
}

void Paper::Reset() {
    line_.clear();
    column_ = 0;
    pendingLead_ = -1;
    inPage_ = false;
}

Canvas Paper::Picture() const {
    Canvas out = roll_;
    out.Resize(roll_.width, std::min(y_, roll_.height) + kBottomMargin);
    return out;
}

bool Paper::WritePng(const std::string& path) const {
    const Canvas pic = Picture();
    return stbi_write_png(path.c_str(), pic.width, pic.height, 1, pic.px.data(), pic.width) != 0;
}

}  // namespace QVO::Sim
