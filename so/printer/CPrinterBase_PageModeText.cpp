// CPrinterBase, text lines in page mode and sideways printing: the interpreter lays the lines
// out itself there, as the printer neither justifies nor wraps them inside a page.
#include <algorithm>
#include <limits>
#include <vector>

#include "so/printer/CPrinterBase.h"
#include "so/printer/EscapeInterpreter.h"

namespace QVO::Printer {

namespace {
constexpr uint8_t kLineFeed = 0x0A;
// Extra feed in front of a line of taller characters: motion units, or dots sideways.
constexpr int32_t kTallLineGap = 6;
constexpr int32_t kTallLineGapSideways = 3;
}  // namespace

// The area's limits for this call. A page line runs across the area (dots) and lines stack
// along it (motion units); sideways the two swap. The page vertical total starts at the
// vertical position (PrintNormal sets it) and is each line's base line, so a line fits while
// it stays within the area's full depth.
void EscapeInterpreter::SetupPage() {
    // A line left open by the last call goes on where it stopped.
    if (continuing_) x_ = e_.openLinePosition_;
    if (!pageMode_) return;
    const int32_t areaWidth = e_.printArea_[2];
    const int32_t areaHeight = e_.printArea_[3];
    const int32_t h = e_.pageModeHorizontalPosition_;
    if (sideways_) {
        fullWidth_ = e_.H2V(areaHeight);
        firstWrapWidth_ = h < areaHeight ? e_.H2V(areaHeight - h) : fullWidth_;
        verticalRoom_ = areaWidth;
    } else {
        fullWidth_ = areaWidth;
        firstWrapWidth_ = h < areaWidth ? areaWidth - h : fullWidth_;
        verticalRoom_ = e_.H2V(areaHeight);
    }
    wrapWidth_ = firstWrapWidth_;
}

// Inside a page the printer prints the line and moves on by ESC J: by the line spacing for a
// line feed, not at all for a form feed (the next text prints over the same line).
void EscapeInterpreter::PageLineFeed(uint8_t byte) {
    if (byte == kLineFeed) {
        cmd_.PrintAndFeedDots(line_, e_.GetRecLineSpacing());
    } else {
        cmd_.FeedNone(line_);
        formFeedSeen_ = true;
    }
}

bool EscapeInterpreter::RoomForLine() {
    e_.pageVerticalTotal_ = Grow(e_.pageVerticalTotal_, lineHeight_);
    return !pageMode_ || validate_ || e_.pageVerticalTotal_ <= verticalRoom_;
}

// A line that has not yet been fed to: the first of a call lies one line spacing below the
// vertical position (GS $), or below the last line feed, so only taller text needs more (with
// `gap` to spare); a line that text wrapped onto lies a whole line below the unfinished line
// above it, and the feed prints that line.
void EscapeInterpreter::PlaceLine(int32_t width, int32_t gap) {
    if (!firstLine_)
        cmd_.FeedDots(target_, lineHeight_);
    else if (lineHeight_ > lineSpacing_)
        cmd_.FeedDots(target_, lineHeight_ - lineSpacing_ + gap);
    // A line from a position outside the area starts at the area's edge.
    const int32_t extent = sideways_ ? e_.printArea_[3] : e_.printArea_[2];
    const int32_t h = e_.pageModeHorizontalPosition_;
    e_.SelectHPos(target_, alignment_, width, pageMode_ && firstLine_ && h < extent ? h : 0);
}

// The byte starting at `mark` passed the wrap width: the text before it becomes a line of its
// own, and the byte (with any code-table switch in front of it) starts the next one.
bool EscapeInterpreter::WrapBefore(size_t mark, int32_t oldX) {
    if (!RoomForLine()) return false;
    if (!continuing_) PlaceLine(oldX, 0);
    const std::span<const uint8_t> bytes = line_.Bytes();
    const std::vector<uint8_t> carried(bytes.begin() + static_cast<std::ptrdiff_t>(mark), bytes.end());
    target_.Append(bytes.first(mark));
    line_.Clear();
    line_.Append(carried.data(), carried.size());
    firstLine_ = false;
    wrapWidth_ = fullWidth_;
    lineHeight_ = lineSpacing_;
    x_ -= oldX;
    continuing_ = false;
    return true;
}

void EscapeInterpreter::PageLineEnd(bool atLineFeed) {
    // An unfinished line without text of this call: its commands go out at the end.
    if (!atLineFeed && !lineText_) return;
    if (!RoomForLine()) {
        pageFull_ = true;
        return;
    }
    if (atLineFeed) e_.linesHeight_ = Grow(e_.linesHeight_, lineHeight_);
    // A line continued from the last call was placed there.
    if (lineText_ && !continuing_)
        PlaceLine(x_, sideways_ ? kTallLineGapSideways : kTallLineGap);
    else if (pageMode_ && !firstLine_)
        cmd_.FeedDots(target_, lineHeight_);
    target_.Append(line_);
    line_.Clear();
    if (!atLineFeed) return;
    e_.openLinePosition_ = 0;
    firstLine_ = true;
    lineText_ = continuing_ = false;
    x_ = 0;
    lineHeight_ = lineSpacing_;
    wrapWidth_ = firstWrapWidth_;
}

}  // namespace QVO::Printer
