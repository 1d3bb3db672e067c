// The printer entry: what Add and Modify write, the checks of OK, and renames.
#include "setup/core/PrinterEntry.h"

#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup {
namespace {

using PrinterEntryTest = Test::SetupStoreTest;
const std::wstring kPrinters = ClassKey(DeviceClass::Printer);

PrinterForm ComPrinter(const std::wstring& model) {
    PrinterForm form = NewPrinterForm(model);
    form.port = PortKind::Com;
    form.comPort = L"COM3:";
    form.baudRate = L"9600";
    form.notes = L"front desk";
    return form;
}

TEST_F(PrinterEntryTest, AddWritesEveryValueAndTheLogicalName) {
    const PrinterForm form = ComPrinter(L"RX4270");
    EXPECT_EQ(form.name, L"RX4270_01");
    EXPECT_EQ(form.logicName, L"RX4270_01");
    ASSERT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"");
    ASSERT_TRUE(SavePrinter(EditMode::Add, form, L"", info_).ok());
    const auto v = [](const wchar_t* name) { return Read(DeviceClass::Printer, L"RX4270_01", name); };
    EXPECT_EQ(v(L""), L"QUVOOposPrinterU1.13");
    EXPECT_EQ(v(L"DeviceDescription"), L"QUVO printer");
    EXPECT_EQ(v(L"DriverModel"), L"RX4270");
    EXPECT_EQ(v(L"DriverName"), L"RX4270_01");
    EXPECT_EQ(v(L"BitMapMode"), L"RasterBitImage");
    EXPECT_EQ(v(L"PortType"), L"COM");
    EXPECT_EQ(v(L"ReadTimeout"), L"2000");
    EXPECT_EQ(v(L"WriteTimeout"), L"2000");
    EXPECT_EQ(v(L"InputBufSize"), L"2048");
    EXPECT_EQ(v(L"OutputBufSize"), L"2048");
    EXPECT_EQ(v(L"Notes"), L"front desk");
    EXPECT_EQ(v(L"PortSettings"), L"COM3,BaudRate_9600");
    EXPECT_EQ(v(L"CodepageID"), L"437");
    EXPECT_EQ(RegReadText(kPrinters, L"RX4270_01"), L"RX4270_01");
    EXPECT_EQ(NewPrinterForm(L"RX4270").name, L"RX4270_02");

    // Reopening selects what was saved.
    const PrinterForm back = ReadPrinterForm(L"RX4270_01");
    EXPECT_EQ(back.port, PortKind::Com);
    EXPECT_EQ(back.comPort, L"COM3");
    EXPECT_EQ(back.baudRate, L"9600");
    EXPECT_EQ(back.model, L"RX4270");
    EXPECT_EQ(back.logicName, L"RX4270_01");
}

TEST_F(PrinterEntryTest, SettingsStringPerPortType) {
    PrinterForm form;
    form.model = L"TM-T88IV";
    EXPECT_EQ(CreateSettingsString(form), L"TM-T88IV");
    form.port = PortKind::Lpt;
    form.lptPort = L"LPT1:";
    EXPECT_EQ(CreateSettingsString(form), L"LPT1");
    form.port = PortKind::TcpIp;
    form.ip = L" 10.0.0.1 ";
    EXPECT_EQ(CreateSettingsString(form), L"10.0.0.1,9100");
    EXPECT_TRUE(CheckIPAddress(L"10.0.0.1"));
    EXPECT_FALSE(CheckIPAddress(L"10.0.1"));
    EXPECT_FALSE(CheckIPAddress(L"1.2.3"));  // three dots but too short
}

// The administrator's code page must survive a change of port or notes.
TEST_F(PrinterEntryTest, ModifyKeepsTheStoredCodepage) {
    ASSERT_TRUE(SavePrinter(EditMode::Add, ComPrinter(L"RX4270"), L"", info_).ok());
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"RX4270_01"), L"CodepageID", L"858").ok());
    PrinterForm form = ReadPrinterForm(L"RX4270_01");
    form.port = PortKind::TcpIp;
    form.ip = L"192.168.0.20";
    ASSERT_EQ(CheckPrinter(EditMode::Modify, form, L"RX4270_01", info_), L"");
    ASSERT_TRUE(SavePrinter(EditMode::Modify, form, L"RX4270_01", info_).ok());
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"CodepageID"), L"858");
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"PortSettings"), L"192.168.0.20,9100");
}

TEST_F(PrinterEntryTest, OkRefusesBadNamesPortsAndAddresses) {
    ASSERT_TRUE(SavePrinter(EditMode::Add, ComPrinter(L"RX4270"), L"", info_).ok());
    PrinterForm form = ComPrinter(L"RX4270");
    form.name = L"";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_NullPrinterName");
    form.name = L"A\\B";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_PrinterNameErr");
    form.name = L"rx4270_01";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_PrinterNameExist");
    form.name = L"NEW";
    form.logicName = L"  ";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_NullLogicName");
    form.logicName = L" RX4270_01 ";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_LogicNameErr");
    form.logicName = L"NEW";
    form.model = L"NOSUCH";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_ModelErr");
    form.model = L"RX4270";
    form.comPort = L"";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_PortErr");
    form.comPort = L"COM2";
    form.baudRate = L"1200";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_BaudRateErr");
    form.port = PortKind::TcpIp;
    form.ip = L"10.0.1";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"FormAP_IPErr");
    form.ip = L"10.0.0.1";
    EXPECT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"");
    // Modify may not take the name of another entry.
    ASSERT_TRUE(SavePrinter(EditMode::Add, form, L"", info_).ok());
    PrinterForm other = ReadPrinterForm(L"NEW");
    other.name = L"RX4270_01";
    EXPECT_EQ(CheckPrinter(EditMode::Modify, other, L"NEW", info_), L"FormAP_PrinterNameExist");
}

// A device without logical name must not write an empty one: that is the class key's
// default value.
TEST_F(PrinterEntryTest, ModifyWithoutLogicalNameWritesNoEmptyName) {
    ASSERT_TRUE(SavePrinter(EditMode::Add, ComPrinter(L"RX4270"), L"", info_).ok());
    ASSERT_TRUE(RegRemoveValue(kPrinters, L"RX4270_01").ok());
    const PrinterForm form = ReadPrinterForm(L"RX4270_01");
    ASSERT_EQ(form.logicName, L"");
    ASSERT_TRUE(SavePrinter(EditMode::Modify, form, L"RX4270_01", info_).ok());
    EXPECT_FALSE(HasValue(kPrinters, L""));
}

TEST_F(PrinterEntryTest, AddStoresTheLogicalNameTrimmed) {
    PrinterForm form = ComPrinter(L"RX4270");
    form.logicName = L"  FRONT  ";
    form.name = L" RX4270_07 ";
    ASSERT_EQ(CheckPrinter(EditMode::Add, form, L"", info_), L"");
    ASSERT_TRUE(SavePrinter(EditMode::Add, form, L"", info_).ok());
    EXPECT_EQ(RegReadText(kPrinters, L"FRONT"), L"RX4270_07");
    EXPECT_TRUE(DeviceExists(DeviceClass::Printer, L"RX4270_07"));
}

// A rename moves the entry; every logical name and every drawer that named it follows.
TEST_F(PrinterEntryTest, RenameMovesLogicalNamesAndDrawers) {
    ASSERT_TRUE(SavePrinter(EditMode::Add, ComPrinter(L"RX4270"), L"", info_).ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"SECOND", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::CashDrawer, L"D1"), L"PrinterName", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"RX4270_01"), L"CodepageID", L"866").ok());
    PrinterForm form = ReadPrinterForm(L"RX4270_01");
    form.name = L"KITCHEN";
    ASSERT_EQ(CheckPrinter(EditMode::Modify, form, L"RX4270_01", info_), L"");
    ASSERT_TRUE(SavePrinter(EditMode::Modify, form, L"RX4270_01", info_).ok());
    EXPECT_FALSE(DeviceExists(DeviceClass::Printer, L"RX4270_01"));
    EXPECT_EQ(Read(DeviceClass::Printer, L"KITCHEN", L"DriverName"), L"KITCHEN");
    EXPECT_EQ(Read(DeviceClass::Printer, L"KITCHEN", L"CodepageID"), L"866");
    EXPECT_EQ(RegReadText(kPrinters, L"RX4270_01"), L"KITCHEN");
    EXPECT_EQ(RegReadText(kPrinters, L"SECOND"), L"KITCHEN");
    EXPECT_EQ(Read(DeviceClass::CashDrawer, L"D1", L"PrinterName"), L"KITCHEN");

    // A change of case only keeps the entry.
    form = ReadPrinterForm(L"KITCHEN");
    form.name = L"Kitchen";
    ASSERT_TRUE(SavePrinter(EditMode::Modify, form, L"KITCHEN", info_).ok());
    EXPECT_EQ(RegKeyNames(kPrinters), (std::vector<std::wstring>{L"Kitchen"}));
    EXPECT_EQ(Read(DeviceClass::Printer, L"Kitchen", L"CodepageID"), L"866");

    // Without leave to rename, the entry keeps its name whatever the field says.
    info_.modifyPrinterName = L"0";
    form = ReadPrinterForm(L"Kitchen");
    form.name = L"ELSEWHERE";
    ASSERT_EQ(CheckPrinter(EditMode::Modify, form, L"Kitchen", info_), L"");
    ASSERT_TRUE(SavePrinter(EditMode::Modify, form, L"Kitchen", info_).ok());
    EXPECT_EQ(RegKeyNames(kPrinters), (std::vector<std::wstring>{L"Kitchen"}));
    EXPECT_EQ(Read(DeviceClass::Printer, L"Kitchen", L"DriverName"), L"Kitchen");
}

}  // namespace
}  // namespace QVO::Setup
