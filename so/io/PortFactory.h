// CreatePort: the port object for a settings object, and the USB model lookup step.
#pragma once

#include <memory>

#include "so/io/IPort.h"
#include "so/io/PortEnvironment.h"

namespace QVO::IO {

// A new, not yet opened port of the settings' type ("COM", "LPT", "USB", "TCP/IP",
// "FILE", exact case), holding its own copy of the settings. Throws PortCreationError
// (int) for any other type text, or when the object is not of the class its type text
// names. A USB port searches for its device here already. The caller owns the port.
std::unique_ptr<IPort> CreatePort(IPortSettings& settings);
std::unique_ptr<IPort> CreatePort(IPortSettings& settings, const PortEnvironment& env);

// Writes the USB hardware-ID fragment of `modelName` (the model table's, else the
// default) into `settings` when they are USB settings; other settings are left alone.
void ApplyUsbModel(IPortSettings& settings, const wchar_t* modelName);

}  // namespace QVO::IO
