// The health check's failure texts, shown through the message-box hook.
#include "setup/core/HealthCheck.h"

#include "platform/ui/MessageBox.h"
#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup {
namespace {

namespace UI = QVO::Platform::UI;

class HealthCheckTest : public Test::SetupStoreTest {
protected:
    void SetUp() override {
        SetupStoreTest::SetUp();
        previous_ = UI::SetMessageBoxHandler(
            [this](const std::wstring& text, const std::wstring& caption, UI::MessageBoxButtons) {
                shown_.push_back(caption + L": " + text);
                return UI::IDOK;
            });
    }
    void TearDown() override {
        UI::SetMessageBoxHandler(previous_);
        SetupStoreTest::TearDown();
    }
    std::vector<std::wstring> shown_;
    UI::MessageBoxHandler previous_;
};

TEST_F(HealthCheckTest, UnknownDeviceReportsTheOpenResultText) {
    EXPECT_FALSE(RunHealthCheck(DeviceClass::Printer, L"NOSUCH", L"T"));
    EXPECT_EQ(shown_, (std::vector<std::wstring>{
                          L"T: PosPrinter Failed Open: The registry does not contain a key for the specified "
                          L"device name!",
                          L"T: Cann't print anything due to printer fail!"}));
}

TEST_F(HealthCheckTest, DrawerWithUnregisteredServiceObject) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::CashDrawer, L"D1"), L"", L"No.Such.ProgId").ok());
    EXPECT_FALSE(RunHealthCheck(DeviceClass::CashDrawer, L"D1", L"T"));
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0],
              L"T: Cashdrawer failed to open: Could not read the device name key's default value, or "
              L"could not convert this Prog ID to a valid Class ID!");
}

TEST(OpenResultTexts, PerClassFallback) {
    EXPECT_EQ(OpenResultText(403, DeviceClass::Printer), L"Configuration information error");
    EXPECT_EQ(OpenResultText(999, DeviceClass::Printer), L"");
    EXPECT_EQ(OpenResultText(999, DeviceClass::CashDrawer), L"OpenResult:999");
}

}  // namespace
}  // namespace QVO::Setup
