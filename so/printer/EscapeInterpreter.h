// The escape-sequence interpreter of the printer engine: one object per FormatStringToOutBuffer
// call, holding that call's working state (engine-internal; not part of the library's API).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "so/cmd/PrinterBuffer.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

// Widths and totals only grow; a text long enough to pass the int range is held at its top.
inline int32_t Grow(int32_t a, int32_t b) {
    const int64_t sum = static_cast<int64_t>(a) + b;
    return static_cast<int32_t>(std::min<int64_t>(sum, std::numeric_limits<int32_t>::max()));
}

// One parsed ESC | [*] [!] [number] [lowercase] UPPERCASE sequence.
struct EscapeSequence {
    size_t start = 0;   // the ESC
    size_t next = 0;    // first byte after the letter (before any data)
    bool star = false;  // the number is a data length only
    bool bang = false;  // switch off
    bool hasNumber = false;
    int32_t number = 0;      // the numeric argument (0 with the star)
    int32_t dataLength = 0;  // the number as read, for E and R
    std::string qualifier;   // the lowercase letters
    uint8_t letter = 0;      // 0: no uppercase letter followed the qualifier
};

// The interpreter of one call. In page mode and sideways printing the same scan lays lines
// out itself (CPrinterBase_PageModeText.cpp): each line positioned for its alignment by
// ESC $, wrapped to the print area, fed by ESC J, and dropped past the area's foot.
// Not thread-safe: runs on the print method's thread with the engine's buffers.
class EscapeInterpreter {
public:
    EscapeInterpreter(CPrinterBase& engine, PrinterBuffer& target, bool validateOnly);
    int32_t Run(std::span<const uint8_t> input);

private:
    // Scanning (CPrinterBase_Interpreter.cpp).
    void Setup();
    void TextByte(uint8_t byte);
    void CopyAsText(size_t from, size_t to);
    void WritePendingFont();
    void LineEnd(bool atLineFeed);
    void Align(uint8_t letter);
    void RestoreLinePlacement();
    int32_t Finish();

    // Page mode and sideways printing (CPrinterBase_PageModeText.cpp).
    void SetupPage();
    void PageLineFeed(uint8_t byte);
    // Wraps the line before the byte that starts at `mark` in the line buffer when the byte
    // passes the wrap width; false when the page is full and the call must stop.
    bool WrapBefore(size_t mark, int32_t oldX);
    void PageLineEnd(bool atLineFeed);
    // Feeds down to the line's base line and positions it for the alignment letter.
    void PlaceLine(int32_t width, int32_t gap);
    // Adds the line's height to the page; false when it no longer fits the print area.
    bool RoomForLine();

    // Sequences (CPrinterBase_Sequences.cpp): parse, then run; returns where scanning goes on.
    EscapeSequence Parse(size_t start) const;
    size_t Execute(const EscapeSequence& seq);
    // Each returns false when the sequence is refused (printed as text).
    bool Alignment(const EscapeSequence& seq);
    bool Character(const EscapeSequence& seq);
    bool CharacterSize(const EscapeSequence& seq, bool height);
    bool Underline(const EscapeSequence& seq);
    bool Feed(const EscapeSequence& seq);
    bool Normal(const EscapeSequence& seq);
    bool Cut(const EscapeSequence& seq);
    bool Font(const EscapeSequence& seq);
    bool Bitmap(const EscapeSequence& seq);
    bool Logo(const EscapeSequence& seq);
    bool Barcode(const EscapeSequence& seq, std::span<const uint8_t> data);
    void FontMetrics(int32_t fontIndex);
    void Refuse(int32_t code);

    CPrinterBase& e_;
    ICmdHelper& cmd_;
    PrinterBuffer& target_;
    PrinterBuffer& line_;
    const bool validate_;
    std::span<const uint8_t> input_;
    // Set in validate-only mode by the first problem: the call's answer.
    std::optional<int32_t> stop_;
    // Page mode or sideways printing: lines laid out here, not by the printer's justification.
    bool collecting_ = false;
    bool sideways_ = false;
    bool pageMode_ = false;
    // Page mode: the text filled the print area; the rest of the call is dropped.
    bool pageFull_ = false;
    // No unfinished line above this one: it is fed to by GS $ or the last ESC J already.
    bool firstLine_ = true;
    // Text was added to the current line in this call.
    bool lineText_ = false;
    // Widths in the line's direction: until the first wrap, the whole area and from a position.
    int32_t wrapWidth_ = 0;
    int32_t firstWrapWidth_ = 0;
    int32_t fullWidth_ = 0;
    int32_t verticalRoom_ = 0;

    uint8_t alignment_ = 'l';
    uint8_t justification_ = 'l';
    // The justification the printer was last told (ESC a); a line's segments do not change it.
    uint8_t printerJustification_ = 'l';
    int32_t charWidth_ = 0;
    int32_t charHeight_ = 0;
    int32_t lineHeight_ = 0;
    int32_t lineSpacing_ = 0;
    int32_t widthSize_ = 1;
    int32_t heightSize_ = 1;
    int32_t hScale_ = 1;
    int32_t vScale_ = 1;
    int32_t x_ = 0;
    int32_t segmentWidth_ = 0;
    bool segmentPending_ = false;
    bool continuing_ = false;
    bool fontB_ = false;
    bool fontPending_ = false;
    bool formFeedSeen_ = false;
    bool markBoldUnderline_ = false;
    bool markSize_ = false;
    bool markReverse_ = false;
    bool markJustification_ = false;
    bool error_ = false;
    bool refusal_ = false;
};

}  // namespace QVO::Printer
