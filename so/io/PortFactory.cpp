// The port factory.
#include "so/io/PortFactory.h"

#include <string_view>

#include "so/io/FilePort.h"
#include "so/io/LPTPort.h"
#include "so/io/SerialPort.h"
#include "so/io/TCPIPPort.h"
#include "so/io/USBPort.h"
#include "so/io/UsbModelTable.h"

namespace QVO::IO {
namespace {

template <typename Port, typename Settings>
std::unique_ptr<IPort> Make(IPortSettings& settings, const PortEnvironment& env) {
    auto* concrete = dynamic_cast<Settings*>(&settings);
    if (concrete == nullptr) throw PortCreationError;
    return std::make_unique<Port>(*concrete, env);
}

}  // namespace

std::unique_ptr<IPort> CreatePort(IPortSettings& settings) {
    return CreatePort(settings, PortEnvironment::FromProcess());
}

std::unique_ptr<IPort> CreatePort(IPortSettings& settings, const PortEnvironment& env) {
    const wchar_t* typeText = settings.GetPortType();
    std::wstring_view type = typeText != nullptr ? typeText : L"";
    if (type == L"COM") return Make<SerialPort, SerialPortSettings>(settings, env);
    if (type == L"LPT") return Make<LPTPort, LPTPortSettings>(settings, env);
    if (type == L"USB") return Make<USBPort, USBPortSettings>(settings, env);
    if (type == L"TCP/IP") return Make<TCPIPPort, TCPIPPortSettings>(settings, env);
    if (type == L"FILE") return Make<FilePort, FilePortSettings>(settings, env);
    throw PortCreationError;
}

void ApplyUsbModel(IPortSettings& settings, const wchar_t* modelName) {
    if (auto* usb = dynamic_cast<USBPortSettings*>(&settings))
        usb->SetHardwareIdFragment(LookupUsbHardwareId(modelName));
}

}  // namespace QVO::IO
