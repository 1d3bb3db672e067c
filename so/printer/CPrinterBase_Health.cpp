// CPrinterBase, the health check: the internal answer, the report printed on the paper for the
// external and interactive levels, the interactive question and the names of result codes.
#include <string>

#include "constants/OposConstants.h"
#include "platform/text/TextConv.h"
#include "platform/ui/MessageBox.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kHealthInternal = 1;
constexpr int32_t kHealthExternal = 2;
constexpr int32_t kHealthInteractive = 3;
constexpr int32_t kStandardSetup = 3;

constexpr const wchar_t kInternalText[] = L"Internal HealthCheck: Successful.";
constexpr const wchar_t kIllegalLevelText[] = L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL";
constexpr const wchar_t kNoAnswerText[] = L"No Responding.\r\n\r\n";
constexpr const wchar_t kCompleteText[] = L"Complete.\r\n\r\n";
constexpr const wchar_t kCancelledText[] = L"Cancelled by the operator.\r\n\r\n";

struct StatusName {
    int32_t code;
    const char* name;
};

constexpr StatusName kStatusNames[] = {
    {OPOS_SUCCESS, "Successful"},
    {OPOS_E_CLOSED, "OPOS_E_CLOSED"},
    {OPOS_E_NOTCLAIMED, "OPOS_E_NOTCLAIMED"},
    {OPOS_E_NOSERVICE, "OPOS_E_NOSERVICE"},
    {OPOS_E_DISABLED, "OPOS_E_DISABLED"},
    {OPOS_E_ILLEGAL, "OPOS_E_ILLEGAL"},
    {OPOS_E_NOHARDWARE, "OPOS_E_NOHARDWARE"},
    {OPOS_E_OFFLINE, "OPOS_E_OFFLINE"},
    {OPOS_E_NOEXIST, "OPOS_E_NOEXIST"},
    {OPOS_E_EXISTS, "OPOS_E_EXISTS"},
    {OPOS_E_TIMEOUT, "OPOS_E_TIMEOUT"},
    {OPOS_E_BUSY, "OPOS_E_BUSY"},
    {OPOS_E_EXTENDED, "OPOS_E_EXTENDED"},
};

// The report printed on the paper, in the system's ANSI code page.
std::string HealthReport(bool interactive, const std::wstring& maker, const std::wstring& model,
                         const std::wstring* firmware) {
    std::string report = "OPOS Printer CheckHealth ";
    report += interactive ? "INTERACTIVE:\n" : "EXTERNAL:\n";
    report += "Manufacturer: " + Platform::Text::WideToAnsi(maker) + "\n";
    report += "Device Name: " + Platform::Text::WideToAnsi(model) + "\n";
    if (firmware != nullptr) report += "Firmware Version: " + Platform::Text::WideToAnsi(*firmware) + "\n";
    return report;
}

// Writes the report at once: the check answers for the printer, not for a queue.
class SynchronousScope {
public:
    explicit SynchronousScope(int32_t& asyncMode) : asyncMode_(asyncMode), saved_(asyncMode) { asyncMode_ = 0; }
    ~SynchronousScope() { asyncMode_ = saved_; }
    SynchronousScope(const SynchronousScope&) = delete;
    SynchronousScope& operator=(const SynchronousScope&) = delete;

private:
    int32_t& asyncMode_;
    const int32_t saved_;
};
}  // namespace

std::string CPrinterBase::GetStatusString(int32_t resultCode) {
    for (const StatusName& entry : kStatusNames)
        if (entry.code == resultCode) return entry.name;
    return "OPOS_E_FAILURE";
}

bool CPrinterBase::AskInteractiveHealthCheck(const wchar_t* deviceClass) {
    const std::wstring text = std::wstring(L"OPOS ") + deviceClass +
                              L" Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...";
    return Platform::UI::MessageBox(text, L"Opos") == Platform::UI::IDOK;
}

int32_t CPrinterBase::CheckHealth(int32_t level, int32_t* pRC) {
    // The question comes only once the printer is free to print the report.
    bool confirmed = true;
    if (level == kHealthInteractive && IsIdle() != 0) confirmed = AskInteractiveHealthCheck(L"Printer");
    return CheckHealthAnswered(level, confirmed, pRC);
}

int32_t CPrinterBase::printImmediate(const char* text) {
    textInput_.Clear();
    formatted_.Clear();
    textInput_.Append(reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text));
    InitOutBufferWithPMControl(formatted_, kStandardSetup);
    FormatStringToOutBuffer(formatted_, textInput_.Bytes(), false);
    SynchronousScope synchronous(asyncMode_);
    return Send(formatted_, 0);
}

int32_t CPrinterBase::CheckHealthAnswered(int32_t level, bool confirmed, int32_t* pRC) {
    if (level == kHealthInternal) {
        checkHealthText_ = kInternalText;
        *pRC = SetRC(OPOS_SUCCESS);
        return 0;
    }
    if (level != kHealthExternal && level != kHealthInteractive) {
        checkHealthText_ = kIllegalLevelText;
        *pRC = SetRC(kExtUnsupported);
        return 0;
    }
    if (IsIdle() == 0) {
        *pRC = SetRC(OPOS_E_BUSY);
        return 0;
    }
    const bool interactive = level == kHealthInteractive;
    checkHealthText_ = interactive ? L"INTERACTIVE HealthCheck: " : L"External HealthCheck: ";
    int32_t rc = OPOS_SUCCESS;
    if (interactive && !confirmed) {
        // Nothing is printed for a check the operator did not let go ahead.
        checkHealthText_ += kCancelledText;
        rc = OPOS_E_FAILURE;
    } else {
        // The firmware is known only from a printer that told it at claim.
        const bool firmwareRead = bidirectional_ && parameters_.refreshInfo;
        rc = printImmediate(
            HealthReport(interactive, makerText_, modelName_, firmwareRead ? &firmwareText_ : nullptr).c_str());
        if (rc != OPOS_SUCCESS) {
            checkHealthText_ += kNoAnswerText;
        } else {
            checkHealthText_ += kCompleteText;
            direct_.Clear();
            InitOutBufferWithPMControl(direct_, kStandardSetup);
            rc = DirectSend(direct_, 0, 0);
        }
    }
    checkHealthText_ += Platform::Text::AnsiToWide(GetStatusString(rc));
    *pRC = SetRC(rc);
    return 0;
}

}  // namespace QVO::Printer
