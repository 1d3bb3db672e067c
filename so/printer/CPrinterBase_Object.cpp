// CPrinterBase, FormatObject: a finished barcode or image placed on the line, in the page-mode
// area, or around an upside-down or sideways rotation.
#include <algorithm>

#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
constexpr int32_t kRotationMask = 0xFFF;
constexpr int32_t kObjectPadding = 5;
constexpr uint8_t kDirectionNormal = '0';

uint8_t AlignmentLetter(char align) {
    if (align == 1) return 'c';
    if (align == 2) return 'r';
    return 'l';
}
}  // namespace

int32_t CPrinterBase::FormatObject(PrinterBuffer& out, const PrinterBuffer& object, int32_t width, int32_t height,
                                   char align, int32_t xPos, int32_t followsRotation) {
    const bool sideways = rotateRight_ || rotateLeft_;
    const bool follows = followsRotation != 0;
    const int32_t rotation = rotateSpecial_ & kRotationMask;
    PrinterBuffer& prefix = objectPrefix_;
    prefix.Clear();
    if (!pageMode_ && !sideways) {
        if (align == kObjectAtPosition)
            cmd_->SetLeftMargin(prefix, xPos);
        else
            cmd_->SetJustification(prefix, static_cast<uint8_t>(align));
    } else if (align == kObjectAtPosition) {
        const int32_t x = xPos + pageModeHorizontalPosition_;
        cmd_->SetAbsolutePosition(prefix, sideways || (pageMode_ && pageSideways_) ? H2V(x) : x);
    } else {
        SelectHPos(prefix, AlignmentLetter(align), width);
    }
    const auto place = [&] {
        out.Append(prefix);
        out.Append(object);
    };
    if (IsDirectSend() != 0) cmd_->FeedNone(out);
    if (upsideDown_ && !follows) {
        cmd_->SetUpsideDown(out, false);
        place();
        cmd_->SetUpsideDown(out, true);
        return 0;
    }
    const int32_t margin = parameters_.pageModeValue;
    if (sideways && !follows) {
        // An object that keeps its orientation gets an upright page of its own.
        cmd_->SelectPageMode(out);
        cmd_->SetPageArea(out, 0, 0, recLineWidth_, H2V(charHeight_ + margin + height + kObjectPadding));
        cmd_->SelectPageDirection(out, kDirectionNormal);
        cmd_->FeedDots(out, H2V(charHeight_) + H2V(height));
        place();
        cmd_->FormFeed(out);
        return 0;
    }
    if (pageMode_) {
        const bool asIs = sideways || pageSideways_;
        cmd_->SetAbsoluteVerticalPosition(out, asIs ? pageModeVerticalPosition_ : H2V(pageModeVerticalPosition_));
        cmd_->FeedDots(out, height + charHeight_);
        place();
        return 0;
    }
    if (!sideways) {
        if ((upsideDown_ && follows) || rotation == Opos::PTR_RP_ROTATE180) {
            cmd_->SetUpsideDown(out, true);
            place();
            cmd_->SetUpsideDown(out, false);
        } else if (rotation != Opos::PTR_RP_NORMAL) {
            // The object printed turned by itself, on a page of its own.
            const bool quarter = rotation == Opos::PTR_RP_RIGHT90 || rotation == Opos::PTR_RP_LEFT90;
            const int32_t along = quarter ? width : height + charHeight_;
            cmd_->SelectPageMode(out);
            cmd_->SetPageArea(out, 0, 0, recLineWidth_, H2V(margin + along + kObjectPadding));
            cmd_->SelectPageDirection(out, cmd_->PageDirectionForRotation(rotation));
            cmd_->FeedDots(out, H2V(charHeight_) + H2V(height));
            place();
            cmd_->FormFeed(out);
        } else {
            place();
        }
        return 0;
    }
    // Sideways, and the object turns with the text: the rotated page grows to hold it.
    widestLine_ = std::max(widestLine_, width);
    cmd_->FeedDots(out, height + charHeight_);
    place();
    return 0;
}

}  // namespace QVO::Printer
