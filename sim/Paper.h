// The paper roll: lays out what the printer prints and writes it as a PNG picture.
#pragma once

#include "sim/PrinterState.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace QVO::Sim {

class GlyphSource;

// A grey-scale drawing surface, 0 black .. 255 white. Copyable value.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;
    void Resize(int w, int h);  // keeps content, new area white
    void Darken(int x, int y);  // out-of-range is ignored
    uint8_t Get(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

// Renders print operations in the order the printer performs them. Holds the current
// print line until a line feed, the page buffer in page mode, and the whole roll.
// Not thread-safe: the printer calls it under its own lock.
class Paper {
public:
    explicit Paper(const PrinterIdentity& identity);
    ~Paper();
    Paper(const Paper&) = delete;
    Paper& operator=(const Paper&) = delete;

    void Text(const std::vector<uint8_t>& bytes, const PrinterState& st);
    void Tab(const PrinterState& st);
    void SetColumn(int dots);  // ESC $: absolute position from the left margin
    int Column() const { return column_; }
    void MovePageY(int dots);
    int LineSpacingUnits(const PrinterState& st) const;
    // Prints the line buffer and advances: by the line spacing when feedUnits < 0.
    void PrintLine(const PrinterState& st, int feedUnits = -1);
    void Feed(int units);
    void Cut(bool partial);
    void InlineImage(const MonoImage& img, const PrinterState& st, int scaleX, int scaleY);
    void BlockImage(const MonoImage& img, const PrinterState& st, int scaleX = 1, int scaleY = 1);
    // Linear barcode with GS k number m; false when the data cannot be encoded.
    bool Barcode(int m, const std::vector<uint8_t>& data, const PrinterState& st);
    bool Qr(const PrinterState& st);
    bool Pdf417(const PrinterState& st);
    void EnterPageMode(const PrinterState& st);
    void SetPageY(int dots);
    void PrintPage(const PrinterState& st);  // FF / ESC FF: the page goes onto the roll
    void ClearPage();
    void LeavePageMode(const PrinterState& st);
    void Reset();  // ESC @: an unprinted line is dropped

    // The roll so far (pending line not included), trimmed to what was used.
    Canvas Picture() const;
    bool WritePng(const std::string& path) const;
    int UsedHeight() const { return y_; }

private:
    struct Item;
    Canvas& Target();
    int TargetWidth() const;
    int PixelsForUnits(int units);
    void AddItem(Item item, const PrinterState& st);
    void FlushLine(const PrinterState& st, int minAdvance);
    void PlaceBlock(const Canvas& block, const PrinterState& st);
    void Grow(int rows);

    PrinterIdentity identity_;
    std::unique_ptr<GlyphSource> glyphs_;
    Canvas roll_;
    int margin_ = 0;  // white paper left of the printable area
    int y_ = 0;       // top of the next line on the roll
    double unitRemainder_ = 0;
    std::vector<Item> line_;
    int column_ = 0;  // next x in the line, from the left margin
    int pendingLead_ = -1;  // first byte of a two-byte character
    bool inPage_ = false;
    Canvas page_;
    int pageY_ = 0;
    PageArea pageArea_;
    int pageDirection_ = 0;
};

}  // namespace QVO::Sim
