// The rule every port keeps: it is open exactly while it holds a valid descriptor; a closed
// port, or one whose open failed, holds none and has leaked none.
#include <gtest/gtest.h>

#include <fcntl.h>

#include "PortTestSupport.h"
#include "so/io/FilePort.h"
#include "so/io/LPTPort.h"
#include "so/io/SerialPort.h"
#include "so/io/TCPIPPort.h"
#include "so/io/USBPort.h"

namespace QVO::IO {
namespace {

using Peers::OpenDescriptorCount;
using Peers::TempDir;

// A port with its descriptor in view.
template <class Port>
class Exposed : public Port {
public:
    using Port::Port;
    int Fd() const { return this->Descriptor(); }
};

template <class Port>
void ExpectRule(Exposed<Port>& port, const std::string& when) {
    const int fd = port.Fd();
    if (port.IsOpen()) {
        EXPECT_NE(::fcntl(fd, F_GETFD), -1) << when << ": open on a descriptor that is not open";
    } else {
        EXPECT_EQ(fd, -1) << when << ": a closed port holds a descriptor";
    }
}

// Open, reopen, close, close again: the rule after each step, the descriptor count back
// where it started once closed.
template <class Port>
void ExpectCycle(Exposed<Port>& port) {
    const size_t before = OpenDescriptorCount();
    ExpectRule(port, "new");
    EXPECT_EQ(port.IsOpen(), 0);
    ASSERT_EQ(port.Open(), 1);
    ExpectRule(port, "opened");
    EXPECT_EQ(port.IsOpen(), 1);
    const size_t held = OpenDescriptorCount();
    ASSERT_EQ(port.Open(), 1);
    ExpectRule(port, "reopened");
    EXPECT_EQ(OpenDescriptorCount(), held) << "reopening leaked a descriptor";
    port.Close();
    ExpectRule(port, "closed");
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(OpenDescriptorCount(), before) << "closing left a descriptor open";
    port.Close();
    ExpectRule(port, "closed twice");
}

// A failed open leaves the port closed and nothing open behind it.
template <class Port>
void ExpectFailedOpen(Exposed<Port>& port) {
    const size_t before = OpenDescriptorCount();
    EXPECT_EQ(port.Open(), 0);
    ExpectRule(port, "failed open");
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_EQ(OpenDescriptorCount(), before) << "a failed open left a descriptor open";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

TEST(PortLifecycleTest, SerialAndParallel) {
    Peers::PtyPair pty;
    pty.HoldSlaveRaw();
    SerialPortSettings serial;
    serial.ParseSettings(Wide(pty.slavePath()).c_str());
    Exposed<SerialPort> serialPort(serial);
    ExpectCycle(serialPort);
    LPTPortSettings parallel;
    parallel.ParseSettings(Wide(pty.slavePath()).c_str());
    Exposed<LPTPort> parallelPort(parallel);
    ExpectCycle(parallelPort);

    ASSERT_EQ(serialPort.Open(), 1);
    Exposed<SerialPort> busy(serial);
    ExpectFailedOpen(busy);
    serial.ParseSettings(L"/nonexistent/tty");
    Exposed<SerialPort> missing(serial);
    ExpectFailedOpen(missing);
}

TEST(PortLifecycleTest, UsbAndFile) {
    Peers::PtyPair pty;
    pty.HoldSlaveRaw();
    TempDir dir;
    PortEnvironment env;
    env.sysfsRoot = dir / "sys";
    env.devRoot = dir / "dev";
    const std::string device = env.sysfsRoot + "/bus/usb/devices/1-1";
    Peers::WriteTextFile(device + "/idVendor", "3f1d\n");
    Peers::WriteTextFile(device + "/idProduct", "0e01\n");
    Peers::WriteTextFile(device + "/bcdDevice", "0100\n");
    std::filesystem::create_directories(device + ":1.0/usbmisc/lp0");
    std::filesystem::create_directories(env.devRoot + "/usb");
    std::filesystem::create_symlink(pty.slavePath(), env.devRoot + "/usb/lp0");
    Exposed<USBPort> usb(USBPortSettings(), env);
    ExpectCycle(usb);
    PortEnvironment empty = env;
    empty.sysfsRoot = dir / "nothing";
    Exposed<USBPort> absent(USBPortSettings(), empty);
    ExpectFailedOpen(absent);

    Peers::WriteTextFile(dir / "out", "");
    Peers::WriteTextFile(dir / "in", "");
    FilePortSettings files;
    files.ParseSettings(Wide(dir / "out" + "," + dir / "in").c_str());
    Exposed<FilePort> file(files);
    ExpectCycle(file);
    files.ParseSettings(Wide(dir / "none").c_str());
    Exposed<FilePort> noOutput(files);
    ExpectFailedOpen(noOutput);
}

// The network port holds its socket while open, connected or not: after a reconnect that
// failed it is still open (the next write tries again) and still holds a real descriptor.
TEST(PortLifecycleTest, Network) {
    TempDir dir;
    PortEnvironment env;
    env.lockDir = dir / "locks";
    auto printer = std::make_unique<Peers::LoopbackPrinter>();
    TCPIPPortSettings settings;
    settings.ParseSettings((L"127.0.0.1," + std::to_wstring(printer->port())).c_str());
    Exposed<TCPIPPort> port(settings, env);
    ExpectCycle(port);

    ASSERT_EQ(port.Open(), 1);
    {
        Platform::UniqueFd conn = printer->Accept();
        printer.reset();
    }
    ASSERT_TRUE(Peers::WaitUntil([&] { return port.PeerHasClosed(); }));
    const uint8_t byte = 0x10;
    EXPECT_EQ(port.Write(&byte, 0, 1), 0);
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.IsOpen(), 1);
    ExpectRule(port, "after a failed reconnect");
    port.Close();
    ExpectRule(port, "closed after a failed reconnect");

    settings.ParseSettings((L"127.0.0.1," + std::to_wstring(Peers::UnusedPort())).c_str());
    Exposed<TCPIPPort> refused(settings, env);
    ExpectFailedOpen(refused);
}

}  // namespace
}  // namespace QVO::IO
