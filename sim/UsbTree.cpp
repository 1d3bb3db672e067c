// The fake USB printer: the sysfs and /dev layout a USB port enumeration walks.
#include "sim/Transport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace QVO::Sim {

namespace {

bool MakeDirs(const std::string& path, std::string* error) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0755) < 0 && errno != EEXIST) {
            if (error) *error = "mkdir " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        if (error) *error = "write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fputs(text.c_str(), f);
    return std::fclose(f) == 0;
}

std::string Hex4(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x\n", v);
    return buf;
}

}  // namespace

bool CreateUsbTree(const std::string& root, uint16_t vid, uint16_t pid, uint16_t rev, const std::string& slavePath,
                   std::string* error) {
    const std::string dev = root + "/sys/bus/usb/devices/1-1";
    const std::string intf = root + "/sys/bus/usb/devices/1-1:1.0";
    if (!MakeDirs(dev, error) || !MakeDirs(intf + "/usbmisc/lp0", error) || !MakeDirs(root + "/dev/usb", error))
        return false;
    if (!WriteText(dev + "/idVendor", Hex4(vid), error) || !WriteText(dev + "/idProduct", Hex4(pid), error) ||
        !WriteText(dev + "/bcdDevice", Hex4(rev), error) || !WriteText(intf + "/bInterfaceClass", "07\n", error))
        return false;
    const std::string node = root + "/dev/usb/lp0";
    const std::string tmp = node + ".tmp";
    ::unlink(tmp.c_str());
    if (::symlink(slavePath.c_str(), tmp.c_str()) < 0 || ::rename(tmp.c_str(), node.c_str()) < 0) {
        if (error) *error = "link " + node + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

UsbServer::UsbServer(VirtualPrinter& printer, std::string root, uint16_t vid, uint16_t pid, uint16_t rev)
    : PtyServer(printer, root + "/dev/usb/lp0"), root_(std::move(root)), vid_(vid), pid_(pid), rev_(rev) {}

bool UsbServer::Open(std::string* error) {
    // The directories first, so the pty's symlink has a place to go.
    std::string ignored;
    CreateUsbTree(root_, vid_, pid_, rev_, "/dev/null", &ignored);
    if (!PtyServer::Open(error)) return false;
    return CreateUsbTree(root_, vid_, pid_, rev_, SlavePath(), error);
}

}  // namespace QVO::Sim
