// The health check through the control objects.
#include "setup/core/HealthCheck.h"

#include <memory>

#include "constants/OposConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/ui/MessageBox.h"

namespace QVO::Setup {

namespace {

namespace UI = QVO::Platform::UI;

constexpr int32_t kClaimTimeoutMs = 1000;
constexpr int32_t kInteractiveCheck = 3;  // OPOS_CH_INTERACTIVE

struct OpenResultTextEntry {
    int32_t code;
    const wchar_t* text;
};
constexpr OpenResultTextEntry kOpenResultTexts[] = {
    {301, L"Control Object already open"},
    {302, L"The registry does not contain a key for the specified device name"},
    {303,
     L"Could not read the device name key's default value, or could not convert this Prog ID to a valid "
     L"Class ID"},
    {304, L"Could not create a service object instance"},
    {305, L"The service object does not support one or more of the method required by its release"},
    {306, L"The service object returned a failure status"},
    {307, L"The service object major version number is not 1"},
    {401, L"Configured port is invalid or inaccessible"},
    {402, L"Does not support the specified device"},
    {403, L"Configuration information error"},
};

// Open, claim and enable; each failure is told with the texts of its device class.
bool OpenDevice(Opos::CControlObject& control, DeviceClass deviceClass, std::wstring_view device,
                const std::wstring& caption) {
    const bool printer = deviceClass == DeviceClass::Printer;
    if (control.Open(device) != Opos::OPOS_SUCCESS) {
        const std::wstring lead = printer ? L"PosPrinter Failed Open: " : L"Cashdrawer failed to open: ";
        UI::MessageBox(lead + OpenResultText(control.GetOpenResult(), deviceClass) + L"!", caption);
        return false;
    }
    bool ok = control.ClaimDevice(kClaimTimeoutMs) == Opos::OPOS_SUCCESS &&
              control.SetDeviceEnabled(true) == Opos::OPOS_SUCCESS;
    if (ok && !printer) ok = static_cast<Opos::CCashDrawerControl&>(control).OpenDrawer() == Opos::OPOS_SUCCESS;
    if (!ok) {
        UI::MessageBox(printer ? L"Fails to get the exclusive right for the device."
                               : L"Cashdrawer failed to get the exclusive right for the device.",
                       caption);
        control.ReleaseDevice();
        control.Close();
    }
    return ok;
}

}  // namespace

std::wstring OpenResultText(int32_t openResult, DeviceClass deviceClass) {
    for (const auto& entry : kOpenResultTexts)
        if (entry.code == openResult) return entry.text;
    return deviceClass == DeviceClass::Printer ? std::wstring() : L"OpenResult:" + std::to_wstring(openResult);
}

bool RunHealthCheck(DeviceClass deviceClass, std::wstring_view device, const std::wstring& caption) {
    std::unique_ptr<Opos::CControlObject> control;
    if (deviceClass == DeviceClass::Printer)
        control = std::make_unique<Opos::CPosPrinterControl>();
    else
        control = std::make_unique<Opos::CCashDrawerControl>();
    if (!OpenDevice(*control, deviceClass, device, caption)) {
        UI::MessageBox(L"Cann't print anything due to printer fail!", caption);
        return false;
    }
    control->CheckHealth(kInteractiveCheck);
    UI::MessageBox(control->GetCheckHealthText(), caption);
    control->SetDeviceEnabled(false);
    control->ReleaseDevice();
    control->Close();
    return true;
}

}  // namespace QVO::Setup
