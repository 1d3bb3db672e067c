// Finding a USB printer's node through sysfs.
#include "so/io/USBPort.h"

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/text/TextConv.h"
#include "so/io/UsbModelTable.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;
namespace {

namespace fs = std::filesystem;

// First line of a small sysfs attribute file, without the newline; empty when unreadable.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

std::vector<std::string> SortedEntries(const fs::path& dir, std::error_code& ec) {
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool Contains(const std::wstring& text, const wchar_t* fragment) {
    return fragment != nullptr && *fragment != L'\0' && text.find(fragment) != std::wstring::npos;
}

// The printer node of device `device`: an "lpN" under one of its interfaces'
// usbmisc directories, as <devroot>/usb/lpN. Empty when it has none.
std::string FindPrinterNode(const fs::path& devicesDir, const std::string& device, const std::string& devRoot) {
    std::error_code ec;
    const std::string interfacePrefix = device + ":";
    for (const std::string& entry : SortedEntries(devicesDir, ec)) {
        if (entry.compare(0, interfacePrefix.size(), interfacePrefix) != 0) continue;
        std::error_code miscEc;
        for (const std::string& node : SortedEntries(devicesDir / entry / "usbmisc", miscEc)) {
            if (node.size() > 2 && node.compare(0, 2, "lp") == 0 &&
                std::all_of(node.begin() + 2, node.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return devRoot + "/usb/" + node;
        }
    }
    return {};
}

}  // namespace

std::wstring ComposeUsbHardwareId(const std::string& deviceDir) {
    const fs::path dir(deviceDir);
    const std::string vendor = ReadAttribute(dir / "idVendor");
    const std::string product = ReadAttribute(dir / "idProduct");
    const std::string revision = ReadAttribute(dir / "bcdDevice");
    if (vendor.empty() || product.empty() || revision.empty()) return {};
    std::wstring id = Utf8ToWide("USB\\VID_" + vendor + "&PID_" + product + "&REV_" + revision);
    for (wchar_t& c : id) c = static_cast<wchar_t>(std::towupper(c));
    return id;
}

USBPort::USBPort(const USBPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    SetOverlapped(true);
    FindDevice();
}

int32_t USBPort::FindDevice() {
    ClearSystemError();
    usbLptDevice_ = 0;
    const fs::path devicesDir = fs::path(Environment().sysfsRoot) / "bus" / "usb" / "devices";
    std::error_code ec;
    const std::vector<std::string> devices = SortedEntries(devicesDir, ec);
    if (ec) {
        RecordSystemError(ec.value());
        return ec.value() != 0 ? ec.value() : kUsbDeviceNotFound;
    }
    for (const std::string& device : devices) {
        if (device.find(':') != std::string::npos) continue;  // an interface, not a device
        const std::wstring hardwareId = ComposeUsbHardwareId((devicesDir / device).string());
        if (hardwareId.empty()) continue;

        bool adapter = false;
        bool matched = Contains(hardwareId, ownSettings_.GetHardwareIdFragment());
        if (!matched && Contains(hardwareId, kUsbLptAdapterHardwareId)) matched = adapter = true;
        if (!matched) matched = Contains(hardwareId, kMakerVendorHardwareId);
        if (!matched) continue;

        std::string node = FindPrinterNode(devicesDir, device, Environment().devRoot);
        if (node.empty()) continue;  // no printer interface: not a device we can print to
        SetDevicePath(node);
        usbLptDevice_ = adapter ? 1 : 0;
        return 0;
    }
    return kUsbDeviceNotFound;
}

}  // namespace QVO::IO
