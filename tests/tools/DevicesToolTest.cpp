// `quvo devices` over made-up stores: the listing's lines, an empty store and a damaged one.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/tools/ToolStore.h"

namespace {

using QVO::Test::RunQuvo;

const wchar_t kStore[] =
    LR"([HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter]
"Receipt"="TM-T88IV"
"FrontDesk"="tm-t88iv"
"Old"="Removed"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\TM-T88IV]
@="QUVOOposPrinterU1.13"
"PortType"="TCP/IP"
"DriverModel"="TM-T88IV"
"PortSettings"="127.0.0.1,9100"
"CodepageID"="437"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Küche]
@="QUVOOposPrinterU1.13"
"PortType"="COM"
"DriverModel"="QP-T80A_K"
"PortSettings"="COM1,19200,N,8,1,H"
"CodepageID"=dword:00000352

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer]
"CashDrawer1"="Till"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\Till]
@="QUVOOposPrinterU1.13"
"PrinterName"="TM-T88IV"
"DrawerPin"="2"

[HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\Spare]
@="QUVOOposPrinterU1.13"
"PrinterName"="Gone"
"DrawerPin"="5"
)";

using ToolDevicesTest = QVO::Test::ToolStoreTest;

// Catches a wrong value in a column, a number shown as if the service object could read it,
// logical names matched case-sensitively or given to the wrong entry, columns that drift when
// a name has a non-ASCII letter (widths counted in bytes), a drawer on a printer that does not
// exist shown as if it did, and a logical name that leads nowhere left out.
TEST_F(ToolDevicesTest, ListsPrintersAndDrawersWithTheirLogicalNames) {
    Import(kStore);
    const auto r = RunQuvo({"devices"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Printers:\n"
              "  ENTRY     MODEL      PORT                    CODE PAGE        LOGICAL NAMES\n"
              "  Küche     QP-T80A_K  COM COM1,19200,N,8,1,H  850 (REG_DWORD)  -\n"
              "  TM-T88IV  TM-T88IV   TCP/IP 127.0.0.1,9100   437              FrontDesk, Receipt\n"
              "Cash drawers:\n"
              "  ENTRY  PRINTER                 PIN  LOGICAL NAMES\n"
              "  Spare  Gone (no such printer)  5    -\n"
              "  Till   TM-T88IV                2    CashDrawer1\n"
              "logical name Old leads to Removed, which is not a configured printer\n");
    EXPECT_EQ(r.err, "");
}

// Catches an empty or missing configuration treated as an error, or listed as empty tables.
TEST_F(ToolDevicesTest, EmptyStoreSaysSo) {
    auto r = RunQuvo({"devices"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("no devices configured", 0), 0u) << r.out;

    Import(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter]\n\"Front\"=\"Gone\"\n");
    r = RunQuvo({"devices"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("no devices configured", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("logical name Front leads to Gone"), std::string::npos) << r.out;
}

// Catches a hive that cannot be parsed being listed as an empty store.
TEST_F(ToolDevicesTest, DamagedStoreIsAFailure) {
    std::ofstream(HivePath("HKLM.reg")) << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X\n";
    const auto r = RunQuvo({"devices"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("HKLM.reg:"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

}  // namespace
