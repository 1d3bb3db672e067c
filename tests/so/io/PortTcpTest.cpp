// The network port against loopback listeners played by the test: connecting, writing with
// reconnects and time-outs, reading, and the error code and text each failure leaves.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "PortTestSupport.h"
#include "so/io/ErrorText.h"
#include "so/io/TCPIPPort.h"

namespace QVO::IO {
namespace {

using Peers::Bytes;
using Peers::LoopbackPrinter;
using Peers::ReadUntilClosed;
using Peers::TempDir;
using Platform::UniqueFd;

class PortTcpTest : public ::testing::Test {
protected:
    std::unique_ptr<TCPIPPort> MakePort(uint16_t port, const std::wstring& address = L"127.0.0.1") {
        TCPIPPortSettings s;
        s.ParseSettings((address + L"," + std::to_wstring(port)).c_str());
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
    static std::wstring Text(IPort& port) { return port.GetLastErrorText(); }
    static std::string Why(IPort& port) {
        const std::wstring text = Text(port);
        return std::string(text.begin(), text.end());
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

// The text says what failed in this system's words, with the errno's text and number.
TEST_F(PortTcpTest, RefusedConnectReports2501WithTheReason) {
    const uint16_t unused = Peers::UnusedPort();
    auto port = MakePort(unused);
    EXPECT_EQ(port->Open(), 0);
    EXPECT_EQ(port->IsOpen(), 0);
    EXPECT_EQ(port->GetLastErrorCode(), kPortConnectError);
    EXPECT_EQ(Text(*port), L"Cannot connect to the printer at 127.0.0.1:" + std::to_wstring(unused) +
                               L": Connection refused (error " + std::to_wstring(ECONNREFUSED) + L")");
    EXPECT_EQ(port->GetSystemError(), ECONNREFUSED);
}

// A host name is looked up (IPv4); a text that is neither an address nor a name is refused
// with a message, before any lookup.
TEST_F(PortTcpTest, HostNamesResolveOtherTextIsRefused) {
    LoopbackPrinter printer;
    auto byName = MakePort(printer.port(), L"localhost");
    ASSERT_EQ(byName->Open(), 1) << Why(*byName);
    UniqueFd conn = printer.Accept();
    ASSERT_TRUE(conn.isValid());
    EXPECT_EQ(Send(*byName, "named"), 1);
    EXPECT_EQ(Peers::PtyPair::ReceiveFrom(conn.get(), 5, Peers::kPeerDeadlineMs), Bytes("named"));

    for (const wchar_t* odd : {L"x/../../esc", L"-x", L"a b"}) {
        auto port = MakePort(printer.port(), odd);
        EXPECT_EQ(port->Open(), 0) << odd;
        EXPECT_EQ(port->GetLastErrorCode(), kPortConnectError);
        EXPECT_NE(Text(*port).find(L"is neither an IPv4 address nor a host name"), std::wstring::npos);
        EXPECT_EQ(port->GetSystemError(), EINVAL);
    }
    EXPECT_FALSE(printer.HasPendingConnection());
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

// Gone for good: the reconnect fails, the write reports it, the port stays open and tries
// again on the next write. Once the printer is back, a write succeeds and leaves no error
// behind (a stale 2501 would make the engine report a fault that is over).
TEST_F(PortTcpTest, FailedReconnectReports2501AndASuccessClearsIt) {
    auto printer = std::make_unique<LoopbackPrinter>();
    const uint16_t where = printer->port();
    auto port = MakePort(where);
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer->Accept();
    printer.reset();
    conn.reset();
    ASSERT_TRUE(Peers::WaitUntil([&] { return port->PeerHasClosed(); }));

    EXPECT_EQ(Send(*port, "lost"), 0);
    EXPECT_EQ(port->GetLastErrorCode(), kPortConnectError);
    EXPECT_EQ(Text(*port).rfind(L"Write failed and reconnecting failed: ", 0), 0u) << Why(*port);
    EXPECT_NE(Text(*port).find(L"(error "), std::wstring::npos);
    EXPECT_EQ(port->IsOpen(), 1);
    EXPECT_FALSE(port->IsConnected());
    EXPECT_EQ(Send(*port, "lost"), 0);

    LoopbackPrinter back(0, where);
    ASSERT_EQ(back.port(), where);
    EXPECT_EQ(Send(*port, "back"), 1);
    EXPECT_EQ(port->GetLastErrorCode(), 0);
    EXPECT_STREQ(port->GetLastErrorText(), L"");
    EXPECT_EQ(port->GetSystemError(), 0);
    UniqueFd again = back.Accept();
    EXPECT_EQ(Peers::PtyPair::ReceiveFrom(again.get(), 4, Peers::kPeerDeadlineMs), Bytes("back"));
}

// A healthy printer that takes bytes slowly gets a long write whole, however long it takes
// (the write time-out is the longest the printer may take nothing). One that stops taking
// bytes fails the write after three time-outs in a row, with a code and a text that say so,
// and without a reconnect.
TEST_F(PortTcpTest, SlowPrinterGetsTheWholeWriteAStoppedOneTimesOut) {
    LoopbackPrinter printer(4096);
    auto port = MakePort(printer.port());
    PortTimings t = port->GetTimings();
    t.writeTimeoutMs = 100;  // three of them pass long before the slow printer is done
    port->SetTimings(t);
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer.Accept();
    ASSERT_TRUE(conn.isValid());
    Peers::SlowReader slow(conn.get(), 4096, 5);  // at most ~800 KB/s

    std::string big(512 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + i / 4096);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Send(*port, big), 1) << Why(*port);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took, std::chrono::milliseconds(3 * t.writeTimeoutMs)) << "the peer was not slow enough to tell";
    EXPECT_EQ(port->GetLastErrorCode(), 0);
    ASSERT_TRUE(Peers::WaitUntil([&] { return slow.Received() == big.size(); }));
    EXPECT_TRUE(slow.Bytes() == std::vector<uint8_t>(big.begin(), big.end()));

    slow.SetTaking(false);
    EXPECT_EQ(Send(*port, big), 0);
    EXPECT_EQ(port->GetLastErrorCode(), kPortWriteError);
    EXPECT_EQ(Text(*port).rfind(L"Write timed out: the printer took no data for 300 ms; ", 0), 0u) << Why(*port);
    EXPECT_NE(Text(*port).find(L" of 524288 bytes sent"), std::wstring::npos);
    EXPECT_EQ(port->GetSystemError(), ETIMEDOUT);
    EXPECT_TRUE(port->IsConnected());
    EXPECT_FALSE(printer.HasPendingConnection()) << "a slow printer is no reason to reconnect";

    // Taking bytes again: the next write succeeds and the time-out is no longer reported.
    slow.SetTaking(true);
    EXPECT_EQ(Send(*port, "again"), 1);
    EXPECT_EQ(port->GetLastErrorCode(), 0);
    EXPECT_STREQ(port->GetLastErrorText(), L"");
    EXPECT_EQ(port->GetSystemError(), 0);
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

// AbortRead from another thread ends a waiting ReadWithCallback; an abort made while no
// read waited must not end the next read before its data comes.
TEST_F(PortTcpTest, AbortReadEndsTheWaitingReadOnly) {
    LoopbackPrinter printer;
    auto port = MakePort(printer.port());
    ASSERT_EQ(port->Open(), 1);
    UniqueFd conn = printer.Accept();
    uint8_t buf[16];

    std::thread aborter([&] { port->AbortRead(); });
    aborter.join();
    std::thread answer([&] { (void)!::write(conn.get(), "\x16", 1); });
    uint32_t delivered = 0;
    EXPECT_EQ(port->ReadWithCallback(buf, 1, [&](const uint8_t*, uint32_t n) { delivered = n; }), 1)
        << "a stale abort ended the read";
    answer.join();
    EXPECT_EQ(delivered, 1u);

    std::atomic<int32_t> result{-1};
    std::thread reader([&] { result = port->ReadWithCallback(buf, 1, nullptr); });
    // Abort until the reader notices: an abort that lands before it waits is dropped.
    EXPECT_TRUE(Peers::WaitUntil([&] {
        port->AbortRead();
        return result.load() != -1;
    }));
    reader.join();
    EXPECT_EQ(result.load(), 0);
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
    EXPECT_EQ(port->GetLastErrorCode(), kPortWriteError);
    // A port that was never opened behaves the same.
    auto never = MakePort(printer.port());
    EXPECT_EQ(Send(*never, "late"), 0);
    EXPECT_FALSE(printer.HasPendingConnection());
}

}  // namespace
}  // namespace QVO::IO
