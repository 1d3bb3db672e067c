// CPrinterBase, print methods: the busy and paper checks, text through the conversion and the
// escape-sequence interpreter, and cuts, all through the output path. Transactions, page mode,
// barcodes and images are not part of this engine yet; their methods answer "not supported".
#include <algorithm>
#include <string>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kFullCutPercentage = 100;
constexpr int32_t kStandardSetup = 3;
}  // namespace

// Synchronous printing while outputs are still queued would overtake them.
bool CPrinterBase::RefusedAsBusy(int32_t* pRC) {
    if (asyncMode_ != 0 || IsBusy() == 0) return false;
    *pRC = SetRC(OPOS_E_BUSY);
    return true;
}

// A synchronous print to a printer with its cover open or out of paper would be lost.
bool CPrinterBase::RefusedForPaper(int32_t* pRC) {
    if (asyncMode_ != 0) return false;
    if (coverOpen_.load() != 0)
        *pRC = SetRC(kExtCoverOpen);
    else if (recEmpty_.load() != 0)
        *pRC = SetRC(kExtReceiptEmpty);
    else
        return false;
    return true;
}

// Normal text goes into an open collecting buffer, else behind the standard setup to the
// printer; immediate text always goes at once and selects the code page it was converted in.
int32_t CPrinterBase::PrintFormatted(const std::wstring& data, int32_t* pRC, bool immediate) {
    *pRC = SetRC(Opos::OPOS_SUCCESS);
    int32_t codePage = 0;
    textInput_.Clear();
    formatted_.Clear();
    PrinterBuffer& out = immediate ? formatted_ : direct_;
    if (immediate) {
        const int32_t size = BStr2Char(data, nullptr, 0, &codePage);
        std::string bytes(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
        BStr2Char(data, reinterpret_cast<uint8_t*>(bytes.data()), size, nullptr);
        DataBinaryConversion2(textInput_, reinterpret_cast<const uint8_t*>(bytes.data()));
        InitOutBufferWithPMControl(formatted_, kStandardSetup);
        cmd_->SelectCodePage(formatted_, codePage);
    } else {
        DataBinaryConversion(textInput_, data, &codePage);
    }
    pageVerticalTotal_ = IsInRotate90Mode() ? pageModeVerticalPosition_ : H2V(pageModeVerticalPosition_);
    if (!immediate) {
        if (PrinterBuffer* collecting = CurrentPrinterBuffer()) {
            FormatStringToOutBuffer(formatted_, textInput_.Bytes(), false);
            ClearFormatInStd(*collecting);
            collecting->Append(formatted_);
            return 0;
        }
        direct_.Clear();
        InitOutBufferWithPMControl(direct_, kStandardSetup);
        // The character set's text went out in another code page (850 as 1252, say): the
        // printer must use that page's table, or every character outside ASCII prints wrong.
        if (codePage != 0 && codePage != characterSet_) cmd_->SelectCodePage(direct_, codePage);
    }
    FormatStringToOutBuffer(out, textInput_.Bytes(), false);
    *pRC = SetRC(Send(out, 0));
    return 0;
}

int32_t CPrinterBase::PrintNormal(int32_t, const std::wstring& data, int32_t* pRC) {
    if (RefusedAsBusy(pRC) || RefusedForPaper(pRC)) return 0;
    return PrintFormatted(data, pRC, false);
}

int32_t CPrinterBase::PrintImmediate(int32_t, const std::wstring& data, int32_t* pRC) {
    if (RefusedForPaper(pRC)) return 0;
    return PrintFormatted(data, pRC, true);
}

int32_t CPrinterBase::CutPaper(int32_t percentage, int32_t* pRC) {
    if (RefusedAsBusy(pRC)) return 0;
    if (percentage < 1 || percentage > kFullCutPercentage || !parameters_.capRecPapercut || cmd_ == nullptr) {
        *pRC = SetRC(OPOS_E_ILLEGAL);
        return 0;
    }
    if (RefusedForPaper(pRC)) return 0;
    PrinterBuffer out;
    if (percentage == kFullCutPercentage)
        cmd_->FeedAndFullCut(out);
    else
        cmd_->FeedAndPartialCut(out);
    *pRC = SetRC(Send(out, 0));
    return 0;
}

int32_t CPrinterBase::AnswerUnsupported(int32_t* pRC) {
    *pRC = SetRC(kExtUnsupported);
    return 0;
}

int32_t CPrinterBase::PrintBarCode(int32_t, const std::wstring&, int32_t, int32_t, int32_t, int32_t, int32_t,
                                   int32_t* pRC) {
    return AnswerUnsupported(pRC);
}
int32_t CPrinterBase::PrintBitmap(int32_t, const std::wstring&, int32_t, int32_t, int32_t* pRC) {
    return AnswerUnsupported(pRC);
}
int32_t CPrinterBase::PrintMemoryBitmap(int32_t, const std::wstring&, int32_t, int32_t, int32_t, int32_t* pRC) {
    return AnswerUnsupported(pRC);
}
int32_t CPrinterBase::SetBitmap(int32_t, int32_t, const std::wstring&, int32_t, int32_t, int32_t* pRC) {
    return AnswerUnsupported(pRC);
}
int32_t CPrinterBase::SetLogo(int32_t, const std::wstring&, int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::RotatePrint(int32_t, int32_t, int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::TransactionPrint(int32_t, int32_t, int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::ClearPrintArea(int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::PageModePrint(int32_t, int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::PrintLine(int32_t, const std::wstring&, int32_t* pRC) { return AnswerUnsupported(pRC); }
int32_t CPrinterBase::PrintCurveText(int32_t, int32_t, int32_t, const std::wstring&, int32_t* pRC) {
    return AnswerUnsupported(pRC);
}

}  // namespace QVO::Printer
