// The health check of a device through the OPOS control objects, with the utility's texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "setup/core/DeviceStore.h"

namespace QVO::Setup {

// The text of an OpenResult (301-307, 401-403); other values: empty for a printer,
// "OpenResult:" and the number for a drawer.
std::wstring OpenResultText(int32_t openResult, DeviceClass deviceClass);

// Opens `device` by its entry name, claims (1000 ms) and enables it (a drawer also opens its
// drawer), runs CheckHealth(3) and shows CheckHealthText, then disables, releases and closes.
// Every text goes through the message-box hook under `caption`. True when the device opened
// and the check ran; the check's own verdict is in the text it shows.
bool RunHealthCheck(DeviceClass deviceClass, std::wstring_view device, const std::wstring& caption);

}  // namespace QVO::Setup
