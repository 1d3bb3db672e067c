// The service object end to end: control objects, COM runtime, libQUVOSO.so, TCP port,
// virtual printer. One printer entry per test.
#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

std::string StatusLine(int32_t value) { return "Status " + std::to_string(value); }

TEST_F(ServiceObjectTest, PrintsAsynchronouslyAndReportsCompletion) {
    CPosPrinterControl printer;
    EventLog events;
    RecordEvents(printer, events);
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Hello\n"), OPOS_SUCCESS);
    const int32_t id = printer.GetOutputID();
    EXPECT_GT(id, 0);
    EXPECT_TRUE(events.WaitFor("Output " + std::to_string(id))) << events.Text();
    EXPECT_TRUE(PrinterShows("text \"Hello\""));
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
}

TEST_F(ServiceObjectTest, StationOtherThanReceiptIsRefused) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    EXPECT_EQ(printer.PrintNormal(PTR_S_JOURNAL, L"Journal\n"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetResultCodeExtended(), 301);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Receipt\n"), OPOS_SUCCESS);
    EXPECT_TRUE(PrinterShows("text \"Receipt\""));
    EXPECT_EQ(TraceCount("text \"Journal\""), 0u);
}

// Two printer control objects and a drawer on one printer share one engine and one port: a
// second engine could not claim the network printer, whose lock the first holds.
TEST_F(ServiceObjectTest, ClientsShareOneEngineAndGetTheirOwnEvents) {
    WriteDrawerEntry(L"Drawer" + PrinterName(), DrawerEntry{PrinterName()});
    CPosPrinterControl first, second;
    CCashDrawerControl drawer;
    EventLog firstEvents, secondEvents, drawerEvents;
    RecordEvents(first, firstEvents);
    RecordEvents(second, secondEvents);
    RecordEvents(drawer, drawerEvents);
    ASSERT_TRUE(Ready(first, PrinterName()));
    ASSERT_TRUE(Ready(second, PrinterName())) << "the second claim succeeds at once";
    ASSERT_TRUE(Ready(drawer, L"Drawer" + PrinterName()));

    printer_.SetCoverOpen(true);
    EXPECT_TRUE(firstEvents.WaitFor(StatusLine(PTR_SUE_COVER_OPEN))) << firstEvents.Text();
    EXPECT_TRUE(secondEvents.WaitFor(StatusLine(PTR_SUE_COVER_OPEN))) << secondEvents.Text();
    printer_.SetCoverOpen(false);
    EXPECT_TRUE(firstEvents.WaitFor(StatusLine(PTR_SUE_COVER_OK)));

    printer_.SetDrawerOpen(true);
    EXPECT_TRUE(drawerEvents.WaitFor(StatusLine(CASH_SUE_DRAWEROPEN))) << drawerEvents.Text();
    printer_.SetDrawerOpen(false);
    EXPECT_TRUE(drawerEvents.WaitFor(StatusLine(CASH_SUE_DRAWERCLOSED))) << drawerEvents.Text();
    EXPECT_TRUE(drawer.GetCapStatus());
    // The drawer client saw drawer values only; the printers saw none of them.
    for (const std::string& line : drawerEvents.Lines())
        EXPECT_TRUE(line == StatusLine(CASH_SUE_DRAWEROPEN) || line == StatusLine(CASH_SUE_DRAWERCLOSED)) << line;
    EXPECT_EQ(firstEvents.Count(StatusLine(2)), 0u) << firstEvents.Text();
    EXPECT_EQ(secondEvents.Count(StatusLine(1)), 0u) << secondEvents.Text();

    // Closing the first keeps the engine for the others.
    ASSERT_EQ(first.Close(), OPOS_SUCCESS);
    ASSERT_EQ(second.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(second.PrintNormal(PTR_S_RECEIPT, L"After first closed\n"), OPOS_SUCCESS);
    EXPECT_TRUE(secondEvents.WaitFor("Output " + std::to_string(second.GetOutputID()))) << secondEvents.Text();
    EXPECT_TRUE(PrinterShows("text \"After first closed\""));
    EXPECT_EQ(drawer.OpenDrawer(), OPOS_SUCCESS);
    EXPECT_EQ(second.Close(), OPOS_SUCCESS);
    EXPECT_EQ(drawer.Close(), OPOS_SUCCESS);
}

// A primary that closed while the application still holds it must not be attached to: its
// engine is gone.
TEST_F(ServiceObjectTest, ClosedPrimaryIsNotAttachedTo) {
    DirectSo earlier;
    ASSERT_EQ(earlier.Open(L"POSPrinter", PrinterName()), OPOS_SUCCESS);
    ASSERT_EQ(earlier.Call(L"CloseService"), OPOS_SUCCESS);
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"New primary\n"), OPOS_SUCCESS);
    EXPECT_TRUE(PrinterShows("text \"New primary\""));
}

// Any non-zero value freezes (Automation's true is -1); frozen events wait, in order.
TEST_F(ServiceObjectTest, FrozenEventsWaitUntilThawed) {
    CPosPrinterControl printer;
    EventLog events;
    RecordEvents(printer, events);
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetFreezeEvents(true), OPOS_SUCCESS);
    EXPECT_TRUE(printer.GetFreezeEvents());
    printer_.SetCoverOpen(true);
    ASSERT_TRUE(WaitUntil([&] { return printer.GetCoverOpen(); }));
    // A frozen client would have had the event within one pass of the event thread.
    EXPECT_FALSE(
        WaitUntil([&] { return events.Count(StatusLine(PTR_SUE_COVER_OPEN)) > 0; }, std::chrono::milliseconds(600)))
        << events.Text();
    ASSERT_EQ(printer.SetFreezeEvents(false), OPOS_SUCCESS);
    EXPECT_TRUE(events.WaitFor(StatusLine(PTR_SUE_COVER_OPEN))) << events.Text();
}

// The idle notice is delivered every time FlagWhenIdle is met, not only the first time.
TEST_F(ServiceObjectTest, IdleNoticeComesEveryCycle) {
    CPosPrinterControl printer;
    EventLog events;
    RecordEvents(printer, events);
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    for (int cycle = 1; cycle <= 2; ++cycle) {
        ASSERT_EQ(printer.SetFlagWhenIdle(true), OPOS_SUCCESS);
        ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Cycle\n"), OPOS_SUCCESS);
        EXPECT_TRUE(events.WaitFor(StatusLine(PTR_SUE_IDLE), size_t(cycle)))
            << "cycle " << cycle << ": " << events.Text();
        EXPECT_FALSE(printer.GetFlagWhenIdle());
    }
}

// A synchronous print refused for the open cover reports the engine's extended code.
TEST_F(ServiceObjectTest, ExtendedCodeOfAnEngineFailureReachesTheApplication) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    printer_.SetCoverOpen(true);
    ASSERT_TRUE(WaitUntil([&] { return printer.GetCoverOpen(); }));
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Lost?\n"), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCode(), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCodeExtended(), 201);
    EXPECT_EQ(printer.GetState(), OPOS_S_ERROR);
}

// An output the printer could not take raises an error event; the application's answer
// decides: clear drops it, retry writes it once the printer is back.
TEST_F(ServiceObjectTest, ErrorResponsesClearOrRetry) {
    CPosPrinterControl printer;
    EventLog events;
    int32_t response = OPOS_ER_CLEAR;
    RecordEvents(printer, events);
    printer.SetErrorEventHandler([&](int32_t rc, int32_t ext, int32_t, int32_t& answer) {
        events.Record("Error " + std::to_string(rc) + "/" + std::to_string(ext));
        answer = response;
    });
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    const uint16_t port = server_->Port();

    server_.reset();  // the printer is gone
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Cleared\n"), OPOS_SUCCESS);
    const int32_t cleared = printer.GetOutputID();
    ASSERT_TRUE(events.WaitFor("Error 107/0")) << events.Text();
    ASSERT_TRUE(WaitUntil([&] { return printer.GetState() == OPOS_S_IDLE; })) << "clear empties the queue";

    response = OPOS_ER_RETRY;
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Retried\n"), OPOS_SUCCESS);
    const int32_t retried = printer.GetOutputID();
    ASSERT_TRUE(events.WaitFor("Error 107/0", 2)) << events.Text();
    server_ = std::make_unique<Sim::TcpServer>(printer_, port);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    EXPECT_TRUE(events.WaitFor("Output " + std::to_string(retried))) << events.Text();
    EXPECT_TRUE(PrinterShows("text \"Retried\""));
    EXPECT_EQ(events.Count("Output " + std::to_string(cleared)), 0u);
    EXPECT_EQ(TraceCount("text \"Cleared\""), 0u);
}

}  // namespace
}  // namespace QVO::Test
