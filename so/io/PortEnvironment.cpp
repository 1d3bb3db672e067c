// Environment defaults and the mapping of Windows port names onto device files.
#include "so/io/PortEnvironment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cwctype>

#include "platform/text/TextConv.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;
namespace {

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// "COM3" -> ("com", 3); false for anything that is not letters then a number >= 1.
bool SplitDosName(std::wstring_view name, std::wstring& prefix, unsigned& number) {
    for (const wchar_t* known : {L"COM", L"LPT"}) {
        std::wstring_view k(known);
        if (name.size() <= k.size() || name.size() > k.size() + 3) continue;
        bool same = true;
        for (size_t i = 0; i < k.size(); ++i) same = same && static_cast<wchar_t>(std::towupper(name[i])) == k[i];
        if (!same) continue;
        unsigned value = 0;
        for (wchar_t c : name.substr(k.size())) {
            if (c < L'0' || c > L'9') return false;
            value = value * 10 + static_cast<unsigned>(c - L'0');
        }
        if (value == 0) return false;
        prefix = k;
        number = value;
        return true;
    }
    return false;
}

// lstat, not stat: a configured entry that points nowhere must fail the open rather than
// quietly fall back to another device.
bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

PortEnvironment PortEnvironment::FromProcess() {
    PortEnvironment env;
    env.dosDevicesDir = EnvOr("QUVO_DOSDEVICES", "/etc/quvo/dosdevices");
    env.sysfsRoot = EnvOr("QUVO_SYSFS_ROOT", "/sys");
    env.devRoot = EnvOr("QUVO_DEV_ROOT", "/dev");
    // Not per user (no $XDG_RUNTIME_DIR): a printer locked by one user must stay locked
    // for every other.
    env.lockDir = EnvOr("QUVO_LOCK_DIR", kDefaultLockDir);
    return env;
}

std::string ResolveDeviceName(const std::wstring& portName, const PortEnvironment& env) {
    std::wstring_view name(portName);
    constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) name.remove_prefix(kDevicePrefix.size());
    if (name.empty()) return {};
    if (name.front() == L'/') return WideToUtf8(name);

    std::wstring prefix;
    unsigned number = 0;
    if (!SplitDosName(name, prefix, number)) return {};
    bool serial = prefix == L"COM";
    std::string link = env.dosDevicesDir + (serial ? "/com" : "/lpt") + std::to_string(number);
    if (Exists(link)) return link;
    return (serial ? "/dev/ttyS" : "/dev/lp") + std::to_string(number - 1);
}

}  // namespace QVO::IO
