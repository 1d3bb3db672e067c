// The fixture of the drawer and check command tests: the service object registered in a fresh
// store, a virtual TM-T88IV on a loopback port with a printer entry, a drawer entry and logical
// names, and a run of quvo with text on its standard input.
#pragma once

#include <memory>
#include <string>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "tests/tools/ToolStore.h"

namespace QVO::Test {

inline const std::wstring kToolServiceOpos = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

// Runs `quvo args...` with `input` as its standard input and waits for it to end.
inline ToolResult RunQuvoWithInput(std::vector<std::string> args, const std::string& input) {
    TempDir dir;
    const std::string in = (dir.Path() / "in").string(), out = (dir.Path() / "out").string(),
                      err = (dir.Path() / "err").string();
    std::ofstream(in) << input;
    args.insert(args.begin(), QUVO_BIN);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv = ArgvOf(args);
    pid_t pid = -1;
    ToolResult result;
    if (posix_spawn(&pid, QUVO_BIN, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        result.exitCode = ExitCodeOf(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// Printer entry "TM-T88IV" (logical name "Receipt") and drawer entry "Till" (logical name
// "Front", pin 2, pulse 100/100, close time-out `closeTimeoutMs`) on the virtual printer.
class DeviceToolTest : public ToolStoreTest {
protected:
    void SetUp() override {
        ToolStoreTest::SetUp();
        server_ = std::make_unique<Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        const auto r = RunQuvo({"register"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ImportDevices(L"3000");
    }
    void TearDown() override {
        if (server_) server_->Stop();
    }

    void ImportDevices(const std::wstring& closeTimeoutMs) {
        Import(kToolServiceOpos +
               L"POSPrinter\\TM-T88IV]\n@=\"QUVOOposPrinterU1.13\"\n\"PortType\"=\"TCP/IP\"\n"
               L"\"DriverModel\"=\"TM-T88IV\"\n\"DriverName\"=\"TM-T88IV\"\n\"PortSettings\"=\"127.0.0.1," +
               std::to_wstring(server_->Port()) +
               L"\"\n\"OutputBufSize\"=\"4096\"\n\"BitMapMode\"=\"0\"\n\"WriteTimeout\"=\"1000\"\n"
               L"\"ReadTimeout\"=\"1000\"\n\"CodepageID\"=\"437\"\n\"DeviceDescription\"=\"Virtual\"\n"
               L"\"Notes\"=\"\"\n\n" +
               kToolServiceOpos + L"POSPrinter]\n\"Receipt\"=\"TM-T88IV\"\n\n" + kToolServiceOpos +
               L"CashDrawer\\Till]\n@=\"QUVOOposPrinterU1.13\"\n\"OpenVoltage\"=\"1\"\n\"CapDrawStatus\"=\"1\"\n"
               L"\"DrawerPin\"=\"2\"\n\"PrinterName\"=\"TM-T88IV\"\n\"SignalOffTime\"=\"100\"\n"
               L"\"SignalOnTime\"=\"100\"\n\"WaitForDrawerCloseTimeOut\"=\"" +
               closeTimeoutMs + L"\"\n\"CashDrawerName\"=\"Till\"\n\n" + kToolServiceOpos +
               L"CashDrawer]\n\"Front\"=\"Till\"\n");
    }

    size_t TraceCount(const std::string& entry) const {
        size_t n = 0;
        for (const std::string& e : printer_.Trace()) n += e == entry ? 1 : 0;
        return n;
    }

    size_t TraceWithPrefix(const std::string& prefix) const {
        size_t n = 0;
        for (const std::string& e : printer_.Trace()) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity::ForModel("TM-T88IV")};
    std::unique_ptr<Sim::TcpServer> server_;
};

}  // namespace QVO::Test
