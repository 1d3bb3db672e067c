// CPrinterBase, lifecycle: port settings, open, claim, enable, release, close, DirectIO.
#include <chrono>
#include <thread>

#include "constants/OposConstants.h"
#include "platform/text/TextConv.h"
#include "so/io/PortFactory.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/CPrinterTaskThreadContext.h"

namespace QVO::Printer {

using namespace QVO::Opos;

namespace {
constexpr auto kAfterInitialize = std::chrono::milliseconds(100);
constexpr int32_t kStopSensorsAll = 252;
constexpr int32_t kPaperOutSensorsNone = 0;
constexpr int32_t kAsbAll = 255;
constexpr int32_t kAsbOff = 0;
// ReleaseDevice tries the port lock this often, 100 ms apart, before it gives up.
constexpr int32_t kReleaseLockTimeoutMs = 5000;
constexpr int32_t kDirectIOSendText = 101;
constexpr int32_t kDirectIOSendTextOutsideTransaction = 100;
constexpr int32_t kTransmitPaperSensorStatus = 1;
}  // namespace

int32_t CPrinterBase::SetPortSettings(IO::IPortSettings& settings, int32_t* pRC) {
    std::shared_ptr<IO::IPort> port = IO::CreatePort(settings, portEnvironment_);
    portType_ = settings.GetPortType();
    port_ = std::make_shared<CPrinterPort>(std::move(port));
    if (pRC != nullptr) *pRC = OPOS_SUCCESS;
    return 0;
}

// Sends one of the engine's own command streams at once.
int32_t CPrinterBase::SendControl(PrinterBuffer& buffer) {
    const int32_t result = DirectSend(buffer, 0, 7);
    buffer.Clear();
    return result;
}

int32_t CPrinterBase::OpenServiceW(const wchar_t*, IPrinterEventHandle* events, int32_t* pRC) {
    if (!opened_) {
        try {
            if (!port_ || !port_->TimedLock(0)) {
                if (pRC != nullptr) *pRC = OPOS_ORS_NOPORT;
                return 0;
            }
            int32_t tested = 0;
            {
                PortLockHolder held(*port_, std::adopt_lock);
                tested = port_->Port().TestOpen();
                portIsUsbPrinterClass_ = port_->Port().IsUsbLptDevice() != 0;
            }
            if (tested == 0) {
                if (pRC != nullptr) *pRC = OPOS_ORS_NOPORT;
                return 0;
            }
            if (pRC != nullptr) *pRC = OPOS_SUCCESS;
            events_ = std::make_shared<CPrinterEventObject>(events);
            output_ = std::make_shared<CPrinterTaskThreadContext>(port_, events_, outputTiming_);
            output_->SetFailureHandler([this](int32_t outputId) { OnOutputFailed(outputId); });
            output_->Init(&output_);
            isUsb_ = portType_ == L"USB";
            isCom_ = portType_ == L"COM";
            isLpt_ = portType_ == L"LPT";
            isTcp_ = portType_ == L"TCP/IP";
            bidirectional_ = true;
            asbInUse_ = false;
        } catch (...) {
            // Nothing may leave the engine towards the COM layer; the codes say what happened.
            resultCode_ = OPOS_E_EXTENDED;
            resultCodeExtended_ = kExtOpenException;
            return 0;
        }
    }
    SetProperty_Open();
    claimed_ = false;
    deviceEnabled_ = false;
    opened_ = true;
    return 0;
}

int32_t CPrinterBase::ClaimDevice(int32_t timeoutMs, int32_t* pRC) {
    if (!opened_) {
        SetRC(OPOS_E_CLOSED);
        if (pRC != nullptr) *pRC = OPOS_E_CLOSED;
        return 0;
    }
    if ((pRC != nullptr && *pRC != 0) || claimed_) return 0;
    claimTimeoutMs_ = timeoutMs;
    SetRC(OPOS_E_ILLEGAL);
    if (pRC != nullptr) *pRC = OPOS_E_ILLEGAL;
    int32_t busy = 0;
    if (port_->OpenLocked(&busy) == 0) {
        if (busy != 0 && pRC != nullptr) *pRC = busy;
        return 0;
    }
    claimed_ = true;
    ExecuteClaimDevice();  // a printer that does not answer yet still counts as claimed
    SetRC(OPOS_SUCCESS);
    if (pRC != nullptr) *pRC = OPOS_SUCCESS;
    return 0;
}

int32_t CPrinterBase::ExecuteClaimDevice() {
    cmd_->InitializePrinter(control_);
    if (int32_t error = SendControl(control_); error != 0) return error;
    std::this_thread::sleep_for(kAfterInitialize);
    cmd_->SelectPeripheral(control_, true);
    cmd_->SelectStopSensors(control_, kStopSensorsAll);
    cmd_->SelectPaperOutSensors(control_, kPaperOutSensorsNone);
    cmd_->SetKanjiMode(control_, true);
    if (int32_t error = SendControl(control_); error != 0) return error;
    bidirectional_ = IsSupportBidi() != 0;
    if (!bidirectional_ && (isLpt_ || portIsUsbPrinterClass_)) bidirectional_ = ProbeStatusAnswer();
    asbInUse_ = parameters_.asbOption && bidirectional_ && (isCom_ || isTcp_ || isLpt_);
    if (bidirectional_ && parameters_.refreshInfo) return RefreshPrinterInfo();
    return 0;
}

// A printer listed as output-only may still answer: one paper-sensor request decides.
bool CPrinterBase::ProbeStatusAnswer() {
    cmd_->RequestStatus(control_, kTransmitPaperSensorStatus);
    if (SendControl(control_) != 0) return false;
    uint8_t answer = 0;
    int32_t got = 0;
    port_->ReadLocked(&answer, 0, 1, got, 0);
    return got > 0;
}

int32_t CPrinterBase::DeviceEnable(int32_t enable) {
    if (!opened_ || !claimed_) return 0;
    const bool on = enable != 0;
    if (on == deviceEnabled_) return 0;
    deviceEnabled_ = on;
    if (!on) {
        StopOutput();
        return 1;
    }
    if (!port_) return 0;
    cmd_->SelectPeripheral(control_, true);
    cmd_->SetLineSpacing(control_, recLineSpacing_);
    cmd_->ResetCharacterFormat(control_);
    SendControl(control_);
    events_->Enable(true);
    ReadStatusAtEnable();
    if (output_->GetState() == BASE::TaskThreadState::Suspended)
        output_->Resume();
    else
        output_->Start();
    return 1;
}

// The first status read, with automatic status back switched on where it is used. A printer
// that cannot report its status at all is taken to have paper: otherwise every print would
// be refused as "receipt empty" for good.
void CPrinterBase::ReadStatusAtEnable() {
    bool answered = false;
    if (asbInUse_ && !isCom_) {
        asbInUse_ = false;
        answered = PollPrinterState(true);
        asbInUse_ = true;
        cmd_->EnableAutoStatusBack(control_, kAsbAll);
        SendControl(control_);
    } else if (asbInUse_) {
        cmd_->EnableAutoStatusBack(control_, kAsbAll);
        SendControl(control_);
        answered = PollPrinterState(true);
    } else {
        answered = PollPrinterState(true);
    }
    if (!answered) {
        recEmpty_.store(0);
        recNearEnd_.store(0);
    }
}

// Disable, and the disabling part of release and close.
void CPrinterBase::StopOutput() {
    if (output_) output_->Suspend();
    if (events_) events_->Enable(false);
    ClearOutput(nullptr);
}

int32_t CPrinterBase::ReleaseDevice(int32_t* pRC) {
    if (pRC != nullptr) *pRC = OPOS_SUCCESS;
    if (deviceEnabled_ && opened_) {
        if (!claimed_) return 0;
        deviceEnabled_ = false;
        StopOutput();
    }
    if (!claimed_) return 0;
    claimed_ = false;
    // Automatic status back off, straight to the port: skipped when the port is busy or closed.
    PrinterBuffer off;
    cmd_->EnableAutoStatusBack(off, kAsbOff);
    port_->WriteLocked(off.Data(), 0, static_cast<int32_t>(off.Size()));
    if (!port_->TimedLock(kReleaseLockTimeoutMs)) {
        if (pRC != nullptr) *pRC = OPOS_E_BUSY;
        SetError(OPOS_E_BUSY, L"Cann't close port!");
        return 0;
    }
    PortLockHolder held(*port_, std::adopt_lock);
    port_->Port().Close();
    return 0;
}

int32_t CPrinterBase::CloseService(int32_t* pRC) {
    if (!opened_) return 0;
    if (deviceEnabled_ && claimed_) {
        deviceEnabled_ = false;
        StopOutput();
    }
    if (claimed_) ReleaseDevice(pRC);
    if (output_) output_->Stop();
    output_.reset();
    events_.reset();
    port_.reset();
    opened_ = false;
    return 0;
}

int32_t CPrinterBase::DirectIO(int32_t command, int32_t*, std::wstring* pString, int32_t* pRC) {
    SetRC(OPOS_E_ILLEGAL);
    int32_t result = OPOS_SUCCESS;
    if (command == kDirectIOSendText || command == kDirectIOSendTextOutsideTransaction) {
        const std::string bytes = Platform::Text::WideToCodePage(pString != nullptr ? *pString : L"", characterSet_);
        control_.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        SendControl(control_);
    }
    if (pRC != nullptr) *pRC = result;
    SetRC(result);
    return 0;
}

}  // namespace QVO::Printer
