// The serial and parallel ports of the machine shown as COMn: / LPTn:, through the same
// name mapping the ports use (the dos-devices links, else /dev/ttyS(n-1) and /dev/lp(n-1)),
// and new names for devices that have none yet.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"
#include "so/io/PortEnvironment.h"

namespace QVO::Setup {

// One device node: /dev/ttyS*, ttyUSB*, ttyACM* (serial), lp*, usb/lp* (parallel and USB
// printer class).
struct PortNode {
    std::string device;  // the node's path
    bool serial = false;
    std::wstring name;  // "COM3" or "LPT1"; empty when no Windows name leads to the node
};

// "COMn" (serial) or "LPTn" (parallel) with n from 1 to 999, in any case.
bool IsPortName(std::wstring_view name, bool serial);

// The device nodes present under env.devRoot with the names that reach them, serial first,
// each kind in name order.
std::vector<PortNode> EnumPortNodes(const QVO::IO::PortEnvironment& env);

// The names of the ports present of one kind, as the spooler lists them ("COM1:"), ordered
// by number. Nodes without a name are left out.
std::vector<std::wstring> EnumPortNames(const QVO::IO::PortEnvironment& env, bool serial);

// Gives `device` (a path under env.devRoot) a Windows name: a link comN / lptN in the
// dos-devices folder (created when missing) with the lowest N that names nothing yet.
// A device that already has a name keeps it. `name` receives "COM5" or "LPT2".
QVO::Platform::Registry::Status AssignPortName(const QVO::IO::PortEnvironment& env, const std::string& device,
                                               std::wstring& name);

}  // namespace QVO::Setup
