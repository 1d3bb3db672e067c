// CPrinterBase, the maker's drawing extensions: horizontal line segments (PrintLine) and
// curved text (PrintCurveText), on the models whose command set carries them.
#include <cstdlib>
#include <string>
#include <vector>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr size_t kShortestLineList = 3;  // "a,b": one segment needs two numbers and a comma
constexpr size_t kMostLineValues = 254;
constexpr int32_t kSixteenBits = 0xFFFF;

// Leading decimal digits of each comma-separated piece (none read 0), as 16-bit values; the
// count of values followed by a comma, which is what the segment count is made of.
std::vector<int32_t> ParseLineList(std::span<const uint8_t> list, int32_t* valuesBeforeComma) {
    std::vector<int32_t> values;
    *valuesBeforeComma = 0;
    size_t at = 0;
    while (at < list.size() && values.size() < kMostLineValues) {
        int32_t value = 0;
        size_t digit = at;
        while (digit < list.size() && list[digit] >= '0' && list[digit] <= '9')
            value = (value * 10 + (list[digit++] - '0')) & kSixteenBits;
        values.push_back(value);
        size_t comma = digit;
        while (comma < list.size() && list[comma] != ',') ++comma;
        if (comma >= list.size()) break;
        ++*valuesBeforeComma;
        at = comma + 1;
    }
    return values;
}
}  // namespace

void CPrinterBase::ConvertArgument(PrinterBuffer& target, const std::wstring& text) {
    target.Clear();
    const int32_t size = BStr2Char(text, nullptr, 0, nullptr);
    std::string bytes(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
    BStr2Char(text, reinterpret_cast<uint8_t*>(bytes.data()), size, nullptr);
    DataBinaryConversion2(target, reinterpret_cast<const uint8_t*>(bytes.data()));
}

// Busy, then the argument and the model, then rotation (nothing drawn), then paper.
bool CPrinterBase::RefusedForDrawing(bool argumentUsable, int32_t* pRC) {
    if (RefusedAsBusy(pRC)) return true;
    if (pageMode_ || !argumentUsable || parameters_.cap8564 == 0 || cmd_ == nullptr) {
        *pRC = SetRC(OPOS_E_ILLEGAL);
        return true;
    }
    if (rotateRight_ || rotateLeft_) {
        *pRC = SetRC(OPOS_SUCCESS);
        return true;
    }
    return RefusedForPaper(pRC);
}

int32_t CPrinterBase::PrintLine(int32_t, const std::wstring& positionList, int32_t* pRC) {
    ConvertArgument(lineList_, positionList);
    if (RefusedForDrawing(lineList_.Size() >= kShortestLineList, pRC)) return 0;
    PrinterBuffer& target = DrawingTarget();
    int32_t valuesBeforeComma = 0;
    const std::vector<int32_t> values = ParseLineList(lineList_.Bytes(), &valuesBeforeComma);
    std::vector<LineSegment> segments;
    for (size_t i = 0; i + 1 < values.size(); i += 2) segments.push_back({values[i], values[i + 1]});
    // An odd last value has no end: only whole pairs are drawn.
    const int32_t pairs = std::min<int32_t>((valuesBeforeComma + 1) / 2, static_cast<int32_t>(segments.size()));
    cmd_->DrawLineSegments(target, std::span<const LineSegment>(segments.data(), static_cast<size_t>(pairs)), pairs);
    *pRC = SendIfDirect(target);
    return 0;
}

int32_t CPrinterBase::PrintCurveText(int32_t, int32_t textNumber, int32_t textHorizontalPos,
                                     const std::wstring& textData, int32_t* pRC) {
    ConvertArgument(curveText_, textData);
    if (RefusedForDrawing(!curveText_.IsEmpty(), pRC)) return 0;
    PrinterBuffer& target = DrawingTarget();
    cmd_->PrintCurvedText(target, textNumber, textHorizontalPos, curveText_.Bytes(),
                          static_cast<int32_t>(curveText_.Size()));
    *pRC = SendIfDirect(target);
    return 0;
}

}  // namespace QVO::Printer
