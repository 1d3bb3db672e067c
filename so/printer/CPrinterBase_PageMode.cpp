// CPrinterBase, page mode and rotation: the page-mode area and direction, PageModePrint,
// ClearPrintArea, RotatePrint, and the page-mode properties.
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kRotationMask = 0xFFF;
constexpr int32_t kFollowMask = 0xF000;
constexpr int32_t kBarcodesFollow = 0x1000;
constexpr int32_t kBitmapsFollow = 0x2000;
constexpr int32_t kBothFollow = 0x3000;
constexpr uint8_t kDirectionNormal = 0x30;
constexpr uint8_t kDirectionLeft90 = 0x31;
constexpr uint8_t kDirectionRight90 = 0x33;
constexpr int32_t kSetupPageMode = 1;
constexpr int32_t kLeftToRight = 1;
constexpr int32_t kTopToBottom = 4;
constexpr int32_t kBottomToTop = 2;
constexpr size_t kAreaValues = 4;

bool Sideways(int32_t direction) { return direction == kBottomToTop || direction == kTopToBottom; }

// One decimal number, optionally signed, that ends at a comma or the end of the text.
bool ReadAreaNumber(const std::wstring& text, size_t& pos, int32_t& value) {
    int64_t v = 0;
    const bool negative = pos < text.size() && text[pos] == L'-';
    if (negative) ++pos;
    const size_t first = pos;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
        v = v * 10 + (text[pos] - L'0');
        if (v > INT32_MAX) return false;
        ++pos;
    }
    value = static_cast<int32_t>(negative ? -v : v);
    return pos > first;
}
}  // namespace

void CPrinterBase::ResetPageMode() {
    pageMode_ = pageSideways_ = false;
    rotateRight_ = rotateLeft_ = upsideDown_ = false;
    barcodeRotation_ = bitmapRotation_ = false;
    rotateSpecial_ = PTR_RP_NORMAL;
    pageModeDirection_ = kLeftToRight;
    pageModeStation_ = 0;
    pageModeHorizontalPosition_ = pageModeVerticalPosition_ = 0;
    printArea_ = {};
    printAreaText_ = L"0,0,0,0";
    printAreaPending_ = false;
    pageAreaWidth_ = recLineWidth_;
    pageAreaHeight_ = parameters_.pageHeight;
    pageModeBuffer_.Clear();
    rotationBuffer_.Clear();
    rotationObjectBuffer_.Clear();
}

int32_t CPrinterBase::ValidatePageModePrintArea(int32_t x, int32_t y, int32_t width, int32_t height) const {
    if (x < 0 || y < 0 || width < 0 || height < 0) return OPOS_E_ILLEGAL;
    if (int64_t{x} + width > PageAreaWidth() || int64_t{y} + height > PageAreaHeight()) return OPOS_E_ILLEGAL;
    return OPOS_SUCCESS;
}

// Exactly four comma-separated numbers, in the order x, y, width, height.
bool CPrinterBase::GetValueInPageModeAreaString(const std::wstring& text, int32_t* x, int32_t* y, int32_t* width,
                                                int32_t* height) const {
    int32_t* out[kAreaValues] = {x, y, width, height};
    size_t pos = 0;
    for (size_t i = 0; i < kAreaValues; ++i) {
        if (i > 0 && (pos >= text.size() || text[pos++] != L',')) return false;
        if (!ReadAreaNumber(text, pos, *out[i])) return false;
    }
    return pos == text.size();
}

int32_t CPrinterBase::SetPageModePrintDirection(int32_t direction) {
    if (direction < kLeftToRight || direction > kTopToBottom) return OPOS_E_ILLEGAL;
    const bool wasSideways = IsInRotate90Mode();
    pageModeDirection_ = direction;
    if (PrinterBuffer* collecting = CurrentPrinterBuffer(); collecting != nullptr && cmd_ != nullptr) {
        cmd_->SelectPageDirection(*collecting, direction - 1);
        cmd_->SetLineSpacing(*collecting, wasSideways ? recLineSpacing_ : H2V(recLineSpacing_));
    }
    lineOpen_ = 0;
    pageSideways_ = Sideways(direction);
    return OPOS_SUCCESS;
}

// The page is wrapped the same way whether it is printed and kept (2) or printed and left (3):
// the standard setup with ESC L in front and FF behind, so the printer composes it in page mode
// rather than printing the page's commands as standard-mode lines.
void CPrinterBase::PrintPage() {
    if (pageModeBuffer_.IsEmpty()) return;
    if (transaction_) {
        cmd_->SelectPageMode(transactionBuffer_);
        transactionBuffer_.Append(pageModeBuffer_);
        cmd_->FormFeed(transactionBuffer_);
        return;
    }
    direct_.Clear();
    InitOutBufferWithPMControl(direct_, kSetupPageMode);
    direct_.Append(pageModeBuffer_);
    cmd_->FormFeed(direct_);
    // As with a rotated block, a failed send reaches the application as an error event.
    Send(direct_, 0);
    direct_.Clear();
}

int32_t CPrinterBase::PageModePrint(int32_t control, int32_t* pRC) {
    const bool stationUsable = pageModeStation_ == PTR_S_RECEIPT && parameters_.capRecPageMode;
    int32_t rc = OPOS_SUCCESS;
    if (!stationUsable || cmd_ == nullptr || (!pageMode_ && control != PTR_PM_PAGE_MODE) ||
        control < PTR_PM_PAGE_MODE || control > PTR_PM_CANCEL) {
        rc = OPOS_E_ILLEGAL;
    } else if ((control == PTR_PM_PRINT_SAVE || control == PTR_PM_NORMAL) && asyncMode_ == 0 && IsIdle() == 0) {
        rc = OPOS_E_BUSY;
    } else {
        if (rotateRight_ || rotateLeft_ || upsideDown_) rotateSpecial_ = SetRotation(PTR_RP_NORMAL);
        switch (control) {
            case PTR_PM_PAGE_MODE:
                if (!pageMode_) {
                    pageModeBuffer_.Clear();
                    lineOpen_ = widestLine_ = openLinePosition_ = 0;
                    printAreaPending_ = true;
                    pageMode_ = true;
                    pageSideways_ = Sideways(pageModeDirection_);
                }
                break;
            case PTR_PM_PRINT_SAVE:
                PrintPage();
                break;
            case PTR_PM_NORMAL:
                pageMode_ = false;
                PrintPage();
                pageModeBuffer_.Clear();
                break;
            default:
                pageMode_ = false;
                pageModeBuffer_.Clear();
                break;
        }
    }
    *pRC = SetRC(rc);
    return 0;
}

int32_t CPrinterBase::RotatePrint(int32_t station, int32_t rotation, int32_t* pRC) {
    if (station != PTR_S_RECEIPT || cmd_ == nullptr) return AnswerUnsupported(pRC);
    *pRC = SetRC(OPOS_SUCCESS);
    const bool anyRotation = rotateRight_ || rotateLeft_ || upsideDown_;
    if (rotation == PTR_RP_NORMAL && rotateSpecial_ == PTR_RP_NORMAL && !anyRotation) return 0;
    rotateSpecial_ = SetRotation(rotation);
    return 0;
}

// A running sideways block is printed first: the objects placed ahead of it, then the rotated
// lines on a page as tall as the widest line (within the page area).
void CPrinterBase::EndSidewaysRotation(int32_t rotation) {
    if (rotation == PTR_RP_NORMAL && !rotationBuffer_.IsEmpty()) {
        cmd_->SelectPageDirection(rotationBuffer_, kDirectionNormal);
        cmd_->FormFeed(rotationBuffer_);
    }
    direct_.Clear();
    PrinterBuffer& destination = transaction_ ? transactionBuffer_ : direct_;
    destination.Append(rotationObjectBuffer_);
    if (!rotationBuffer_.IsEmpty()) {
        cmd_->SelectPageMode(destination);
        const int32_t height = std::min(widestLine_ + parameters_.pageModeValue, H2V(PageAreaHeight()));
        cmd_->SetPageArea(destination, 0, 0, parameters_.paperWidth, height);
        destination.Append(rotationBuffer_);
        cmd_->FormFeed(destination);
    }
    if (!transaction_) Send(direct_, 0);
    direct_.Clear();
    rotationBuffer_.Clear();
    rotationObjectBuffer_.Clear();
}

int32_t CPrinterBase::SetRotation(int32_t rotation) {
    if ((rotateRight_ || rotateLeft_) && (!rotationBuffer_.IsEmpty() || !rotationObjectBuffer_.IsEmpty()))
        EndSidewaysRotation(rotation);
    lineOpen_ = widestLine_ = openLinePosition_ = linesHeight_ = 0;
    if (rotation == PTR_RP_NORMAL) {
        if (upsideDown_) upsideDownChanged_ = true;
        barcodeRotation_ = bitmapRotation_ = false;
        rotateRight_ = rotateLeft_ = upsideDown_ = false;
        if (pageMode_) {
            cmd_->SelectPageDirection(pageModeBuffer_, kDirectionNormal);
        } else if (transaction_) {
            cmd_->SelectPageDirection(transactionBuffer_, kDirectionNormal);
            cmd_->FormFeed(transactionBuffer_);
        } else {
            direct_.Clear();
            cmd_->SelectPageDirection(direct_, kDirectionNormal);
            cmd_->FormFeed(direct_);
            Send(direct_, 0);
            direct_.Clear();
        }
        return PTR_RP_NORMAL;
    }
    const int32_t follow = rotation & kFollowMask;
    if (follow >= kBothFollow) {
        barcodeRotation_ = bitmapRotation_ = true;
    } else {
        if (follow == kBarcodesFollow) barcodeRotation_ = true;
        if (follow == kBitmapsFollow) bitmapRotation_ = true;
    }
    switch (rotation & kRotationMask) {
        case PTR_RP_ROTATE180:
            rotateRight_ = rotateLeft_ = false;
            upsideDown_ = upsideDownChanged_ = true;
            break;
        case PTR_RP_RIGHT90:
            rotateRight_ = true;
            rotateLeft_ = upsideDown_ = false;
            cmd_->SelectPageDirection(rotationBuffer_, kDirectionRight90);
            break;
        case PTR_RP_LEFT90:
            rotateLeft_ = true;
            rotateRight_ = upsideDown_ = false;
            cmd_->SelectPageDirection(rotationBuffer_, kDirectionLeft90);
            break;
        default:
            break;
    }
    return rotation;
}

// The area goes into the page as dots, as the print methods write it: the property's text is
// in map units, which the printer does not know.
int32_t CPrinterBase::ClearPrintArea(int32_t* pRC) {
    if (!pageMode_ || pageModeStation_ != PTR_S_RECEIPT || cmd_ == nullptr) {
        *pRC = SetRC(OPOS_E_ILLEGAL);
        return 0;
    }
    cmd_->SetPageArea(pageModeBuffer_, printArea_[0], H2V(printArea_[1]), printArea_[2], H2V(printArea_[3]));
    cmd_->CancelPageData(pageModeBuffer_);
    *pRC = SetRC(OPOS_SUCCESS);
    return 0;
}

}  // namespace QVO::Printer
