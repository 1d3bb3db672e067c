// A virtual printer behind each kind of port the engine can open, and engines opened on it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "tests/so/printer/EngineTestSupport.h"
#include "tests/support/SimPorts.h"

namespace QVO::Printer::Test {

// The link kinds and the link itself are the shared harness's (tests/support/SimPorts.h).
using PortKind = QVO::Test::SimPortKind;
using PrinterLink = QVO::Test::SimPort;

// A temporary folder in the test's temporary directory, removed with everything in it.
class TempDir : public QVO::Test::ScratchDir {
public:
    TempDir() : ScratchDir(::testing::TempDir(), "quvo-engports") {}
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
