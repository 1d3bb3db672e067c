// `quvo devices` over made-up stores: the listing's lines and its JSON objects, an empty
// store and a damaged one.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/tools/JsonLines.h"
#include "tests/tools/ToolStore.h"

namespace {

using QVO::Test::Field;
using QVO::Test::ParseJsonLines;
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
    for (const char* json : {"", "--json"}) {
        const auto r = RunQuvo(*json ? std::vector<std::string>{"devices", json} : std::vector<std::string>{"devices"});
        EXPECT_EQ(r.exitCode, 1) << json;
        EXPECT_NE(r.err.find("HKLM.reg:"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << json;
    }
}

// Catches a device left out or given another's values, a DWORD shown as if it were text,
// logical names lost or given to the wrong entry, a drawer on a missing printer not flagged,
// and a note that is not a device object left on standard output.
TEST_F(ToolDevicesTest, JsonHasOneObjectPerDevice) {
    Import(kStore);
    const auto r = RunQuvo({"devices", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 4u) << r.out;
    const auto& kueche = parsed.objects[0];
    EXPECT_EQ(Field(kueche, "kind"), R"("printer")");
    EXPECT_EQ(Field(kueche, "entry"), R"("K\u00fcche")");
    EXPECT_EQ(Field(kueche, "model"), R"("QP-T80A_K")");
    EXPECT_EQ(Field(kueche, "portType"), R"("COM")");
    EXPECT_EQ(Field(kueche, "portSettings"), R"("COM1,19200,N,8,1,H")");
    EXPECT_EQ(Field(kueche, "codePage"), "850");
    EXPECT_EQ(Field(kueche, "logicalNames"), "[]");
    const auto& tm = parsed.objects[1];
    EXPECT_EQ(Field(tm, "entry"), R"("TM-T88IV")");
    EXPECT_EQ(Field(tm, "portType"), R"("TCP/IP")");
    EXPECT_EQ(Field(tm, "portSettings"), R"("127.0.0.1,9100")");
    EXPECT_EQ(Field(tm, "codePage"), R"("437")");
    EXPECT_EQ(Field(tm, "logicalNames"), R"(["FrontDesk","Receipt"])");
    const auto& spare = parsed.objects[2];
    EXPECT_EQ(Field(spare, "kind"), R"("drawer")");
    EXPECT_EQ(Field(spare, "entry"), R"("Spare")");
    EXPECT_EQ(Field(spare, "printer"), R"("Gone")");
    EXPECT_EQ(Field(spare, "printerConfigured"), "false");
    EXPECT_EQ(Field(spare, "drawerPin"), R"("5")");
    const auto& till = parsed.objects[3];
    EXPECT_EQ(Field(till, "printer"), R"("TM-T88IV")");
    EXPECT_EQ(Field(till, "printerConfigured"), "true");
    EXPECT_EQ(Field(till, "logicalNames"), R"(["CashDrawer1"])");
    EXPECT_EQ(r.err, "quvo devices: logical name Old leads to Removed, which is not a configured printer\n");
}

// Catches stored text that breaks the line: quotes, a backslash, a line break and an unpaired
// surrogate (a hex(1) value can hold one) must come out as valid JSON; a missing value is null.
TEST_F(ToolDevicesTest, JsonSurvivesHostileValues) {
    Import(
        LR"([HKEY_LOCAL_MACHINE\SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter\Odd "One"]
"DriverModel"=hex(1):22,00,5c,00,0a,00,00,d8,41,00,00,00
"PortType"="say \"hi\" \\ there"
)");
    const auto r = RunQuvo({"devices", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto parsed = ParseJsonLines(r.out);
    ASSERT_EQ(parsed.error, "") << r.out;
    ASSERT_EQ(parsed.objects.size(), 1u) << r.out;
    EXPECT_EQ(Field(parsed.objects[0], "entry"), R"("Odd \"One\"")");
    EXPECT_EQ(Field(parsed.objects[0], "model"), R"("\"\\\n\ufffdA")");
    EXPECT_EQ(Field(parsed.objects[0], "portType"), R"("say \"hi\" \\ there")");
    EXPECT_EQ(Field(parsed.objects[0], "portSettings"), "null");
}

// Catches an empty configuration printed as text in JSON mode, and a misspelt option taken
// as the listing instead of a usage error.
TEST_F(ToolDevicesTest, JsonEmptyStorePrintsNothingAndOptionsAreChecked) {
    auto r = RunQuvo({"devices", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");

    r = RunQuvo({"devices", "--jsn"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("unknown option '--jsn'"), std::string::npos) << r.err;
    r = RunQuvo({"devices", "--json", "extra"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unexpected argument 'extra'"), std::string::npos) << r.err;
    r = RunQuvo({"devices", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--json"), std::string::npos) << r.out;
}

}  // namespace
