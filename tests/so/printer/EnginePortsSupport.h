// A virtual printer behind each kind of port the engine can open, and engines opened on it.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"
#include "tests/so/printer/EngineTestSupport.h"

namespace QVO::Printer::Test {

enum class PortKind { TcpIp, Serial, Parallel, Usb, File };

// The dos-device entries the serial and parallel links are reached by.
inline constexpr char kComEntry[] = "com7";
inline constexpr char kLptEntry[] = "lpt2";

// A temporary folder, removed with everything in it when the holder goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-engports-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// One virtual printer reached over one kind of link: the server that serves it, the port
// environment (dos devices, fake sysfs, locks) under `dir`, and the settings text that reaches
// it. The printer and the folder must outlive the link.
class PrinterLink {
public:
    PrinterLink(Sim::VirtualPrinter& printer, PortKind kind, std::filesystem::path dir)
        : printer_(printer), kind_(kind), dir_(std::move(dir)) {
        env_.dosDevicesDir = (dir_ / "dosdevices").string();
        env_.lockDir = (dir_ / "locks").string();
        env_.sysfsRoot = (dir_ / "usb" / "sys").string();
        env_.devRoot = (dir_ / "usb" / "dev").string();
    }
    ~PrinterLink() { Stop(); }
    PrinterLink(const PrinterLink&) = delete;
    PrinterLink& operator=(const PrinterLink&) = delete;

    bool Start(std::string* error) {
        std::error_code ec;
        std::filesystem::create_directories(env_.dosDevicesDir, ec);
        std::filesystem::create_directories(env_.lockDir, ec);
        switch (kind_) {
            case PortKind::TcpIp: {
                auto tcp = std::make_unique<Sim::TcpServer>(printer_, 0);
                Sim::TcpServer* raw = tcp.get();
                server_ = std::move(tcp);
                if (!server_->Start(error)) return false;
                settingsText_ = L"127.0.0.1," + std::to_wstring(raw->Port());
                return true;
            }
            case PortKind::Serial:
                return StartPty(kComEntry, L"COM7,BaudRate_19200", error);
            case PortKind::Parallel:
                return StartPty(kLptEntry, L"LPT2", error);
            case PortKind::Usb:
                server_ = std::make_unique<Sim::UsbServer>(printer_, (dir_ / "usb").string());
                return server_->Start(error);
            case PortKind::File: {
                const std::string out = (dir_ / "to-printer.bin").string();
                const std::string in = (dir_ / "from-printer.bin").string();
                server_ = std::make_unique<Sim::FilePairServer>(printer_, out, in);
                settingsText_ = Wide(out) + L"," + Wide(in);
                return server_->Start(error);
            }
        }
        return false;
    }
    void Stop() {
        if (server_) server_->Stop();
    }

    const wchar_t* PortType() const {
        switch (kind_) {
            case PortKind::TcpIp:
                return L"TCP/IP";
            case PortKind::Serial:
                return L"COM";
            case PortKind::Parallel:
                return L"LPT";
            case PortKind::Usb:
                return L"USB";
            case PortKind::File:
                return L"FILE";
        }
        return L"";
    }
    const std::wstring& SettingsText() const { return settingsText_; }
    const IO::PortEnvironment& Environment() const { return env_; }

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

    // True when another port on the same settings can take the device: the engine has let it
    // go (every port takes it exclusively while open).
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

    bool StartPty(const char* entry, const wchar_t* settingsText, std::string* error) {
        auto pty = std::make_unique<Sim::PtyServer>(printer_);
        Sim::PtyServer* raw = pty.get();
        server_ = std::move(pty);
        if (!server_->Start(error)) return false;
        std::error_code ec;
        std::filesystem::create_symlink(raw->SlavePath(), std::filesystem::path(env_.dosDevicesDir) / entry, ec);
        if (ec) {
            *error = "symlink: " + ec.message();
            return false;
        }
        settingsText_ = settingsText;
        return true;
    }

    Sim::VirtualPrinter& printer_;
    const PortKind kind_;
    const std::filesystem::path dir_;
    IO::PortEnvironment env_;
    std::unique_ptr<Sim::LinkServer> server_;
    std::wstring settingsText_;
};

// An engine of model `model` on a link, with the events it raises recorded.
struct EngineUnderTest {
    RecordingEvents events;
    std::unique_ptr<TestEngine> engine;
};

// Creates the engine and opens it on the link; the open's result in `rc`. Fatal failures
// (settings that do not parse) are reported through gtest.
inline std::unique_ptr<EngineUnderTest> OpenEngine(const std::wstring& model, const PrinterLink& link, int32_t& rc) {
    auto under = std::make_unique<EngineUnderTest>();
    under->engine = std::make_unique<TestEngine>(model);
    under->events.Attach(under->engine.get());
    under->engine->SetPortEnvironment(link.Environment());
    under->engine->SetOutputTiming(FastOutputTiming());
    std::string error;
    std::unique_ptr<IO::IPortSettings> settings = link.Settings(model, &error);
    EXPECT_NE(settings, nullptr) << error;
    rc = -1;
    if (!settings) return under;
    under->engine->SetPortSettings(*settings, &rc);
    if (rc != 0) return under;
    under->engine->OpenServiceW(L"printer", &under->events, &rc);
    return under;
}

// Open, claim and enable; false (with gtest failures) when a step fails.
inline bool OpenClaimEnable(EngineUnderTest& under) {
    int32_t rc = 0;
    under.engine->ClaimDevice(1000, &rc);
    EXPECT_EQ(rc, 0) << "claim";
    if (rc != 0) return false;
    const int32_t changed = under.engine->DeviceEnable(1);
    EXPECT_EQ(changed, 1) << "enable";
    return changed == 1;
}

// The printer's trace as one line: "ESC @ | ESC = 1 | ...".
inline std::string Joined(const std::vector<std::string>& trace, size_t from = 0) {
    std::string all;
    for (size_t i = from; i < trace.size(); ++i) all += (all.empty() ? "" : " | ") + trace[i];
    return all;
}

inline size_t IndexOf(const std::vector<std::string>& trace, const std::string& entry, size_t from = 0) {
    const auto found =
        std::find(trace.begin() + static_cast<std::ptrdiff_t>(std::min(from, trace.size())), trace.end(), entry);
    return static_cast<size_t>(found - trace.begin());
}

inline size_t CountFrom(const std::vector<std::string>& trace, size_t from, size_t to, const std::string& prefix) {
    size_t count = 0;
    for (size_t i = from; i < to && i < trace.size(); ++i)
        if (trace[i].rfind(prefix, 0) == 0) ++count;
    return count;
}

// Waits until the printer has traced `entry` (at or after index `from`).
inline bool PrinterTraced(const Sim::VirtualPrinter& printer, const std::string& entry, size_t from = 0) {
    return QVO::Test::WaitUntil([&] {
        const auto trace = printer.Trace();
        return IndexOf(trace, entry, from) < trace.size();
    });
}

}  // namespace QVO::Printer::Test
