// Where the ports look for device names, USB devices and lock files.
#pragma once

#include <string>

namespace QVO::IO {

// The one lock directory of the system: every user's ports lock network printers there,
// so exclusive use holds across users, sessions and services.
inline constexpr char kDefaultLockDir[] = "/run/lock/quvo";

// Directories the ports use, taken from the process environment by default and
// overridable per port so tests need no global state. Plain copyable value.
struct PortEnvironment {
    std::string dosDevicesDir;  // $QUVO_DOSDEVICES, default /etc/quvo/dosdevices
    std::string sysfsRoot;      // $QUVO_SYSFS_ROOT, default /sys
    std::string devRoot;        // $QUVO_DEV_ROOT, default /dev
    std::string lockDir;        // $QUVO_LOCK_DIR (tests), default kDefaultLockDir

    static PortEnvironment FromProcess();
};

// The device file for a Windows-style port name: "\\.\COMn" or "COMn" and "LPTn" through
// the dos-devices directory (entry "comn", "lptn"), else /dev/ttyS(n-1) and /dev/lp(n-1);
// an absolute path stands as it is. Empty when the name is none of these.
std::string ResolveDeviceName(const std::wstring& portName, const PortEnvironment& env);

}  // namespace QVO::IO
