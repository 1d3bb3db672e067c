// CPrinterBase, the escape-sequence interpreter: the scan of one text, its lines, alignment
// segments and the resets at the end (page-mode lines: CPrinterBase_PageModeText.cpp).
#include <algorithm>
#include <limits>
#include <tuple>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/EscapeInterpreter.h"

namespace QVO::Printer {

namespace {
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBar = '|';
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kTab = 0x09;
constexpr int32_t kJustifyLeft = 0;
constexpr int32_t kJustifyCentre = 1;
constexpr int32_t kJustifyRight = 2;

int32_t JustificationOf(uint8_t letter) {
    if (letter == 'c') return kJustifyCentre;
    if (letter == 'r') return kJustifyRight;
    return kJustifyLeft;
}
}  // namespace

int32_t CPrinterBase::FormatStringToOutBuffer(PrinterBuffer& target, std::span<const uint8_t> input,
                                              bool validateOnly) {
    if (cmd_ == nullptr) return Opos::OPOS_E_FAILURE;
    if (!validateOnly) return EscapeInterpreter(*this, target, false).Run(input);
    // Checking a text must not move the lines printed after it (an open line, the widest).
    const auto kept = std::tuple(lineOpen_, openLinePosition_, widestLine_, linesHeight_, pageVerticalTotal_);
    const int32_t rc = EscapeInterpreter(*this, target, true).Run(input);
    std::tie(lineOpen_, openLinePosition_, widestLine_, linesHeight_, pageVerticalTotal_) = kept;
    return rc;
}

void CPrinterBase::ClearFormatInStd(PrinterBuffer& target) {
    cmd_->SetJustification(target, kJustifyLeft);
    cmd_->SetLeftMargin(target, 0);
    cmd_->SelectPrintModes(target, false, false, false, false, false);
}

void CPrinterBase::PassThroughEscapeData(std::span<const uint8_t> data) {
    PrinterBuffer out;
    if (!out.Append(data)) return;
    // The application's own bytes: what the printer makes of them is the application's concern.
    DirectSend(out, 0, 0);
}

EscapeInterpreter::EscapeInterpreter(CPrinterBase& engine, PrinterBuffer& target, bool validateOnly)
    : e_(engine), cmd_(*engine.cmd_), target_(target), line_(engine.lineBuffer_), validate_(validateOnly) {}

int32_t EscapeInterpreter::Run(std::span<const uint8_t> input) {
    input_ = input;
    Setup();
    size_t pos = 0;
    while (pos < input_.size() && !stop_ && !pageFull_) {
        const uint8_t byte = input_[pos];
        if (byte == kEsc && pos + 1 < input_.size() && input_[pos + 1] == kBar) {
            pos = Execute(Parse(pos));
            continue;
        }
        WritePendingFont();
        if (byte == kFormFeed || byte == kLineFeed) {
            // A form feed before a line feed cannot be carried out as written.
            if (validate_ && byte == kLineFeed && formFeedSeen_)
                return collecting_ ? Opos::OPOS_E_ILLEGAL : Opos::OPOS_E_FAILURE;
            if (collecting_) {
                PageLineFeed(byte);
            } else if (byte == kFormFeed) {
                // Outside page mode a form feed has nothing to end: it is dropped and reported.
                error_ = formFeedSeen_ = true;
            } else {
                cmd_.LineFeed(line_);
            }
            e_.lineOpen_ = 0;
            e_.widestLine_ = std::max(e_.widestLine_, x_);
            if (byte == kLineFeed) LineEnd(true);
        } else if (byte != kTab) {
            TextByte(byte);
        }
        ++pos;
    }
    if (stop_) return *stop_;
    if (!pageFull_) LineEnd(false);
    return Finish();
}

void EscapeInterpreter::Setup() {
    line_.Clear();
    e_.BeginUnicodeRuns();
    continuing_ = e_.lineOpen_ != 0;
    collecting_ = e_.IsInPrinterPageMode();
    sideways_ = e_.IsInRotate90Mode();
    pageMode_ = e_.pageMode_;
    FontMetrics(e_.currentFont_);
    lineSpacing_ = e_.GetRecLineSpacing();
    lineHeight_ = lineSpacing_;
    if (collecting_) SetupPage();
}

void EscapeInterpreter::FontMetrics(int32_t fontIndex) {
    const auto& fonts = e_.parameters_.fonts;
    if (fontIndex < 0 || fontIndex >= static_cast<int32_t>(fonts.size())) return;
    // Sideways a character's width runs along the paper and its height across it.
    const FontInfo& font = fonts[static_cast<size_t>(fontIndex)];
    charWidth_ = sideways_ ? e_.H2V(font.width) : font.width;
    charHeight_ = sideways_ ? font.height : e_.H2V(font.height);
}

void EscapeInterpreter::WritePendingFont() {
    if (!fontPending_) return;
    e_.printModeByte_ = cmd_.SelectPrintModes(line_, fontB_, false, false, false, false);
    fontPending_ = false;
}

void EscapeInterpreter::TextByte(uint8_t byte) {
    if (pageFull_) return;
    // Centred and right-aligned lines are placed across the whole area, not from its position.
    if (pageMode_ && x_ == 0 && firstLine_ && alignment_ != 'l') wrapWidth_ = fullWidth_;
    const size_t mark = line_.Size();
    // Text in runs arrives as UTF-8: a character takes up to four bytes, a table switch none.
    int32_t cells = 1;
    if (e_.unicodeRuns_.active)
        cells = e_.AppendUnicodeByte(line_, byte);
    else
        line_.Append(byte);
    e_.lineOpen_ = 1;
    const int32_t advance = charWidth_ * hScale_ * cells;
    segmentWidth_ = Grow(segmentWidth_, advance);
    const int32_t oldX = x_;
    x_ = Grow(x_, advance);
    if (pageMode_ && !validate_ && oldX > 0 && x_ > wrapWidth_ && !WrapBefore(mark, oldX)) {
        pageFull_ = true;
        return;
    }
    lineHeight_ = std::max(lineHeight_, charHeight_ * vScale_);
    lineText_ = true;
}

// A refused sequence reaches the printer as the text it was.
void EscapeInterpreter::CopyAsText(size_t from, size_t to) {
    for (size_t i = from; i < to && i < input_.size(); ++i) TextByte(input_[i]);
}

void EscapeInterpreter::LineEnd(bool atLineFeed) {
    if (collecting_) {
        PageLineEnd(atLineFeed);
        return;
    }
    e_.pageVerticalTotal_ = Grow(e_.pageVerticalTotal_, lineHeight_);
    if (atLineFeed) e_.linesHeight_ = Grow(e_.linesHeight_, lineHeight_);
    if (segmentPending_ && segmentWidth_ > 0) {
        e_.SelectHPosInStd(target_, alignment_, segmentWidth_);
        segmentPending_ = false;
    }
    if (atLineFeed) {
        segmentWidth_ = x_ = 0;
        // The next line starts at the printer's justification, not at the last segment's.
        justification_ = printerJustification_;
    }
    target_.Append(line_);
    line_.Clear();
}

// A change of alignment at the start of a line is the printer's justification; after text, the
// text so far is one segment and the rest of the line another, placed by position at the end.
void EscapeInterpreter::Align(uint8_t letter) {
    alignment_ = letter;
    if (letter == justification_) return;
    if (segmentWidth_ == 0) {
        cmd_.SetJustification(line_, JustificationOf(letter));
        markJustification_ = true;
        justification_ = printerJustification_ = letter;
        return;
    }
    if (segmentPending_) e_.SelectHPosInStd(target_, justification_, segmentWidth_);
    target_.Append(line_);
    line_.Clear();
    segmentPending_ = true;
    justification_ = letter;
    segmentWidth_ = 0;
}

// A barcode or image is placed by the printer's justification or left margin, which would
// otherwise hold for the text after it. Page mode and sideways printing place by ESC $ instead.
void EscapeInterpreter::RestoreLinePlacement() {
    if (collecting_) return;
    cmd_.SetJustification(line_, JustificationOf(printerJustification_));
    cmd_.SetLeftMargin(line_, 0);
}

void EscapeInterpreter::Refuse(int32_t code) {
    refusal_ = true;
    if (validate_ && !stop_) stop_ = code;
}

int32_t EscapeInterpreter::Finish() {
    if (collecting_) e_.openLinePosition_ = e_.lineOpen_ != 0 ? x_ : 0;
    // Text past the page's foot is dropped; the code table it may have switched to is not.
    if (pageFull_) line_.Clear();
    if (e_.unicodeRuns_.active) e_.EndUnicodeRuns(line_);
    target_.Append(line_);
    line_.Clear();
    if (markBoldUnderline_) e_.SelectPrintMode(target_, false, false, false, false, false, false);
    if (markJustification_) cmd_.SetJustification(target_, kJustifyLeft);
    if (markSize_) cmd_.SetCharacterSize(target_, 1, 1);
    if (markReverse_) cmd_.SetReversePrinting(target_, false);
    if (error_) return Opos::OPOS_E_FAILURE;
    return refusal_ ? Opos::OPOS_E_ILLEGAL : Opos::OPOS_SUCCESS;
}

}  // namespace QVO::Printer
