// The health check end to end, for the POSPrinter and the CashDrawer control objects: every
// level, the report on the paper, a printer switched off, the interactive question through
// the message-box hook, and the statistics methods.
#include <condition_variable>
#include <future>
#include <mutex>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "platform/ui/MessageBox.h"
#include "tests/so/com/DrawerHealthSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;
namespace UI = QVO::Platform::UI;

constexpr int32_t kInternal = 1;
constexpr int32_t kExternal = 2;
constexpr int32_t kInteractive = 3;

const std::wstring kPrinterQuestion =
    L"OPOS Printer Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...";
const std::wstring kDrawerQuestion =
    L"OPOS CashDrawer Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...";

// Answers every message box with `answer` and keeps what was asked.
class Operator {
public:
    explicit Operator(int answer) {
        UI::SetMessageBoxHandler([this, answer](const std::wstring& text, const std::wstring& caption, auto) {
            std::lock_guard lock(mutex_);
            asked_.push_back(caption + L"|" + text);
            return answer;
        });
    }
    ~Operator() { UI::SetMessageBoxHandler(nullptr); }
    std::vector<std::wstring> Asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    std::mutex mutex_;
    std::vector<std::wstring> asked_;
};

class HealthCheckTest : public ServiceObjectTest {
protected:
    std::wstring DrawerName() const { return L"Drawer" + PrinterName(); }
    size_t PrintedTexts() const { return TraceWith(printer_, "text ").size(); }
};

// Catches the internal level touching the printer, and a level outside 1-3 not refused as
// OPOS_E_EXTENDED/300: for both device classes.
TEST_F(HealthCheckTest, InternalLevelTouchesNothingAndUnknownLevelsAreRefused) {
    WriteDrawerEntry(DrawerName(), DrawerEntry{PrinterName()});
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    const size_t before = printer_.Trace().size();
    for (CControlObject* co : {static_cast<CControlObject*>(&printer), static_cast<CControlObject*>(&drawer)}) {
        EXPECT_EQ(co->CheckHealth(kInternal), OPOS_SUCCESS);
        EXPECT_EQ(co->GetCheckHealthText(), L"Internal HealthCheck: Successful.");
        for (int32_t level : {0, 4}) {
            EXPECT_EQ(co->CheckHealth(level), OPOS_E_EXTENDED) << level;
            EXPECT_EQ(co->GetResultCodeExtended(), 300);
            EXPECT_EQ(co->GetCheckHealthText(), L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL");
        }
    }
    // Only the status poll may have talked to the printer meanwhile. Enable ends with a status
    // read the printer answers, except that automatic status back is switched on after it: a
    // printer slow to read may trace that one late.
    const std::vector<std::string> trace = printer_.Trace();
    for (size_t i = before; i < trace.size(); ++i)
        EXPECT_TRUE(trace[i].rfind("DLE EOT", 0) == 0 || trace[i].rfind("GS r", 0) == 0 || trace[i] == "GS a 255")
            << trace[i];
}

// Catches a report that is not printed, lacks a line, or whose success is not reported; the
// picture of the paper is kept for a look (health_check_external.png in the test folder).
TEST_F(HealthCheckTest, ExternalLevelPrintsTheReportOnThePaper) {
    ModelPrinter paper("TM-T88IV", Sim::VirtualPrinter::Rendering::On);
    const std::wstring name = PrinterName() + L"_Paper";
    ASSERT_TRUE(paper.Start(name, L"TM-T88IV"));
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, name));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS) << "the report is written at once all the same";
    EXPECT_EQ(printer.CheckHealth(kExternal), OPOS_SUCCESS);
    EXPECT_EQ(printer.GetCheckHealthText(), L"External HealthCheck: Complete.\r\n\r\nSuccessful");
    // Written is not yet printed: the virtual printer takes its time.
    EXPECT_TRUE(WaitUntil([&] { return TraceWith(paper.Printer(), "text ").size() >= 4; }));
    const std::vector<std::string> texts = TraceWith(paper.Printer(), "text ");
    const std::vector<std::string> expected = {"text \"OPOS Printer CheckHealth EXTERNAL:\"",
                                               "text \"Manufacturer: QUVO\"", "text \"Device Name: TM-T88IV\"",
                                               "text \"Firmware Version: 1.00\""};
    EXPECT_EQ(texts, expected);
    auto inkedDots = [&] {
        const Sim::Canvas picture = paper.Printer().Picture();
        return std::count_if(picture.px.begin(), picture.px.end(), [](uint8_t p) { return p < 128; });
    };
    EXPECT_TRUE(WaitUntil([&] { return inkedDots() > 1000; })) << "nothing visible on the paper";
    EXPECT_TRUE(paper.Printer().WritePng(::testing::TempDir() + "health_check_external.png"));
}

// Catches a printer that is off reported as healthy, or its failure without the send error.
TEST_F(HealthCheckTest, SwitchedOffPrinterIsNotResponding) {
    ModelPrinter off("TM-T88IV", Sim::VirtualPrinter::Rendering::Off);
    const std::wstring name = PrinterName() + L"_Off";
    ASSERT_TRUE(off.Start(name, L"TM-T88IV"));
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, name));
    // Queued, the report would count as printed the moment it was handed over.
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    off.SwitchOff();
    EXPECT_EQ(printer.CheckHealth(kExternal), OPOS_E_NOHARDWARE);
    EXPECT_EQ(printer.GetCheckHealthText(), L"External HealthCheck: No Responding.\r\n\r\nOPOS_E_NOHARDWARE");
}

// Catches the question not asked through the hook (or with other words), a report printed
// although the operator cancelled, and a cancelled check reported as a success.
TEST_F(HealthCheckTest, InteractiveLevelAsksThroughTheHookAndReportsTheAnswer) {
    WriteDrawerEntry(DrawerName(), DrawerEntry{PrinterName()});
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    {
        Operator ok(UI::IDOK);
        EXPECT_EQ(printer.CheckHealth(kInteractive), OPOS_SUCCESS);
        EXPECT_EQ(printer.GetCheckHealthText(), L"INTERACTIVE HealthCheck: Complete.\r\n\r\nSuccessful");
        EXPECT_TRUE(PrinterShows("text \"OPOS Printer CheckHealth INTERACTIVE:\""));
        EXPECT_TRUE(PrinterShows("text \"Firmware Version: 1.00\"")) << "the report's last line";
        EXPECT_EQ(drawer.CheckHealth(kInteractive), OPOS_SUCCESS);
        EXPECT_EQ(drawer.GetCheckHealthText(), L"INTERACTIVE HealthCheck: Success!");
        EXPECT_EQ(ok.Asked(), (std::vector<std::wstring>{L"Opos|" + kPrinterQuestion, L"Opos|" + kDrawerQuestion}));
    }
    const size_t printed = PrintedTexts();
    Operator cancel(UI::IDCANCEL);
    EXPECT_EQ(printer.CheckHealth(kInteractive), OPOS_E_FAILURE);
    EXPECT_EQ(printer.GetCheckHealthText(),
              L"INTERACTIVE HealthCheck: Cancelled by the operator.\r\n\r\nOPOS_E_FAILURE");
    EXPECT_EQ(drawer.CheckHealth(kInteractive), OPOS_E_FAILURE);
    EXPECT_EQ(drawer.GetCheckHealthText(), L"INTERACTIVE HealthCheck: Cancelled by the operator.");
    EXPECT_EQ(cancel.Asked().size(), 2u);
    EXPECT_EQ(PrintedTexts(), printed);
    // The external level asks nobody.
    EXPECT_EQ(drawer.CheckHealth(kExternal), OPOS_SUCCESS);
    EXPECT_EQ(drawer.GetCheckHealthText(), L"External HealthCheck: Success!");
    EXPECT_EQ(cancel.Asked().size(), 2u);
}

// Catches the question asked while the printer's service lock is held: another control object
// on the same printer would wait for the operator.
TEST_F(HealthCheckTest, OpenQuestionBlocksOnlyTheAskingCaller) {
    WriteDrawerEntry(DrawerName(), DrawerEntry{PrinterName()});
    std::mutex mutex;
    std::condition_variable changed;
    bool asking = false, answered = false;
    UI::SetMessageBoxHandler([&](auto&, auto&, auto) {
        std::unique_lock lock(mutex);
        asking = true;
        changed.notify_all();
        changed.wait(lock, [&] { return answered; });
        return UI::IDOK;
    });
    auto answer = [&] {
        std::lock_guard lock(mutex);
        answered = true;
        changed.notify_all();
    };
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    auto check = std::async(std::launch::async, [&] { return printer.CheckHealth(kInteractive); });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return asking; }));
    }
    auto open = std::async(std::launch::async, [&] { return drawer.OpenDrawer(); });
    const bool openedMeanwhile = open.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    answer();
    EXPECT_TRUE(openedMeanwhile) << "the drawer waited for the printer's operator";
    EXPECT_EQ(open.get(), OPOS_SUCCESS);
    EXPECT_EQ(check.get(), OPOS_SUCCESS);
    UI::SetMessageBoxHandler(nullptr);
}

// Catches a check that prints behind queued output, or asks the operator first.
TEST_F(HealthCheckTest, QueuedOutputMakesTheExternalAndInteractiveLevelsBusy) {
    WriteDrawerEntry(DrawerName(), DrawerEntry{PrinterName()});
    CPosPrinterControl printer;
    CCashDrawerControl drawer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_TRUE(Ready(drawer, DrawerName()));
    Operator ok(UI::IDOK);
    // Eight seconds of output: the six checks below must all meet it queued, also on a
    // loaded machine under the sanitizers.
    printer_.SetRate(250);
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, std::wstring(2000, L'x') + L"\n"), OPOS_SUCCESS);
    for (CControlObject* co : {static_cast<CControlObject*>(&printer), static_cast<CControlObject*>(&drawer)}) {
        EXPECT_EQ(co->CheckHealth(kExternal), OPOS_E_BUSY);
        EXPECT_EQ(co->CheckHealth(kInteractive), OPOS_E_BUSY);
        EXPECT_EQ(co->CheckHealth(kInternal), OPOS_SUCCESS);
    }
    EXPECT_TRUE(ok.Asked().empty());
    EXPECT_TRUE(TraceWith(printer_, "text \"OPOS Printer").empty());
    EXPECT_EQ(printer.ClearOutput(), OPOS_SUCCESS);
}

// Catches statistics methods that claim success: this printer keeps no statistics.
TEST_F(HealthCheckTest, StatisticsMethodsAreIllegal) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    std::wstring statistics;
    EXPECT_EQ(printer.RetrieveStatistics(statistics), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.UpdateStatistics(L"PaperCutCount=1"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.ResetStatistics(L""), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetPropertyNumber(PIDX_CapStatisticsReporting), 0);
}

}  // namespace
}  // namespace QVO::Test
