// Tests of .reg import and export through the store, with the sample printer entry.
#include "platform/registry/Registry.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::ReadBytes;
using Testing::WriteBytes;

const std::string kSample = std::string(QUVO_SAMPLES_DIR) + "/printer-entry.reg";
const std::wstring kServiceOpos = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";

class RegistryImportTest : public Testing::TempRegistry {};

// The sample is what an administrator brings from Windows: every value the service object
// reads must arrive as REG_SZ, with the ProgID as default value and the logical names in the
// class keys.
TEST_F(RegistryImportTest, SampleFromRegeditGivesCompleteEntries) {
    ASSERT_EQ(ReadBytes(kSample).substr(0, 2), "\xFF\xFE");
    const Status s = ImportFile(kSample);
    ASSERT_TRUE(s.ok()) << s.message;

    Key printer;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, kServiceOpos + L"\\POSPrinter\\RX4270_01", printer).ok());
    for (const wchar_t* name : {L"PortType", L"DriverModel", L"DriverName", L"PortSettings", L"OutputBufSize",
                                L"BitMapMode", L"WriteTimeout", L"ReadTimeout", L"CodepageID", L"DeviceDescription",
                                L"Notes", L"InputBufSize"})
        EXPECT_TRUE(printer.GetString(name).has_value()) << std::string(name, name + wcslen(name));
    EXPECT_EQ(printer.GetString(L""), L"QUVOOposPrinterU1.13");
    EXPECT_EQ(printer.GetString(L"PortType"), L"TCP/IP");

    Key drawer;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, kServiceOpos + L"\\CashDrawer\\RX4270_01_01", drawer).ok());
    for (const wchar_t* name : {L"OpenVoltage", L"CapDrawStatus", L"DrawerPin", L"PrinterName", L"SignalOffTime",
                                L"SignalOnTime", L"WaitForDrawerCloseTimeOut", L"CashDrawerName"})
        EXPECT_TRUE(drawer.GetString(name).has_value()) << std::string(name, name + wcslen(name));
    EXPECT_EQ(drawer.GetString(L"PrinterName"), L"RX4270_01");

    Key printerClass;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, kServiceOpos + L"\\POSPrinter", printerClass).ok());
    EXPECT_EQ(printerClass.GetString(L"RX4270_01"), L"RX4270_01");

    // Values of other types that a printer entry may carry besides its strings.
    Value v;
    ASSERT_TRUE(printer.QueryValue(L"ImageRoot", v).ok());
    EXPECT_EQ(v, Value::ExpandString(L"%ProgramData%\\QUVO\\Logo"));
    ASSERT_TRUE(printer.QueryValue(L"SettingsRevision", v).ok());
    EXPECT_EQ(v, Value::DWord(13));
}

// Export then import into an empty store gives the same registry, in both encodings; the
// second export must equal the first byte for byte.
TEST_F(RegistryImportTest, ExportThenImportIsIdentity) {
    ASSERT_TRUE(ImportFile(kSample).ok());
    Key key;
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\OLEforRetail\\Odd", key).ok());
    ASSERT_TRUE(key.SetValue(L"lines", Value::String(L"a\nb")).ok());
    ASSERT_TRUE(key.SetValue(L"multi", Value::MultiString({L"x", L"", L"\u00e9"})).ok());
    ASSERT_TRUE(key.SetValue(L"big", Value::Binary(std::vector<uint8_t>(300, 0x5a))).ok());

    for (bool utf16 : {false, true}) {
        const std::string first = (root_ / (utf16 ? "a16.reg" : "a8.reg")).string();
        ASSERT_TRUE(ExportFile(Hive::LocalMachine, L"software\\oleforretail", first, utf16).ok());
        EXPECT_NE(ReadBytes(first).find(utf16 ? std::string("O\0L\0E\0f\0o\0r\0R\0", 14) : "OLEforRetail"),
                  std::string::npos)
            << "stored spelling in the section names";

        setenv("QUVO_REGISTRY_DIR", (root_ / (utf16 ? "second16" : "second8")).c_str(), 1);
        const Status s = ImportFile(first);
        ASSERT_TRUE(s.ok()) << s.message;
        const std::string second = (root_ / (utf16 ? "b16.reg" : "b8.reg")).string();
        ASSERT_TRUE(ExportFile(Hive::LocalMachine, L"SOFTWARE\\OLEforRetail", second, utf16).ok());
        EXPECT_EQ(ReadBytes(first), ReadBytes(second));
        setenv("QUVO_REGISTRY_DIR", dir_.c_str(), 1);
    }
}

// A file that does not parse changes nothing, not even the part before the damage.
TEST_F(RegistryImportTest, BadFileImportsNothing) {
    const std::string file = (root_ / "bad.reg").string();
    WriteBytes(file, "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\A]\n\"ok\"=\"1\"\n\"bad\"=dword:xyz\n");
    const Status s = ImportFile(file);
    EXPECT_EQ(s.error, Error::Corrupt);
    EXPECT_NE(s.message.find(file + ":5:"), std::string::npos) << s.message;
    EXPECT_FALSE(std::filesystem::exists(HklmFile()));

    const Status missing = ImportFile((root_ / "absent.reg").string());
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.message.find("absent.reg"), std::string::npos);
}

// One file may touch all three roots; HKCR entries go to HKLM\SOFTWARE\Classes unless the
// key is registered per user only; a deletion through HKCR clears both hives.
TEST_F(RegistryImportTest, ImportRoutesEveryRoot) {
    Key user;
    ASSERT_TRUE(Key::Create(Hive::CurrentUser, L"Software\\Classes\\Mine", user).ok());
    ASSERT_TRUE(Key::Create(Hive::CurrentUser, L"Software\\Classes\\Both", user).ok());
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Classes\\Both", user).ok());
    const std::string file = (root_ / "roots.reg").string();
    WriteBytes(file,
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_CLASSES_ROOT\\QUVOOposPrinterU1.13]\n@=\"QUVOOposPrinterSO Class\"\n\n"
               "[HKCR\\Mine]\n\"v\"=\"user\"\n\n"
               "[HKEY_CURRENT_USER\\Software\\QUVO]\n\"Lang\"=\"en\"\n\n"
               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing]\n"
               "[-HKEY_CLASSES_ROOT\\Both]\n");
    const Status s = ImportFile(file);
    ASSERT_TRUE(s.ok()) << s.message;
    Key key;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, L"SOFTWARE\\Classes\\QUVOOposPrinterU1.13", key).ok());
    ASSERT_TRUE(Key::Open(Hive::CurrentUser, L"Software\\Classes\\Mine", key).ok());
    EXPECT_EQ(key.GetString(L"v"), L"user");
    ASSERT_TRUE(Key::Open(Hive::CurrentUser, L"Software\\QUVO", key).ok());
    EXPECT_EQ(key.GetString(L"Lang"), L"en");
    EXPECT_EQ(Key::Open(Hive::ClassesRoot, L"Both", key).error, Error::NotFound);
}

}  // namespace
}  // namespace QVO::Platform::Registry
