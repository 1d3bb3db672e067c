// CPrinterBase, print methods: the busy and paper checks, text through the conversion and the
// escape-sequence interpreter, transactions, validation and cuts, all through the output path.
#include <algorithm>
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kFullCutPercentage = 100;
constexpr int32_t kStandardSetup = 3;
constexpr int32_t kReceiptStation = 2;
constexpr int32_t kNormalRotation = 1;
constexpr int32_t kPageModeNormalPrint = 3;
}  // namespace

PrinterBuffer* CPrinterBase::CurrentPrinterBuffer() {
    if (rotateRight_ || rotateLeft_) return &rotationBuffer_;
    if (pageMode_) return &pageModeBuffer_;
    if (transaction_) return &transactionBuffer_;
    return nullptr;
}

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
            if (pageMode_) {
                // The first line's base line lies one line below the requested position.
                const int32_t base = recLineSpacing_ + pageModeVerticalPosition_;
                cmd_->SetAbsoluteVerticalPosition(*collecting, IsInRotate90Mode() ? base : H2V(base));
            } else if (!(rotateRight_ || rotateLeft_)) {
                ClearFormatInStd(*collecting);
            }
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
    if (pageMode_) {
        pageVerticalTotal_ = 0;
        // Nothing can be printed into an area of no width or height.
        if (!PageModePrintAreaIsEffective()) {
            *pRC = SetRC(OPOS_SUCCESS);
            return 0;
        }
        if (printAreaPending_) {
            cmd_->SetPageArea(*CurrentPrinterBuffer(), printArea_[0], H2V(printArea_[1]), printArea_[2],
                              H2V(printArea_[3]));
            printAreaPending_ = false;
        }
    }
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
    if (rotateRight_ || rotateLeft_) {
        *pRC = SetRC(OPOS_SUCCESS);
        return 0;
    }
    if (RefusedForPaper(pRC)) return 0;
    PrinterBuffer& out = DrawingTarget();
    if (percentage == kFullCutPercentage)
        cmd_->FeedAndFullCut(out);
    else
        cmd_->FeedAndPartialCut(out);
    *pRC = SendIfDirect(out);
    return 0;
}

PrinterBuffer& CPrinterBase::DrawingTarget() {
    if (PrinterBuffer* collecting = CurrentPrinterBuffer()) return *collecting;
    direct_.Clear();
    return direct_;
}

int32_t CPrinterBase::SendIfDirect(PrinterBuffer& target) {
    if (IsDirectSend() == 0) return SetRC(OPOS_SUCCESS);
    return SetRC(Send(target, 0));
}

// Page mode closes its page, and rotated printing its block, into the buffer below them.
void CPrinterBase::LeaveCollectingModes() {
    int32_t rc = 0;
    if (pageMode_) PageModePrint(kPageModeNormalPrint, &rc);
    if (rotateRight_ || rotateLeft_ || upsideDown_) {
        SetRC(OPOS_SUCCESS);
        rotateSpecial_ = SetRotation(kNormalRotation);
    }
}

// Begin collects everything printed until the end, which sends it as one output; any other
// control ends the transaction without printing.
int32_t CPrinterBase::TransactionPrint(int32_t station, int32_t control, int32_t* pRC) {
    if (station != kReceiptStation) return AnswerUnsupported(pRC);
    *pRC = SetRC(OPOS_SUCCESS);
    if (control == PTR_TP_NORMAL && transaction_) {
        LeaveCollectingModes();
        if (RefusedAsBusyOutsideTransaction(pRC)) return 0;
        *pRC = SetRC(Send(transactionBuffer_, 0));
        transactionBuffer_.Clear();
        transaction_ = false;
        return 0;
    }
    if (control == PTR_TP_TRANSACTION && !transaction_) {
        LeaveCollectingModes();
        transactionBuffer_.Clear();
        transaction_ = true;
        InitOutBufferWithPMControl(transactionBuffer_, kStandardSetup);
        return 0;
    }
    transaction_ = control == PTR_TP_TRANSACTION;
    return 0;
}

// The end of a transaction is refused while synchronous output is still being written.
bool CPrinterBase::RefusedAsBusyOutsideTransaction(int32_t* pRC) {
    if (asyncMode_ != 0 || IsIdle() != 0) return false;
    *pRC = SetRC(OPOS_E_BUSY);
    return true;
}

int32_t CPrinterBase::ValidateData(int32_t station, const std::wstring& data, int32_t* pRC) {
    if (station != kReceiptStation) return AnswerUnsupported(pRC);
    textInput_.Clear();
    int32_t codePage = 0;
    DataBinaryConversion(textInput_, data, &codePage);
    direct_.Clear();
    *pRC = FormatStringToOutBuffer(direct_, textInput_.Bytes(), true);
    direct_.Clear();
    return 0;
}

int32_t CPrinterBase::AnswerUnsupported(int32_t* pRC) {
    *pRC = SetRC(kExtUnsupported);
    return 0;
}

}  // namespace QVO::Printer
