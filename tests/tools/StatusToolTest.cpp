// `quvo status`: against the fake service object (steps, failures, signals) and, when the
// service object is built, end to end against the virtual printer on a loopback port.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>

#include "platform/com/ComPtr.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "tests/opos/FakeServiceObjectIds.h"
#include "tests/tools/JsonLines.h"
#include "tests/tools/ToolStore.h"

namespace {

using QVO::Test::Field;
using QVO::Test::JsonLines;
using QVO::Test::ParseJsonLines;
using QVO::Test::RunningQuvo;
using QVO::Test::RunQuvo;

const char kStateLineStart[] = "{\"type\":\"state\"";

const std::wstring kServiceOpos = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

// The fake classes and the entries that lead to them.
std::wstring FakeStore() {
    std::wstring reg;
    std::wstring module;
    size_t bad = 0;
    QVO::Platform::Registry::Text::DecodeUtf8(QUVO_FAKE_SO, module, bad);
    for (const auto& c : QVO::Test::kFakeClasses) {
        const std::wstring clsid = QVO::Platform::Com::GuidToString(c.clsid), progId = c.progId;
        reg += L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32]\n@=\"" + module +
               L"\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + progId + L".1\\CLSID]\n@=\"" + clsid +
               L"\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\" + progId + L"\\CurVer]\n@=\"" + progId + L".1\"\n\n";
    }
    reg += kServiceOpos + L"POSPrinter]\n\"Receipt\"=\"Fake_01\"\n\n";
    reg += kServiceOpos + L"POSPrinter\\Fake_01]\n@=\"QuvoFake.Printer\"\n\n";
    reg += kServiceOpos + L"POSPrinter\\FailOpen_01]\n@=\"QuvoFake.FailOpen.1\"\n\n";
    reg += kServiceOpos + L"POSPrinter\\BadProgId_01]\n@=\"No.Such.ProgId\"\n\n";
    reg += kServiceOpos + L"CashDrawer\\Drawer_01]\n@=\"QuvoFake.Printer.1\"\n";
    return reg;
}

class ToolStatusTest : public QVO::Test::ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        Import(FakeStore());
    }
};

// Catches the wrong control for a device class, a logical name not followed, state lines
// missing or out of their order, or a success exit without them.
TEST_F(ToolStatusTest, PrintsTheStateOfAPrinterAndADrawer) {
    auto r = RunQuvo({"status", "Receipt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "State 2 IDLE\nCoverOpen 0\nRecEmpty 0\nRecNearEnd 0\n");

    r = RunQuvo({"status", "--drawer", "Drawer_01", "--timeout", "-1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "State 2 IDLE\nCapStatus 0\nDrawerOpened 0\n");

    // A drawer entry is no printer: the classes keep their own entries.
    r = RunQuvo({"status", "Drawer_01"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("OpenResult 302"), std::string::npos) << r.err;
}

// Catches a failed Open reported as success or without the step, its ResultCode and the
// OpenResult that tells the user what to fix (the service object's own 4xx included).
TEST_F(ToolStatusTest, FailedOpenNamesTheStepAndTheOpenResult) {
    auto r = RunQuvo({"status", "NoSuch"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Open of NoSuch failed: ResultCode 109 E_NOEXIST, OpenResult 302 OR_REGBADNAME"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");

    r = RunQuvo({"status", "BadProgId_01"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ResultCode 109 E_NOEXIST, OpenResult 303 OR_REGPROGID"), std::string::npos) << r.err;

    r = RunQuvo({"status", "FailOpen_01"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ResultCode 106 E_ILLEGAL, OpenResult 403 ORS_CONFIG"), std::string::npos) << r.err;
}

// Catches a watch that dies on the signal instead of closing the device (exit by signal, no
// closing line) or that reports the clean stop as a failure.
TEST_F(ToolStatusTest, WatchStopsCleanlyOnEitherSignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        RunningQuvo watch({"status", "Receipt", "--watch"});
        ASSERT_TRUE(watch.Started());
        ASSERT_TRUE(watch.WaitForOutput("Watching Receipt until SIGINT or SIGTERM\n")) << watch.Out() << watch.Err();
        EXPECT_EQ(watch.StopWith(signal), 0) << watch.Err();
        EXPECT_NE(watch.Out().find(signal == SIGINT ? "Stopped by SIGINT\n" : "Stopped by SIGTERM\n"),
                  std::string::npos)
            << watch.Out();
        EXPECT_EQ(watch.Err(), "");
    }
}

// Catches a JSON state that is not one valid line, misses or misnames a field, or reads a
// drawer through the printer's properties.
TEST_F(ToolStatusTest, JsonStateOfAPrinterAndADrawer) {
    auto r = RunQuvo({"status", "Receipt", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    JsonLines parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    auto o = parsed.objects[0];
    EXPECT_EQ(Field(o, "type"), R"("state")");
    EXPECT_EQ(Field(o, "device"), R"("Receipt")");
    EXPECT_EQ(Field(o, "class"), R"("printer")");
    EXPECT_EQ(Field(o, "state"), "2");
    EXPECT_EQ(Field(o, "stateName"), R"("OPOS_S_IDLE")");
    EXPECT_EQ(Field(o, "coverOpen"), "false");
    EXPECT_EQ(Field(o, "recEmpty"), "false");
    EXPECT_EQ(Field(o, "recNearEnd"), "false");
    EXPECT_EQ(Field(o, "checkHealthText"), R"("")");
    EXPECT_NE(Field(o, "powerState"), "<absent>");
    EXPECT_EQ(Field(o, "readFailures"), "{}");
    EXPECT_EQ(r.err, "");

    r = RunQuvo({"status", "--json", "--drawer", "Drawer_01"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    o = parsed.objects[0];
    EXPECT_EQ(Field(o, "class"), R"("drawer")");
    EXPECT_EQ(Field(o, "capStatus"), "false");
    EXPECT_EQ(Field(o, "drawerOpened"), "false");
    EXPECT_EQ(Field(o, "coverOpen"), "<absent>");
}

// Catches a failed Open told only on stderr (a fleet reader would see nothing), reported as
// success, or with codes other than the human line's; and a bad option run anyway.
TEST_F(ToolStatusTest, JsonFailureIsOneObjectAndAFailedExit) {
    auto r = RunQuvo({"status", "NoSuch", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    JsonLines parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    auto o = parsed.objects[0];
    EXPECT_EQ(Field(o, "type"), R"("failure")");
    EXPECT_EQ(Field(o, "device"), R"("NoSuch")");
    EXPECT_EQ(Field(o, "error.step"), R"("open")");
    EXPECT_EQ(Field(o, "error.resultCode"), "109");
    EXPECT_EQ(Field(o, "error.resultCodeName"), R"("OPOS_E_NOEXIST")");
    EXPECT_EQ(Field(o, "error.openResult"), "302");
    EXPECT_EQ(Field(o, "error.openResultName"), R"("OPOS_OR_REGBADNAME")");
    EXPECT_NE(Field(o, "error.message").find("Open of NoSuch failed"), std::string::npos);
    EXPECT_NE(r.err.find("Open of NoSuch failed: ResultCode 109 E_NOEXIST"), std::string::npos) << r.err;

    r = RunQuvo({"status", "FailOpen_01", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    EXPECT_EQ(Field(parsed.objects[0], "error.openResultName"), R"("OPOS_ORS_CONFIG")");

    r = RunQuvo({"status", "Receipt", "--json", "--jsonl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("unknown option '--jsonl'"), std::string::npos) << r.err;
    r = RunQuvo({"status", "--help"});
    EXPECT_NE(r.out.find("--json"), std::string::npos) << r.out;
}

// Catches a JSON watch that ends without a clean close or leaves text that is not JSON.
TEST_F(ToolStatusTest, JsonWatchEndsWithAStoppedLine) {
    RunningQuvo watch({"status", "Receipt", "--watch", "--json"});
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(watch.WaitForOutput(kStateLineStart)) << watch.Out() << watch.Err();
    EXPECT_EQ(watch.StopWith(SIGINT), 0) << watch.Err();
    const JsonLines parsed = ParseJsonLines(watch.Out());
    ASSERT_EQ(parsed.error, "") << watch.Out();
    ASSERT_EQ(parsed.objects.size(), 2u) << watch.Out();
    EXPECT_EQ(Field(parsed.objects[1], "type"), R"("stopped")");
    EXPECT_EQ(Field(parsed.objects[1], "signal"), R"("SIGINT")");
    EXPECT_EQ(watch.Err(), "");
}

#ifdef QUVO_SO_BUILT

// A drawer on the printer below; the virtual printer's drawer signal is high while open.
const std::wstring kDrawer = kServiceOpos +
                             L"CashDrawer\\Till]\n@=\"QUVOOposPrinterU1.13\"\n\"OpenVoltage\"=\"1\"\n"
                             L"\"CapDrawStatus\"=\"1\"\n\"DrawerPin\"=\"2\"\n\"PrinterName\"=\"TM-T88IV\"\n"
                             L"\"SignalOffTime\"=\"100\"\n\"SignalOnTime\"=\"100\"\n"
                             L"\"WaitForDrawerCloseTimeOut\"=\"1000\"\n\"CashDrawerName\"=\"Till\"\n";

// The service object on a virtual TM-T88IV that listens on a loopback port.
class ToolStatusPrinterTest : public QVO::Test::ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        server_ = std::make_unique<QVO::Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        const auto r = RunQuvo({"register"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        Import(Entry(L"TM-T88IV", server_->Port()) + kServiceOpos + L"POSPrinter]\n\"Receipt\"=\"TM-T88IV\"\n\n" +
               kDrawer);
    }
    void TearDown() override { server_->Stop(); }

    // A complete printer entry of the service object on 127.0.0.1:port.
    static std::wstring Entry(const std::wstring& name, unsigned port) {
        return kServiceOpos + L"POSPrinter\\" + name +
               L"]\n@=\"QUVOOposPrinterU1.13\"\n\"PortType\"=\"TCP/IP\"\n\"DriverModel\"=\"TM-T88IV\"\n"
               L"\"DriverName\"=\"TM-T88IV\"\n\"PortSettings\"=\"127.0.0.1," +
               std::to_wstring(port) +
               L"\"\n\"OutputBufSize\"=\"4096\"\n\"BitMapMode\"=\"0\"\n\"WriteTimeout\"=\"1000\"\n"
               L"\"ReadTimeout\"=\"1000\"\n\"CodepageID\"=\"437\"\n\"DeviceDescription\"=\"Virtual TM-T88IV\"\n"
               L"\"Notes\"=\"\"\n\n";
    }

    QVO::Sim::VirtualPrinter printer_{QVO::Sim::PrinterIdentity::ForModel("TM-T88IV")};
    std::unique_ptr<QVO::Sim::TcpServer> server_;
};

// Catches a property read by the wrong index or decoded wrongly, and state that does not
// follow the printer (a cover opened or paper running low must show).
TEST_F(ToolStatusPrinterTest, ShowsThePrintersConditions) {
    auto r = RunQuvo({"status", "TM-T88IV"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "State 2 IDLE\nCoverOpen 0\nRecEmpty 0\nRecNearEnd 0\n");

    printer_.SetCoverOpen(true);
    printer_.SetPaper(QVO::Sim::PaperLevel::NearEnd);
    r = RunQuvo({"status", "Receipt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("CoverOpen 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RecNearEnd 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RecEmpty 0\n"), std::string::npos) << r.out;
}

// Catches the drawer opened through the printer control, or its state read from the wrong
// property: the drawer's line must follow the virtual printer's drawer.
TEST_F(ToolStatusPrinterTest, ShowsTheDrawerOnThePrinter) {
    auto r = RunQuvo({"status", "--drawer", "Till"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("State 2 IDLE\nCapStatus 1\nDrawerOpened 0", 0), 0u) << r.out;
    printer_.SetDrawerOpen(true);
    r = RunQuvo({"status", "--drawer", "Till"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\nDrawerOpened 1"), std::string::npos) << r.out;
}

// Catches events that never reach the watch, a wrongly decoded event, and a watch that does
// not give the printer back when stopped (the next status could not claim it).
TEST_F(ToolStatusPrinterTest, WatchPrintsTheCoverOpening) {
    {
        RunningQuvo watch({"status", "TM-T88IV", "--watch"});
        ASSERT_TRUE(watch.Started());
        ASSERT_TRUE(watch.WaitForOutput("Watching TM-T88IV")) << watch.Out() << watch.Err();
        printer_.SetCoverOpen(true);
        EXPECT_TRUE(watch.WaitForOutput("StatusUpdate 11 COVER_OPEN\n")) << watch.Out() << watch.Err();
        // The first report after enabling may hold a COVER_OK of its own: look after the opening.
        const size_t opened = watch.Out().rfind("StatusUpdate 11 COVER_OPEN\n");
        printer_.SetCoverOpen(false);
        EXPECT_TRUE(watch.WaitForOutput("StatusUpdate 12 COVER_OK\n", std::chrono::seconds(20), opened))
            << watch.Out() << watch.Err();
        EXPECT_EQ(watch.StopWith(SIGTERM), 0) << watch.Err();
    }
    const auto r = RunQuvo({"status", "TM-T88IV", "--timeout", "0"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// Catches a printer nobody answers for being reported as working.
TEST_F(ToolStatusPrinterTest, UnreachablePrinterIsAFailure) {
    Import(Entry(L"Nowhere", 1));  // port 1 on loopback: refused
    const auto r = RunQuvo({"status", "Nowhere"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("failed: ResultCode"), std::string::npos) << r.err;
}

// Catches the printer's conditions not reaching the JSON state.
TEST_F(ToolStatusPrinterTest, JsonStateFollowsThePrinter) {
    printer_.SetCoverOpen(true);
    printer_.SetPaper(QVO::Sim::PaperLevel::NearEnd);
    const auto r = RunQuvo({"status", "Receipt", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const JsonLines parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    const auto& o = parsed.objects[0];
    EXPECT_EQ(Field(o, "coverOpen"), "true");
    EXPECT_EQ(Field(o, "recNearEnd"), "true");
    EXPECT_EQ(Field(o, "recEmpty"), "false");
    EXPECT_EQ(Field(o, "readFailures"), "{}");
}

// Catches events that never reach a JSON watch, arrive unflushed or not one per line, or are
// named wrongly; and a watch that does not close cleanly on SIGTERM.
TEST_F(ToolStatusPrinterTest, JsonWatchReportsTheCoverAsItMoves) {
    RunningQuvo watch({"status", "TM-T88IV", "--watch", "--json"});
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(watch.WaitForOutput(kStateLineStart)) << watch.Out() << watch.Err();
    printer_.SetCoverOpen(true);
    const std::string coverOpen = "\"statusName\":\"PTR_SUE_COVER_OPEN\"}\n";
    ASSERT_TRUE(watch.WaitForOutput(coverOpen)) << watch.Out() << watch.Err();
    // The first report after enabling may hold a COVER_OK of its own: look after the opening.
    const size_t opened = watch.Out().rfind(coverOpen);
    printer_.SetCoverOpen(false);
    EXPECT_TRUE(watch.WaitForOutput("\"statusName\":\"PTR_SUE_COVER_OK\"}\n", std::chrono::seconds(20), opened))
        << watch.Out() << watch.Err();
    EXPECT_EQ(watch.StopWith(SIGTERM), 0) << watch.Err();

    const JsonLines parsed = ParseJsonLines(watch.Out());
    ASSERT_EQ(parsed.error, "") << watch.Out();
    std::vector<std::string> updates;
    for (const auto& o : parsed.objects) {
        EXPECT_EQ(Field(o, "device"), R"("TM-T88IV")");
        if (Field(o, "type") == R"("status")") updates.push_back(Field(o, "status") + " " + Field(o, "statusName"));
    }
    ASSERT_GE(updates.size(), 2u) << watch.Out();
    EXPECT_EQ(updates[updates.size() - 2], R"(11 "PTR_SUE_COVER_OPEN")") << watch.Out();
    EXPECT_EQ(updates.back(), R"(12 "PTR_SUE_COVER_OK")") << watch.Out();
    ASSERT_FALSE(parsed.objects.empty());
    EXPECT_EQ(Field(parsed.objects.back(), "type"), R"("stopped")");
    EXPECT_EQ(Field(parsed.objects.back(), "signal"), R"("SIGTERM")");
}

// Catches an absent printer reported only on stderr, or as success.
TEST_F(ToolStatusPrinterTest, JsonAbsentPrinterIsAFailureObject) {
    Import(Entry(L"Nowhere", 1));  // port 1 on loopback: refused
    const auto r = RunQuvo({"status", "Nowhere", "--json"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    const JsonLines parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    const auto& o = parsed.objects[0];
    EXPECT_EQ(Field(o, "type"), R"("failure")");
    EXPECT_EQ(Field(o, "device"), R"("Nowhere")");
    EXPECT_NE(Field(o, "error.resultCode"), "0");
    EXPECT_NE(Field(o, "error.resultCode"), "<absent>");
    EXPECT_NE(Field(o, "error.message").find("failed: ResultCode"), std::string::npos) << r.out;
}

#endif  // QUVO_SO_BUILT

}  // namespace
