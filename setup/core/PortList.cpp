// Port enumeration and the dos-devices links.
#include "setup/core/PortList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

namespace fs = std::filesystem;
namespace Reg = QVO::Platform::Registry;
using QVO::IO::PortEnvironment;

constexpr unsigned kMaxPortNumber = 999;  // three digits, as the ports accept
constexpr char kSystemDev[] = "/dev/";

struct NodeKind {
    const char* folder;  // below devRoot
    const char* prefix;
    bool serial;
};
constexpr NodeKind kNodeKinds[] = {
    {"", "ttyS", true}, {"", "ttyUSB", true}, {"", "ttyACM", true}, {"", "lp", false}, {"usb", "lp", false},
};

// The number after `prefix` in a node name ("ttyUSB12" -> 12); false when it is not one.
bool NodeNumber(const std::string& file, const char* prefix, unsigned& number) {
    const size_t n = std::strlen(prefix);
    if (file.compare(0, n, prefix) != 0 || file.size() == n || file.size() > n + 4) return false;
    unsigned long long value = 0;
    if (!ParseDecimal(FromUtf8(file.substr(n)), kMaxPortNumber, value)) return false;
    number = static_cast<unsigned>(value);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Where the ports would open `name`. The fixed /dev fallback is taken below devRoot, which is
// /dev itself outside tests.
std::string ResolvedPath(const std::wstring& name, const PortEnvironment& env) {
    std::string path = QVO::IO::ResolveDeviceName(name, env);
    if (path.rfind(kSystemDev, 0) == 0) path = env.devRoot + "/" + path.substr(std::strlen(kSystemDev));
    return path;
}

std::wstring DosName(bool serial, unsigned number) { return (serial ? L"COM" : L"LPT") + std::to_wstring(number); }

std::string LinkPath(const PortEnvironment& env, bool serial, unsigned number) {
    return env.dosDevicesDir + (serial ? "/com" : "/lpt") + std::to_string(number);
}

// The numbers a node may be reached by: every dos-devices entry of its kind, and its own
// fallback number.
std::set<unsigned> CandidateNumbers(const PortEnvironment& env, bool serial, const std::string& file,
                                    const char* prefix) {
    std::set<unsigned> numbers;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(env.dosDevicesDir, ec)) {
        unsigned n = 0;
        if (NodeNumber(entry.path().filename().string(), serial ? "com" : "lpt", n) && n > 0) numbers.insert(n);
    }
    unsigned own = 0;
    if ((std::strcmp(prefix, "ttyS") == 0 || (std::strcmp(prefix, "lp") == 0)) && NodeNumber(file, prefix, own))
        numbers.insert(own + 1);
    return numbers;
}

std::wstring NameOf(const PortEnvironment& env, const PortNode& node, const std::string& file, const char* prefix) {
    for (unsigned n : CandidateNumbers(env, node.serial, file, prefix)) {
        const std::wstring name = DosName(node.serial, n);
        if (SameFile(ResolvedPath(name, env), node.device)) return name;
    }
    return {};
}

// "COM12" -> 12
unsigned NameNumber(const std::wstring& name) {
    constexpr size_t kPrefix = 3;
    constexpr int kDecimal = 10;
    return static_cast<unsigned>(std::wcstoul(name.c_str() + kPrefix, nullptr, kDecimal));
}

}  // namespace

bool IsPortName(std::wstring_view name, bool serial) {
    const std::wstring_view prefix = serial ? L"COM" : L"LPT";
    if (name.size() <= prefix.size() || !SameText(name.substr(0, prefix.size()), prefix)) return false;
    unsigned long long n = 0;
    return ParseDecimal(name.substr(prefix.size()), kMaxPortNumber, n) && n > 0;
}

std::vector<PortNode> EnumPortNodes(const PortEnvironment& env) {
    std::vector<PortNode> nodes;
    for (const NodeKind& kind : kNodeKinds) {
        const fs::path folder = *kind.folder ? fs::path(env.devRoot) / kind.folder : fs::path(env.devRoot);
        std::vector<std::pair<unsigned, std::string>> found;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            unsigned n = 0;
            const std::string file = entry.path().filename().string();
            if (NodeNumber(file, kind.prefix, n) && !entry.is_directory(ec)) found.emplace_back(n, file);
        }
        std::sort(found.begin(), found.end());
        for (const auto& [n, file] : found) {
            PortNode node;
            node.device = (folder / file).string();
            node.serial = kind.serial;
            node.name = NameOf(env, node, *kind.folder ? std::string() : file, kind.prefix);
            nodes.push_back(std::move(node));
        }
    }
    return nodes;
}

std::vector<std::wstring> EnumPortNames(const PortEnvironment& env, bool serial) {
    std::vector<std::wstring> names;
    for (const PortNode& node : EnumPortNodes(env))
        if (node.serial == serial && !node.name.empty() &&
            std::find(names.begin(), names.end(), node.name) == names.end())
            names.push_back(node.name);
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return NameNumber(a) < NameNumber(b); });
    for (std::wstring& name : names) name += L":";
    return names;
}

Reg::Status AssignPortName(const PortEnvironment& env, const std::string& device, std::wstring& name) {
    bool serial = false;
    bool known = false;
    for (const PortNode& node : EnumPortNodes(env))
        if (node.device == device) {
            if (!node.name.empty()) {
                name = node.name;
                return {};
            }
            serial = node.serial;
            known = true;
        }
    if (!known) return {Reg::Error::NotFound, device + ": not a serial or parallel device node"};
    std::error_code ec;
    fs::create_directories(env.dosDevicesDir, ec);
    if (ec) return {Reg::Error::AccessDenied, env.dosDevicesDir + ": " + ec.message()};
    for (unsigned n = 1; n <= kMaxPortNumber; ++n) {
        // A name is taken by its link, or by the device its fallback would open.
        if (Exists(LinkPath(env, serial, n)) || Exists(ResolvedPath(DosName(serial, n), env))) continue;
        if (::symlink(device.c_str(), LinkPath(env, serial, n).c_str()) == 0) {
            name = DosName(serial, n);
            return {};
        }
        if (errno != EEXIST)
            return {errno == EACCES || errno == EPERM ? Reg::Error::AccessDenied : Reg::Error::IoError,
                    LinkPath(env, serial, n) + ": " + std::strerror(errno)};
    }
    return {Reg::Error::IoError, "no free port name left"};
}

}  // namespace QVO::Setup
