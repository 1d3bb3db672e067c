// Queued outputs on a printer that confirms them (TM-T88IV over TCP): complete only once the
// printer answered, never when lost with the link, written again on retry, dropped on clear.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "constants/OposPtrConstants.h"
#include "tests/so/printer/EngineTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;
using QVO::Test::WaitUntil;
using std::chrono::seconds;

constexpr const char* kRequest = "GS ( H 48 [5]";
constexpr int32_t kShortAnswerTimeoutMs = 500;

size_t CountOf(const std::vector<std::string>& trace, const std::string& entry) {
    return static_cast<size_t>(std::count(trace.begin(), trace.end(), entry));
}

std::string Text(const std::string& text) { return "text \"" + text + "\""; }

std::vector<int32_t> OneTo(int32_t n) {
    std::vector<int32_t> ids;
    for (int32_t id = 1; id <= n; ++id) ids.push_back(id);
    return ids;
}

class ConfirmedOutput : public EngineOnVirtualPrinter {
protected:
    // The printer has received `n` process-ID requests (answered or not).
    bool RequestsReachedPrinter(size_t n) {
        return WaitUntil([&] { return CountOf(printer_.Trace(), kRequest) >= n; });
    }
    // Output n (from 0) reached the printer whole: its first and its last line.
    bool PrintedWhole(int n) {
        const auto trace = printer_.Trace();
        return CountOf(trace, Text("job " + std::to_string(n))) > 0 &&
               CountOf(trace, Text("end " + std::to_string(n))) > 0;
    }
    void SendJobs(int count) {
        for (int n = 0; n < count; ++n)
            ASSERT_EQ(engine_->SendBytes("job " + std::to_string(n) + "\nend " + std::to_string(n) + "\n"), 0);
    }
    // Every output reported complete so far really reached the printer whole.
    void ExpectCompletedWerePrinted() {
        for (int32_t id : events_.Completed()) EXPECT_TRUE(PrintedWhole(id - 1)) << "output " << id << " completed";
    }
    CPrinterTaskThreadContext& Output() { return CPrinterBaseTestAccess::Output(*engine_); }
};

// Catches completion on write: a printer that holds its input (offline) has confirmed nothing.
TEST_F(ConfirmedOutput, OutputsCompleteInOrderOnlyOnceThePrinterHasProcessedThem) {
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    printer_.SetOffline(true);
    SendJobs(3);
    ASSERT_TRUE(RequestsReachedPrinter(3));
    EXPECT_TRUE(events_.Completed().empty()) << "complete before the printer processed it";
    EXPECT_EQ(engine_->IsIdle(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Output().InFlightCount() == 3; }));  // the last may still be on its way

    printer_.SetOffline(false);
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == 3; }));
    EXPECT_EQ(events_.Completed(), OneTo(3));
    ExpectCompletedWerePrinted();
    EXPECT_TRUE(events_.Errors().empty());
    EXPECT_TRUE(WaitUntil([&] { return engine_->IsIdle() == 1; }));
}

// Catches a written output that leaves the queue before it joins the outputs in flight: in
// between, the engine looked idle, and a drawer pulse or a synchronous print got through
// ahead of it. Another thread watches the engine from the queueing of each output to its
// clearing, as an application's second control would.
TEST_F(ConfirmedOutput, AnOutputNeverLooksIdleOnItsWayFromTheQueueToThePrinter) {
    constexpr int kRounds = 150;
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    printer_.SetOffline(true);  // nothing is answered: each output stays in flight
    // Odd while an output is queued or in flight, even while it is being cleared.
    std::atomic<int> round{0};
    std::atomic<bool> done{false};
    std::atomic<int> idleSeen{0};
    std::thread watcher([&] {
        while (!done.load()) {
            const int before = round.load();
            const bool idle = engine_->IsIdle() != 0;
            if (before % 2 == 1 && idle && round.load() == before) idleSeen.fetch_add(1);
        }
    });
    for (int n = 0; n < kRounds; ++n) {
        ASSERT_EQ(engine_->SendBytes("job " + std::to_string(n) + "\n"), 0);
        round.fetch_add(1);
        EXPECT_TRUE(WaitUntil([&] { return Output().InFlightCount() == 1; }));
        round.fetch_add(1);
        engine_->ClearOutput(nullptr);
    }
    done.store(true);
    watcher.join();
    EXPECT_EQ(idleSeen.load(), 0) << "the engine looked idle with an output on its way";
    EXPECT_TRUE(events_.Completed().empty());
}

// Catches an output whose answer never comes being completed, or forgotten: after the
// answer time-out it is reported like a failed write and held; retry writes it again.
TEST_F(ConfirmedOutput, OutputsThePrinterNeverConfirmsAreReportedAndWrittenAgainOnRetry) {
    OpenClaimEnable();
    Output().SetAnswerTimeout(kShortAnswerTimeoutMs);
    engine_->SetAsyncMode(1);
    printer_.SetMute(true);
    SendJobs(2);
    ASSERT_TRUE(RequestsReachedPrinter(2));
    ASSERT_TRUE(WaitUntil([&] { return !events_.Errors().empty(); }, seconds(10)));
    EXPECT_TRUE(events_.Completed().empty());
    EXPECT_EQ(events_.Errors().front().resultCode, OPOS_E_NOHARDWARE);
    EXPECT_NE(events_.Errors().front().text.find(L"output 1"), std::wstring::npos) << events_.Errors().front().text;
    EXPECT_TRUE(Output().IsHeld());
    EXPECT_EQ(engine_->IsIdle(), 0);

    printer_.SetMute(false);
    engine_->Retry();
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == 2; }));
    EXPECT_EQ(events_.Completed(), OneTo(2));
    EXPECT_EQ(events_.Errors().size(), 1u);
    // Written twice: the application retried knowing the printer might have it already.
    EXPECT_EQ(CountOf(printer_.Trace(), Text("end 1")), 2u);
}

// Catches a printer waiting for its cover being taken for a lost link: the outputs wait with
// it, however long, and complete when it goes on. Also catches the reply reader eating a
// status block: the cover's two changes arrive between and with the answers.
TEST_F(ConfirmedOutput, StatusBlocksAndAnswersArrivingTogetherAreBothUnderstood) {
    OpenClaimEnable();
    Output().SetAnswerTimeout(kShortAnswerTimeoutMs);
    engine_->SetAsyncMode(1);
    events_.ClearStatuses();
    printer_.SetCoverOpen(true);
    ASSERT_TRUE(WaitUntil([&] { return engine_->CoverOpen(); }));
    SendJobs(3);
    ASSERT_TRUE(RequestsReachedPrinter(3));
    // Several answer time-outs long: nothing given up while the printer says it waits.
    EXPECT_FALSE(
        WaitUntil([&] { return !events_.Errors().empty(); }, std::chrono::milliseconds(3 * kShortAnswerTimeoutMs)));
    printer_.SetCoverOpen(false);  // the status block and the three answers go out together
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == 3; }));
    EXPECT_EQ(events_.Completed(), OneTo(3));
    ASSERT_TRUE(WaitUntil([&] { return !engine_->CoverOpen(); }));
    EXPECT_EQ(events_.Statuses(), (std::vector<int32_t>{PTR_SUE_COVER_OPEN, PTR_SUE_COVER_OK}));
    EXPECT_TRUE(events_.Errors().empty());
}

// The printer goes away with outputs written but not confirmed: some wait in the link's
// buffers (the printer, offline with its buffer full, stopped reading), one is in the printer.
// A dropped connection loses the first, a power cycle both. Catches outputs lost there being
// reported complete (or completed twice, or out of order), and a retry that does not bring
// every one of them to paper.
class LostPrinter : public ConfirmedOutput, public ::testing::WithParamInterface<bool> {};

TEST_P(LostPrinter, OutputsLostWithThePrinterAreNeverCompleteAndRetryPrintsThem) {
    constexpr int kJobs = 6;
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    printer_.SetReceiveBufferBytes(1);
    printer_.SetOffline(true);
    SendJobs(1);
    ASSERT_TRUE(RequestsReachedPrinter(1));  // held by the printer, which now reads no more
    for (int n = 1; n < kJobs; ++n)
        ASSERT_EQ(engine_->SendBytes("job " + std::to_string(n) + "\nend " + std::to_string(n) + "\n"), 0);
    ASSERT_TRUE(WaitUntil([&] { return Output().IsEmpty(); }));  // all written
    if (GetParam())
        printer_.PowerCycle();
    else
        printer_.Drop();
    ASSERT_TRUE(WaitUntil([&] { return !events_.Errors().empty() || !events_.Completed().empty(); }, seconds(20)));
    EXPECT_TRUE(events_.Completed().empty()) << "outputs lost with the link were reported complete";
    ASSERT_FALSE(events_.Errors().empty());
    EXPECT_EQ(events_.Errors().front().resultCode, OPOS_E_NOHARDWARE);
    EXPECT_NE(events_.Errors().front().text.find(L"output 1"), std::wstring::npos) << events_.Errors().front().text;
    EXPECT_EQ(engine_->IsIdle(), 0);

    printer_.SetOffline(false);
    engine_->Retry();
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == kJobs; }, seconds(20)));
    EXPECT_EQ(events_.Completed(), OneTo(kJobs));
    for (int n = 0; n < kJobs; ++n) EXPECT_TRUE(PrintedWhole(n)) << "output " << n + 1;
    EXPECT_EQ(events_.Errors().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(DropAndPowerCycle, LostPrinter, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "PowerCycle" : "Drop");
                         });

// A printer that stops reading (offline, its buffer full): the write times out with outputs
// written before it unconfirmed. Catches ClearOutput leaving any of them to complete later.
TEST_F(ConfirmedOutput, ClearOutputDropsOutputsWrittenButNeverConfirmed) {
    constexpr int kJobs = 6;
    constexpr int kRows = 300;
    constexpr size_t kRowChars = 100;
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    printer_.SetReceiveBufferBytes(2048);
    printer_.SetOffline(true);
    // Text, so that the printer stands between two commands wherever its input was cut.
    std::string lines;
    for (int row = 0; row < kRows; ++row) lines += std::string(kRowChars, 'x') + "\n";
    // Small outputs the printer takes and holds, then ones that fill its buffer and the link's.
    for (int n = 0; n < kJobs; ++n)
        ASSERT_EQ(engine_->SendBytes("job " + std::to_string(n) + "\n" + (n < kJobs / 2 ? "" : lines)), 0);
    ASSERT_TRUE(WaitUntil([&] { return !events_.Errors().empty(); }, seconds(30)));
    EXPECT_TRUE(events_.Completed().empty());
    EXPECT_TRUE(Output().IsHeld());
    EXPECT_GE(CountOf(printer_.Trace(), kRequest), size_t{kJobs / 2}) << "the small outputs reached the printer";

    engine_->ClearOutput(nullptr);
    EXPECT_EQ(engine_->IsIdle(), 1);
    EXPECT_EQ(Output().InFlightCount(), 0);
    printer_.SetOffline(false);                           // whatever it held now prints and is answered
    ASSERT_EQ(engine_->SendBytes("\nafter clear\n"), 0);  // a line of its own after a cut one
    const int32_t after = kJobs + 1;
    ASSERT_TRUE(WaitUntil([&] { return !events_.Completed().empty(); }, seconds(20)));
    EXPECT_EQ(events_.Completed(), std::vector<int32_t>{after});
    EXPECT_TRUE(PrinterShows(Text("after clear")));
}

}  // namespace
}  // namespace QVO::Printer::Test
