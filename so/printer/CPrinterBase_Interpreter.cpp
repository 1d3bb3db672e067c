// CPrinterBase, the escape-sequence interpreter: the scan of one text, its lines, alignment
// segments and the resets at the end; and the hooks for the pieces that come later.
#include <algorithm>
#include <limits>

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
constexpr int32_t kByteMask = 0xFF;
constexpr int32_t kJustifyLeft = 0;
constexpr int32_t kJustifyCentre = 1;
constexpr int32_t kJustifyRight = 2;

// Widths only grow; a text long enough to pass the int range is held at its top.
int32_t Grow(int32_t a, int32_t b) {
    const int64_t sum = static_cast<int64_t>(a) + b;
    return static_cast<int32_t>(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
}
}  // namespace

int32_t CPrinterBase::FormatStringToOutBuffer(PrinterBuffer& target, std::span<const uint8_t> input,
                                              bool validateOnly) {
    if (cmd_ == nullptr) return Opos::OPOS_E_FAILURE;
    if (IsInPrinterPageMode()) return FormatPageModeText(target, input, validateOnly);
    return EscapeInterpreter(*this, target, validateOnly).Run(input);
}

void CPrinterBase::ClearFormatInStd(PrinterBuffer& target) {
    cmd_->SetJustification(target, kJustifyLeft);
    cmd_->SetLeftMargin(target, 0);
    cmd_->SelectPrintModes(target, false, false, false, false, false);
}

// Text on a page or in a sideways block: the lines as in standard mode, each ended by LF,
// which the printer also carries out inside a page. The printer ignores the standard-mode
// alignment commands there, so every line starts at the left edge of the area.
int32_t CPrinterBase::FormatPageModeText(PrinterBuffer& target, std::span<const uint8_t> input, bool validateOnly) {
    return EscapeInterpreter(*this, target, validateOnly).Run(input);
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
    while (pos < input_.size() && !stop_) {
        const uint8_t byte = input_[pos];
        if (byte == kEsc && pos + 1 < input_.size() && input_[pos + 1] == kBar) {
            pos = Execute(Parse(pos));
            continue;
        }
        WritePendingFont();
        if (byte == kFormFeed || byte == kLineFeed) {
            // Outside page mode a form feed has nothing to end: it is dropped and reported.
            if (byte == kFormFeed) {
                error_ = formFeedSeen_ = true;
            } else {
                if (validate_ && formFeedSeen_) return Opos::OPOS_E_FAILURE;
                cmd_.LineFeed(line_);
            }
            e_.lineOpen_ = 0;
            if (continuing_) x_ = Grow(x_, e_.openLinePosition_);
            e_.widestLine_ = std::max(e_.widestLine_, x_);
            if (byte == kLineFeed) LineEnd(true);
        } else if (byte != kTab) {
            TextByte(byte);
        }
        ++pos;
    }
    if (stop_) return *stop_;
    LineEnd(false);
    return Finish();
}

void EscapeInterpreter::Setup() {
    line_.Clear();
    e_.BeginUnicodeRuns();
    continuing_ = e_.lineOpen_ != 0;
    FontMetrics(e_.currentFont_);
    lineSpacing_ = e_.H2V(e_.recLineSpacing_) & kByteMask;
    lineHeight_ = lineSpacing_;
}

void EscapeInterpreter::FontMetrics(int32_t fontIndex) {
    const auto& fonts = e_.parameters_.fonts;
    if (fontIndex < 0 || fontIndex >= static_cast<int32_t>(fonts.size())) return;
    charWidth_ = fonts[static_cast<size_t>(fontIndex)].width;
    charHeight_ = e_.H2V(fonts[static_cast<size_t>(fontIndex)].height);
}

void EscapeInterpreter::WritePendingFont() {
    if (!fontPending_) return;
    e_.printModeByte_ = cmd_.SelectPrintModes(line_, fontB_, false, false, false, false);
    fontPending_ = false;
}

void EscapeInterpreter::TextByte(uint8_t byte) {
    // Text in runs arrives as UTF-8: a character takes up to four bytes, a table switch none.
    int32_t cells = 1;
    if (e_.unicodeRuns_.active)
        cells = e_.AppendUnicodeByte(line_, byte);
    else
        line_.Append(byte);
    e_.lineOpen_ = 1;
    lineHeight_ = std::max(lineHeight_, charHeight_ * vScale_);
    const int32_t advance = charWidth_ * hScale_ * cells;
    segmentWidth_ = Grow(segmentWidth_, advance);
    x_ = Grow(x_, advance);
}

// A refused sequence reaches the printer as the text it was.
void EscapeInterpreter::CopyAsText(size_t from, size_t to) {
    for (size_t i = from; i < to && i < input_.size(); ++i) TextByte(input_[i]);
}

void EscapeInterpreter::LineEnd(bool atLineFeed) {
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
        cmd_.SetJustification(line_, letter == 'c' ? kJustifyCentre : letter == 'r' ? kJustifyRight : kJustifyLeft);
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

void EscapeInterpreter::Refuse(int32_t code) {
    refusal_ = true;
    if (validate_ && !stop_) stop_ = code;
}

int32_t EscapeInterpreter::Finish() {
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
