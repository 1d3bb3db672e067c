// The pieces of the engine runs: print jobs, a counting event sink, an engine opened on a
// virtual printer behind a port (the shared harness), and one timed asynchronous job through it.
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
#include "tests/support/SimPorts.h"

namespace QVO::Bench {

using Clock = std::chrono::steady_clock;
using QVO::Printer::PrinterBuffer;

inline constexpr int kRasterWidthBytes = 64;  // 512 dots, the TM-T88IV's width
inline constexpr int kMaxRasterRows = 2000;
inline constexpr char kEndMarker[] = "END OF JOB";
inline constexpr auto kDeliveryLimit = std::chrono::seconds(120);
inline constexpr auto kCheckPause = std::chrono::milliseconds(1);

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Raster images (GS v 0) to at least `bytes`, then a marker line the printer traces once it
// has taken everything before it. Jobs sent to one printer one after the other need markers
// of their own: `number` goes into it.
inline std::string EndMarker(int number) { return std::string(kEndMarker) + " " + std::to_string(number); }

inline std::vector<uint8_t> PrintJob(size_t bytes, int number = 0) {
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
    const std::string marker = EndMarker(number);
    job.insert(job.end(), marker.begin(), marker.end());
    job.push_back('\n');
    return job;
}

// Looks at the end of the printer's log only: copying the whole log at every check would hold
// the printer's lock long enough to slow the very transfer being measured.
inline bool Delivered(const Sim::VirtualPrinter& printer, int number) {
    const std::string marker = "text \"" + EndMarker(number) + "\"";
    constexpr size_t kTailEntries = 16;
    const std::vector<std::string> trace = printer.TraceTail(kTailEntries);
    return std::find(trace.rbegin(), trace.rend(), marker) != trace.rend();
}

// Waits for the printer to have the whole job `number`; false when it did not come in time or
// `failed` said it never will.
inline bool WaitDelivered(
    const Sim::VirtualPrinter& printer, Clock::time_point& when, int number = 0,
    const std::function<bool()>& failed = [] { return false; }) {
    const Clock::time_point giveUp = Clock::now() + kDeliveryLimit;
    while (!Delivered(printer, number)) {
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
// and the fake USB tree (the shared harness's layout, tests/support/SimPorts.h).
struct RunDirs {
    std::filesystem::path root;
    IO::PortEnvironment env = IO::PortEnvironment::FromProcess();
    bool Create() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-engine-run-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return false;
        root = pattern;
        env = Test::SimPortEnvironment(root);
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

using LinkKind = Test::SimPortKind;
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
        case LinkKind::File:
            return "file pair";
    }
    return "";
}
inline const wchar_t* PortType(LinkKind kind) { return Test::SimPortType(kind); }

inline constexpr uint32_t kBenchBaudRate = 115200;

// A virtual printer without rendering, served over loopback TCP, a pty reached as COM7 or
// LPT2 through the run's dos-device folder, or a pty behind the fake USB tree.
struct BenchPrinter {
    Sim::VirtualPrinter printer{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    std::unique_ptr<Test::SimPort> link;
    uint16_t tcpPort = 0;

    bool StartTcp() { return Started(std::make_unique<Test::SimPort>(printer, LinkKind::TcpIp, "")); }
    bool Start(LinkKind kind, const RunDirs& dirs) {
        return Started(std::make_unique<Test::SimPort>(printer, kind, dirs.root, kBenchBaudRate));
    }
    std::wstring SettingsText(LinkKind) const { return link ? link->SettingsText() : std::wstring(); }

private:
    bool Started(std::unique_ptr<Test::SimPort> started) {
        link = std::move(started);
        std::string error;
        if (!link->Start(&error)) {
            std::fprintf(stderr, "virtual printer did not start: %s\n", error.c_str());
            return false;
        }
        tcpPort = link->TcpPort();
        return true;
    }
};

// Seconds from the hand-over to the output complete event and to the printer having it all;
// `failure` says why it did not get there (then `delivered` is the time it gave up).
struct JobTimes {
    double complete = -1;
    double delivered = -1;
    std::string failure;
};

// A TM-T88IV engine with the product's own worker timing, opened on its own virtual printer
// and kept open for as many asynchronous jobs as the caller sends, as an application does.
class LiveEngine {
public:
    ~LiveEngine() {
        if (engine_) CloseEngine(*engine_);
    }

    // Empty when it opened; else why not.
    std::string Open(LinkKind kind, const RunDirs& dirs, uint32_t rate = 0) {
        if (!printer_.Start(kind, dirs)) return "the virtual printer did not start";
        printer_.printer.SetRate(rate);
        engine_ = EnabledEngine(L"TM-T88IV", PortType(kind), printer_.SettingsText(kind), dirs.env, sink_);
        if (!engine_) return "the engine did not open";
        engine_->SetAsyncMode(1);
        return {};
    }

    // One job, made by PrintJob with this `number`, handed over as PrintNormal hands over its
    // output; timed from the hand-over.
    JobTimes Run(const std::vector<uint8_t>& job, int number) {
        JobTimes times;
        const int completedBefore = sink_.Completed();
        PrinterBuffer buffer;
        buffer.Append(job.data(), job.size());
        const Clock::time_point start = Clock::now();
        Clock::time_point done;
        const bool sent = engine_->Output(buffer) == 0;
        const bool delivered =
            sent && WaitDelivered(printer_.printer, done, number, [&] { return sink_.Errors() > 0; });
        if (!delivered) done = Clock::now();
        times.delivered = Seconds(done - start);
        // The completion follows the printer's answer, which comes after the last byte arrived.
        if (delivered) {
            const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
            while (sink_.Completed() == completedBefore && sink_.Errors() == 0 && Clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (sink_.Completed() > completedBefore) times.complete = Seconds(sink_.CompletedAt() - start);
        if (!delivered)
            times.failure = sink_.Errors() > 0 ? sink_.LastError() : "the printer did not get the whole job";
        return times;
    }

private:
    BenchPrinter printer_;
    CountingSink sink_;
    std::unique_ptr<BenchEngine> engine_;
};

// One asynchronous job through an engine opened for it alone.
inline JobTimes EngineJob(const std::vector<uint8_t>& job, uint32_t rate, LinkKind kind, const RunDirs& dirs) {
    LiveEngine live;
    JobTimes times;
    times.failure = live.Open(kind, dirs, rate);
    return times.failure.empty() ? live.Run(job, 0) : times;
}

}  // namespace QVO::Bench
