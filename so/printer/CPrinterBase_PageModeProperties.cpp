// CPrinterBase, the page-mode properties behind the property table: station, descriptor,
// positions, direction, the page area and the print area (positions and areas kept in dots).
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
// Bitmap, barcode, barcode rotation and two-dimensional barcode in page mode.
constexpr int32_t kPageModeDescriptor = 15;
constexpr size_t kShortestAreaText = 7;
constexpr size_t kLongestAreaText = 30;

std::wstring Joined(std::initializer_list<int32_t> values) {
    std::wstring text;
    for (const int32_t v : values) text += (text.empty() ? L"" : L",") + std::to_wstring(v);
    return text;
}
}  // namespace

int32_t CPrinterBase::GetPageModeNumber(int32_t index, int32_t* value) {
    const bool receipt = pageModeStation_ == PTR_S_RECEIPT;
    int32_t v = 0;
    switch (index) {
        case PIDXPtr_PageModeDescriptor:
            v = receipt ? kPageModeDescriptor : 0;
            break;
        case PIDXPtr_PageModeHorizontalPosition:
            v = receipt ? DOT2MapNumber_H(pageModeHorizontalPosition_) : 0;
            break;
        case PIDXPtr_PageModeVerticalPosition:
            v = receipt ? DOT2MapNumber_H(pageModeVerticalPosition_) : 0;
            break;
        case PIDXPtr_PageModePrintDirection:
            v = pageModeDirection_;
            break;
        case PIDXPtr_PageModeStation:
            v = pageModeStation_;
            break;
        default:
            break;
    }
    if (value != nullptr) *value = v;
    return 0;
}

// Positions are kept only for the receipt station, as the descriptor reports; a negative
// position has no place on the page and is refused.
int32_t CPrinterBase::SetPageModeNumber(int32_t index, int32_t value, int32_t* pRC) {
    int32_t rc = OPOS_SUCCESS;
    switch (index) {
        case PIDXPtr_PageModeHorizontalPosition:
        case PIDXPtr_PageModeVerticalPosition: {
            if (value < 0) {
                rc = OPOS_E_ILLEGAL;
            } else if (pageModeStation_ == PTR_S_RECEIPT) {
                int32_t& field = index == PIDXPtr_PageModeHorizontalPosition ? pageModeHorizontalPosition_
                                                                             : pageModeVerticalPosition_;
                field = MapNumber2DOT_H(value);
            }
            break;
        }
        case PIDXPtr_PageModePrintDirection:
            rc = SetPageModePrintDirection(value);
            break;
        case PIDXPtr_PageModeStation:
            if (value == PTR_S_RECEIPT)
                pageModeStation_ = value;
            else
                rc = kExtStationNotReceipt;
            break;
        default:
            rc = OPOS_E_ILLEGAL;  // the descriptor is read-only
            break;
    }
    const int32_t result = SetRC(rc);
    if (pRC != nullptr) *pRC = result;
    return 0;
}

int32_t CPrinterBase::GetPageModeString(int32_t index, std::wstring* value) {
    std::wstring text;
    if (index == PIDXPtr_PageModeArea) {
        text = Joined({DOT2MapNumber_H(PageAreaWidth()), DOT2MapNumber_H(PageAreaHeight())});
    } else if (index == PIDXPtr_PageModePrintArea && pageModeStation_ == PTR_S_RECEIPT) {
        text = Joined({DOT2MapNumber_H(printArea_[0]), DOT2MapNumber_H(printArea_[1]), DOT2MapNumber_H(printArea_[2]),
                       DOT2MapNumber_H(printArea_[3])});
    }
    if (value != nullptr) *value = std::move(text);
    return 0;
}

// Four numbers in map units, checked in dots against the page area; the next page output
// writes the area (ESC W).
int32_t CPrinterBase::SetPageModeString(int32_t index, const std::wstring& value, int32_t* pRC) {
    int32_t rc = kExtStationNotReceipt;
    int32_t area[4] = {};
    if (index != PIDXPtr_PageModePrintArea) {
        rc = OPOS_E_ILLEGAL;
    } else if (value.size() >= kShortestAreaText && value.size() <= kLongestAreaText) {
        if (!GetValueInPageModeAreaString(value, &area[0], &area[1], &area[2], &area[3])) {
            rc = OPOS_E_ILLEGAL;
        } else {
            for (int32_t& v : area) v = MapNumber2DOT_H(v);
            rc = ValidatePageModePrintArea(area[0], area[1], area[2], area[3]);
        }
        if (rc == OPOS_SUCCESS) {
            printAreaText_ = value;
            printArea_ = {area[0], area[1], area[2], area[3]};
            printAreaPending_ = true;
        }
    }
    const int32_t result = SetRC(rc);
    if (pRC != nullptr) *pRC = result;
    return 0;
}

}  // namespace QVO::Printer
