// A virtual printer behind each kind of port the engine opens, with the port setting that reaches it.
// Shared by the engine tests and the engine benchmark; header only, so a user links quvo_sim
// and quvo_io (directly or through quvo_printer) and nothing else.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortEnvironment.h"
#include "so/io/PortFactory.h"

namespace QVO::Test {

enum class SimPortKind { TcpIp, Serial, Parallel, Usb, File };

// The dos-device entries the serial and parallel links are reached by.
inline constexpr char kSimComEntry[] = "com7";
inline constexpr char kSimLptEntry[] = "lpt2";
inline constexpr uint32_t kSimDefaultBaudRate = 19200;

// The registry's port type text for a kind.
inline const wchar_t* SimPortType(SimPortKind kind) {
    switch (kind) {
        case SimPortKind::TcpIp:
            return L"TCP/IP";
        case SimPortKind::Serial:
            return L"COM";
        case SimPortKind::Parallel:
            return L"LPT";
        case SimPortKind::Usb:
            return L"USB";
        case SimPortKind::File:
            return L"FILE";
    }
    return L"";
}

// The line the printer sees a kind as, for its back channel.
inline Sim::LinkType SimLinkType(SimPortKind kind) {
    switch (kind) {
        case SimPortKind::TcpIp:
            return Sim::LinkType::Network;
        case SimPortKind::Serial:
            return Sim::LinkType::Serial;
        case SimPortKind::Parallel:
            return Sim::LinkType::Parallel;
        case SimPortKind::Usb:
            return Sim::LinkType::Usb;
        case SimPortKind::File:
            return Sim::LinkType::File;
    }
    return Sim::LinkType::Serial;
}

// The port environment of a folder: dos devices, lock files and the fake USB tree under `dir`.
inline IO::PortEnvironment SimPortEnvironment(const std::filesystem::path& dir) {
    IO::PortEnvironment env;
    env.dosDevicesDir = (dir / "dosdevices").string();
    env.lockDir = (dir / "locks").string();
    env.sysfsRoot = (dir / "usb" / "sys").string();
    env.devRoot = (dir / "usb" / "dev").string();
    return env;
}

// A temporary folder under `parent`, removed with everything in it when the holder goes.
// Path() is empty when it could not be made.
class ScratchDir {
public:
    ScratchDir(const std::filesystem::path& parent, const std::string& prefix) {
        std::string pattern = (parent / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// One virtual printer reached over one kind of link: the server that serves it, the port
// environment under `dir` and the settings text that reaches it. A TCP link needs no folder:
// with `dir` empty its environment is the process's. The printer and the folder must outlive
// the link. Not thread-safe: one owner starts, asks and stops it.
class SimPort {
public:
    SimPort(Sim::VirtualPrinter& printer, SimPortKind kind, std::filesystem::path dir,
            uint32_t baudRate = kSimDefaultBaudRate)
        : printer_(printer),
          kind_(kind),
          dir_(std::move(dir)),
          baudRate_(baudRate),
          env_(dir_.empty() ? IO::PortEnvironment::FromProcess() : SimPortEnvironment(dir_)) {}
    ~SimPort() { Stop(); }
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    // false: the line carries the printer's answers nowhere (set before Start).
    void set_backChannel(bool on) { backChannel_ = on; }

    bool Start(std::string* error) {
        if ((kind_ != SimPortKind::TcpIp || !dir_.empty()) && !MakeFolders(error)) return false;
        switch (kind_) {
            case SimPortKind::TcpIp:
                return StartTcp(error);
            case SimPortKind::Serial:
                return StartPty(kSimComEntry, L"COM7,BaudRate_" + std::to_wstring(baudRate_), error);
            case SimPortKind::Parallel:
                return StartPty(kSimLptEntry, L"LPT2", error);
            case SimPortKind::Usb:
                return StartServer(std::make_unique<Sim::UsbServer>(printer_, (dir_ / "usb").string()), error);
            case SimPortKind::File: {
                const std::string out = (dir_ / "to-printer.bin").string();
                const std::string in = (dir_ / "from-printer.bin").string();
                settingsText_ = Wide(out) + L"," + Wide(in);
                return StartServer(std::make_unique<Sim::FilePairServer>(printer_, out, in), error);
            }
        }
        return false;
    }
    void Stop() {
        if (server_) server_->Stop();
    }

    SimPortKind Kind() const { return kind_; }
    const wchar_t* PortType() const { return SimPortType(kind_); }
    const std::wstring& SettingsText() const { return settingsText_; }
    const IO::PortEnvironment& Environment() const { return env_; }
    uint16_t TcpPort() const { return tcpPort_; }  // 0 unless a started TCP link

    // The settings the COM layer would hand the engine for `model` (USB finds the device by
    // the model's hardware ID). Null, with the reason in `error`, when they do not parse.
    std::unique_ptr<IO::IPortSettings> Settings(const std::wstring& model, std::string* error) const {
        IO::ParsedPortSettings parsed = IO::ParsePortSettings(PortType(), settingsText_.c_str());
        if (!parsed) {
            *error = parsed.message;
            return nullptr;
        }
        IO::ApplyUsbModel(*parsed.settings, model.c_str());
        return std::move(parsed.settings);
    }

    // True when another port on the same settings can take the device: whoever had it has let
    // it go (every port takes it exclusively while open).
    bool DeviceIsFree(const std::wstring& model) const {
        std::string error;
        std::unique_ptr<IO::IPortSettings> settings = Settings(model, &error);
        if (!settings) return false;
        std::unique_ptr<IO::IPort> port = IO::CreatePort(*settings, env_);
        const bool opened = port->Open() != 0;
        port->Close();
        return opened;
    }

private:
    static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

    bool MakeFolders(std::string* error) {
        std::error_code ec;
        if (dir_.empty()) ec = std::make_error_code(std::errc::no_such_file_or_directory);
        if (!ec) std::filesystem::create_directories(env_.dosDevicesDir, ec);
        if (!ec) std::filesystem::create_directories(env_.lockDir, ec);
        if (ec) *error = "port folders: " + ec.message();
        return !ec;
    }

    bool StartServer(std::unique_ptr<Sim::LinkServer> server, std::string* error) {
        server_ = std::move(server);
        server_->set_backChannel(backChannel_);
        return server_->Start(error);
    }

    bool StartTcp(std::string* error) {
        auto tcp = std::make_unique<Sim::TcpServer>(printer_, 0);
        Sim::TcpServer* raw = tcp.get();
        if (!StartServer(std::move(tcp), error)) return false;
        tcpPort_ = raw->Port();
        settingsText_ = L"127.0.0.1," + std::to_wstring(tcpPort_);
        return true;
    }

    // The pty is reached through a dos-device entry; an entry left by an earlier link in the
    // same folder is replaced.
    bool StartPty(const char* entry, const std::wstring& settingsText, std::string* error) {
        auto pty = std::make_unique<Sim::PtyServer>(printer_);
        Sim::PtyServer* raw = pty.get();
        if (!StartServer(std::move(pty), error)) return false;
        const std::filesystem::path link = std::filesystem::path(env_.dosDevicesDir) / entry;
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(raw->SlavePath(), link, ec);
        if (ec) {
            *error = "symlink: " + ec.message();
            return false;
        }
        settingsText_ = settingsText;
        return true;
    }

    Sim::VirtualPrinter& printer_;
    const SimPortKind kind_;
    const std::filesystem::path dir_;
    const uint32_t baudRate_;
    const IO::PortEnvironment env_;
    bool backChannel_ = true;
    std::unique_ptr<Sim::LinkServer> server_;
    std::wstring settingsText_;
    uint16_t tcpPort_ = 0;
};

}  // namespace QVO::Test
