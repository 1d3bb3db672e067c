// CPrinterBase, print methods: the busy and paper checks, plain text and cuts through the output
// path. The escape-sequence interpreter, transactions, page mode, barcodes and images are not
// part of this engine yet; their methods answer "not supported" and send nothing.
#include "constants/OposConstants.h"
#include "platform/text/TextConv.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kFullCutPercentage = 100;
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

int32_t CPrinterBase::SendText(const std::wstring& data, int32_t* pRC) {
    const std::string bytes = Platform::Text::WideToCodePage(data, characterSet_);
    PrinterBuffer out;
    if (!out.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {
        *pRC = SetRC(OPOS_E_FAILURE);
        return 0;
    }
    *pRC = SetRC(Send(out, 0));
    return 0;
}

int32_t CPrinterBase::PrintNormal(int32_t, const std::wstring& data, int32_t* pRC) {
    if (RefusedAsBusy(pRC) || RefusedForPaper(pRC)) return 0;
    return SendText(data, pRC);
}

int32_t CPrinterBase::PrintImmediate(int32_t, const std::wstring& data, int32_t* pRC) {
    if (RefusedForPaper(pRC)) return 0;
    return SendText(data, pRC);
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
