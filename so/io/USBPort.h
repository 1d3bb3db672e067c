// USBPort: a USB printer found by its hardware ID among the present USB devices.
#pragma once

#include "so/io/SystemPort.h"

namespace QVO::IO {

// Result of FindDevice when no present device matches.
inline constexpr int32_t kUsbDeviceNotFound = 999;

// Keeps its own copy of the settings (taken after the model's fragment was written into
// them) and the printer node's descriptor, held exclusively while open. Not thread-safe
// (see IPort).
class USBPort : public CSystemPort {
public:
    explicit USBPort(const USBPortSettings& settings, const PortEnvironment& env = PortEnvironment::FromProcess());
    ~USBPort() override = default;

    int32_t IsUsbLptDevice() override { return usbLptDevice_; }
    int32_t RefreshDeviceName() override { return FindDevice(); }

    // Walks the USB devices in name order and takes the first whose hardware ID contains
    // the configured fragment, the USB-to-parallel adapter's fragment (then the port
    // counts as a parallel link) or our vendor ID, and that has a printer node. Returns 0
    // when found, else kUsbDeviceNotFound or the errno of an unreadable device list.
    int32_t FindDevice();

private:
    USBPortSettings ownSettings_;
    int32_t usbLptDevice_ = 0;
};

// "USB\VID_xxxx&PID_yyyy&REV_zzzz" of the device directory `deviceDir`, upper case;
// empty when one of its identifier files is missing.
std::wstring ComposeUsbHardwareId(const std::string& deviceDir);

}  // namespace QVO::IO
