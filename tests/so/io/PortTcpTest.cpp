// The network port against loopback listeners played by the test.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

#include "PortTestSupport.h"
#include "so/io/ErrorText.h"
#include "so/io/TCPIPPort.h"

namespace QVO::IO {
namespace {

using Peers::Bytes;
using Peers::TempDir;

// A listening socket on 127.0.0.1 with an ephemeral port, playing the printer.
class LoopbackPrinter {
public:
    explicit LoopbackPrinter(int receiveBuffer = 0) : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (receiveBuffer > 0)
            ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_.get(), 4);
        socklen_t len = sizeof addr;
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }

    uint16_t port() const { return port_; }

    // The next connection, waited for with a deadline.
    UniqueFd Accept() {
        if (Peers::WaitUntil([&] { return HasPendingConnection(); }))
            return UniqueFd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return UniqueFd();
    }
    bool HasPendingConnection() const {
        pollfd pfd{listener_.get(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) > 0;
    }
    void StopListening() { listener_.reset(); }

private:
    UniqueFd listener_;
    uint16_t port_ = 0;
};

// Everything the connection delivers until the peer closes it.
std::string ReadUntilClosed(int fd) {
    std::string all;
    for (;;) {
        auto chunk = Peers::PtyPair::ReceiveFrom(fd, 4096, Peers::kPeerDeadlineMs);
        if (chunk.empty()) return all;
        all.append(chunk.begin(), chunk.end());
    }
}

// A port number nobody listens on: bound once, then released.
uint16_t UnusedPort() {
    LoopbackPrinter probe;
    return probe.port();
}

class PortTcpTest : public ::testing::Test {
protected:
    std::unique_ptr<TCPIPPort> MakePort(uint16_t port) {
        TCPIPPortSettings s;
        s.ParseSettings((L"127.0.0.1," + std::to_wstring(port)).c_str());
        PortEnvironment env;
        env.lockDir = locks_ / "locks";
        auto p = std::make_unique<TCPIPPort>(s, env);
        PortTimings t = p->GetTimings();
        t.writeTimeoutMs = 50;
        t.readTimeoutMs = 20;
        t.connectTimeoutMs = 2000;
        p->SetTimings(t);
        return p;
    }
    static int32_t Send(IPort& port, const std::string& text) {
        return port.Write(reinterpret_cast<const uint8_t*>(text.data()), 0, static_cast<int32_t>(text.size()));
    }
    TempDir locks_;
};

TEST_F(PortTcpTest, ConnectsAndWrites) {
    LoopbackPrinter printer;
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    EXPECT_EQ(port->GetDevicePath(), "127.0.0.1");
    UniqueFd conn = printer.Accept();
    ASSERT_TRUE(conn.isValid());
    EXPECT_EQ(Send(*port, "\x1b@receipt\n"), 1);
    EXPECT_EQ(Peers::PtyPair::ReceiveFrom(conn.get(), 10, Peers::kPeerDeadlineMs), Bytes("\x1b@receipt\n"));
    EXPECT_EQ(Send(*port, ""), 0);
    port->Close();
    EXPECT_EQ(ReadUntilClosed(conn.get()), "");
}

TEST_F(PortTcpTest, RefusedConnectReports2501) {
    auto port = MakePort(UnusedPort());
    EXPECT_EQ(port->Open(), 0);
    EXPECT_EQ(port->IsOpen(), 0);
    EXPECT_EQ(port->GetLastErrorCode(), 2501);
    EXPECT_EQ(std::wstring(port->GetLastErrorText()), L"*Connect Fail! WSAGetLastError:" + std::to_wstring(ECONNREFUSED));
    EXPECT_EQ(port->GetSystemError(), ECONNREFUSED);
}

// The printer closed the connection (power cycle): the next write reconnects, and the
// bytes arrive once, on the new connection only.
TEST_F(PortTcpTest, WriteAfterPeerClosedReconnectsAndDeliversOnce) {
    LoopbackPrinter printer;
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd first = printer.Accept();
    ASSERT_EQ(Send(*port, "first"), 1);
    EXPECT_EQ(Peers::PtyPair::ReceiveFrom(first.get(), 5, Peers::kPeerDeadlineMs), Bytes("first"));
    first.reset();
    ASSERT_TRUE(Peers::WaitUntil([&] { return port->PeerHasClosed(); }));

    EXPECT_EQ(Send(*port, "second"), 1);
    EXPECT_STREQ(port->GetLastErrorText(), L"");
    UniqueFd again = printer.Accept();
    ASSERT_TRUE(again.isValid());
    port->Close();
    EXPECT_EQ(ReadUntilClosed(again.get()), "second");
    EXPECT_FALSE(printer.HasPendingConnection());
}

// Gone for good: the reconnect fails, the write reports it, the port stays open and
// tries again on the next write.
TEST_F(PortTcpTest, WriteWhenReconnectFailsReports2501) {
    auto printer = std::make_unique<LoopbackPrinter>();
    auto port = MakePort(printer->port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer->Accept();
    printer.reset();
    conn.reset();
    ASSERT_TRUE(Peers::WaitUntil([&] { return port->PeerHasClosed(); }));

    EXPECT_EQ(Send(*port, "lost"), 0);
    EXPECT_EQ(port->GetLastErrorCode(), 2501);
    EXPECT_EQ(std::wstring(port->GetLastErrorText()).rfind(L"WriteData reconnect Fail! WSAGetLastError:", 0), 0u);
    EXPECT_EQ(port->IsOpen(), 1);
    EXPECT_EQ(Send(*port, "lost"), 0);
}

// A printer that never reads: three attempts that each run out of time, then failure,
// without reconnecting.
TEST_F(PortTcpTest, PeerThatNeverReadsFailsAfterThreeAttempts) {
    LoopbackPrinter printer(1024);
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer.Accept();
    std::string big(4 << 20, 'x');
    EXPECT_EQ(Send(*port, big), 0);
    EXPECT_EQ(port->GetLastErrorCode(), 0);
    EXPECT_EQ(port->GetSystemError(), ETIMEDOUT);
    EXPECT_TRUE(port->IsConnected());
    EXPECT_FALSE(printer.HasPendingConnection()) << "a slow printer is no reason to reconnect";
}

TEST_F(PortTcpTest, Reads) {
    LoopbackPrinter printer;
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer.Accept();

    uint8_t buf[512];
    int32_t got = -1;
    EXPECT_EQ(port->ReadOnce(buf, 0, 4, got, 0), 0) << "nothing waiting";
    EXPECT_EQ(got, 0);
    EXPECT_EQ(port->Read(buf, 0, 4, got, 0), 0);
    EXPECT_EQ(port->Read(buf, 0, 4, got, 1), 0);

    (void)!::write(conn.get(), "\x14\x00", 2);
    ASSERT_TRUE(Peers::WaitUntil([&] { return port->ReadOnce(buf, 0, 4, got, 0) == 1; }));
    EXPECT_EQ(got, 2);

    // 300 bytes fit in the five reads (128 + 128 + 44); 400 do not (a partial read
    // costs two), so 384 arrive and the read fails.
    std::string block(700, 'b');
    (void)!::write(conn.get(), block.data(), 700);
    EXPECT_EQ(port->Read(buf, 0, 300, got, 1), 1);
    EXPECT_EQ(got, 300);
    EXPECT_EQ(port->Read(buf, 0, 400, got, 1), 0);
    EXPECT_EQ(got, 384);
}

// A released port must stay off the line: writing after Close neither connects nor
// leaves a connection behind that nobody closes.
TEST_F(PortTcpTest, WriteAfterCloseFailsWithoutConnecting) {
    LoopbackPrinter printer;
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer.Accept();
    ASSERT_TRUE(conn.isValid());
    port->Close();
    EXPECT_EQ(ReadUntilClosed(conn.get()), "");

    EXPECT_EQ(Send(*port, "late"), 0);
    EXPECT_FALSE(port->IsConnected());
    EXPECT_FALSE(printer.HasPendingConnection()) << "a closed port connected to the printer";
    EXPECT_EQ(port->GetSystemError(), ENOTCONN);
    // A port that was never opened behaves the same.
    auto never = MakePort(printer.port());
    EXPECT_EQ(Send(*never, "late"), 0);
    EXPECT_FALSE(printer.HasPendingConnection());
}

TEST_F(PortTcpTest, OnePortPerPrinterAddress) {
    LoopbackPrinter printer;
    auto first = MakePort(printer.port());
    auto second = MakePort(printer.port());
    ASSERT_EQ(first->Open(), 1);
    EXPECT_EQ(second->Open(), 0);
    EXPECT_EQ(second->GetSystemError(), EBUSY);
    first->Close();
    EXPECT_EQ(second->Open(), 1);
}

// Two spellings of one address are one printer; the text itself never becomes a path.
TEST_F(PortTcpTest, EndpointLockFollowsTheParsedAddress) {
    LoopbackPrinter printer;
    auto first = MakePort(printer.port());
    ASSERT_EQ(first->Open(), 1);
    TCPIPPortSettings alias;
    alias.ParseSettings((L"127.000.000.001," + std::to_wstring(printer.port())).c_str());
    PortEnvironment env;
    env.lockDir = locks_ / "locks";
    TCPIPPort second(alias, env);
    EXPECT_EQ(second.Open(), 0) << "the same printer under another spelling was opened twice";
    EXPECT_EQ(second.GetSystemError(), EBUSY);
    first->Close();

    // An address text with path parts: no lock file may appear outside the lock directory.
    std::filesystem::create_directories(locks_ / "locks/tcp-x");
    TCPIPPortSettings odd;
    odd.ParseSettings(L"x/../../esc,9100");
    TCPIPPort escaping(odd, env);
    EXPECT_EQ(escaping.Open(), 0);
    EXPECT_EQ(escaping.GetLastErrorCode(), 2501);
    EXPECT_FALSE(std::filesystem::exists(locks_ / "esc-9100.lock")) << "lock file created outside its directory";
}

}  // namespace
}  // namespace QVO::IO
