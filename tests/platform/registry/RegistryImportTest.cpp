// Tests of .reg import and export through the store, with the sample printer entry.
#include "platform/registry/Registry.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::ReadBytes;
using Testing::WriteBytes;

const std::string kSample = std::string(QUVO_SAMPLES_DIR) + "/printer-entry.reg";
const std::wstring kServiceOpos = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";

class RegistryImportTest : public Testing::TempRegistry {
protected:
    // No temporary file of an abandoned change may stay beside the hives.
    void ExpectNoTemporaries(const std::string& label) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir_, ec))
            EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos)
                << label << ": " << entry.path();
    }
};

// The sample is what an administrator brings from Windows: every value the service object
// reads must arrive as REG_SZ, with the ProgID as default value and the logical names in the
// class keys.
TEST_F(RegistryImportTest, SampleFromRegeditGivesCompleteEntries) {
    ASSERT_EQ(ReadBytes(kSample).substr(0, 2), "\xFF\xFE");
    const Status s = ImportFile(kSample);
    ASSERT_TRUE(s.ok()) << s.message;

    Key printer;
    ASSERT_TRUE(Key::Open(Hive::LocalMachine, kServiceOpos + L"\\POSPrinter\\RX4270_01", printer).ok());
    for (const wchar_t* name :
         {L"PortType", L"DriverModel", L"DriverName", L"PortSettings", L"OutputBufSize", L"BitMapMode", L"WriteTimeout",
          L"ReadTimeout", L"CodepageID", L"DeviceDescription", L"Notes", L"InputBufSize"})
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

// Only a regular file is imported, and one of at most 64 MB: a folder once crashed the tool
// with an uncaught stream exception, a FIFO blocked it forever, /dev/zero was read until
// memory ran out. Each is refused at once, before anything is read.
TEST_F(RegistryImportTest, OnlyRegularFilesOfBoundedSizeAreImported) {
    const std::string fifo = (root_ / "fifo.reg").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = (root_ / "big.reg").string();
    WriteBytes(big, "");
    std::filesystem::resize_file(big, (64u << 20) + 1);  // sparse: costs no disk
    const struct {
        std::string file;
        const char* refusal;
    } cases[] = {
        {root_.string(), "not a regular file (a folder)"},
        {fifo, "not a regular file (a FIFO)"},
        {"/dev/null", "not a regular file (a character device)"},
        {big, "larger than 64 MB"},
    };
    for (const auto& c : cases) {
        const int rc = Testing::RunInChild([&] {
            const Status s = ImportFile(c.file);
            if (s.ok()) return 1;
            return s.message.rfind("cannot read " + c.file + ": " + c.refusal, 0) == 0 ? 0 : 2;
        });
        EXPECT_EQ(rc, 0) << c.file << ": 1 imported, 2 other message, -1 blocked";
    }
    EXPECT_FALSE(std::filesystem::exists(dir_));
}

// An import touching HKLM and HKCU applies to both or to neither. Each way its HKCU half can
// fail (the hive cannot be read, its lock cannot be taken, its new file cannot be written)
// must leave HKLM as it was; once HKLM was already written when HKCU failed. These fail for
// root too, which permission bits would not.
TEST_F(RegistryImportTest, FailedImportChangesNoHive) {
    const std::string file = (root_ / "both.reg").string();
    std::string big = "\"Big\"=hex:00";
    for (int i = 0; i < 20000; ++i) big += ",5a";
    WriteBytes(file,
               "Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Imported]\n\"v\"=\"machine\"\n\n"
               "[HKEY_CURRENT_USER\\Software\\Imported]\n" +
                   big + "\n");
    const struct {
        const char* label;
        std::function<void()> breakUserHive;
        rlim_t fileSizeLimit;  // RLIMIT_FSIZE of the importing process; 0: none
    } cases[] = {
        {"HKCU hive is a folder", [&] { std::filesystem::create_directories(HkcuFile()); }, 0},
        {"HKCU lock file is a folder", [&] { std::filesystem::create_directories(dir_ / "HKCU.reg.lock"); }, 0},
        {"HKCU file larger than the process may write", [] {}, 16384},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir_);
        Key before;
        ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Before", before).ok());
        const std::string machine = ReadBytes(HklmFile());
        c.breakUserHive();
        const int rc = Testing::RunInChild([&] {
            if (c.fileSizeLimit) {
                signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
                const rlimit limit{c.fileSizeLimit, c.fileSizeLimit};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            }
            const Status s = ImportFile(file);
            return s.ok() ? 1 : (s.message.find("HKCU.reg") != std::string::npos ? 0 : 2);
        });
        EXPECT_EQ(rc, 0) << c.label << ": 1 imported, 2 message without the HKCU file";
        EXPECT_EQ(ReadBytes(HklmFile()), machine) << c.label;
        ExpectNoTemporaries(c.label);
    }
    // With nothing broken the same file goes in whole.
    std::filesystem::remove_all(dir_);
    ASSERT_TRUE(ImportFile(file).ok());
    Key key;
    EXPECT_TRUE(Key::Open(Hive::LocalMachine, L"SOFTWARE\\Imported", key).ok());
    EXPECT_TRUE(Key::Open(Hive::CurrentUser, L"Software\\Imported", key).ok());
}

// Deleting through HKCR takes a key or value from both hives or from neither; once the HKCU
// half was gone when writing HKLM failed.
TEST_F(RegistryImportTest, ClassesRootDeletionIsAllOrNothing) {
    Key user;
    ASSERT_TRUE(Key::Create(Hive::CurrentUser, L"Software\\Classes\\Both", user).ok());
    ASSERT_TRUE(user.SetValue(L"v", Value::DWord(1)).ok());
    Key machine;
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Classes\\Both", machine).ok());
    ASSERT_TRUE(machine.SetValue(L"v", Value::DWord(2)).ok());
    Key kept;  // keeps the new HKLM file larger than the limit below, whatever is deleted
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Kept", kept).ok());
    ASSERT_TRUE(kept.SetValue(L"Big", Value::Binary(std::vector<uint8_t>(20000, 0x5a))).ok());
    const std::string userBytes = ReadBytes(HkcuFile());
    const std::string machineBytes = ReadBytes(HklmFile());
    const std::function<Status()> deletions[] = {
        [] { return Key::DeleteTree(Hive::ClassesRoot, L"Both"); },
        [] {
            Key both;
            const Status s = Key::Open(Hive::ClassesRoot, L"Both", both);
            return s.ok() ? both.DeleteValue(L"v") : s;
        },
    };
    for (const auto& deletion : deletions) {
        const int rc = Testing::RunInChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16384, 16384};  // room for the new HKCU file, not for HKLM's
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            return deletion().ok() ? 1 : 0;
        });
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(ReadBytes(HkcuFile()), userBytes);
        EXPECT_EQ(ReadBytes(HklmFile()), machineBytes);
        ExpectNoTemporaries("HKCR deletion");
    }
}

}  // namespace
}  // namespace QVO::Platform::Registry
