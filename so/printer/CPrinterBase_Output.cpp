// CPrinterBase, output: Send, DirectSend, ClearOutput, Retry and the busy/idle answers.
#include <algorithm>
#include <chrono>
#include <span>
#include <thread>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterOutTask.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/CPrinterTaskThreadContext.h"

namespace QVO::Printer {

namespace {
// DirectSend waits at most this long for the port lock (100 tries, 100 ms apart).
constexpr int32_t kDirectSendLockTimeoutMs = 10000;
constexpr uint8_t kFrameEnd = 0xBB;
constexpr auto kReplyPause = std::chrono::milliseconds(10);
constexpr int32_t kStandardSetupMode = 3;

// Holds the status poll off for a scope, also when the scope is left by an exception.
class IdleHold {
public:
    explicit IdleHold(CPrinterTaskThreadContext* output) : output_(output) {
        if (output_ != nullptr) output_->DisableIdle();
    }
    ~IdleHold() {
        if (output_ != nullptr) output_->EnableIdle();
    }
    IdleHold(const IdleHold&) = delete;
    IdleHold& operator=(const IdleHold&) = delete;

private:
    CPrinterTaskThreadContext* output_;
};
}  // namespace

// Settings changed since the last output go in front of it. The font is the current font's
// index (0 font A, 1 font B), not a guess from RecLineChars, which differs by head width.
void CPrinterBase::set_printerSettings(PrinterBuffer& buffer) {
    if (cmd_ == nullptr) return;
    if (upsideDownChanged_) cmd_->SetUpsideDown(pendingSettings_, upsideDown_);
    if (characterSetChanged_) cmd_->SelectCodePage(pendingSettings_, characterSet_);
    if (fontChanged_) cmd_->SelectCharacterFont(pendingSettings_, currentFont_);
    if (lineSpacingChanged_)
        cmd_->SetLineSpacing(pendingSettings_, IsInRotate90Mode() ? recLineSpacing_ : H2V(recLineSpacing_));
    if (lineWidthChanged_) {
        recLineWidth_ = std::min(recLineWidth_, parameters_.paperWidth);
        cmd_->SetPrintAreaWidth(pendingSettings_, recLineWidth_);
    }
    if (letterQualityChanged_) cmd_->SetSmoothing(pendingSettings_, recLetterQuality_ != 0);
    characterSetChanged_ = fontChanged_ = lineSpacingChanged_ = lineWidthChanged_ = letterQualityChanged_ = false;
    if (pendingSettings_.IsEmpty()) return;
    // Kept for the next output when the buffer cannot grow.
    if (buffer.Insert(0, pendingSettings_.Begin(), pendingSettings_.End())) pendingSettings_.Clear();
}

// Collecting output (a transaction, a page, a sideways block) is sent only when it ends.
int32_t CPrinterBase::IsDirectSend() { return transaction_ || pageMode_ || rotateRight_ || rotateLeft_ ? 0 : 1; }

// Outputs written but not yet confirmed by the printer still count: they are not complete.
int32_t CPrinterBase::IsIdle() { return !output_ || !output_->HasPendingOutput() ? 1 : 0; }

int32_t CPrinterBase::IsBusy() {
    if (asyncMode_ != 0 || IsIdle() != 0 || IsDirectSend() == 0) return 0;
    return 1;
}

// Where the printer answers process-ID requests, every output carries one: a synchronous send
// the fixed one nobody waits for, a queued output its own, whose answer completes it.
int32_t CPrinterBase::Send(PrinterBuffer& buffer, int32_t urgent) {
    set_printerSettings(buffer);
    if (!output_) return Opos::OPOS_E_CLOSED;
    ICmdHelper* const confirming = bidirectional_ && parameters_.answersProcessId ? cmd_ : nullptr;
    const bool queue = (asyncMode_ != 0 && !framedModel_) || (output_->HasPendingOutput() && urgent != 0);
    if (!queue) {
        if (output_->HasPendingOutput()) return Opos::OPOS_E_BUSY;
        if (confirming != nullptr) confirming->PrepareSend(buffer, static_cast<int32_t>(kSynchronousProcessId));
        return DirectSend(buffer, 0, 7);
    }
    ProcessIdRequestBuilder request;
    if (confirming != nullptr)
        request = [confirming](PrinterBuffer& target, int32_t processId) {
            confirming->PrepareSend(target, processId);
        };
    output_->QueueOutput(std::span<const uint8_t>(buffer.Data(), buffer.Size()), urgent != 0, request);
    return Opos::OPOS_SUCCESS;
}

int32_t CPrinterBase::DirectSend(PrinterBuffer& buffer, int32_t expectReply, uint8_t expectedLength) {
    if (!port_) return Opos::OPOS_E_NOHARDWARE;
    IdleHold idle(output_.get());
    if (!port_->TimedLock(kDirectSendLockTimeoutMs)) return Opos::OPOS_E_BUSY;
    PortLockHolder held(*port_, std::adopt_lock);
    if (framedModel_ && bidirectional_ && cmd_ != nullptr) {
        PrinterBuffer framed;
        cmd_->FrameForPort(framed, buffer);
        if (port_->WriteLocked(framed.Data(), 0, static_cast<int32_t>(framed.Size())) == 0)
            return Opos::OPOS_E_NOHARDWARE;
        // The printer acknowledges every packet; read until the last packet's end byte.
        std::this_thread::sleep_for(kReplyPause);
        int32_t total = 0;
        for (;;) {
            int32_t got = 0;
            port_->ReadLocked(reply_.data(), total, static_cast<int32_t>(reply_.size()) - total, got, 0);
            if (got <= 0) break;
            total += got;
            if (reply_[static_cast<size_t>(total - 1)] == kFrameEnd || total >= static_cast<int32_t>(reply_.size()))
                break;
        }
        return Opos::OPOS_SUCCESS;
    }
    if (port_->WriteLocked(buffer.Data(), 0, static_cast<int32_t>(buffer.Size())) == 0) {
        SetError(port_->GetPortErrorCode(), port_->GetPortErrorText());
        return Opos::OPOS_E_NOHARDWARE;
    }
    if (bidirectional_ && expectReply != 0) {
        int32_t got = 0;
        if (port_->ReadLocked(reply_.data(), 0, static_cast<int32_t>(reply_.size()), got, 0) == 0)
            return Opos::OPOS_E_OFFLINE;
        if (got != expectedLength) return Opos::OPOS_E_FAILURE;
    }
    return Opos::OPOS_SUCCESS;
}

int32_t CPrinterBase::ClearOutput(int32_t*) {
    if (output_ && output_->HasPendingOutput()) output_->ClearOutput();
    ClearCollectingBuffers();
    return 0;
}

// What the print methods collected is dropped with the queue; a transaction still open
// starts again from its standard setup.
void CPrinterBase::ClearCollectingBuffers() {
    transactionBuffer_.Clear();
    if (transaction_) InitOutBufferWithPMControl(transactionBuffer_, kStandardSetupMode);
    pageModeBuffer_.Clear();
    rotationBuffer_.Clear();
    rotationObjectBuffer_.Clear();
}

void CPrinterBase::Retry() {
    if (opened_ && claimed_ && deviceEnabled_ && output_) output_->Retry();
}

// On the output worker: the front output could not be written, or was written and lost with
// the link before the printer confirmed it. The output stays queued; the application learns
// why with the result it would have had from a synchronous print.
void CPrinterBase::OnOutputFailed(int32_t outputId) {
    int32_t resultCode = Opos::OPOS_E_NOHARDWARE;
    int32_t extended = 0;
    if (coverOpen_.load() != 0) {
        resultCode = Opos::OPOS_E_EXTENDED;
        extended = kExtCoverOpen;
    } else if (recEmpty_.load() != 0) {
        resultCode = Opos::OPOS_E_EXTENDED;
        extended = kExtReceiptEmpty;
    }
    std::wstring text = port_ ? port_->GetPortErrorText() : std::wstring();
    if (text.empty() && output_) text = output_->FailureText();
    if (text.empty()) text = L"Output " + std::to_wstring(outputId) + L" could not be written to the printer";
    SetError(port_ ? port_->GetPortErrorCode() : 0, text);
    if (events_) events_->ErrorNotice(text, resultCode, extended);
}

}  // namespace QVO::Printer
