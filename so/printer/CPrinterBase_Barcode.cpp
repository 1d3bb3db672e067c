// CPrinterBase, barcodes: PrintBarCode's checks and output, and FormatBarcode, which sizes a
// symbol and builds its commands (GS k for one-dimensional symbols, GS ( k for PDF417 and QR).
#include <algorithm>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
// Two further QR Code selectors above PTR_BCS_OTHER; always model 2.
constexpr int32_t kQrModel2SymbologyA = 504;
constexpr int32_t kQrModel2SymbologyB = 505;
constexpr int32_t kQrModel1 = 0x31;
constexpr int32_t kQrModel2 = 0x32;
constexpr size_t kQrModel1MaxBytes = 250;
constexpr int32_t kQrLevelL = 0x30;
constexpr int32_t kPdf417ErrorByRatio = 0x31;
constexpr int32_t kPdf417TenPercent = 1;
constexpr int32_t kDefaultModuleWidth = 2;
// A Width up to this is a module width rather than a width in map units.
constexpr int32_t kLargestModuleWidthRequest = 6;
// GS h carries one byte: taller symbols are printed at the tallest height it can carry.
constexpr int32_t kMaxLinearHeight = 255;
constexpr int32_t kLow16Bits = 0xFFFF;
constexpr int32_t kStandardSetup = 3;

enum class SymbolKind { None, Linear, Pdf417, Qr };

SymbolKind KindOf(int32_t symbology) {
    switch (symbology) {
        case PTR_BCS_UPCA:
        case PTR_BCS_UPCE:
        case PTR_BCS_JAN8:
        case PTR_BCS_JAN13:
        case PTR_BCS_ITF:
        case PTR_BCS_Codabar:
        case PTR_BCS_Code39:
        case PTR_BCS_Code93:
        case PTR_BCS_Code128:
        case PTR_BCS_EAN128:
        case PTR_BCS_Code128_Parsed:
            return SymbolKind::Linear;
        case PTR_BCS_PDF417:
            return SymbolKind::Pdf417;
        case PTR_BCS_QRCODE:
        case kQrModel2SymbologyA:
        case kQrModel2SymbologyB:
            return SymbolKind::Qr;
        default:
            return SymbolKind::None;
    }
}

bool IsAlignmentCode(int32_t alignment) {
    return alignment == PTR_BC_LEFT || alignment == PTR_BC_CENTER || alignment == PTR_BC_RIGHT;
}

bool IsTextPosition(int32_t textPosition) {
    return textPosition == PTR_BC_TEXT_NONE || textPosition == PTR_BC_TEXT_ABOVE || textPosition == PTR_BC_TEXT_BELOW;
}
}  // namespace

// The checks in the order an application sees their results; state, then arguments, then paper.
int32_t CPrinterBase::PrintBarCode(int32_t, const std::wstring& data, int32_t symbology, int32_t height, int32_t width,
                                   int32_t alignment, int32_t textPosition, int32_t* pRC) {
    if (RefusedAsBusy(pRC)) return 0;
    const bool sideways = IsInRotate90Mode();
    const int32_t areaAcross = sideways ? PageAreaHeight() : PageAreaWidth();
    const int32_t areaAlong = sideways ? PageAreaWidth() : PageAreaHeight();
    const bool illegal =
        cmd_ == nullptr || width < 0 || height < 0 || MapNumber2DOT_H(height) > areaAlong ||
        (!IsAlignmentCode(alignment) && (alignment <= 0 || MapNumber2DOT_H(alignment) >= areaAcross)) ||
        !IsTextPosition(textPosition);
    if (illegal) {
        *pRC = SetRC(OPOS_E_ILLEGAL);
        return 0;
    }
    if (RefusedForPaper(pRC)) return 0;
    *pRC = SetRC(OPOS_SUCCESS);
    if (pageMode_ && !PageModePrintAreaIsEffective()) return 0;
    barcodeData_.Clear();
    int32_t codePage = 0;
    DataBinaryConversion(barcodeData_, data, &codePage);
    PrinterBuffer symbol;
    if (barcodeData_.IsEmpty() || KindOf(symbology) == SymbolKind::None ||
        FormatBarcode(symbol, barcodeData_, symbology, height, width, alignment, textPosition) != 0) {
        *pRC = SetRC(OPOS_E_ILLEGAL);
        return 0;
    }
    if (IsDirectSend() != 0) {
        PrinterBuffer out;
        InitOutBufferWithPMControl(out, kStandardSetup);
        out.Append(symbol);
        *pRC = SetRC(Send(out, 0));
        return 0;
    }
    const bool ahead = (rotateRight_ || rotateLeft_) && !barcodeRotation_;
    PrinterBuffer* target = ahead ? &rotationObjectBuffer_ : CurrentPrinterBuffer();
    if (target == nullptr) return 0;
    if (pageMode_) {
        // The area still owed goes in first; a refused symbol above leaves it owed.
        if (printAreaPending_) {
            cmd_->SetPageArea(*target, printArea_[0], H2V(printArea_[1]), printArea_[2], H2V(printArea_[3]));
            printAreaPending_ = false;
        }
        cmd_->SetAbsoluteVerticalPosition(
            *target, IsInRotate90Mode() ? pageModeVerticalPosition_ : H2V(pageModeVerticalPosition_));
    } else {
        set_printerSettings(symbol);
    }
    target->Append(symbol);
    return 0;
}

int32_t CPrinterBase::FormatBarcode(PrinterBuffer& out, PrinterBuffer& data, int32_t symbology, int32_t height,
                                    int32_t width, int32_t alignment, int32_t textPosition) {
    const SymbolKind kind = KindOf(symbology);
    if (kind == SymbolKind::None || cmd_ == nullptr) return OPOS_E_ILLEGAL;
    if (symbology == PTR_BCS_Code128 && convert_bar_code_code128(data) == 0) return OPOS_E_ILLEGAL;
    if (symbology == PTR_BCS_Code128_Parsed && convert_bar_code_code128_Parsed(data) == 0) return OPOS_E_ILLEGAL;
    const std::span<const uint8_t> bytes = data.Bytes();
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t heightDots = MapNumber2DOT_H(height);
    if (kind == SymbolKind::Linear) heightDots = std::min(heightDots, kMaxLinearHeight);
    int32_t moduleWidth = kDefaultModuleWidth;
    int32_t symbolWidth = 0;
    int32_t columns = 0, rowHeight = 0, error = 0;
    if (kind == SymbolKind::Pdf417) {
        FitPDF417(bytes.data(), length, heightDots & kLow16Bits, MapNumber2DOT_H(width) & kLow16Bits, &columns,
                  &moduleWidth, &rowHeight, &symbolWidth, &error);
    } else if (kind == SymbolKind::Qr) {
        moduleWidth = MeasureQRCode(bytes.data(), length, heightDots & kLow16Bits, &symbolWidth, &error);
    } else {
        const int32_t requested = width <= kLargestModuleWidthRequest ? width : MapNumber2DOT_H(width);
        moduleWidth = cmd_->FitBarcodeModuleWidth(symbology, requested, bytes, &symbolWidth);
        if (IsInRotate90Mode()) symbolWidth = H2V(symbolWidth);
    }
    if (error != 0) return OPOS_E_ILLEGAL;
    char align = kObjectAtPosition;
    int32_t xPos = 0;
    if (alignment <= 0)
        align = static_cast<char>(cmd_->JustificationForBitmapAlignment(alignment));
    else
        xPos = MapNumber2DOT_H(alignment);
    PrinterBuffer& command = barcodeCommand_;
    command.Clear();
    if (kind == SymbolKind::Pdf417) {
        cmd_->SetPdf417ModuleWidth(command, moduleWidth);
        cmd_->SetPdf417Columns(command, columns);
        cmd_->SetPdf417RowHeight(command, rowHeight);
        cmd_->SetPdf417ErrorLevel(command, kPdf417ErrorByRatio, kPdf417TenPercent);
        if (!cmd_->StorePdf417Data(command, bytes)) return OPOS_E_ILLEGAL;
        cmd_->PrintPdf417(command);
    } else if (kind == SymbolKind::Qr) {
        const bool model2 = symbology != PTR_BCS_QRCODE || bytes.size() > kQrModel1MaxBytes;
        cmd_->SelectQrModel(command, model2 ? kQrModel2 : kQrModel1);
        cmd_->SetQrModuleSize(command, moduleWidth);
        cmd_->SetQrErrorLevel(command, kQrLevelL);
        if (!cmd_->StoreQrData(command, bytes)) return OPOS_E_ILLEGAL;
        cmd_->PrintQr(command);
    } else if (!cmd_->AppendBarcode(command, symbology, heightDots, moduleWidth, static_cast<uint8_t>(align),
                                    textPosition, currentFont_, bytes)) {
        return OPOS_E_ILLEGAL;
    }
    FormatObject(out, command, symbolWidth, heightDots, align, xPos, barcodeRotation_ ? 1 : 0);
    return 0;
}

// The escape sequence's barcode: the same symbol as PrintBarCode makes, placed on the line.
bool CPrinterBase::FormatBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t width,
                                 int32_t alignment, int32_t textPosition, std::span<const uint8_t> data) {
    barcodeData_.Clear();
    if (data.empty() || !barcodeData_.Append(data)) return false;
    return FormatBarcode(target, barcodeData_, symbology, height, width, alignment, textPosition) == 0;
}

}  // namespace QVO::Printer
