// Link tests: what a host sees over TCP, a pty, the fake USB node and the file pair,
// including each fault the printer can be told to show.
#include "sim/ControlChannel.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "platform/posix/PosixWait.h"
#include "platform/posix/UniqueFd.h"
#include "tests/sim/SimTestUtil.h"
#include "tests/support/WaitUntil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace QVO::Sim {
namespace {

using namespace std::chrono_literals;

// A host end of a link: reads with a time-out like the service object's port does.
class Host {
public:
    explicit Host(int fd) : fd_(fd) {}
    int fd() const { return fd_.get(); }
    void Send(const Bytes& b) { ASSERT_EQ(::write(fd(), b.data(), b.size()), ssize_t(b.size())); }
    // Reads until n bytes came or the time-out passed; eof reports a closed link.
    Bytes Read(size_t n, std::chrono::milliseconds timeout, bool* eof = nullptr) {
        Bytes out;
        bool closed = false;
        QVO::Test::WaitUntil(
            [&] {
                while (!closed && out.size() < n && QVO::Platform::WaitReady(fd(), POLLIN, 0) > 0) {
                    uint8_t buf[256];
                    const ssize_t r = ::read(fd(), buf, std::min(sizeof buf, n - out.size()));
                    if (r <= 0)
                        closed = true;
                    else
                        out.insert(out.end(), buf, buf + r);
                }
                return closed || out.size() >= n;
            },
            timeout);
        if (eof && closed) *eof = true;
        return out;
    }

private:
    QVO::Platform::UniqueFd fd_;
};

int ConnectTcp(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct TcpRig {
    VirtualPrinter printer;
    TcpServer server{printer, 0};
    TcpRig() {
        std::string error;
        EXPECT_TRUE(server.Start(&error)) << error;
    }
};

TEST(SimLink, TcpAnswersStatusAndCoverOpenShowsInRepliesAndAsb) {
    TcpRig rig;
    Host host(ConnectTcp(rig.server.Port()));
    host.Send(B({0x1D, 0x61, 0xFF}));
    EXPECT_EQ(host.Read(4, 2s), B({0x10, 0x00, 0x00, 0x00}));
    rig.printer.SetCoverOpen(true);
    EXPECT_EQ(host.Read(4, 2s), B({0x38, 0x00, 0x00, 0x00}));
    host.Send(B({0x10, 0x04, 0x02}));
    EXPECT_EQ(host.Read(1, 2s), B({0x16}));
}

// A muted printer gives the host nothing within its time-out, then answers again.
TEST(SimLink, MuteMeansNoAnswerWithinTheTimeout) {
    TcpRig rig;
    Host host(ConnectTcp(rig.server.Port()));
    rig.printer.SetMute(true);
    host.Send(B({0x10, 0x04, 0x01}));
    EXPECT_TRUE(host.Read(1, 200ms).empty());
    rig.printer.SetMute(false);
    host.Send(B({0x10, 0x04, 0x01}));
    EXPECT_EQ(host.Read(1, 2s), B({0x12}));
}

TEST(SimLink, DropClosesTheConnectionAndTheNextOneIsServed) {
    TcpRig rig;
    {
        Host host(ConnectTcp(rig.server.Port()));
        host.Send(B({0x10, 0x04, 0x01}));
        EXPECT_EQ(host.Read(1, 2s), B({0x12}));
        rig.printer.Drop();
        bool eof = false;
        host.Read(1, 2s, &eof);
        EXPECT_TRUE(eof);
    }
    Host again(ConnectTcp(rig.server.Port()));
    again.Send(B({0x10, 0x04, 0x01}));
    EXPECT_EQ(again.Read(1, 2s), B({0x12}));
}

TEST(SimLink, PowerCycleClosesTheConnectionAndResetsState) {
    TcpRig rig;
    Host host(ConnectTcp(rig.server.Port()));
    host.Send(B({0x1B, 0x61, 0x02, 0x10, 0x04, 0x01}));
    ASSERT_EQ(host.Read(1, 2s), B({0x12}));
    rig.printer.PowerCycle();
    bool eof = false;
    host.Read(1, 2s, &eof);
    EXPECT_TRUE(eof);
    EXPECT_EQ(rig.printer.State().justification, 0);
}

// A slow link delivers everything, in order; no timing is asserted.
TEST(SimLink, SlowLinkTricklesButLosesNothing) {
    TcpRig rig;
    rig.printer.SetRate(2000);
    Host host(ConnectTcp(rig.server.Port()));
    Bytes sent;
    for (int i = 0; i < 40; ++i) {
        const Bytes line = Cat({S("line " + std::to_string(i)), B({0x0A})});
        sent.insert(sent.end(), line.begin(), line.end());
    }
    sent = Cat({sent, B({0x1D, 0x49, 0x43, 0x1D, 0x49, 0x42})});
    host.Send(sent);
    EXPECT_EQ(host.Read(16, 5s), Cat({S("_TM-T88IV"), B({0}), S("_QUVO"), B({0})}));
    const auto trace = rig.printer.Trace();
    std::vector<std::string> lines;
    for (const auto& t : trace)
        if (t.rfind("text", 0) == 0) lines.push_back(t);
    ASSERT_EQ(lines.size(), 40u);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(lines[size_t(i)], "text \"line " + std::to_string(i) + "\"");
}

// Catches a rate set while the link waits being applied only after the next bytes were read:
// the printer then took a whole buffer at once, as fast as the host could send it.
TEST(SimLink, RateSetOnAnIdleLinkGovernsTheVeryNextBytes) {
    constexpr uint32_t kSlowRate = 100;
    constexpr size_t kTextBytes = 4000;  // forty seconds at that rate, in lines of 40
    TcpRig rig;
    Host host(ConnectTcp(rig.server.Port()));
    host.Send(B({0x10, 0x04, 0x01}));
    ASSERT_EQ(host.Read(1, 2s).size(), 1u);  // the link is up and waiting for more
    rig.printer.SetRate(kSlowRate);
    Bytes lines;
    while (lines.size() < kTextBytes) lines = Cat({lines, S(std::string(39, 'x')), B({0x0A})});
    host.Send(lines);
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(rig.printer.State().textBytes, kTextBytes / 2);
}

// Offline with a full receive buffer the printer stops reading (flow control) and, back
// online, prints everything: nothing is lost either way.
TEST(SimLink, OfflinePrinterStopsReadingAndLosesNothing) {
    TcpRig rig;
    rig.printer.SetOffline(true);
    rig.printer.SetReceiveBufferBytes(4096);
    Host host(ConnectTcp(rig.server.Port()));
    const size_t lines = 4 * 4096 / 64;
    Bytes data;
    for (size_t i = 0; i < lines; ++i) {
        data.insert(data.end(), 63, uint8_t('a' + i % 26));
        data.push_back(0x0A);
    }
    host.Send(data);
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return !rig.printer.AcceptsInput(); }));
    EXPECT_EQ(rig.printer.State().textBytes, 0u);
    rig.printer.SetOffline(false);
    EXPECT_TRUE(
        QVO::Test::WaitUntil([&] { return rig.printer.State().textBytes == lines * 63; }, std::chrono::seconds(30)))
        << rig.printer.State().textBytes;
}

TEST(SimLink, SingleShotServerFinishesWhenTheHostCloses) {
    VirtualPrinter printer;
    TcpServer server(printer, 0);
    server.set_singleShot(true);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    {
        Host host(ConnectTcp(server.Port()));
        host.Send(Cat({S("bye"), B({0x1B, 0x61})}));  // ends inside ESC a
    }
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return server.Finished(); }));
    const auto trace = printer.Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "ESC a (truncated)");
}

int OpenHostTty(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

TEST(SimLink, PtyServesTheSlaveAndTheLinkFollowsADrop) {
    const std::string dir = ::testing::TempDir() + "/simpty" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    VirtualPrinter printer;
    PtyServer server(printer, dir + "/printer");
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::string first = server.SlavePath();
    EXPECT_EQ(std::filesystem::read_symlink(dir + "/printer").string(), first);
    {
        Host host(OpenHostTty(dir + "/printer"));
        ASSERT_GE(host.fd(), 0);
        host.Send(B({0x1D, 0x72, 0x02, 0x1B, 0x70, 0x00, 0x10, 0x10, 0x1D, 0x72, 0x02}));
        EXPECT_EQ(host.Read(2, 2s), B({0x00, 0x01}));
    }
    printer.Drop();
    ASSERT_TRUE(QVO::Test::WaitUntil([&] { return server.SlavePath() != first; }));
    EXPECT_TRUE(QVO::Test::WaitUntil(
        [&] { return std::filesystem::read_symlink(dir + "/printer").string() == server.SlavePath(); }));
    Host again(OpenHostTty(dir + "/printer"));
    again.Send(B({0x10, 0x04, 0x01}));
    EXPECT_EQ(again.Read(1, 2s), B({0x16}));  // the drawer stayed open across the drop
    server.Stop();
    std::filesystem::remove_all(dir);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SimLink, FakeUsbTreeHasTheLayoutTheSysfsWalkExpects) {
    const std::string root = ::testing::TempDir() + "/simusb" + std::to_string(::getpid());
    VirtualPrinter printer;
    UsbServer server(printer, root, 0x1504, 0x0006, 0x0100);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const std::string dev = root + "/sys/bus/usb/devices/1-1/";
    EXPECT_EQ(ReadText(dev + "idVendor"), "1504\n");
    EXPECT_EQ(ReadText(dev + "idProduct"), "0006\n");
    EXPECT_EQ(ReadText(dev + "bcdDevice"), "0100\n");
    EXPECT_TRUE(std::filesystem::is_directory(root + "/sys/bus/usb/devices/1-1:1.0/usbmisc/lp0"));
    EXPECT_EQ(std::filesystem::read_symlink(root + "/dev/usb/lp0").string(), server.SlavePath());
    Host host(OpenHostTty(root + "/dev/usb/lp0"));
    host.Send(B({0x10, 0x04, 0x04}));
    EXPECT_EQ(host.Read(1, 2s), B({0x12}));
    server.Stop();
    std::filesystem::remove_all(root);
}

// The file pair follows OUT as it grows and appends replies to IN.
TEST(SimLink, FilePairFollowsTheOutputFile) {
    const std::string dir = ::testing::TempDir() + "/simfile" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string out = dir + "/out.bin", in = dir + "/in.bin";
    VirtualPrinter printer;
    FilePairServer server(printer, out, in);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    {
        std::ofstream w(out, std::ios::binary | std::ios::app);
        w << "\x10\x04\x01";
    }
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return std::filesystem::file_size(in) == 1; }));
    {
        std::ofstream w(out, std::ios::binary | std::ios::app);
        w << "\x1d\x49\x42";
    }
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return std::filesystem::file_size(in) == 7; }));
    EXPECT_EQ(ReadText(in), std::string("\x12_QUVO", 6) + std::string(1, '\0'));
    server.Stop();
    std::filesystem::remove_all(dir);
}

TEST(SimControl, LinesChangeConditionsAndStatusReportsThem) {
    VirtualPrinter p;
    struct Case {
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"cover open", "ok"}, {"paper near-end", "ok"}, {"drawer open", "ok"},           {"offline on", "ok"},
        {"mute on", "ok"},    {"rate 960", "ok"},       {"drawer-auto-close 100", "ok"}, {"paper soggy", nullptr},
        {"rate -5", nullptr}, {"cover", nullptr},       {"launch rockets", nullptr},
    };
    for (const auto& c : cases) {
        const std::string answer = ExecuteControlLine(p, c.line);
        if (c.answer)
            EXPECT_EQ(answer, c.answer) << c.line;
        else
            EXPECT_EQ(answer.rfind("error:", 0), 0u) << c.line << " -> " << answer;
    }
    const PrinterConditions c = p.Conditions();
    EXPECT_TRUE(c.coverOpen && c.drawerOpen && c.offlineSwitch && c.mute);
    EXPECT_EQ(c.paper, PaperLevel::NearEnd);
    EXPECT_EQ(c.bytesPerSecond, 960u);
    EXPECT_EQ(c.drawerAutoCloseMs, 100);
    const std::string status = ExecuteControlLine(p, "status");
    for (const char* part : {"cover=open", "paper=near-end", "drawer=open", "offline=on", "mute=on", "rate=960"})
        EXPECT_NE(status.find(part), std::string::npos) << part << " in " << status;
}

TEST(SimControl, UnixSocketAnswersEachLine) {
    const std::string path = ::testing::TempDir() + "/simctl" + std::to_string(::getpid());
    VirtualPrinter p;
    ControlServer server(p, path);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    Host host(fd);
    host.Send(S("paper empty\nstatus\n"));
    std::string answers;
    EXPECT_TRUE(QVO::Test::WaitUntil([&] {
        const Bytes got = host.Read(512, 50ms);
        answers.append(got.begin(), got.end());
        return std::count(answers.begin(), answers.end(), '\n') >= 2;
    }));
    EXPECT_EQ(answers.rfind("ok\nmodel=TM-T88IV", 0), 0u) << answers;
    EXPECT_NE(answers.find("paper=empty"), std::string::npos);
    EXPECT_EQ(p.Conditions().paper, PaperLevel::Empty);
}

}  // namespace
}  // namespace QVO::Sim
