// `quvo config` run as a separate process against a temporary registry store: the same cases
// as the utility's rule and form tests, with the same messages and registry results.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/tools/ToolStore.h"

namespace QVO::Test {
namespace {

const std::wstring kPrinters = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
const std::wstring kDrawers = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

class ConfigToolTest : public ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        setenv("QUVO_SETUP_DATA_DIR", QUVO_SETUP_DATA_SOURCE, 1);
        setenv("LC_ALL", "C", 1);
    }
    void TearDown() override { unsetenv("QUVO_SETUP_DATA_DIR"); }

    static std::optional<std::wstring> Printer(const std::wstring& entry, const wchar_t* value) {
        return StringAt(Reg::Hive::LocalMachine, kPrinters + L"\\" + entry, value);
    }
    // A printer on a network address, as every case starts.
    void AddPrinter() {
        const ToolResult r =
            RunQuvo({"config", "printer", "add", "--model", "RX4270", "--port", "tcp/ip", "--ip", "127.0.0.1"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
};

TEST_F(ConfigToolTest, PrinterAddWritesTheEntryTheDialogWrites) {
    const ToolResult r = RunQuvo({"config", "printer", "add", "--model", "RX4270", "--port", "com", "--com", "COM3",
                                  "--baud", "9600", "--notes", "front desk"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "added printer RX4270_01 (logical name RX4270_01)\n");
    EXPECT_EQ(Printer(L"RX4270_01", L""), L"QUVOOposPrinterU1.13");
    EXPECT_EQ(Printer(L"RX4270_01", L"PortType"), L"COM");
    EXPECT_EQ(Printer(L"RX4270_01", L"PortSettings"), L"COM3,BaudRate_9600");
    EXPECT_EQ(Printer(L"RX4270_01", L"CodepageID"), L"437");
    EXPECT_EQ(Printer(L"RX4270_01", L"Notes"), L"front desk");
    EXPECT_EQ(Printer(L"RX4270_01", L"OutputBufSize"), L"2048");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kPrinters, L"RX4270_01"), L"RX4270_01");
    EXPECT_EQ(RunQuvo({"config", "printer", "add", "--model", "RX4270"}).out,
              "added printer RX4270_02 (logical name RX4270_02)\n");
}

TEST_F(ConfigToolTest, ModifyKeepsTheCodepage) {
    AddPrinter();
    ASSERT_EQ(RunQuvo({"config", "codepage", "RX4270_01", "866"}).exitCode, 0);
    const ToolResult r = RunQuvo({"config", "printer", "modify", "RX4270_01", "--port", "lpt", "--lpt", "LPT2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Printer(L"RX4270_01", L"CodepageID"), L"866");
    EXPECT_EQ(Printer(L"RX4270_01", L"PortSettings"), L"LPT2");
    // A code page the list does not offer is refused with its message.
    const ToolResult bad = RunQuvo({"config", "codepage", "RX4270_01", "12345"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "quvo config: This code page is not in the list of code pages.\n");
}

TEST_F(ConfigToolTest, LogicalNamesAreStoredTrimmedAndCheckedAsInTheDialog) {
    AddPrinter();
    ToolResult r = RunQuvo({"config", "name", "add", "printer", "RX4270_01", "  POS 2  "});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kPrinters, L"POS 2"), L"RX4270_01");
    r = RunQuvo({"config", "name", "rename", "printer", "POS 2", "POS 2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: The logical name is already in use.\n");
    r = RunQuvo({"config", "name", "add", "printer", "RX4270_01", "   "});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: Please enter a logical name.\n");
    ASSERT_EQ(RunQuvo({"config", "name", "delete", "printer", "POS 2"}).exitCode, 0);
    r = RunQuvo({"config", "name", "delete", "printer", "RX4270_01"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("This is the only logical name of the device."), std::string::npos) << r.err;
}

// The messages follow the locale, from the language's section of Language.ini.
TEST_F(ConfigToolTest, NameRefusalsInTheLocalesLanguage) {
    AddPrinter();
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    ToolResult r = RunQuvo({"config", "printer", "add", "--model", "RX4270", "--name", "RX4270_01"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: Ein Drucker dieses Namens besteht bereits.\n");
    setenv("LC_ALL", "C", 1);
    r = RunQuvo({"config", "printer", "add", "--model", "RX4270", "--name", "A\\B"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("must not contain a backslash"), std::string::npos) << r.err;
    r = RunQuvo({"config", "printer", "add", "--model", "RX4270", "--name", ""});
    EXPECT_EQ(r.err, "quvo config: Please enter a printer name.\n");
    r = RunQuvo({"config", "printer", "add", "--model", "NOSUCH"});
    EXPECT_EQ(r.err, "quvo config: This printer model is not in the list of models.\n");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kPrinters, L""), std::nullopt);
}

TEST_F(ConfigToolTest, DrawerPulseTimesAndPins) {
    AddPrinter();
    ToolResult r = RunQuvo({"config", "drawer", "add", "--high", "abc"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: High and Low must be whole numbers from 0 to 255.\n");
    r = RunQuvo({"config", "drawer", "add", "--drawers", "none", "--high", "20", "--voltage", "high"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::wstring drawer = kDrawers + L"\\RX4270_01_01";
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"PrinterName"), L"RX4270_01");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"DrawerPin"), L"2");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"SignalOnTime"), L"20");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"OpenVoltage"), L"1");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"CapDrawStatus"), L"1");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, drawer, L"WaitForDrawerCloseTimeOut"), L"5000");
}

// A renamed printer takes its logical names and its drawers along; delete takes the names.
TEST_F(ConfigToolTest, RenameAndDeleteKeepTheStoreConsistent) {
    AddPrinter();
    ASSERT_EQ(RunQuvo({"config", "drawer", "add"}).exitCode, 0);
    ToolResult r = RunQuvo({"config", "printer", "modify", "RX4270_01", "--name", "KITCHEN"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Printer(L"RX4270_01", L"PortType"), std::nullopt);
    EXPECT_EQ(Printer(L"KITCHEN", L"DriverName"), L"KITCHEN");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kPrinters, L"RX4270_01"), L"KITCHEN");
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kDrawers + L"\\RX4270_01_01", L"PrinterName"), L"KITCHEN");
    r = RunQuvo({"config", "list"});
    EXPECT_NE(r.out.find("  KITCHEN  TCP/IP 127.0.0.1,9100, code page 437\n    RX4270_01\n"), std::string::npos)
        << r.out;
    ASSERT_EQ(RunQuvo({"config", "printer", "delete", "kitchen"}).exitCode, 0);
    EXPECT_EQ(StringAt(Reg::Hive::LocalMachine, kPrinters, L"RX4270_01"), std::nullopt);
}

TEST_F(ConfigToolTest, ForeignAndMissingEntriesAreNotTouched) {
    Import(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\OTHER]\n@=\"Other.Printer\"\n");
    ToolResult r = RunQuvo({"config", "printer", "delete", "OTHER"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("belongs to another service object"), std::string::npos) << r.err;
    EXPECT_EQ(Printer(L"OTHER", L""), L"Other.Printer");
    r = RunQuvo({"config", "drawer", "modify", "NONE"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: No such device entry.\n");
}

TEST_F(ConfigToolTest, CommandLineErrorsAndHelp) {
    EXPECT_EQ(RunQuvo({"config"}).exitCode, 2);
    EXPECT_EQ(RunQuvo({"config", "printer", "add", "--bogus", "1"}).exitCode, 2);
    EXPECT_EQ(RunQuvo({"config", "printer", "add", "--model"}).exitCode, 2);
    EXPECT_EQ(RunQuvo({"config", "drawer", "add", "--drawers", "3"}).exitCode, 2);
    EXPECT_EQ(RunQuvo({"config", "name", "add", "scanner", "A", "B"}).exitCode, 2);
    const ToolResult help = RunQuvo({"config", "printer", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("printer add --model MODEL"), std::string::npos);
}

// Without the folder set, the data files are found next to the program.
TEST_F(ConfigToolTest, DataFilesNextToTheProgram) {
    unsetenv("QUVO_SETUP_DATA_DIR");
    const ToolResult r = RunQuvo({"config", "printer", "add", "--model", "RX4270", "--port", "tcp/ip", "--ip", "1.2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "quvo config: The IP address is not valid.\n");
}

}  // namespace
}  // namespace QVO::Test
