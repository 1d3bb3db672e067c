// CPrinterBase, character formatting and line metrics: fonts for a line width, units and map
// modes, print modes, line positioning and the standard setup at the head of every output.
#include <algorithm>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
constexpr int32_t kByteMask = 0xFF;
constexpr double kHundredthsMmPerInch = 2537.5;  // this system's inch: 203 dots of 0.125 mm
constexpr double kHundredthsMmPerMil = 2.5375;
constexpr double kTwipsPerInch = 1440.0;
constexpr double kHundredths = 100.0;
constexpr int32_t kSetupPageMode = 1;
constexpr int32_t kBitsPerColumnByte = 8;
constexpr int32_t kFontBIndex = 1;
}  // namespace

// Fonts the engine can use: the table ends at the first font without a letter.
static int32_t FontCount(const DeviceParameters& p) {
    int32_t count = 0;
    while (count < static_cast<int32_t>(p.fonts.size()) && p.fonts[static_cast<size_t>(count)].letter != 0) ++count;
    return count;
}

int32_t CPrinterBase::SelectMinFont() {
    int32_t best = 0;
    for (int32_t i = 1; i < FontCount(parameters_); ++i)
        if (parameters_.fonts[static_cast<size_t>(i)].width < parameters_.fonts[static_cast<size_t>(best)].width)
            best = i;
    return best;
}

// The widest font whose characters fit the width per character; kNoFontFits when none does.
int32_t CPrinterBase::SelectFont(int32_t charsPerLine) {
    const int32_t count = FontCount(parameters_);
    const int32_t n = charsPerLine & kByteMask;
    if (count == 0 || n == 0) return 0;
    const int32_t allowed = (parameters_.paperWidth / n) & kByteMask;
    int32_t widest = 0;
    for (int32_t i = 1; i < count; ++i)
        if (parameters_.fonts[static_cast<size_t>(i)].width > parameters_.fonts[static_cast<size_t>(widest)].width)
            widest = i;
    const int32_t narrowest = SelectMinFont();
    if (allowed >= parameters_.fonts[static_cast<size_t>(widest)].width) return widest;
    if (allowed < parameters_.fonts[static_cast<size_t>(narrowest)].width) return kNoFontFits;
    int32_t best = -1;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t w = parameters_.fonts[static_cast<size_t>(i)].width;
        if (w <= allowed && (best < 0 || allowed - w < allowed - parameters_.fonts[static_cast<size_t>(best)].width))
            best = i;
    }
    return best;
}

int32_t CPrinterBase::SetRecLineChars(int32_t charsPerLine, int32_t* pRC) {
    if (IsInRotate90Mode()) return 0;
    const int32_t n = charsPerLine & kByteMask;
    int32_t font = SelectFont(n);
    const bool fits = font != kNoFontFits;
    int32_t rc = Opos::OPOS_SUCCESS;
    if (!fits) {
        font = SelectMinFont();
        rc = SetRC(kExtUnsupported);
    }
    const int32_t oldWidth = recLineWidth_;
    if (font != currentFont_) {
        SetFont(font);
        fontChanged_ = lineSpacingChanged_ = lineWidthChanged_ = true;
    }
    recLineWidth_ = fits ? std::min(parameters_.paperWidth, charWidth_ * n) : parameters_.paperWidth;
    if (recLineWidth_ != oldWidth) lineWidthChanged_ = true;
    if (pRC != nullptr) *pRC = rc;
    return 0;
}

int32_t CPrinterBase::GetRecLineWidth() { return DOT2MapNumber_H(recLineWidth_); }

uint8_t CPrinterBase::GetRecLineSpacing() {
    return static_cast<uint8_t>(IsInRotate90Mode() ? recLineSpacing_ : H2V(recLineSpacing_));
}

int32_t CPrinterBase::H2V(int32_t dots) {
    const double vu = parameters_.verticalUnitMm;
    return vu > 0 ? static_cast<int32_t>(dots * static_cast<double>(parameters_.horizontalDotMm) / vu) : 0;
}

// Hundredths of a millimetre to the map unit (twips and thousandths of an inch use this
// system's inch).
int32_t CPrinterBase::metric2MapNumber(int32_t a) {
    switch (mapMode_) {
        case Opos::PTR_MM_TWIPS:
            return static_cast<int32_t>(a * kTwipsPerInch / kHundredthsMmPerInch);
        case Opos::PTR_MM_ENGLISH:
            return static_cast<int32_t>(a / kHundredthsMmPerMil);
        case Opos::PTR_MM_METRIC:
            return a;
        default:
            return 0;
    }
}

int32_t CPrinterBase::MapNumber2metric(int32_t a) {
    switch (mapMode_) {
        case Opos::PTR_MM_TWIPS:
            return static_cast<int32_t>(a * kHundredthsMmPerInch / kTwipsPerInch);
        case Opos::PTR_MM_ENGLISH:
            return static_cast<int32_t>(a * kHundredthsMmPerMil);
        case Opos::PTR_MM_METRIC:
            return a;
        default:
            return 0;
    }
}

int32_t CPrinterBase::DOT2MapNumber_H(int32_t a) {
    const double hp = parameters_.horizontalDotMm;
    if (mapMode_ == Opos::PTR_MM_DOTS) return a;
    return metric2MapNumber(static_cast<int32_t>(a * hp * kHundredths));
}

int32_t CPrinterBase::DOT2MapNumber_V(int32_t a) {
    const double hp = parameters_.horizontalDotMm;
    const double vu = parameters_.verticalUnitMm;
    if (mapMode_ == Opos::PTR_MM_DOTS) return hp > 0 ? static_cast<int32_t>(vu * a / hp) : 0;
    return metric2MapNumber(static_cast<int32_t>(vu * a * kHundredths));
}

int32_t CPrinterBase::MapNumber2DOT_H(int32_t a) {
    const double hp = parameters_.horizontalDotMm;
    if (mapMode_ == Opos::PTR_MM_DOTS) return a;
    if (hp <= 0) return 0;
    return static_cast<int32_t>(MapNumber2metric(a) / (hp * kHundredths));
}

int32_t CPrinterBase::MapNumber2DOT_V(int32_t a) {
    const double hp = parameters_.horizontalDotMm;
    const double vu = parameters_.verticalUnitMm;
    if (vu <= 0) return 0;
    if (mapMode_ == Opos::PTR_MM_DOTS) return static_cast<int32_t>(hp * a / vu);
    return static_cast<int32_t>(MapNumber2metric(a) / (vu * kHundredths));
}

void CPrinterBase::SelectPrintMode(PrinterBuffer& target, bool bold, bool, bool doubleWidth, bool doubleHeight,
                                   bool underline, bool fontB) {
    if (kanjiMode_)
        kanjiPrintModeByte_ = cmd_->SelectKanjiPrintModes(target, doubleWidth, doubleHeight, underline);
    else
        printModeByte_ = cmd_->SelectPrintModes(target, fontB, bold, doubleWidth, doubleHeight, underline);
}

// Standard mode positions within the line width rather than the head's full width: the print
// area is narrowed to it, and the printer ignores a position outside the area.
void CPrinterBase::SelectHPosInStd(PrinterBuffer& target, uint8_t alignment, int32_t segmentWidth) {
    const int32_t lineWidth = recLineWidth_;
    if (alignment == 'l')
        cmd_->SetAbsolutePosition(target, 0);
    else if (alignment == 'c' && segmentWidth < lineWidth)
        cmd_->SetAbsolutePosition(target, (lineWidth - segmentWidth) / 2);
    else if (alignment == 'r' && segmentWidth < lineWidth)
        cmd_->SetAbsolutePosition(target, lineWidth - segmentWidth);
}

void CPrinterBase::SelectHPos(PrinterBuffer& target, uint8_t alignment, int32_t lineWidth) {
    SelectHPos(target, alignment, lineWidth, pageModeHorizontalPosition_);
}

// A sideways block is as wide as its widest line; a page line lies in the print area (ESC $
// counts from the area's edge), not in the whole page. Centred and right-aligned lines ignore
// the position.
void CPrinterBase::SelectHPos(PrinterBuffer& target, uint8_t alignment, int32_t lineWidth, int32_t horizontalPosition) {
    int32_t base = horizontalPosition;
    int32_t extent = printArea_[2];
    if (rotateRight_ || rotateLeft_ || (upsideDown_ && !pageMode_)) {
        base = 0;
        extent = widestLine_;
    } else if (pageMode_ && pageSideways_) {
        base = H2V(horizontalPosition);
        extent = H2V(printArea_[3]);
    }
    if (alignment == 'l') {
        if (pageMode_) cmd_->SetAbsolutePosition(target, base);
    } else if (alignment == 'c' && lineWidth < extent) {
        cmd_->SetAbsolutePosition(target, (extent - lineWidth) / 2);
    } else if (alignment == 'r' && lineWidth < extent) {
        cmd_->SetAbsolutePosition(target, extent - lineWidth);
    }
}

void CPrinterBase::ToColumnFormat(PrinterBuffer& target, std::span<const uint8_t> raster, int32_t width,
                                  int32_t height) {
    const int32_t rowBytes = width / kBitsPerColumnByte;
    if (width <= 0 || height <= 0 || raster.size() < static_cast<size_t>(rowBytes) * static_cast<size_t>(height))
        return;
    for (int32_t x = 0; x < width; ++x) {
        const int32_t columnByte = x / kBitsPerColumnByte;
        if (columnByte >= rowBytes) break;
        const auto mask = static_cast<uint8_t>(0x80 >> (x % kBitsPerColumnByte));
        for (int32_t band = 0; band < height / kBitsPerColumnByte; ++band) {
            uint8_t column = 0;
            for (int32_t bit = 0; bit < kBitsPerColumnByte; ++bit) {
                const size_t row = static_cast<size_t>(band * kBitsPerColumnByte + bit);
                if ((raster[row * static_cast<size_t>(rowBytes) + static_cast<size_t>(columnByte)] & mask) != 0)
                    column |= static_cast<uint8_t>(0x80 >> bit);
            }
            target.Append(column);
        }
    }
}

// Font B is the second font of the table. Which font that is cannot be told from RecLineChars:
// 64 characters is font B only on a 576-dot head (512 dots give 56, 384 give 42).
void CPrinterBase::InitOutBufferWithPMControl(PrinterBuffer& target, int32_t mode) {
    cmd_->SelectPeripheral(target, true);
    cmd_->SetJustification(target, 0);
    cmd_->SetLeftMargin(target, 0);
    cmd_->SetUpsideDown(target, false);
    cmd_->SelectCodePage(pendingSettings_, characterSet_);
    printModeByte_ = cmd_->SelectPrintModes(target, currentFont_ == kFontBIndex, false, false, false, false);
    cmd_->SetSmoothing(target, recLetterQuality_ != 0);
    cmd_->SetLineSpacing(target, IsInRotate90Mode() ? recLineSpacing_ : H2V(recLineSpacing_));
    if (mode == kSetupPageMode) {
        cmd_->LineFeed(target);
        cmd_->SelectPageMode(target);
    }
}

void CPrinterBase::ResetFormatting() {
    recLetterQuality_ = 0;
    kanjiMode_ = false;
    printModeByte_ = kanjiPrintModeByte_ = 0;
    characterSetChanged_ = fontChanged_ = lineSpacingChanged_ = false;
    lineWidthChanged_ = letterQualityChanged_ = upsideDownChanged_ = false;
    lineOpen_ = openLinePosition_ = widestLine_ = linesHeight_ = pageVerticalTotal_ = 0;
    pendingSettings_.Clear();
    const FontInfo first = parameters_.fonts.empty() ? FontInfo{} : parameters_.fonts.front();
    charWidth_ = first.width;
    charHeight_ = first.height;
}

}  // namespace QVO::Printer
