// The table that maps a printer model name to the USB hardware-ID fragment of its device.
#pragma once

#include <span>

namespace QVO::IO {

struct UsbModelRow {
    const wchar_t* modelName;
    const wchar_t* hardwareIdFragment;
};

// Fragment of our own printers when the model is not in the table.
inline constexpr wchar_t kDefaultUsbHardwareId[] = L"VID_3F1D&PID_0E01";
// Fragment of the USB-to-parallel adapter: such a link is treated like a parallel one.
inline constexpr wchar_t kUsbLptAdapterHardwareId[] = L"VID_3F1E&PID_1284";
// Our vendor ID alone: any of our devices is taken when nothing more specific matched.
inline constexpr wchar_t kMakerVendorHardwareId[] = L"VID_3F1D&";
// The model name a USB settings object starts with.
inline constexpr wchar_t kDefaultUsbModelName[] = L"RX610";

// All rows in lookup order. Static data, safe from any thread.
std::span<const UsbModelRow> UsbModelTable();

// The fragment of the first row whose model name equals `modelName` exactly (case
// matters), else kDefaultUsbHardwareId. A null name gives the default. The result is
// static text.
const wchar_t* LookupUsbHardwareId(const wchar_t* modelName);

}  // namespace QVO::IO
