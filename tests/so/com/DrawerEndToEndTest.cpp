// The cash drawer end to end: CashDrawer control object, COM runtime, libQUVOSO.so, TCP port,
// virtual printer. Pulses as bytes on the printer, the wait for the drawer to close with its
// beeps, and the drawer states that reach a drawer control and not a printer control.
#include <future>
#include <thread>

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/DrawerHealthSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;
using Clock = std::chrono::steady_clock;

constexpr int32_t kBeepTimeoutMs = 1000;
constexpr int32_t kBeepDurationMs = 200;
constexpr int32_t kBeepDelayMs = 300;
// 2 x (duration + delay): the engine beeps again when more than this has passed.
constexpr long long kBeepPeriodMs = 2 * (kBeepDurationMs + kBeepDelayMs);
// One drawer poll (300 ms) and a query on top, as slack for the times the engine acts at.
constexpr long long kPollSlackMs = 700;

class DrawerTest : public ServiceObjectTest {
protected:
    std::wstring DrawerName(const std::wstring& suffix = L"") const { return L"Drawer" + PrinterName() + suffix; }

    // Runs WaitForDrawerClose on another thread while this one notes when each beep arrives
    // at `printer`. Returns the result; `elapsedMs` is how long the call took.
    int32_t WaitNotingBeeps(CCashDrawerControl& drawer, Sim::VirtualPrinter& printer, std::vector<long long>& beepsAt,
                            long long& elapsedMs) {
        const auto start = Clock::now();
        auto wait = std::async(std::launch::async, [&] {
            return drawer.WaitForDrawerClose(kBeepTimeoutMs, 0, kBeepDurationMs, kBeepDelayMs);
        });
        int seen = 0;
        while (wait.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
            for (int count = printer.State().buzzerCount; seen < count; ++seen) beepsAt.push_back(MsSince(start));
        }
        const int32_t rc = wait.get();
        elapsedMs = MsSince(start);
        return rc;
    }
};

// Catches a pin mapped to the wrong connector, pulse times not taken from the entry, or pin 3
// sending only one of its two pulses.
TEST_F(DrawerTest, EachPinPulsesWithTheConfiguredTimes) {
    struct Case {
        const wchar_t* pin;
        std::vector<std::string> pulses;
    };
    const Case cases[] = {
        {L"1", {"ESC p 0 25 60"}}, {L"2", {"ESC p 1 25 60"}}, {L"3", {"ESC p 0 25 60", "ESC p 1 25 60"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "DrawerPin " << Platform::Text::WideToUtf8(c.pin));
        const std::wstring name = DrawerName(c.pin);
        WriteTimedDrawerEntry(name, PrinterName(), DrawerTiming{c.pin, L"1", L"25", L"60"});
        printer_.SetDrawerOpen(false);
        const size_t before = TraceWith(printer_, "ESC p").size();
        CCashDrawerControl drawer;
        ASSERT_TRUE(Ready(drawer, name));
        ASSERT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
        std::vector<std::string> pulses = TraceWith(printer_, "ESC p");
        pulses.erase(pulses.begin(), pulses.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(pulses, c.pulses);
        EXPECT_TRUE(printer_.Conditions().drawerOpen);
        EXPECT_TRUE(drawer.GetDrawerOpened());
        EXPECT_EQ(drawer.Close(), OPOS_SUCCESS);
    }
}

// Catches a wait that does not notice the drawer closing, or that reports the time-out anyway.
TEST_F(DrawerTest, DrawerClosingAfterADelayEndsTheWaitWithSuccess) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{});
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    printer_.SetDrawerAutoClose(600);
    ASSERT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
    const auto start = Clock::now();
    EXPECT_EQ(drawer.WaitForDrawerClose(kBeepTimeoutMs, 0, kBeepDurationMs, kBeepDelayMs), OPOS_SUCCESS);
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_FALSE(printer_.Conditions().drawerOpen);
    EXPECT_FALSE(drawer.GetDrawerOpened());
}

// Catches a missing time-out, beeps before the beep time-out, beeps not repeated, or beeps
// repeated faster than 2 x (duration + delay). The model has a buzzer.
TEST_F(DrawerTest, DrawerLeftOpenTimesOutWithBeepsOnABuzzerModel) {
    ModelPrinter buzzer("QP-T80A", Sim::VirtualPrinter::Rendering::Off);
    const std::wstring printerName = PrinterName() + L"_Buzzer";
    ASSERT_TRUE(buzzer.Start(printerName, L"QP-T80A"));
    WriteTimedDrawerEntry(DrawerName(), printerName, DrawerTiming{L"1", L"1", L"10", L"10", L"3000"});
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    buzzer.Printer().SetDrawerOpen(true);

    std::vector<long long> beepsAt;
    long long elapsedMs = 0;
    EXPECT_EQ(WaitNotingBeeps(drawer, buzzer.Printer(), beepsAt, elapsedMs), OPOS_E_TIMEOUT);
    EXPECT_EQ(drawer.GetResultCodeExtended(), 0);
    EXPECT_GE(elapsedMs, 3000);
    EXPECT_LT(elapsedMs, 3000 + kPollSlackMs);
    ASSERT_GE(beepsAt.size(), 2u) << "the drawer stayed open for three seconds";
    EXPECT_GE(beepsAt[0], kBeepTimeoutMs);
    EXPECT_LT(beepsAt[0], kBeepTimeoutMs + kPollSlackMs);
    for (size_t i = 1; i < beepsAt.size(); ++i) {
        EXPECT_GE(beepsAt[i] - beepsAt[i - 1], kBeepPeriodMs) << "beep " << i;
        EXPECT_LT(beepsAt[i] - beepsAt[i - 1], kBeepPeriodMs + kPollSlackMs) << "beep " << i;
    }
    // Two beeps a pattern, 200 ms on and 300 ms off in units of 100 ms.
    EXPECT_EQ(TraceWith(buzzer.Printer(), "ESC ( A").front(), "ESC ( A 97 100 2 2 3");
}

// Catches beeps sent to a printer without a buzzer (the TM-T88IV): the wait still times out.
TEST_F(DrawerTest, ModelWithoutBuzzerTimesOutSilently) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{L"1", L"1", L"10", L"10", L"1500"});
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    printer_.SetDrawerOpen(true);
    std::vector<long long> beepsAt;
    long long elapsedMs = 0;
    EXPECT_EQ(WaitNotingBeeps(drawer, printer_, beepsAt, elapsedMs), OPOS_E_TIMEOUT);
    EXPECT_GE(elapsedMs, 1500);
    EXPECT_TRUE(beepsAt.empty());
    EXPECT_TRUE(TraceWith(printer_, "ESC ( A").empty());
}

// Catches a wait that takes "no answer" for "closed": a printer that never answers is waited
// for the whole close time-out, though its drawer is in fact shut.
TEST_F(DrawerTest, PrinterThatNeverAnswersIsWaitedForTheFullTimeout) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{L"1", L"1", L"10", L"10", L"2000"});
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    printer_.SetMute(true);
    const auto start = Clock::now();
    EXPECT_EQ(drawer.WaitForDrawerClose(kBeepTimeoutMs, 0, kBeepDurationMs, kBeepDelayMs), OPOS_E_TIMEOUT);
    EXPECT_GE(MsSince(start), 2000);
}

// Catches a closed drawer reported as a time-out because its answer came after the time-out
// (a close time-out of 0 ms: the first answer is always late). An open one still times out.
TEST_F(DrawerTest, ClosedDrawerIsASuccessHoweverShortTheTimeout) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{L"1", L"1", L"10", L"10", L"0"});
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    EXPECT_EQ(drawer.WaitForDrawerClose(kBeepTimeoutMs, 0, kBeepDurationMs, kBeepDelayMs), OPOS_SUCCESS);
    printer_.SetDrawerOpen(true);
    EXPECT_EQ(drawer.WaitForDrawerClose(kBeepTimeoutMs, 0, kBeepDurationMs, kBeepDelayMs), OPOS_E_TIMEOUT);
}

// Catches drawer states sent to the printer control (as the engine's 1/2), or reaching the
// drawer control unmapped: the drawer control gets CASH_SUE_DRAWEROPEN/CLOSED only.
TEST_F(DrawerTest, DrawerStatesReachTheDrawerControlOnly) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{});
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    EventLog printerEvents, drawerEvents;
    RecordEvents(printer, printerEvents);
    RecordEvents(drawer, drawerEvents);
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    ASSERT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
    EXPECT_TRUE(drawerEvents.WaitFor("Status " + std::to_string(CASH_SUE_DRAWEROPEN))) << drawerEvents.Text();
    printer_.SetDrawerOpen(false);
    EXPECT_TRUE(drawerEvents.WaitFor("Status " + std::to_string(CASH_SUE_DRAWERCLOSED))) << drawerEvents.Text();
    // A printer event after the drawer's: had the drawer's gone to the printer, it came first.
    printer_.SetCoverOpen(true);
    EXPECT_TRUE(printerEvents.WaitFor("Status " + std::to_string(PTR_SUE_COVER_OPEN))) << printerEvents.Text();
    for (const std::string& line : drawerEvents.Lines()) EXPECT_TRUE(line == "Status 0" || line == "Status 1") << line;
    for (const std::string& line : printerEvents.Lines())
        EXPECT_TRUE(line != "Status 0" && line != "Status 1" && line != "Status 2") << line;
}

// Catches a pulse written ahead of output still queued: the drawer must not open before the
// receipt that precedes it has been printed.
TEST_F(DrawerTest, OpenDrawerWhileOutputIsQueuedIsBusy) {
    WriteTimedDrawerEntry(DrawerName(), PrinterName(), DrawerTiming{});
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    printer_.SetRate(400);
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, std::wstring(2000, L'x') + L"\n"), OPOS_SUCCESS);
    EXPECT_EQ(drawer.OpenDrawer(), OPOS_E_BUSY);
    EXPECT_TRUE(TraceWith(printer_, "ESC p").empty());
    EXPECT_EQ(printer.ClearOutput(), OPOS_SUCCESS);
}

}  // namespace
}  // namespace QVO::Test
