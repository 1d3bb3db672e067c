// The engine on a virtual network printer: what claim and enable send, the result codes of
// each step, status changes reaching the event sink, and asynchronous output.
#include <algorithm>
#include <thread>
#include <string>
#include <vector>

#include "constants/OposPtrConstants.h"
#include "tests/so/printer/EngineTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;
using QVO::Test::WaitUntil;

std::string Joined(const std::vector<std::string>& trace) {
    std::string all;
    for (const auto& t : trace) all += (all.empty() ? "" : " | ") + t;
    return all;
}

TEST_F(EngineOnVirtualPrinter, ClaimInitialisesThePrinterAndEnableReadsItsStatus) {
    Open();
    EXPECT_TRUE(engine_->IsOpened());
    EXPECT_TRUE(engine_->RecEmpty()) << "empty until the printer has told us";
    int32_t rc = 0;
    engine_->ClaimDevice(1000, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(engine_->IsClaimed());
    EXPECT_TRUE(engine_->IsBidirectional());
    EXPECT_TRUE(engine_->IsAsbInUse());
    ASSERT_EQ(engine_->DeviceEnable(1), 1);
    EXPECT_EQ(engine_->DeviceEnable(1), 0) << "a second enable changes nothing";
    EXPECT_FALSE(engine_->RecEmpty());
    EXPECT_FALSE(engine_->CoverOpen());
    // Claim: initialise, 100 ms, the set-up commands, then the printer's information;
    // enable: the printer selected, the line spacing and the character format reset.
    const std::string trace = Joined(printer_.Trace());
    EXPECT_EQ(
        trace.rfind("ESC @ | ESC = 1 | ESC c 52 252 | ESC c 51 0 | FS & | GS I 65 | GS I 66 | ESC = 1 | GS I 67 | "
                    "ESC = 1 | GS I 2 | ESC = 1 | ESC 3 30 | ESC ! 0 | ESC a 0 | ESC - 0",
                    0),
        0u)
        << trace;
    // Automatic status back goes on after the first status read on a network port.
    EXPECT_TRUE(PrinterShows("GS a 255"));
    EXPECT_EQ(engine_->FirmwareText(), L"1.00");
    EXPECT_EQ(engine_->MakerText(), L"QUVO");
    EXPECT_EQ(engine_->DeviceName(), L"TM-T88IV");
    // The forced read at enable reports every condition once.
    const auto statuses = events_.Statuses();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), PTR_SUE_REC_PAPEROK), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), PTR_SUE_COVER_OK), statuses.end());
}

TEST_F(EngineOnVirtualPrinter, ClaimBeforeOpenAndTwiceAnswerAsTheStateSays) {
    Open();
    int32_t rc = 0;
    engine_->ClaimDevice(0, &rc);
    ASSERT_EQ(rc, 0);
    const size_t sent = printer_.Trace().size();
    engine_->ClaimDevice(0, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(printer_.Trace().size(), sent) << "an engine already claimed sends nothing";
    engine_->ReleaseDevice(&rc);
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(engine_->IsClaimed());
    engine_->CloseService(&rc);
    EXPECT_FALSE(engine_->IsOpened());
    rc = 0;
    engine_->ClaimDevice(0, &rc);
    EXPECT_EQ(rc, OPOS_E_CLOSED);
}

TEST_F(EngineOnVirtualPrinter, AsynchronousOutputsCompleteInOrder) {
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(engine_->SendBytes("line " + std::to_string(i) + "\n"), 0);
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == 20; }));
    std::vector<int32_t> expected(20);
    for (int i = 0; i < 20; ++i) expected[i] = i + 1;
    EXPECT_EQ(events_.Completed(), expected);
    EXPECT_TRUE(PrinterShows("text \"line 19\""));
}

TEST_F(EngineOnVirtualPrinter, CoverAndPaperChangesReachTheSinkByPolling) {
    OpenClaimEnable();
    events_.ClearStatuses();
    printer_.SetCoverOpen(true);
    ASSERT_TRUE(WaitUntil([&] {
        auto s = events_.Statuses();
        return std::find(s.begin(), s.end(), PTR_SUE_COVER_OPEN) != s.end();
    }));
    printer_.SetCoverOpen(false);
    ASSERT_TRUE(WaitUntil([&] {
        auto s = events_.Statuses();
        return std::find(s.begin(), s.end(), PTR_SUE_COVER_OK) != s.end();
    }));
    EXPECT_FALSE(engine_->CoverOpen());
}

}  // namespace
}  // namespace QVO::Printer::Test

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;
using QVO::Test::WaitUntil;

size_t CountOf(const std::vector<std::string>& trace, const std::string& entry) {
    return static_cast<size_t>(std::count(trace.begin(), trace.end(), entry));
}

// The printer goes away with output queued: an error notice says why, nothing behind the
// failed output is written or reported complete, a synchronous print is refused as busy, and
// once the printer is back a retry prints the held outputs exactly once, in order.
// (A write the kernel accepted just before the link died may still be reported complete;
// outputs up to that one are the prefix `reported` below.)
TEST_F(EngineOnVirtualPrinter, OutputToAPrinterThatIsGoneIsHeldUntilRetry) {
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    const uint16_t port = server_->Port();
    server_.reset();  // connection and listener gone: the printer is off
    for (int i = 0; i < 3; ++i) ASSERT_EQ(engine_->SendBytes("held " + std::to_string(i) + "\n"), 0);
    ASSERT_TRUE(WaitUntil([&] { return !events_.Errors().empty(); }, std::chrono::seconds(30)));
    const size_t reported = events_.Completed().size();
    ASSERT_LT(reported, 3u);
    EXPECT_EQ(events_.Errors().front().resultCode, OPOS_E_NOHARDWARE);
    EXPECT_FALSE(events_.Errors().front().text.empty());
    EXPECT_EQ(engine_->IsIdle(), 0);
    engine_->SetAsyncMode(0);
    EXPECT_EQ(engine_->SendBytes("sync\n"), OPOS_E_BUSY);

    server_ = std::make_unique<Sim::TcpServer>(printer_, port);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    engine_->Retry();
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == 3; }, std::chrono::seconds(30)));
    EXPECT_EQ(events_.Completed(), (std::vector<int32_t>{1, 2, 3}));
    ASSERT_TRUE(PrinterShows("text \"held 2\""));
    const auto trace = printer_.Trace();
    for (size_t i = reported; i < 3; ++i)
        EXPECT_EQ(CountOf(trace, "text \"held " + std::to_string(i) + "\""), 1u) << "output " << i + 1;
    EXPECT_EQ(CountOf(trace, "text \"sync\""), 0u);
}

TEST_F(EngineOnVirtualPrinter, ClearOutputDropsHeldOutputWithoutCompletions) {
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    server_.reset();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(engine_->SendBytes("never\n"), 0);
    ASSERT_TRUE(WaitUntil([&] { return !events_.Errors().empty(); }, std::chrono::seconds(30)));
    const size_t reported = events_.Completed().size();
    engine_->ClearOutput(nullptr);
    EXPECT_EQ(engine_->IsIdle(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(events_.Completed().size(), reported);
}

// A printer that never answers a status request (muted) cannot say it has paper; it must not
// be taken as empty for good.
TEST_F(EngineOnVirtualPrinter, PrinterWithoutStatusIsNotLeftReceiptEmpty) {
    Open(L"QP-L70A");  // a model without automatic status back
    int32_t rc = 0;
    engine_->ClaimDevice(0, &rc);
    ASSERT_EQ(rc, 0);
    printer_.SetMute(true);
    EXPECT_TRUE(engine_->RecEmpty());
    ASSERT_EQ(engine_->DeviceEnable(1), 1);
    EXPECT_FALSE(engine_->RecEmpty());
    EXPECT_FALSE(engine_->RecNearEnd());
    EXPECT_FALSE(engine_->IsInErrorState());
}

TEST_F(EngineOnVirtualPrinter, ManyAsynchronousOutputsCompleteInOrderWithUniqueIds) {
    OpenClaimEnable();
    engine_->SetAsyncMode(1);
    constexpr int kOutputs = 2000;
    for (int i = 0; i < kOutputs; ++i) ASSERT_EQ(engine_->SendBytes("x"), 0);
    ASSERT_TRUE(WaitUntil([&] { return events_.Completed().size() == kOutputs; }, std::chrono::seconds(60)));
    const auto completed = events_.Completed();
    for (int i = 0; i < kOutputs; ++i) ASSERT_EQ(completed[static_cast<size_t>(i)], i + 1);
}

}  // namespace
}  // namespace QVO::Printer::Test
