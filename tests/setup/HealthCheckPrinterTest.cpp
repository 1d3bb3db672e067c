// An entry made by the utility's rules, used the way an application uses it: the control
// objects open it through the registered service object on a virtual serial printer, print,
// and the utility's health check reports what the printer answers, or the failure texts when
// the printer is unplugged.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>

#include "constants/OposPtrConstants.h"
#include "opos/PosPrinterControl.h"
#include "platform/ui/MessageBox.h"
#include "setup/core/HealthCheck.h"
#include "setup/core/PrinterEntry.h"
#include "setup/core/TextUtil.h"
#include "tests/support/SimPorts.h"
#include "tests/support/WaitUntil.h"
#include "tests/tools/ToolStore.h"

#ifdef QUVO_SO_BUILT

namespace QVO::Test {
namespace {

namespace UI = QVO::Platform::UI;
using namespace QVO::Setup;

class UtilityOnVirtualPrinterTest : public ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        ASSERT_FALSE(dir_.Path().empty());
        std::string error;
        ASSERT_TRUE(port_.Start(&error)) << error;
        setenv("QUVO_DOSDEVICES", port_.Environment().dosDevicesDir.c_str(), 1);
        setenv("QUVO_LOCK_DIR", port_.Environment().lockDir.c_str(), 1);
        const ToolResult r = RunQuvo({"register"});
        ASSERT_EQ(r.exitCode, 0) << r.err;

        const SetupContext context = SetupContext::Load(QUVO_SETUP_DATA_SOURCE, 1033);
        PrinterForm form = NewPrinterForm(L"TM-T88IV");
        form.port = PortKind::Com;
        form.comPort = L"COM7";
        form.baudRate = L"19200";
        ASSERT_EQ(CheckPrinter(EditMode::Add, form, L"", context.info), L"");
        ASSERT_TRUE(SavePrinter(EditMode::Add, form, L"", context.info).ok());
        UI::SetMessageBoxHandler([this](const std::wstring& text, const std::wstring& caption, UI::MessageBoxButtons) {
            shown_.push_back(caption + L": " + text);
            return UI::IDOK;
        });
    }
    void TearDown() override {
        UI::SetMessageBoxHandler({});
        port_.Stop();
        unsetenv("QUVO_DOSDEVICES");
    }

    ScratchDir dir_{std::filesystem::temp_directory_path(), "quvo-setup-sim"};
    Sim::VirtualPrinter printer_{Sim::PrinterIdentity::ForModel("TM-T88IV")};
    SimPort port_{printer_, SimPortKind::Serial, dir_.Path()};
    std::vector<std::wstring> shown_;
};

TEST_F(UtilityOnVirtualPrinterTest, EntryOpensPrintsAndPassesTheHealthCheck) {
    {
        Opos::CPosPrinterControl control;
        ASSERT_EQ(control.Open(L"TM-T88IV_01"), 0) << control.GetOpenResult();  // the logical name
        ASSERT_EQ(control.ClaimDevice(1000), 0);
        ASSERT_EQ(control.SetDeviceEnabled(true), 0);
        ASSERT_EQ(control.PrintNormal(Opos::PTR_S_RECEIPT, L"Made by the utility\n"), 0);
        const auto printed = [](const std::string& line) {
            return line.find("Made by the utility") != std::string::npos;
        };
        EXPECT_TRUE(WaitUntil([&] {
            const auto trace = printer_.Trace();
            return std::any_of(trace.begin(), trace.end(), printed);
        }));
        control.SetDeviceEnabled(false);
        control.ReleaseDevice();
        control.Close();
    }
    EXPECT_TRUE(RunHealthCheck(DeviceClass::Printer, L"TM-T88IV_01", L"T"));
    ASSERT_FALSE(shown_.empty());
    EXPECT_EQ(shown_.back().rfind(L"T: INTERACTIVE HealthCheck: ", 0), 0u) << ToUtf8(shown_.back());
}

TEST_F(UtilityOnVirtualPrinterTest, UnpluggedPrinterGivesTheFailureTexts) {
    // Switched off with its USB serial adapter: the name leads to a device that is gone.
    port_.Stop();
    const std::filesystem::path link = std::filesystem::path(port_.Environment().dosDevicesDir) / kSimComEntry;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(dir_.Path() / "gone", link);
    EXPECT_FALSE(RunHealthCheck(DeviceClass::Printer, L"TM-T88IV_01", L"T"));
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0], L"T: PosPrinter Failed Open: Configured port is invalid or inaccessible!");
    EXPECT_EQ(shown_[1], L"T: Cann't print anything due to printer fail!");
}

}  // namespace
}  // namespace QVO::Test

#endif  // QUVO_SO_BUILT
