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

// What the printer's mechanism is told to do, in the order it does it. Paper draws it; a
// printer made without rendering prints on NoPaper. Not thread-safe: the printer calls it
// under its own lock.
class PrintTarget {
public:
    static constexpr int kByLineSpacing = -1;  // PrintLine's feed: the line spacing

    virtual ~PrintTarget() = default;

    virtual void Text(const std::vector<uint8_t>& bytes, const PrinterState& state) = 0;
    virtual void Tab(const PrinterState& state) = 0;
    virtual void SetColumn(int dots) = 0;  // ESC $: absolute position from the left margin
    virtual int Column() const = 0;
    // Prints the line buffer and advances by feedUnits, or by the line spacing (< 0).
    virtual void PrintLine(const PrinterState& state, int feedUnits) = 0;
    virtual void Cut(bool partial) = 0;
    virtual void InlineImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) = 0;
    virtual void BlockImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) = 0;
    // Linear barcode of GS k symbology m; false when the data cannot be encoded.
    virtual bool Barcode(int symbology, const std::vector<uint8_t>& data, const PrinterState& state) = 0;
    virtual bool Qr(const PrinterState& state) = 0;
    virtual bool Pdf417(const PrinterState& state) = 0;
    virtual void EnterPageMode(const PrinterState& state) = 0;
    virtual void SetPageY(int units) = 0;
    virtual void MovePageY(int units) = 0;
    virtual void PrintPage(const PrinterState& state) = 0;  // FF / ESC FF: the page goes onto the roll
    virtual void ClearPage() = 0;
    virtual void LeavePageMode() = 0;
    virtual void Reset() = 0;  // ESC @: an unprinted line is dropped

    // The roll so far (pending line not included), trimmed to what was used.
    virtual Canvas Picture() const = 0;
    virtual bool WritePng(const std::string& path) const = 0;
};

// Renders print operations in the order the printer performs them. Holds the current
// print line until a line feed, the page buffer in page mode, and the whole roll, within
// the identity's bounds.
class Paper final : public PrintTarget {
public:
    explicit Paper(const PrinterIdentity& identity);
    ~Paper() override;
    Paper(const Paper&) = delete;
    Paper& operator=(const Paper&) = delete;

    void Text(const std::vector<uint8_t>& bytes, const PrinterState& state) override;
    void Tab(const PrinterState& state) override;
    void SetColumn(int dots) override;
    int Column() const override { return column_; }
    void PrintLine(const PrinterState& state, int feedUnits) override;
    void Cut(bool partial) override;
    void InlineImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) override;
    void BlockImage(const MonoImage& img, const PrinterState& state, int scaleX, int scaleY) override;
    bool Barcode(int symbology, const std::vector<uint8_t>& data, const PrinterState& state) override;
    bool Qr(const PrinterState& state) override;
    bool Pdf417(const PrinterState& state) override;
    void EnterPageMode(const PrinterState& state) override;
    void SetPageY(int units) override;
    void MovePageY(int units) override;
    void PrintPage(const PrinterState& state) override;
    void ClearPage() override;
    void LeavePageMode() override;
    void Reset() override;
    Canvas Picture() const override;
    bool WritePng(const std::string& path) const override;

private:
    struct Item;
    Canvas& Target();
    int TargetWidth() const;
    int AreaLeft(const PrinterState& state) const;   // on the target, in dots
    int AreaWidth(const PrinterState& state) const;  // printable width there, at least 1
    int PixelsForUnits(int units);
    void AddItem(Item item, const PrinterState& state);
    void PlaceBlock(const Canvas& block, const PrinterState& state);
    void Grow(int rows);

    PrinterIdentity identity_;
    std::unique_ptr<GlyphSource> glyphs_;
    Canvas roll_;
    int margin_ = 0;  // white paper left of the printable area
    int y_ = 0;       // top of the next line on the roll
    double unitRemainder_ = 0;
    std::vector<Item> line_;
    int column_ = 0;        // next x in the line, from the left margin
    int pendingLead_ = -1;  // first byte of a two-byte character
    bool inPage_ = false;
    Canvas page_;
    int pageY_ = 0;
    PageArea pageArea_;
    int pageDirection_ = 0;
};

// Draws nothing and takes every symbol as printed: the state and the replies of a printer
// stay what they are with paper, at a fraction of the cost.
class NoPaper final : public PrintTarget {
public:
    void Text(const std::vector<uint8_t>&, const PrinterState&) override {}
    void Tab(const PrinterState&) override {}
    void SetColumn(int) override {}
    int Column() const override { return 0; }
    void PrintLine(const PrinterState&, int) override {}
    void Cut(bool) override {}
    void InlineImage(const MonoImage&, const PrinterState&, int, int) override {}
    void BlockImage(const MonoImage&, const PrinterState&, int, int) override {}
    bool Barcode(int, const std::vector<uint8_t>&, const PrinterState&) override { return true; }
    bool Qr(const PrinterState&) override { return true; }
    bool Pdf417(const PrinterState&) override { return true; }
    void EnterPageMode(const PrinterState&) override {}
    void SetPageY(int) override {}
    void MovePageY(int) override {}
    void PrintPage(const PrinterState&) override {}
    void ClearPage() override {}
    void LeavePageMode() override {}
    void Reset() override {}
    Canvas Picture() const override { return {}; }
    bool WritePng(const std::string&) const override { return false; }
};

}  // namespace QVO::Sim
