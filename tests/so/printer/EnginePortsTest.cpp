// The engine on every kind of port the virtual printer offers, two engines at once, and the
// three ways the engine reads the printer's status.
#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "constants/OposPtrConstants.h"
#include "tests/so/printer/EnginePortsSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;
using QVO::Test::WaitUntil;

// What claim sends first, on every port: initialise, then the printer selected, every stop
// sensor, no paper-out sensor and two-byte characters.
constexpr char kClaimStart[] = "ESC @ | ESC = 1 | ESC c 52 252 | ESC c 51 0 | FS &";
// What enable sends: the printer selected, the line spacing of font A (30 dots) and the
// character format reset (print mode, justification, underline).
constexpr char kEnableCommands[] = "ESC = 1 | ESC 3 30 | ESC ! 0 | ESC a 0 | ESC - 0";

// ---------------------------------------------------------------- every port type

struct PortCase {
    const char* name;
    PortKind kind;
    bool asb;  // automatic status back is switched on at enable
};

const PortCase kPortCases[] = {
    {"TcpIp", PortKind::TcpIp, true}, {"Serial", PortKind::Serial, true}, {"Parallel", PortKind::Parallel, true},
    {"Usb", PortKind::Usb, false},    {"File", PortKind::File, false},
};

// Failures name the case, not its bytes.
void PrintTo(const PortCase& c, std::ostream* os) { *os << c.name; }

class EngineOnEachPort : public ::testing::TestWithParam<PortCase> {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        link_ = std::make_unique<PrinterLink>(printer_, GetParam().kind, dir_.Path());
        std::string error;
        ASSERT_TRUE(link_->Start(&error)) << error;
    }
    void TearDown() override {
        under_.reset();
        link_.reset();
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    TempDir dir_;
    std::unique_ptr<PrinterLink> link_;
    std::unique_ptr<EngineUnderTest> under_;
};

// Catches a port type the engine cannot drive through its whole lifecycle: an open or claim
// that fails, set-up commands lost or reordered, automatic status back switched on where the
// port cannot carry it (USB) or left on after release, a print that never arrives, and a
// release that keeps the device.
TEST_P(EngineOnEachPort, OpenClaimEnablePrintReleaseClose) {
    const PortCase& c = GetParam();
    int32_t rc = -1;
    under_ = OpenEngine(L"TM-T88IV", *link_, rc);
    ASSERT_EQ(rc, 0) << "open";
    TestEngine& engine = *under_->engine;
    ASSERT_TRUE(engine.IsOpened());

    engine.ClaimDevice(1000, &rc);
    ASSERT_EQ(rc, 0) << "claim";
    ASSERT_TRUE(engine.IsClaimed());
    EXPECT_TRUE(engine.IsBidirectional());
    EXPECT_EQ(engine.IsAsbInUse(), c.asb);
    ASSERT_TRUE(PrinterTraced(printer_, "FS &"));
    EXPECT_EQ(Joined(printer_.Trace()).rfind(kClaimStart, 0), 0u) << Joined(printer_.Trace());

    const size_t beforeEnable = printer_.Trace().size();
    ASSERT_EQ(engine.DeviceEnable(1), 1);
    EXPECT_TRUE(WaitUntil([&] {
        return Joined(printer_.Trace(), beforeEnable).find(kEnableCommands) != std::string::npos;
    })) << Joined(printer_.Trace(), beforeEnable);
    if (c.asb) {
        EXPECT_TRUE(PrinterTraced(printer_, "GS a 255", beforeEnable));
    }
    EXPECT_FALSE(engine.RecEmpty()) << "the status read at enable found paper";
    EXPECT_FALSE(engine.CoverOpen());

    const std::string line = std::string("Receipt on ") + c.name;
    EXPECT_EQ(engine.SendBytes(line + "\n"), OPOS_SUCCESS);
    ASSERT_TRUE(PrinterTraced(printer_, "text \"" + line + "\"")) << Joined(printer_.Trace(), beforeEnable);
    // Everything the engine wrote before the print has been decoded by now.
    if (!c.asb) {
        EXPECT_EQ(CountFrom(printer_.Trace(), 0, SIZE_MAX, "GS a"), 0u) << Joined(printer_.Trace());
    }

    EXPECT_FALSE(link_->DeviceIsFree(L"TM-T88IV")) << "the claimed device is the engine's alone";
    const size_t beforeRelease = printer_.Trace().size();
    engine.ReleaseDevice(&rc);
    EXPECT_EQ(rc, 0) << "release";
    EXPECT_FALSE(engine.IsClaimed());
    if (c.asb) {
        EXPECT_TRUE(PrinterTraced(printer_, "GS a 0", beforeRelease)) << Joined(printer_.Trace(), beforeRelease);
    }
    EXPECT_TRUE(link_->DeviceIsFree(L"TM-T88IV")) << "release closes the port";

    engine.CloseService(&rc);
    EXPECT_EQ(rc, 0) << "close";
    EXPECT_FALSE(engine.IsOpened());
}

INSTANTIATE_TEST_SUITE_P(Ports, EngineOnEachPort, ::testing::ValuesIn(kPortCases),
                         [](const ::testing::TestParamInfo<PortCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- two engines at once

// Two engines, each on its own virtual network printer, enabled and asynchronous.
class TwoEngines : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        for (int i = 0; i < 2; ++i) {
            printers_[i] =
                std::make_unique<Sim::VirtualPrinter>(Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off);
            links_[i] = std::make_unique<PrinterLink>(*printers_[i], PortKind::TcpIp, dir_.Path());
            std::string error;
            ASSERT_TRUE(links_[i]->Start(&error)) << error;
        }
    }
    void TearDown() override {
        for (auto& under : engines_) under.reset();
        for (auto& link : links_) link.reset();
    }

    void OpenAndEnable(int i) {
        int32_t rc = -1;
        engines_[i] = OpenEngine(L"TM-T88IV", *links_[i], rc);
        ASSERT_EQ(rc, 0) << "open " << i;
        ASSERT_TRUE(OpenClaimEnable(*engines_[i]));
        engines_[i]->engine->SetAsyncMode(1);
    }

    // `count` outputs "<tag> <n>" queued on engine i; false when one was refused.
    bool Queue(int i, const std::string& tag, int count) {
        for (int n = 0; n < count; ++n)
            if (engines_[i]->engine->SendBytes(tag + " " + std::to_string(n) + "\n") != OPOS_SUCCESS) return false;
        return true;
    }

    bool AllComplete(int i, size_t count) {
        return WaitUntil([&] { return engines_[i]->events.Completed().size() >= count; }, std::chrono::seconds(30));
    }

    std::unique_ptr<Sim::VirtualPrinter> printers_[2];
    TempDir dir_;
    std::unique_ptr<PrinterLink> links_[2];
    std::unique_ptr<EngineUnderTest> engines_[2];
};

bool StrictlyIncreasing(const std::vector<int32_t>& ids) {
    return std::adjacent_find(ids.begin(), ids.end(), [](int32_t a, int32_t b) { return a >= b; }) == ids.end();
}

// Catches output IDs shared between engines (the counter is process-wide), completions out
// of order under concurrent queueing, and outputs lost or sent to the other printer.
TEST_F(TwoEngines, ConcurrentAsynchronousOutputsCompleteInOrderWithDistinctIds) {
    OpenAndEnable(0);
    OpenAndEnable(1);
    constexpr int kOutputs = 300;
    bool queued[2] = {false, false};
    std::thread other([&] { queued[1] = Queue(1, "second", kOutputs); });
    queued[0] = Queue(0, "first", kOutputs);
    other.join();
    ASSERT_TRUE(queued[0] && queued[1]);

    std::set<int32_t> all;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(AllComplete(i, kOutputs)) << "engine " << i << ": " << engines_[i]->events.Completed().size();
        const auto ids = engines_[i]->events.Completed();
        EXPECT_EQ(ids.size(), size_t{kOutputs}) << "engine " << i;
        EXPECT_TRUE(StrictlyIncreasing(ids)) << "engine " << i;
        EXPECT_TRUE(engines_[i]->events.Errors().empty()) << "engine " << i;
        all.insert(ids.begin(), ids.end());
    }
    EXPECT_EQ(all.size(), size_t{2 * kOutputs}) << "an output ID was given to both engines";
    const std::string tags[2] = {"first", "second"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(PrinterTraced(*printers_[i], "text \"" + tags[i] + " " + std::to_string(kOutputs - 1) + "\""));
        const auto trace = printers_[i]->Trace();
        EXPECT_EQ(CountFrom(trace, 0, trace.size(), "text \"" + tags[1 - i]), 0u) << "printer " << i;
    }
}

// Catches the output ID counter starting again when a second device opens while the first
// is in use: the first engine would hand out IDs it has already reported complete, so its
// application could no longer tell its outputs apart.
TEST_F(TwoEngines, AnEngineOpenedLaterDoesNotReuseTheIdsOfOneInUse) {
    constexpr int kOutputs = 5;
    OpenAndEnable(0);
    ASSERT_TRUE(Queue(0, "before", kOutputs));
    ASSERT_TRUE(AllComplete(0, kOutputs));
    OpenAndEnable(1);
    ASSERT_TRUE(Queue(0, "after", kOutputs));
    ASSERT_TRUE(Queue(1, "other", kOutputs));
    ASSERT_TRUE(AllComplete(0, 2 * kOutputs));
    ASSERT_TRUE(AllComplete(1, kOutputs));
    const auto first = engines_[0]->events.Completed();
    EXPECT_TRUE(StrictlyIncreasing(first)) << ::testing::PrintToString(first);
    std::set<int32_t> all(first.begin(), first.end());
    const auto second = engines_[1]->events.Completed();
    all.insert(second.begin(), second.end());
    EXPECT_EQ(all.size(), first.size() + second.size())
        << ::testing::PrintToString(first) << " / " << ::testing::PrintToString(second);
}

// ---------------------------------------------------------------- status

enum class StatusPath { AutoStatusBack, RealTime, TransmitStatus };

struct StatusCase {
    const char* name;
    const wchar_t* model;
    PortKind kind;
    StatusPath path;
};

// Each path on a model and port that selects it (PrinterModelLists.cpp): automatic status
// back on the ports that carry it, DLE EOT where it is not switched on (USB, file), GS r for
// the 58 mm printers and any name in no list.
const StatusCase kStatusCases[] = {
    {"AutoStatusBackOnTcpIp", L"TM-T88IV", PortKind::TcpIp, StatusPath::AutoStatusBack},
    {"AutoStatusBackOnSerial", L"TM-T88IV", PortKind::Serial, StatusPath::AutoStatusBack},
    {"AutoStatusBackOnParallel", L"TM-T88IV", PortKind::Parallel, StatusPath::AutoStatusBack},
    {"RealTimeOnUsb", L"TM-T88IV", PortKind::Usb, StatusPath::RealTime},
    {"RealTime80mmOnFile", L"QP-T82A", PortKind::File, StatusPath::RealTime},
    {"TransmitStatus58mmOnTcpIp", L"QP-T58A", PortKind::TcpIp, StatusPath::TransmitStatus},
    {"TransmitStatusUnlistedOnTcpIp", L"RX610", PortKind::TcpIp, StatusPath::TransmitStatus},
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

// The request each poll starts with on a path (none: automatic status back only reads).
const char* PollRequest(StatusPath path) {
    switch (path) {
        case StatusPath::AutoStatusBack:
            return nullptr;
        case StatusPath::RealTime:
            return "DLE EOT 1";
        case StatusPath::TransmitStatus:
            return "GS r 1";
    }
    return nullptr;
}

struct Flags {
    bool coverOpen, recEmpty, recNearEnd;
};

struct StatusStep {
    const char* what;
    void (*change)(Sim::VirtualPrinter&);
    int32_t event;  // the one status update it causes
    Flags after;
    bool cover;  // a cover change: the paper-sensor answers of GS r cannot show it
};

const StatusStep kStatusSteps[] = {
    {"cover open",
     [](Sim::VirtualPrinter& p) { p.SetCoverOpen(true); },
     PTR_SUE_COVER_OPEN,
     {true, false, false},
     true},
    {"cover closed",
     [](Sim::VirtualPrinter& p) { p.SetCoverOpen(false); },
     PTR_SUE_COVER_OK,
     {false, false, false},
     true},
    {"near end",
     [](Sim::VirtualPrinter& p) { p.SetPaper(Sim::PaperLevel::NearEnd); },
     PTR_SUE_REC_NEAREMPTY,
     {false, false, true},
     false},
    {"empty",
     [](Sim::VirtualPrinter& p) { p.SetPaper(Sim::PaperLevel::Empty); },
     PTR_SUE_REC_EMPTY,
     {false, true, true},
     false},
    {"paper back",
     [](Sim::VirtualPrinter& p) { p.SetPaper(Sim::PaperLevel::Normal); },
     PTR_SUE_REC_PAPEROK,
     {false, false, false},
     false},
};

// Polls that may pass between a change and its report: the one in flight and the next.
constexpr size_t kPollsToNotice = 3;

class EngineStatus : public ::testing::TestWithParam<StatusCase> {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        link_ = std::make_unique<PrinterLink>(printer_, GetParam().kind, dir_.Path());
        std::string error;
        ASSERT_TRUE(link_->Start(&error)) << error;
        int32_t rc = -1;
        under_ = OpenEngine(GetParam().model, *link_, rc);
        ASSERT_EQ(rc, 0) << "open";
        ASSERT_TRUE(OpenClaimEnable(*under_));
    }
    void TearDown() override {
        under_.reset();
        link_.reset();
    }

    bool FlagsAre(const Flags& f) {
        return WaitUntil([&] {
            const TestEngine& e = *under_->engine;
            return e.CoverOpen() == f.coverOpen && e.RecEmpty() == f.recEmpty && e.RecNearEnd() == f.recNearEnd;
        });
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    TempDir dir_;
    std::unique_ptr<PrinterLink> link_;
    std::unique_ptr<EngineUnderTest> under_;
};

// Catches a status path that misses or misreports a change (wrong OPOS value, a duplicate or
// a spurious report, flags left stale), that reports only after many polls, or a model and
// port that end up on another path than their parameters choose.
TEST_P(EngineStatus, PrinterChangesReachTheEventsAsOposValues) {
    const StatusCase& c = GetParam();
    const char* request = PollRequest(c.path);
    ASSERT_TRUE(FlagsAre({false, false, false})) << "the status read at enable";
    EXPECT_EQ(under_->engine->IsAsbInUse(), c.path == StatusPath::AutoStatusBack);
    under_->events.ClearStatuses();

    std::vector<int32_t> expected;
    for (const StatusStep& step : kStatusSteps) {
        if (step.cover && c.path == StatusPath::TransmitStatus) continue;
        expected.push_back(step.event);
        const size_t changedAt = printer_.Trace().size();
        step.change(printer_);
        ASSERT_TRUE(WaitUntil([&] { return under_->events.Statuses().size() >= expected.size(); }))
            << step.what << ": " << ::testing::PrintToString(under_->events.Statuses());
        if (request != nullptr) {
            const auto trace = printer_.Trace();
            EXPECT_LE(CountFrom(trace, changedAt, trace.size(), request), kPollsToNotice) << step.what;
        }
        EXPECT_TRUE(FlagsAre(step.after)) << step.what;
    }
    // One report per change, nothing else.
    EXPECT_EQ(under_->events.Statuses(), expected);

    // The path really was the one the parameters choose.
    const auto trace = printer_.Trace();
    const size_t asbOn = IndexOf(trace, "GS a 255");
    if (c.path == StatusPath::AutoStatusBack) {
        ASSERT_LT(asbOn, trace.size());
        EXPECT_EQ(CountFrom(trace, asbOn, trace.size(), "DLE EOT") + CountFrom(trace, asbOn, trace.size(), "GS r"), 0u)
            << "automatic status back polls only read";
    } else {
        EXPECT_EQ(asbOn, trace.size());
        EXPECT_GT(CountFrom(trace, 0, trace.size(), request), 0u);
        const char* other = c.path == StatusPath::RealTime ? "GS r" : "DLE EOT";
        EXPECT_EQ(CountFrom(trace, 0, trace.size(), other), 0u) << Joined(trace);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EngineStatus, ::testing::ValuesIn(kStatusCases),
                         [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- no poll behind queued output

// Outputs of raster data that outlast the link's buffers: a pty (behind the USB node or the
// serial line) holds well under 100 KB, so at this rate the worker's writes block and the
// queue stays full for over a second, many poll intervals.
constexpr uint32_t kSlowLinkRate = 100'000;
constexpr int kSlowOutputs = 6;
constexpr int kRasterWidthBytes = 64;  // 512 dots
constexpr int kRasterRows = 500;       // 32 000 bytes of image per output

std::string SlowOutput(int n) {
    std::string bytes = "job " + std::to_string(n) + "\n";
    const char header[] = {
        0x1D, 0x76, 0x30, 0x00, kRasterWidthBytes, 0, char(kRasterRows & 0xFF), char(kRasterRows >> 8)};
    bytes.append(header, sizeof header);
    bytes.append(size_t{kRasterWidthBytes} * kRasterRows, char(0x55));
    return bytes;
}

class EnginePollHold : public EngineStatus {};

// Catches the status poll running between queued outputs: its request would reach the printer
// between two outputs, and on a real printer its answer would wait behind the whole job.
TEST_P(EnginePollHold, NoStatusPollWhileOutputIsQueued) {
    const char* request = PollRequest(GetParam().path);
    ASSERT_NE(request, nullptr);
    // Polls run while the engine is idle (so their absence below means something).
    ASSERT_TRUE(WaitUntil([&] {
        const auto trace = printer_.Trace();
        return CountFrom(trace, 0, trace.size(), request) >= 3;
    }));
    printer_.SetRate(kSlowLinkRate);
    TestEngine& engine = *under_->engine;
    engine.SetAsyncMode(1);
    for (int n = 0; n < kSlowOutputs; ++n) ASSERT_EQ(engine.SendBytes(SlowOutput(n)), OPOS_SUCCESS);
    ASSERT_TRUE(
        WaitUntil([&] { return under_->events.Completed().size() == size_t{kSlowOutputs}; }, std::chrono::seconds(30)));
    const std::string last = "text \"job " + std::to_string(kSlowOutputs - 1) + "\"";
    ASSERT_TRUE(PrinterTraced(printer_, last));
    // Polls start again once the queue is empty.
    ASSERT_TRUE(WaitUntil([&] {
        const auto trace = printer_.Trace();
        return IndexOf(trace, request, IndexOf(trace, last)) < trace.size();
    }));
    // The link keeps the engine's write order, so a poll made while outputs were queued sits
    // between the first output and the last.
    const auto trace = printer_.Trace();
    const size_t first = IndexOf(trace, "text \"job 0\"");
    EXPECT_EQ(CountFrom(trace, first, IndexOf(trace, last), request), 0u) << Joined(trace, first);
    EXPECT_TRUE(under_->events.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(SlowLink, EnginePollHold,
                         ::testing::Values(StatusCase{"RealTimeOnUsb", L"TM-T88IV", PortKind::Usb,
                                                      StatusPath::RealTime},
                                           StatusCase{"TransmitStatus58mmOnSerial", L"QP-T58A", PortKind::Serial,
                                                      StatusPath::TransmitStatus}),
                         [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace QVO::Printer::Test
