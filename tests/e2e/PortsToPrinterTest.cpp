// Every port type against the virtual printer on the matching link: the bytes the builder
// made arrive whole, and the printer's status answer comes back through the same port.
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/PrinterBuffer.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using QVO::IO::IPort;
using QVO::IO::PortEnvironment;
using QVO::Printer::CCmdHelperBase;
using QVO::Printer::PrinterBuffer;
using QVO::Printer::tagPrinterStatus;
using QVO::Sim::VirtualPrinter;

using QVO::Test::WaitUntil;

class E2ePortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "quvo-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ / "dosdevices");
        env_.dosDevicesDir = (dir_ / "dosdevices").string();
        env_.lockDir = (dir_ / "locks").string();
        fs::create_directories(env_.lockDir);
        env_.sysfsRoot = (dir_ / "usb" / "sys").string();
        env_.devRoot = (dir_ / "usb" / "dev").string();
    }
    void TearDown() override {
        port_.reset();
        if (server_) server_->Stop();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    void Start(std::unique_ptr<QVO::Sim::LinkServer> server) {
        server_ = std::move(server);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }

    void OpenPort(const wchar_t* type, const std::wstring& settingsText, const wchar_t* model = L"TM-T88IV") {
        QVO::IO::ParsedPortSettings parsed = QVO::IO::ParsePortSettings(type, settingsText.c_str());
        ASSERT_TRUE(parsed) << parsed.code << ": " << parsed.message;
        QVO::IO::ApplyUsbModel(*parsed.settings, model);
        port_ = QVO::IO::CreatePort(*parsed.settings, env_);
        ASSERT_EQ(port_->Open(), 1) << "errno " << port_->GetSystemError() << ": " << port_->GetLastErrorText();
    }

    // A short receipt through the port; the printer must have printed its line.
    void PrintAndCheck(const std::string& line) {
        PrinterBuffer b;
        cmd_.InitializePrinter(b);
        cmd_.SetJustification(b, 1);
        b.Append(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        cmd_.LineFeed(b);
        cmd_.FeedAndPartialCut(b);
        ASSERT_EQ(port_->Write(b.Data(), 0, static_cast<int32_t>(b.Size())), 1);
        const std::string expected = "text \"" + line + "\"";
        EXPECT_TRUE(WaitUntil([&] {
            const auto trace = printer_.Trace();
            return std::find(trace.begin(), trace.end(), expected) != trace.end();
        })) << "the printer never printed "
            << expected;
    }

    // DLE EOT 2 through the port, its one-byte answer decoded by the builder's parser.
    void ExpectCoverReported(bool open) {
        printer_.SetCoverOpen(open);
        PrinterBuffer ask;
        cmd_.RequestRealTimeStatus(ask, 2);
        ASSERT_EQ(port_->Write(ask.Data(), 0, static_cast<int32_t>(ask.Size())), 1);
        uint8_t reply = 0;
        int32_t got = 0;
        ASSERT_TRUE(WaitUntil([&] {
            int32_t n = 0;
            port_->Read(&reply, 0, 1, n, 0);
            got += n;
            return got == 1;
        })) << "no status answer";
        tagPrinterStatus status;
        ASSERT_TRUE(cmd_.ParseOfflineStatusByte(reply, &status)) << int(reply);
        EXPECT_EQ(status.coverOpen != 0, open);
    }

    fs::path dir_;
    PortEnvironment env_;
    VirtualPrinter printer_;
    std::unique_ptr<QVO::Sim::LinkServer> server_;
    std::unique_ptr<IPort> port_;
    CCmdHelperBase cmd_;
};

// Catches a serial port that cannot reach a tty through the dos-devices mapping, or loses
// bytes or the reply on a raw line.
TEST_F(E2ePortsTest, SerialPortThroughComMappingToPtyPrinter) {
    auto pty = std::make_unique<QVO::Sim::PtyServer>(printer_);
    auto* raw = pty.get();
    Start(std::move(pty));
    fs::create_symlink(raw->SlavePath(), dir_ / "dosdevices" / "com7");
    OpenPort(L"COM", L"COM7,BaudRate_19200");
    PrintAndCheck("Serial receipt");
    ExpectCoverReported(true);
    ExpectCoverReported(false);
}

// The parallel port on a line whose status cannot be queried still prints and reads.
TEST_F(E2ePortsTest, ParallelPortThroughLptMappingToPtyPrinter) {
    auto pty = std::make_unique<QVO::Sim::PtyServer>(printer_);
    auto* raw = pty.get();
    Start(std::move(pty));
    fs::create_symlink(raw->SlavePath(), dir_ / "dosdevices" / "lpt2");
    OpenPort(L"LPT", L"LPT2");
    PrintAndCheck("Parallel receipt");
    ExpectCoverReported(true);
}

// Catches a disagreement between the USB port's sysfs walk and a real device tree layout:
// the model's hardware ID must find the printer node and the bytes must reach it.
TEST_F(E2ePortsTest, UsbPortFindsTheVirtualPrinterByModel) {
    Start(std::make_unique<QVO::Sim::UsbServer>(printer_, (dir_ / "usb").string()));
    OpenPort(L"USB", L"", L"TM-T88IV");
    EXPECT_EQ(port_->IsUsbLptDevice(), 0);
    PrintAndCheck("USB receipt");
    ExpectCoverReported(true);
}

TEST_F(E2ePortsTest, TcpPortToNetworkPrinter) {
    auto tcp = std::make_unique<QVO::Sim::TcpServer>(printer_, 0);
    auto* raw = tcp.get();
    Start(std::move(tcp));
    OpenPort(L"TCP/IP", L"127.0.0.1," + std::to_wstring(raw->Port()));
    PrintAndCheck("Network receipt");
    ExpectCoverReported(true);
    ExpectCoverReported(false);
}

// The file pair: what the port writes to the output file is printed; the answer the
// printer appends to the input file is what the port reads.
TEST_F(E2ePortsTest, FilePortToFilePairPrinter) {
    const std::string out = (dir_ / "to-printer.bin").string(), in = (dir_ / "from-printer.bin").string();
    {
        FILE* f = std::fopen(out.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    Start(std::make_unique<QVO::Sim::FilePairServer>(printer_, out, in));
    OpenPort(L"FILE", std::wstring(out.begin(), out.end()) + L"," + std::wstring(in.begin(), in.end()));
    PrintAndCheck("File receipt");
    ExpectCoverReported(true);
}

}  // namespace
