// CPrinterBase, cash drawer: its settings, the kind of client enabled, the drawer pulse and the
// wait for the drawer to be closed.
#include <chrono>
#include <thread>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kPinTwo = 0x01;   // drawer kick-out connector pin 2
constexpr int32_t kPinFive = 0x02;  // pin 5
constexpr int32_t kConfirmFirstPauseMs = 200;
constexpr int32_t kConfirmRetryPauseMs = 500;
constexpr int32_t kConfirmTries = 2;
constexpr int32_t kDrawerPollMs = 300;
constexpr int32_t kBeepsPerPattern = 2;

void PauseMs(int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

void CPrinterBase::SetupCashDrawer(int32_t pins, int32_t openVoltage, int32_t confirmOpen, int32_t onTime,
                                   int32_t offTime, int32_t closeTimeoutMs) {
    drawerPins_ = pins;
    openVoltage_.store(openVoltage);
    confirmOpen_ = confirmOpen;
    pulseOnTime_ = onTime;
    pulseOffTime_ = offTime;
    drawerCloseTimeoutMs_ = closeTimeoutMs;
    SetCashDrawerMode(1);
}

void CPrinterBase::SetCashDrawerMode(int32_t on) {
    if (on != 0)
        modeBits_.fetch_or(kCashDrawerMode);
    else
        modeBits_.fetch_and(~kCashDrawerMode);
}

void CPrinterBase::SetPrinterMode(int32_t on) {
    if (on != 0)
        modeBits_.fetch_or(kPrinterMode);
    else
        modeBits_.fetch_and(~kPrinterMode);
}

int32_t CPrinterBase::OpenDrawer(int32_t* pRC) {
    if (IsIdle() == 0 || cmd_ == nullptr) {
        *pRC = SetRC(OPOS_E_BUSY);
        return 0;
    }
    PrinterBuffer pulse;
    const int32_t t1 = pulseOnTime_ & 0xFF;
    const int32_t t2 = pulseOffTime_ & 0xFF;
    if ((drawerPins_ & kPinTwo) != 0) cmd_->GeneratePulse(pulse, 0, t1, t2);
    if ((drawerPins_ & kPinFive) != 0) cmd_->GeneratePulse(pulse, 1, t1, t2);
    *pRC = SetRC(Send(pulse, 0));
    if (*pRC != OPOS_SUCCESS || confirmOpen_ == 0) return 0;
    // The drawer takes a moment to spring open; the answer does not change the result.
    PauseMs(kConfirmFirstPauseMs);
    for (int32_t i = 0; i < kConfirmTries; ++i) {
        int32_t valid = 0;
        if (GetDrawerOpenState(0, &valid) != 0 && valid != 0) break;
        PauseMs(kConfirmRetryPauseMs);
    }
    return 0;
}

int32_t CPrinterBase::WaitForDrawerClose(int32_t beepTimeoutMs, int32_t, int32_t beepDurationMs, int32_t beepDelayMs,
                                         int32_t* pRC) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto elapsedMs = [&start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    PrinterBuffer beep;
    if (cmd_ != nullptr) cmd_->SoundBuzzer(beep, beepDurationMs, beepDelayMs, kBeepsPerPattern);
    const int64_t beepPeriodMs = 2LL * (int64_t(beepDurationMs) + beepDelayMs);

    bool open = true;
    bool beeping = false;
    int64_t lastBeepMs = 0;
    do {
        int32_t valid = 0;
        const int32_t state = GetDrawerOpenState(0, &valid);
        if (valid != 0) open = state != 0;
        const int64_t now = elapsedMs();
        const bool due = beeping ? now - lastBeepMs > beepPeriodMs : now > beepTimeoutMs;
        if (open && due) {
            if (parameters_.buzzer) {
                PrinterBuffer copy(beep);
                Send(copy, 0);
            }
            beeping = true;
            lastBeepMs = now;
        }
        if (!open) break;
        PauseMs(kDrawerPollMs);
    } while (elapsedMs() < drawerCloseTimeoutMs_);
    // The loop ends on a closed drawer or at the time-out: a drawer still open is the time-out,
    // also when the clock stopped exactly on it; one seen closed is a success, however late.
    *pRC = SetRC(open ? OPOS_E_TIMEOUT : OPOS_SUCCESS);
    return 0;
}

}  // namespace QVO::Printer
