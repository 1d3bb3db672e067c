// Base command set: one-dimensional barcodes with their sizing, PDF417 and QR Code.
#include "so/cmd/CCmdHelperBase.h"

#include <limits>

#include "so/cmd/CmdBytes.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {

using namespace CmdBytes;
using namespace QVO::Opos;

namespace {
constexpr uint8_t kPdf417 = 48;
constexpr uint8_t kQrCode = 49;
constexpr size_t kMaxSymbolData = 255;
constexpr int32_t kDefaultBarcodeHeight = 162;
constexpr int32_t kDefaultModuleWidth = 2;

bool ValidSymbolData(std::span<const uint8_t> data) { return !data.empty() && data.size() <= kMaxSymbolData; }
}  // namespace

bool CCmdHelperBase::SetPdf417Columns(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 30)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 65}, data);
    return true;
}

bool CCmdHelperBase::SetPdf417Rows(PrinterBuffer& target, int32_t n) {
    if (n != 0 && !InRange(n, 3, 90)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 66}, data);
    return true;
}

bool CCmdHelperBase::SetPdf417ModuleWidth(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 2, 8)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 67}, data);
    return true;
}

bool CCmdHelperBase::SetPdf417RowHeight(PrinterBuffer& target, int32_t n) {
    const uint8_t data[] = {Byte(std::clamp(n, 2, 8))};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 68}, data);
    return true;
}

// m 0x30 selects a level 0..8 (as '0'..'8'), m 0x31 a ratio of 1..40 (tenths of the data).
bool CCmdHelperBase::SetPdf417ErrorLevel(PrinterBuffer& target, int32_t m, int32_t n) {
    const bool byLevel = m == 0x30 && InRange(n, 0x30, 0x38);
    const bool byRatio = m == 0x31 && InRange(n, 1, 40);
    if (!byLevel && !byRatio) return false;
    const uint8_t data[] = {Byte(m), Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 69}, data);
    return true;
}

void CCmdHelperBase::SetPdf417Options(PrinterBuffer& target, bool truncated) {
    const uint8_t data[] = {truncated ? uint8_t{0} : uint8_t{1}};
    AppendFramed16(target, {GS, '(', 'k'}, {kPdf417, 70}, data);
}

// The printer's symbol store takes fewer than 256 bytes per symbol in this command form.
bool CCmdHelperBase::StorePdf417Data(PrinterBuffer& target, std::span<const uint8_t> data) {
    if (data.size() > kMaxSymbolData) return false;
    Append2dFunction(target, kPdf417, 80, data);
    return true;
}

void CCmdHelperBase::PrintPdf417(PrinterBuffer& target) { Append2dFunction(target, kPdf417, 81, {}); }
void CCmdHelperBase::RequestPdf417Size(PrinterBuffer& target) { Append2dFunction(target, kPdf417, 82, {}); }

bool CCmdHelperBase::SelectQrModel(PrinterBuffer& target, int32_t n) {
    if (n != 0x31 && n != 0x32) return false;
    const uint8_t data[] = {Byte(n), 0x00};
    AppendFramed16(target, {GS, '(', 'k'}, {kQrCode, 65}, data);
    return true;
}

bool CCmdHelperBase::SetQrModuleSize(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 1, 16)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kQrCode, 67}, data);
    return true;
}

bool CCmdHelperBase::SetQrErrorLevel(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0x30, 0x33)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'k'}, {kQrCode, 69}, data);
    return true;
}

bool CCmdHelperBase::StoreQrData(PrinterBuffer& target, std::span<const uint8_t> data) {
    if (data.size() > kMaxSymbolData) return false;
    Append2dFunction(target, kQrCode, 80, data);
    return true;
}

void CCmdHelperBase::PrintQr(PrinterBuffer& target) { Append2dFunction(target, kQrCode, 81, {}); }
void CCmdHelperBase::RequestQrSize(PrinterBuffer& target) { Append2dFunction(target, kQrCode, 82, {}); }

uint8_t CCmdHelperBase::JustificationForBitmapAlignment(int32_t alignment) {
    if (alignment == PTR_BM_RIGHT) return 2;
    if (alignment == PTR_BM_CENTER) return 1;
    return 0;
}

uint8_t CCmdHelperBase::JustificationForAlignment(int32_t alignment) {
    return JustificationForBitmapAlignment(alignment);
}

uint8_t CCmdHelperBase::HriPositionForTextPosition(int32_t textPosition) {
    if (textPosition == PTR_BC_TEXT_BELOW) return 2;
    if (textPosition == PTR_BC_TEXT_ABOVE) return 1;
    return 0;
}

uint8_t CCmdHelperBase::HriPositionForTextPositionAll(int32_t textPosition) {
    switch (textPosition) {
        case PTR_BC_TEXT_BELOW:
            return 2;
        case PTR_BC_TEXT_ABOVE:
            return 1;
        case PTR_BC_TEXT_NONE:
            return 0;
        default:
            return 3;  // above and below
    }
}

bool CCmdHelperBase::SetHriPosition(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 3) && !InRange(n, 48, 51)) return false;
    Put(target, {GS, 'H', Byte(n)});
    return true;
}

bool CCmdHelperBase::SelectHriFont(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 1)) return false;
    Put(target, {GS, 'f', Byte(n)});
    return true;
}

uint8_t CCmdHelperBase::BarcodeSystemForSymbology(int32_t symbology) {
    switch (symbology) {
        case PTR_BCS_UPCA:
            return 0x41;
        case PTR_BCS_UPCE:
            return 0x42;
        case PTR_BCS_JAN8:
            return 0x44;
        case PTR_BCS_JAN13:
            return 0x43;
        case PTR_BCS_ITF:
            return 0x46;
        case PTR_BCS_Codabar:
            return 0x47;
        case PTR_BCS_Code39:
            return 0x45;
        case PTR_BCS_Code93:
            return 0x48;
        case PTR_BCS_Code128:
        case PTR_BCS_Code128_Parsed:
            return 0x49;
        case PTR_BCS_EAN128:
            return 0x4A;
        case PTR_BCS_RSS14:
            return 0x4B;
        case PTR_BCS_RSS_EXPANDED:
            return 0x4E;
        default:
            return 0;
    }
}

namespace {
// Symbol width in dots, in 64 bits so that very long data cannot overflow; -1 when unknown.
int64_t SymbolWidth64(int32_t symbology, int64_t b, std::span<const uint8_t> data) {
    const auto n = static_cast<int64_t>(data.size());
    switch (symbology) {
        case PTR_BCS_UPCA:
        case PTR_BCS_JAN13:
            return 95 * b;
        case PTR_BCS_UPCE:
            return 53 * b;
        case PTR_BCS_JAN8:
            return 67 * b;
        case PTR_BCS_ITF: {
            // The wide element is only known for module widths 2 to 6.
            static constexpr int64_t kWide[] = {5, 8, 10, 13, 15};
            if (b < 2 || b > 6) return -1;
            const int64_t d = kWide[b - 2];
            return d + n * (3 * b + 2 * d) + 6 * b;
        }
        case PTR_BCS_Codabar: {
            int64_t width = 11 * b;
            for (const uint8_t c : data) width += c > '9' ? 11 * b : 10 * b;
            return n > 1 ? width + 10 * b : width;
        }
        case PTR_BCS_Code39:
            return b * (13 * n + 25);
        case PTR_BCS_Code93:
            return b * (9 * n + 39);
        case PTR_BCS_Code128:
        case PTR_BCS_Code128_Parsed:
            return b * (11 * n + 35);
        default:
            return -1;
    }
}
}  // namespace

int32_t CCmdHelperBase::BarcodeSymbolWidth(int32_t symbology, int32_t b, std::span<const uint8_t> data) {
    const int64_t width = SymbolWidth64(symbology, b, data);
    return static_cast<int32_t>(
        std::clamp<int64_t>(width, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// A request below 7 is already a module width; larger requests are a width in dots and get
// the widest module (2..6) whose symbol still fits.
int32_t CCmdHelperBase::FitBarcodeModuleWidth(int32_t symbology, int32_t requestedWidth, std::span<const uint8_t> data,
                                              int32_t* resultingWidth) {
    int32_t width = requestedWidth;
    int32_t result = kDefaultModuleWidth;
    if (requestedWidth < 7) {
        const int32_t symbolWidth = BarcodeSymbolWidth(symbology, requestedWidth, data);
        if (symbolWidth >= 0) width = symbolWidth;
        result = requestedWidth;
    } else if (BarcodeSymbolWidth(symbology, kDefaultModuleWidth, data) >= 0) {
        result = 6;
        for (int32_t b = 2; b <= 6; ++b) {
            const int32_t symbolWidth = BarcodeSymbolWidth(symbology, b, data);
            if (symbolWidth > requestedWidth) {
                result = std::max(b - 1, kDefaultModuleWidth);
                break;
            }
            width = symbolWidth;
        }
    }
    if (resultingWidth != nullptr) *resultingWidth = width;
    return result;
}

bool CCmdHelperBase::AppendBarcodeSteps(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                                        int32_t justification, int32_t textPosition, int32_t hriFont,
                                        std::span<const uint8_t> data, bool withJustification) {
    if (!ValidSymbolData(data) || BarcodeSystemForSymbology(symbology) == 0) return false;
    SetBarcodeModuleWidth(target, moduleWidth);
    SetBarcodeHeight(target, height);
    SetHriPosition(target, HriPositionForTextPosition(textPosition));
    SelectHriFont(target, hriFont);
    if (withJustification) SetJustification(target, justification);
    return PrintBarcodeData(target, symbology, data);
}

bool CCmdHelperBase::AppendBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                                   int32_t justification, int32_t textPosition, int32_t hriFont,
                                   std::span<const uint8_t> data) {
    return AppendBarcodeSteps(target, symbology, height, moduleWidth, justification, textPosition, hriFont, data, true);
}

// GS k with a length byte. An unknown symbology is refused: system 0 would select the
// NUL-terminated form and the printer would read the length byte as barcode data.
bool CCmdHelperBase::PrintBarcodeData(PrinterBuffer& target, int32_t symbology, std::span<const uint8_t> data) {
    const uint8_t system = BarcodeSystemForSymbology(symbology);
    if (!ValidSymbolData(data) || system == 0) return false;
    Put(target, {GS, 'k', system, static_cast<uint8_t>(data.size())});
    target.Append(data);
    return true;
}

void CCmdHelperBase::SetBarcodeModuleWidth(PrinterBuffer& target, int32_t n) {
    Put(target, {GS, 'w', Byte(n < 8 ? n : kDefaultModuleWidth)});
}

void CCmdHelperBase::SetBarcodeHeight(PrinterBuffer& target, int32_t n) {
    Put(target, {GS, 'h', Byte(n == 0 ? kDefaultBarcodeHeight : n)});
}

// GS ( k cn fn 0x30 data: the store, print and size-request functions of a 2D symbol.
void CCmdHelperBase::Append2dFunction(PrinterBuffer& target, uint8_t cn, uint8_t fn, std::span<const uint8_t> data) {
    block_.Clear();
    block_.Append(uint8_t{0x30});
    block_.Append(data);
    AppendFramed16(target, {GS, '(', 'k'}, {cn, fn}, block_.Bytes());
}

}  // namespace QVO::Printer
