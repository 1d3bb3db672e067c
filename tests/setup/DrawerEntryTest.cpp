// The cash-drawer entry: proposed names, the pin rule, the checks and what a save writes.
#include "setup/core/DrawerEntry.h"

#include "setup/core/TextUtil.h"
#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup {
namespace {

using DrawerEntryTest = Test::SetupStoreTest;
const std::wstring kDrawers = ClassKey(DeviceClass::CashDrawer);

class DrawerWithPrinterTest : public DrawerEntryTest {
protected:
    void SetUp() override {
        DrawerEntryTest::SetUp();
        PrinterForm printer = NewPrinterForm(L"RX4270");
        ASSERT_TRUE(SavePrinter(EditMode::Add, printer, L"", info_).ok());
    }
};

TEST_F(DrawerWithPrinterTest, AddProposesANameAndWritesEveryValue) {
    DrawerForm form = NewDrawerForm(L"RX4270_01");
    EXPECT_EQ(form.name, L"RX4270_01_01");
    EXPECT_EQ(form.logicName, L"RX4270_01_01");
    EXPECT_EQ(form.high, L"10");
    EXPECT_EQ(form.low, L"10");
    EXPECT_EQ(form.waitTimeout, L"5000");
    form.drawer1 = true;
    ASSERT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"");
    ASSERT_TRUE(SaveDrawer(EditMode::Add, form, L"", info_).ok());
    const auto v = [](const wchar_t* name) { return Read(DeviceClass::CashDrawer, L"RX4270_01_01", name); };
    EXPECT_EQ(v(L""), L"QUVOOposPrinterU1.13");
    EXPECT_EQ(v(L"PrinterName"), L"RX4270_01");
    EXPECT_EQ(v(L"CapDrawStatus"), L"1");
    EXPECT_EQ(v(L"CashDrawerName"), L"RX4270_01_01");
    EXPECT_EQ(v(L"DrawerPin"), L"1");
    EXPECT_EQ(v(L"OpenVoltage"), L"0");
    EXPECT_EQ(v(L"SignalOnTime"), L"10");
    EXPECT_EQ(v(L"SignalOffTime"), L"10");
    EXPECT_EQ(v(L"WaitForDrawerCloseTimeOut"), L"5000");
    EXPECT_EQ(RegReadText(kDrawers, L"RX4270_01_01"), L"RX4270_01_01");
    // The check boxes carry over to the next Add.
    EXPECT_TRUE(NewDrawerForm(L"RX4270_01", form).drawer1);
    EXPECT_EQ(NewDrawerForm(L"RX4270_01").name, L"RX4270_01_02");
}

TEST(DrawerPinRule, BothFirstOrElseSecond) {
    DrawerForm form;
    EXPECT_EQ(DrawerPin(form), L"2");  // neither box
    form.drawer2 = true;
    EXPECT_EQ(DrawerPin(form), L"2");
    form.drawer1 = true;
    EXPECT_EQ(DrawerPin(form), L"3");
    form.drawer2 = false;
    EXPECT_EQ(DrawerPin(form), L"1");
}

TEST_F(DrawerWithPrinterTest, OnlyPrintersWhoseProgIdIsExactlyOursAreOffered) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"FOREIGN"), L"", L"QUVOOposPrinterU1").ok());
    EXPECT_EQ(DrawerPrinters(info_), (std::vector<std::wstring>{L"RX4270_01"}));
    DrawerForm form = NewDrawerForm(L"FOREIGN");
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_PrinterErr");
    form = NewDrawerForm(L"");
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_PrinterErr");
}

// The service object sends the pulse times as single bytes and reads them as numbers: text
// or out-of-range values would silently become other times.
TEST_F(DrawerWithPrinterTest, PulseTimesAndTimeoutMustBeNumbersItCanUse) {
    DrawerForm form = NewDrawerForm(L"RX4270_01");
    for (const wchar_t* bad : {L"abc", L"", L"256", L"-1", L"1.5", L"10ms"}) {
        form.high = bad;
        EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_PulseErr") << ToUtf8(bad);
    }
    form.high = L"255";
    form.low = L"x";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_PulseErr");
    form.low = L" 0 ";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"");
    form.waitTimeout = L"99999999999";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_WaitTimeOutErr");
    form.waitTimeout = L"0";
    ASSERT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"");
    ASSERT_TRUE(SaveDrawer(EditMode::Add, form, L"", info_).ok());
    EXPECT_EQ(Read(DeviceClass::CashDrawer, form.name, L"SignalOffTime"), L"0");
}

TEST_F(DrawerWithPrinterTest, NamesLogicalNamesAndSecondDrawerAreChecked) {
    DrawerForm form = NewDrawerForm(L"RX4270_01");
    ASSERT_TRUE(SaveDrawer(EditMode::Add, form, L"", info_).ok());
    form = NewDrawerForm(L"RX4270_01");
    form.name = L"";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_NullCashDrawerName");
    form.name = L"A\\B";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_CashDrawerNameErr");
    form.name = L"RX4270_01_01";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_CashDrawerNameExist");
    form.name = L"D2";
    form.logicName = L"RX4270_01_01";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_LogicNameExist");
    form.logicName = L"";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_NullLogicName");
    form.logicName = L"D2";
    form.drawer2 = true;
    info_.haveCashDrawer2 = L"0";
    EXPECT_EQ(CheckDrawer(EditMode::Add, form, L"", info_), L"FormACD_CashDrawer2Err");
}

TEST_F(DrawerWithPrinterTest, ModifyReadsBackAndRenameMovesLogicalNames) {
    DrawerForm form = NewDrawerForm(L"RX4270_01");
    form.drawer1 = form.drawer2 = true;
    form.queryStatus = false;
    form.firstVoltage = true;
    form.high = L"20";
    form.low = L"30";
    form.waitTimeout = L"7000";
    ASSERT_TRUE(SaveDrawer(EditMode::Add, form, L"", info_).ok());
    ASSERT_TRUE(RegWriteText(kDrawers, L"TILL", L"RX4270_01_01").ok());

    DrawerForm back = ReadDrawerForm(L"RX4270_01_01");
    EXPECT_TRUE(back.drawer1 && back.drawer2);
    EXPECT_FALSE(back.queryStatus);
    EXPECT_TRUE(back.firstVoltage);
    EXPECT_EQ(back.high, L"20");
    EXPECT_EQ(back.low, L"30");
    EXPECT_EQ(back.waitTimeout, L"7000");
    EXPECT_EQ(back.printer, L"RX4270_01");

    back.name = L"FRONT";
    ASSERT_EQ(CheckDrawer(EditMode::Modify, back, L"RX4270_01_01", info_), L"");
    ASSERT_TRUE(SaveDrawer(EditMode::Modify, back, L"RX4270_01_01", info_).ok());
    EXPECT_FALSE(DeviceExists(DeviceClass::CashDrawer, L"RX4270_01_01"));
    EXPECT_EQ(Read(DeviceClass::CashDrawer, L"FRONT", L"DrawerPin"), L"3");
    EXPECT_EQ(RegReadText(kDrawers, L"TILL"), L"FRONT");
    EXPECT_EQ(RegReadText(kDrawers, L"RX4270_01_01"), L"FRONT");
    EXPECT_FALSE(HasValue(kDrawers, L""));
}

}  // namespace
}  // namespace QVO::Setup
