// `quvo register` against in-process servers: what it writes per machine and per user, that a
// client can then create by ProgID, that it removes only its own scope, and its failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/com/ComBase.h"
#include "platform/com/ComPtr.h"
#include "tests/platform/com/TestServerIds.h"
#include "tests/tools/ToolStore.h"

namespace {

using QVO::Test::RunQuvo;
namespace Reg = QVO::Platform::Registry;
namespace fs = std::filesystem;

const std::wstring kEchoClsid = QVO::Platform::Com::GuidToString(QVO::Test::CLSID_TestEcho);
const std::wstring kMachineClsids = L"SOFTWARE\\Classes\\CLSID\\";
const std::wstring kUserClsids = L"Software\\Classes\\CLSID\\";

// The path a server registers for itself: its resolved file name.
std::wstring Canonical(const char* path) {
    std::wstring wide;
    size_t bad = 0;
    Reg::Text::DecodeUtf8(fs::canonical(path).string(), wide, bad);
    return wide;
}

bool ProgIdResolves(const wchar_t* progId, const CLSID& expected) {
    CLSID clsid{};
    return SUCCEEDED(CLSIDFromProgID(progId, &clsid)) && clsid == expected;
}

class ToolRegisterTest : public QVO::Test::ToolStoreTest {
protected:
    std::optional<std::wstring> ServerPath(Reg::Hive hive, const std::wstring& clsids, const std::wstring& clsid) {
        return StringAt(hive, clsids + clsid + L"\\InprocServer32");
    }
};

// Catches a register command that calls the wrong export, writes into the wrong hive, reports
// a class it did not register, or whose unregister leaves the keys (or the ProgID) behind.
TEST_F(ToolRegisterTest, PerMachineRegistrationIsWrittenFoundAndRemoved) {
    auto r = RunQuvo({"register", "--library", QUVO_TEST_SERVER});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "registered QuvoTest.Echo.3 per machine in " + HivePath("HKLM.reg") + "\n");
    EXPECT_EQ(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, kEchoClsid), Canonical(QUVO_TEST_SERVER));
    EXPECT_FALSE(ServerPath(Reg::Hive::CurrentUser, kUserClsids, kEchoClsid)) << "written per user as well";
    EXPECT_TRUE(ProgIdResolves(QVO::Test::kTestEchoVersionIndependentProgId, QVO::Test::CLSID_TestEcho));

    r = RunQuvo({"register", "--unregister", "--library", QUVO_TEST_SERVER});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "unregistered QuvoTest.Echo.3 per machine from " + HivePath("HKLM.reg") + "\n");
    EXPECT_FALSE(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, kEchoClsid));
    EXPECT_FALSE(ProgIdResolves(QVO::Test::kTestEchoProgId, QVO::Test::CLSID_TestEcho));

    // Nothing left to remove is not a failure, and it says so.
    r = RunQuvo({"register", "--unregister", "--library", QUVO_TEST_SERVER});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("nothing of"), std::string::npos) << r.out;
}

// Catches --user going to the machine's hive, and a per-user unregister that takes away the
// per-machine registration too.
TEST_F(ToolRegisterTest, PerUserRegistrationStaysInTheUserHive) {
    ASSERT_EQ(RunQuvo({"register", "--library", QUVO_TEST_SERVER}).exitCode, 0);
    auto r = RunQuvo({"register", "--user", "--library", QUVO_TEST_SERVER});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "registered QuvoTest.Echo.3 per user in " + HivePath("HKCU.reg") + "\n");
    EXPECT_EQ(ServerPath(Reg::Hive::CurrentUser, kUserClsids, kEchoClsid), Canonical(QUVO_TEST_SERVER));

    r = RunQuvo({"register", "--user", "--unregister", "--library", QUVO_TEST_SERVER});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "unregistered QuvoTest.Echo.3 per user from " + HivePath("HKCU.reg") + "\n");
    EXPECT_FALSE(ServerPath(Reg::Hive::CurrentUser, kUserClsids, kEchoClsid));
    EXPECT_TRUE(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, kEchoClsid)) << "per-machine keys went too";
    EXPECT_TRUE(ProgIdResolves(QVO::Test::kTestEchoProgId, QVO::Test::CLSID_TestEcho));
}

// Catches failures reported as success: a library that is not there or not a server, a
// store that cannot be written (the HRESULT must be shown), and a server that answers
// success without registering anything.
TEST_F(ToolRegisterTest, FailuresNameTheirCause) {
    auto r = RunQuvo({"register", "--library", (registry_.Path() / "none.so").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no library file at"), std::string::npos) << r.err;

    r = RunQuvo({"register", "--library", QUVO_FAKE_SO});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("exports no DllRegisterServer"), std::string::npos) << r.err;

    r = RunQuvo({"register", "--library", QUVO_SILENT_SERVER});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("answered success but no class"), std::string::npos) << r.err;
    r = RunQuvo({"register", "--user", "--library", QUVO_SILENT_SERVER});
    EXPECT_EQ(r.exitCode, 1) << r.out;

    // A folder where the hive's lock file goes: the store reads but cannot be changed.
    fs::create_directory(registry_.Path() / "HKLM.reg.lock");
    r = RunQuvo({"register", "--library", QUVO_TEST_SERVER});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("failed with HRESULT 0x80040201"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// Catches a bare file name handed to dlopen as it stands: dlopen would search the system's
// library folders for it and load another library of that name, or none.
TEST_F(ToolRegisterTest, LibraryIsTheFileNamedRelativeToTheCurrentFolder) {
    const fs::path copy = registry_.Path() / "libecho.so";
    fs::copy_file(QUVO_TEST_SERVER, copy);
    auto r = RunQuvo({"register", "--library", "libecho.so"}, registry_.Path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, kEchoClsid), Canonical(copy.c_str()));
    r = RunQuvo({"register", "--unregister", "--library", "libecho.so"}, registry_.Path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, kEchoClsid));
}

// The library this build makes: the default of the command, found by its ProgIDs.
TEST_F(ToolRegisterTest, ServiceObjectRegistersItsProgIds) {
#ifndef QUVO_SO_BUILT
    GTEST_SKIP() << "the service object library is not part of this build";
#else
    auto r = RunQuvo({"register"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "registered QUVOOposPrinterU1.13 per machine in " + HivePath("HKLM.reg") + "\n");
    CLSID clsid{};
    ASSERT_TRUE(SUCCEEDED(CLSIDFromProgID(L"QUVOOposPrinterU1", &clsid)));
    EXPECT_TRUE(ProgIdResolves(L"QUVOOposPrinterU1.13", clsid));
    const std::wstring text = QVO::Platform::Com::GuidToString(clsid);
    EXPECT_EQ(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, text), Canonical(QUVO_SO_BUILT));

    r = RunQuvo({"register", "--unregister"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(ServerPath(Reg::Hive::LocalMachine, kMachineClsids, text));
#endif
}

// Every subcommand of this area: help is no error, a bad command line is exit 2 with usage.
TEST(ToolCommandLineTest, HelpAndBadOptions) {
    for (const char* command : {"register", "devices", "status"}) {
        auto r = RunQuvo({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: quvo ") + command, 0), 0u) << r.out;
    }
    const std::vector<std::vector<std::string>> bad = {
        {"register", "--bogus"},
        {"register", "--library"},
        {"register", "extra"},
        {"devices", "--all"},
        {"devices", "extra"},
        {"status"},
        {"status", "A", "B"},
        {"status", "A", "--timeout"},
        {"status", "A", "--timeout", "-2"},
        {"status", "A", "--timeout", "5x"},
        {"status", "A", "--timeout", "99999999999"},
        {"status", "A", "--bogus"},
    };
    for (const auto& args : bad) {
        auto r = RunQuvo(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("Usage: quvo " + args[0]), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
