// The pieces of the engine runs: print jobs, a counting event sink, an engine opened on a
// virtual printer over TCP or a serial pty, and one timed asynchronous job through it.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync/Mutex.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"
#include "so/printer/CTM_T88IV.h"
#include "so/printer/IPrinterEventHandle.h"

namespace QVO::Bench {

using Clock = std::chrono::steady_clock;
using QVO::Printer::PrinterBuffer;

inline constexpr int kRasterWidthBytes = 64;  // 512 dots, the TM-T88IV's width
inline constexpr int kMaxRasterRows = 2000;
inline constexpr char kEndMarker[] = "END OF JOB";
inline constexpr auto kDeliveryLimit = std::chrono::seconds(120);
inline constexpr auto kCheckPause = std::chrono::milliseconds(1);
inline constexpr char kComEntry[] = "com7";
inline constexpr char kLptEntry[] = "lpt2";

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Raster images (GS v 0) to at least `bytes`, then a marker line the printer traces once it
// has taken everything before it.
inline std::vector<uint8_t> PrintJob(size_t bytes) {
    std::vector<uint8_t> job;
    job.reserve(bytes + 64);
    for (int image = 0; job.size() < bytes; ++image) {
        const size_t left = bytes - job.size();
        const int rows = static_cast<int>(std::clamp<size_t>(left / kRasterWidthBytes, 1, kMaxRasterRows));
        const uint8_t header[] = {
            0x1D, 0x76, 0x30, 0x00, kRasterWidthBytes, 0, uint8_t(rows & 0xFF), uint8_t(rows >> 8)};
        job.insert(job.end(), header, header + sizeof header);
        for (int i = 0; i < rows * kRasterWidthBytes; ++i) job.push_back(((i / 8 + image) % 3) == 0 ? 0xAA : 0x00);
    }
    job.insert(job.end(), kEndMarker, kEndMarker + std::strlen(kEndMarker));
    job.push_back('\n');
    return job;
}

inline bool Delivered(const Sim::VirtualPrinter& printer) {
    static const std::string marker = std::string("text \"") + kEndMarker + "\"";
    const std::vector<std::string> trace = printer.Trace();
    return std::find(trace.rbegin(), trace.rend(), marker) != trace.rend();
}

// Waits for the printer to have the whole job; false when it did not come in time or
// `failed` said it never will.
inline bool WaitDelivered(
    const Sim::VirtualPrinter& printer, Clock::time_point& when,
    const std::function<bool()>& failed = [] { return false; }) {
    const Clock::time_point giveUp = Clock::now() + kDeliveryLimit;
    while (!Delivered(printer)) {
        if (Clock::now() > giveUp || failed()) return false;
        std::this_thread::sleep_for(kCheckPause);
    }
    when = Clock::now();
    return true;
}

// Counts what the engine reports; the status poll runs the engine's own query, as the COM
// object does. Thread-safe.
class CountingSink : public Printer::IPrinterEventHandle {
public:
    void Attach(Printer::CPrinterBase* engine) { engine_ = engine; }
    void ErrorNotice(const wchar_t* text, int32_t, int32_t) override {
        Platform::MutexLock lock(mutex_);
        lastError_ = text;
        errors_.fetch_add(1);
    }
    void OutputComplete(int32_t) override {
        completedAt_.store(Clock::now().time_since_epoch().count());
        completed_.fetch_add(1);
    }
    void StatusUpdate(int32_t) override {}
    int32_t PrinterState() override {
        polls_.fetch_add(1);
        return engine_ != nullptr ? engine_->GetPrinterState(false) : 0;
    }
    int Completed() const { return completed_.load(); }
    Clock::time_point CompletedAt() const { return Clock::time_point(Clock::duration(completedAt_.load())); }
    int Errors() const { return errors_.load(); }
    int Polls() const { return polls_.load(); }
    std::string LastError() const {
        Platform::MutexLock lock(mutex_);
        return std::string(lastError_.begin(), lastError_.end());  // the texts are ASCII
    }

private:
    Printer::CPrinterBase* engine_ = nullptr;
    std::atomic<int> completed_{0}, errors_{0}, polls_{0};
    std::atomic<Clock::rep> completedAt_{0};
    mutable Platform::Mutex mutex_;
    std::wstring lastError_ QUVO_GUARDED_BY(mutex_);
};

// The compatible model with its output call opened up.
class BenchEngine : public Printer::CTM_T88IV {
public:
    using CTM_T88IV::CTM_T88IV;
    int32_t Output(PrinterBuffer& buffer) { return Send(buffer, 0); }
};

// Open, claim and enable; null (with the reason on stderr) when a step fails.
inline std::unique_ptr<BenchEngine> EnabledEngine(const std::wstring& model, const wchar_t* type,
                                                  const std::wstring& settingsText, const IO::PortEnvironment& env,
                                                  CountingSink& sink) {
    auto engine = std::make_unique<BenchEngine>(model);
    sink.Attach(engine.get());
    engine->SetPortEnvironment(env);
    IO::ParsedPortSettings parsed = IO::ParsePortSettings(type, settingsText.c_str());
    int32_t rc = -1;
    if (parsed) {
        IO::ApplyUsbModel(*parsed.settings, model.c_str());
        engine->SetPortSettings(*parsed.settings, &rc);
    }
    if (rc == 0) engine->OpenServiceW(L"printer", &sink, &rc);
    if (rc == 0) engine->ClaimDevice(1000, &rc);
    if (rc != 0 || engine->DeviceEnable(1) != 1) {
        std::fprintf(stderr, "engine did not open, claim and enable (rc %d)\n", rc);
        return nullptr;
    }
    return engine;
}

inline void CloseEngine(BenchEngine& engine) {
    int32_t rc = 0;
    engine.DeviceEnable(0);
    engine.ReleaseDevice(&rc);
    engine.CloseService(&rc);
}

// The run's own folder: lock files, the dos-device entries of the serial and parallel links
// and the fake USB tree.
struct RunDirs {
    std::filesystem::path root;
    IO::PortEnvironment env = IO::PortEnvironment::FromProcess();
    bool Create() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-engine-run-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return false;
        root = pattern;
        env.lockDir = (root / "locks").string();
        env.dosDevicesDir = (root / "dosdevices").string();
        env.sysfsRoot = (root / "usb" / "sys").string();
        env.devRoot = (root / "usb" / "dev").string();
        std::error_code ec;
        std::filesystem::create_directories(env.lockDir, ec);
        std::filesystem::create_directories(env.dosDevicesDir, ec);
        return !ec;
    }
    ~RunDirs() {
        std::error_code ec;
        if (!root.empty()) std::filesystem::remove_all(root, ec);
    }
};

enum class LinkKind { TcpIp, Serial, Parallel, Usb };
inline const char* LinkName(LinkKind kind) {
    switch (kind) {
        case LinkKind::TcpIp:
            return "TCP/IP";
        case LinkKind::Serial:
            return "serial (pty)";
        case LinkKind::Parallel:
            return "parallel (pty)";
        case LinkKind::Usb:
            return "USB (pty)";
    }
    return "";
}
inline const wchar_t* PortType(LinkKind kind) {
    switch (kind) {
        case LinkKind::TcpIp:
            return L"TCP/IP";
        case LinkKind::Serial:
            return L"COM";
        case LinkKind::Parallel:
            return L"LPT";
        case LinkKind::Usb:
            return L"USB";
    }
    return L"";
}

// A virtual printer without rendering, served over loopback TCP, a pty reached as COM7 or
// LPT2 through the run's dos-device folder, or a pty behind the fake USB tree.
struct BenchPrinter {
    Sim::VirtualPrinter printer{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    std::unique_ptr<Sim::LinkServer> server;
    uint16_t tcpPort = 0;

    bool StartTcp() {
        auto tcp = std::make_unique<Sim::TcpServer>(printer, 0);
        Sim::TcpServer* raw = tcp.get();
        server = std::move(tcp);
        if (!Started()) return false;
        tcpPort = raw->Port();
        return true;
    }
    bool Start(LinkKind kind, const RunDirs& dirs) {
        switch (kind) {
            case LinkKind::TcpIp:
                return StartTcp();
            case LinkKind::Serial:
                return StartPty(dirs, kComEntry);
            case LinkKind::Parallel:
                return StartPty(dirs, kLptEntry);
            case LinkKind::Usb:
                server = std::make_unique<Sim::UsbServer>(printer, (dirs.root / "usb").string());
                return Started();
        }
        return false;
    }
    std::wstring SettingsText(LinkKind kind) const {
        switch (kind) {
            case LinkKind::TcpIp:
                return L"127.0.0.1," + std::to_wstring(tcpPort);
            case LinkKind::Serial:
                return L"COM7,BaudRate_115200";
            case LinkKind::Parallel:
                return L"LPT2";
            case LinkKind::Usb:
                return L"";
        }
        return L"";
    }

private:
    bool StartPty(const RunDirs& dirs, const char* entryName) {
        auto pty = std::make_unique<Sim::PtyServer>(printer);
        Sim::PtyServer* raw = pty.get();
        server = std::move(pty);
        if (!Started()) return false;
        const std::filesystem::path entry = std::filesystem::path(dirs.env.dosDevicesDir) / entryName;
        std::error_code ec;
        std::filesystem::remove(entry, ec);
        std::filesystem::create_symlink(raw->SlavePath(), entry, ec);
        return !ec;
    }
    bool Started() {
        std::string error;
        if (server->Start(&error)) return true;
        std::fprintf(stderr, "virtual printer did not start: %s\n", error.c_str());
        return false;
    }
};

// Seconds from the hand-over to the output complete event and to the printer having it all;
// `failure` says why it did not get there (then `delivered` is the time it gave up).
struct JobTimes {
    double complete = -1;
    double delivered = -1;
    std::string failure;
};

// One asynchronous job through a TM-T88IV engine with the product's own worker timing.
inline JobTimes EngineJob(const std::vector<uint8_t>& job, uint32_t rate, LinkKind kind, const RunDirs& dirs) {
    JobTimes times;
    BenchPrinter p;
    if (!p.Start(kind, dirs)) {
        times.failure = "the virtual printer did not start";
        return times;
    }
    p.printer.SetRate(rate);
    CountingSink sink;
    std::unique_ptr<BenchEngine> engine =
        EnabledEngine(L"TM-T88IV", PortType(kind), p.SettingsText(kind), dirs.env, sink);
    if (!engine) {
        times.failure = "the engine did not open";
        return times;
    }
    engine->SetAsyncMode(1);
    PrinterBuffer buffer;
    buffer.Append(job.data(), job.size());
    const Clock::time_point start = Clock::now();
    Clock::time_point done;
    const bool sent = engine->Output(buffer) == 0;
    const bool delivered = sent && WaitDelivered(p.printer, done, [&] { return sink.Errors() > 0; });
    if (!delivered) done = Clock::now();
    times.delivered = Seconds(done - start);
    if (sink.Completed() > 0) times.complete = Seconds(sink.CompletedAt() - start);
    if (!delivered) times.failure = sink.Errors() > 0 ? sink.LastError() : "the printer did not get the whole job";
    CloseEngine(*engine);
    return times;
}

}  // namespace QVO::Bench
