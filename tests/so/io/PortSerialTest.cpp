// The serial port against a pseudo-terminal whose master plays the printer.
#include <gtest/gtest.h>

#include <cerrno>

#include "PortTestSupport.h"
#include "so/io/ErrorText.h"
#include "so/io/SerialPort.h"

namespace QVO::IO {
namespace {

using Peers::Bytes;
using Peers::PtyPair;

class PortSerialTest : public ::testing::Test {
protected:
    PortSerialTest() {
        settings_.ParseSettings(
            (std::wstring(pty_.slavePath().begin(), pty_.slavePath().end()) + L",BaudRate_9600").c_str());
    }

    // Short line time-outs so a silent printer costs milliseconds; tests that read a
    // stream use longer ones, which cost nothing while the bytes keep coming.
    std::unique_ptr<SerialPort> MakePort(int lineMs = 10) {
        auto port = std::make_unique<SerialPort>(settings_);
        PortTimings t = port->GetTimings();
        t.line.readTotalConstantMs = lineMs;
        t.line.readIntervalMs = lineMs;
        t.backoffStepMs = 0;
        t.failedPassPauseMs = 0;
        port->SetTimings(t);
        return port;
    }

    PtyPair pty_;
    SerialPortSettings settings_;
};

// Raw mode: a line feed must arrive as one byte, not be expanded or held back.
TEST_F(PortSerialTest, WritesBytesUnchanged) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    const std::vector<uint8_t> data = {'A', 0x0A, 0x0D, 0x1B, 0x40, 0x00, 0xFF};
    EXPECT_EQ(port->Write(data.data(), 0, static_cast<int32_t>(data.size())), 1);
    EXPECT_EQ(pty_.Receive(data.size()), data);
    EXPECT_FALSE(pty_.HasPending());

    // The offset selects where the bytes start.
    const std::vector<uint8_t> framed = {'x', 'y', 'O', 'K'};
    EXPECT_EQ(port->Write(framed.data(), 2, 2), 1);
    EXPECT_EQ(pty_.Receive(2), Bytes("OK"));
}

TEST_F(PortSerialTest, LineIsRaw8N1AtTheConfiguredRate) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    const termios& tio = port->GetLineState();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(port->GetLastErrorCode(), 0);
}

// A rate the line cannot take does not fail the open but leaves an error behind.
TEST_F(PortSerialTest, UnsupportedRateIsReportedNotFatal) {
    SerialPortSettings odd;
    odd.ParseSettings((std::wstring(pty_.slavePath().begin(), pty_.slavePath().end()) + L",BaudRate_12345").c_str());
    SerialPort port(odd);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.GetLastErrorCode(), EINVAL);
    EXPECT_EQ(std::wstring(port.GetLastErrorText()).rfind(L"SerialPort::SetupPort", 0), 0u);
}

TEST_F(PortSerialTest, ZeroBytesOrCancelWriteNothing) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    const uint8_t byte = 'z';
    EXPECT_EQ(port->Write(&byte, 0, 0), 0);
    EXPECT_EQ(port->Write(nullptr, 0, 1), 0);
    EXPECT_EQ(port->Write(&byte, -1, 1), 0);
    port->SetCancel(1);
    int32_t cancel = 0;
    port->GetCancel(cancel);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(port->Write(&byte, 0, 1), 0);
    pty_.Send({'q'});
    uint8_t buf[4];
    int32_t got = -1;
    EXPECT_EQ(port->Read(buf, 0, 1, got, 1), 0);
    EXPECT_EQ(got, 0);
    EXPECT_FALSE(pty_.HasPending());
}

// Pieces of at most 128 bytes and at most five passes: 640 of 700 bytes, then give up;
// 600 bytes fit in five passes.
TEST_F(PortSerialTest, ReadComesIn128BytePiecesForAtMostFivePasses) {
    auto port = MakePort(1000);
    ASSERT_EQ(port->Open(), 1);
    std::vector<uint8_t> sent(700);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7);
    pty_.Send(sent);

    std::vector<uint8_t> buf(700);
    int32_t got = 0;
    EXPECT_EQ(port->Read(buf.data(), 0, 700, got, 1), 0);
    EXPECT_EQ(got, 640);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 640, sent.begin()));

    int32_t rest = 0;
    EXPECT_EQ(port->Read(buf.data(), 0, 60, rest, 1), 1);
    EXPECT_EQ(rest, 60);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 60, sent.begin() + 640));

    pty_.Send(std::vector<uint8_t>(600, 0x55));
    EXPECT_EQ(port->Read(buf.data(), 0, 600, got, 1), 1);
    EXPECT_EQ(got, 600);
}

TEST_F(PortSerialTest, ReadWithoutWaitAllReturnsAfterOnePass) {
    auto port = MakePort(1000);
    ASSERT_EQ(port->Open(), 1);
    pty_.Send(std::vector<uint8_t>(300, 0x11));
    std::vector<uint8_t> buf(300);
    int32_t got = 0;
    EXPECT_EQ(port->Read(buf.data(), 0, 300, got, 0), 1);
    EXPECT_EQ(got, 128);
    EXPECT_EQ(port->Read(buf.data(), 0, 172, got, 1), 1);
    // Into the middle of the buffer, as the offset says.
    pty_.Send({0x21, 0x22});
    std::vector<uint8_t> small(5, 0);
    int32_t few = 0;
    EXPECT_EQ(port->Read(small.data(), 0, 0, few, 0), 0);
    ASSERT_EQ(port->Read(small.data(), 3, 2, few, 0), 1);
    ASSERT_EQ(few, 2);
    EXPECT_EQ(small, (std::vector<uint8_t>{0, 0, 0, 0x21, 0x22}));
}

// A printer that stops taking bytes: the part that went out within the line's write
// time-out is not reported as a success, the failure says what happened, and the next
// write that succeeds leaves no error behind.
TEST_F(PortSerialTest, WriteThePrinterStopsTakingFailsAndASuccessClearsTheError) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    PortTimings t = port->GetTimings();
    t.line.writeTotalConstantMs = 20;
    t.line.writeTotalMultiplierMs = 0;
    port->SetTimings(t);
    std::vector<uint8_t> big(1 << 20, 'w');  // far more than the line's buffers hold
    EXPECT_EQ(port->Write(big.data(), 0, static_cast<int32_t>(big.size())), 0);
    EXPECT_EQ(port->GetSystemError(), ETIMEDOUT);
    EXPECT_EQ(port->GetLastErrorCode(), kPortWriteError);
    const std::wstring text = port->GetLastErrorText();
    EXPECT_EQ(text.rfind(L"Write timed out: the printer took no data for 20 ms; ", 0), 0u);
    EXPECT_NE(text.find(L" of 1048576 bytes sent"), std::wstring::npos);
    const size_t arrived = pty_.Receive(big.size(), 200).size();
    EXPECT_GT(arrived, 0u);
    EXPECT_LT(arrived, big.size());

    const uint8_t ok[] = {'o', 'k'};
    EXPECT_EQ(port->Write(ok, 0, 2), 1);
    EXPECT_EQ(port->GetLastErrorCode(), 0);
    EXPECT_STREQ(port->GetLastErrorText(), L"");
    EXPECT_EQ(pty_.Receive(2), Bytes("ok"));
}

// A healthy but slow printer: the line's write time-out is how long it may take nothing,
// not how long the whole write may take, so a write many time-outs long goes out whole.
TEST_F(PortSerialTest, SlowPrinterThatKeepsTakingGetsTheWholeWrite) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    PortTimings t = port->GetTimings();
    t.line.writeTotalConstantMs = 50;
    t.line.writeTotalMultiplierMs = 0;
    port->SetTimings(t);
    Peers::SlowReader slow(pty_.master(), 2048, 5);  // at most ~400 KB/s
    std::vector<uint8_t> data(128 * 1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(port->Write(data.data(), 0, static_cast<int32_t>(data.size())), 1) << port->GetLastErrorText();
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2 * 50))
        << "the peer was not slow enough to tell";
    ASSERT_TRUE(Peers::WaitUntil([&] { return slow.Received() == data.size(); }));
    EXPECT_TRUE(slow.Bytes() == data);
}

// A time-out made of a per-byte allowance beyond the clock's range must still be a long
// wait, not wrap round to none: 1000 + 8192 x 256 KiB ms is past INT_MAX. The printer
// takes the bytes slowly, so the write has to wait for it many times.
TEST_F(PortSerialTest, HugePerByteTimeoutStillWaits) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    PortTimings t = port->GetTimings();
    t.line.writeTotalConstantMs = 1000;
    t.line.writeTotalMultiplierMs = 1 << 13;
    port->SetTimings(t);
    Peers::SlowReader slow(pty_.master(), 4096, 2);
    std::vector<uint8_t> data(256 * 1024, 0x5A);
    ASSERT_EQ(port->Write(data.data(), 0, static_cast<int32_t>(data.size())), 1) << port->GetLastErrorText();
    ASSERT_TRUE(Peers::WaitUntil([&] { return slow.Received() == data.size(); }));
}

TEST_F(PortSerialTest, SilentPrinterFailsWaitAllAndPlainRead) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    uint8_t buf[8];
    int32_t got = -1;
    EXPECT_EQ(port->Read(buf, 0, 8, got, 1), 0);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(port->Read(buf, 0, 8, got, 0), 0);
    port.reset();

    // What came of the answer is kept in bytesRead even when the whole never comes.
    auto patient = MakePort(100);
    ASSERT_EQ(patient->Open(), 1);
    pty_.Send({1, 2, 3});
    EXPECT_EQ(patient->Read(buf, 0, 8, got, 1), 0);
    EXPECT_EQ(got, 3);
}

TEST_F(PortSerialTest, ReadOnceTakesWhatIsThere) {
    auto port = MakePort();
    ASSERT_EQ(port->Open(), 1);
    uint8_t buf[16];
    int32_t got = -1;
    EXPECT_EQ(port->ReadOnce(buf, 0, 16, got, 0), 1) << "a line read that times out still succeeds";
    EXPECT_EQ(got, 0);
    pty_.Send({9, 8, 7, 6});
    ASSERT_TRUE(Peers::WaitUntil([&] { return port->ReadOnce(buf, 0, 16, got, 0) == 1 && got == 4; }));
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(buf[3], 6);
}

// Exclusive use: the second opener fails until the first closes.
TEST_F(PortSerialTest, SecondOpenFailsUntilFirstCloses) {
    auto first = MakePort();
    auto second = MakePort();
    ASSERT_EQ(first->Open(), 1);
    EXPECT_EQ(second->Open(), 0);
    EXPECT_EQ(second->GetSystemError(), EBUSY);
    EXPECT_EQ(second->IsOpen(), 0);
    EXPECT_EQ(second->TestOpen(), 0);
    first->Close();
    EXPECT_EQ(second->TestOpen(), 1);
    EXPECT_EQ(second->IsOpen(), 0);
    EXPECT_EQ(second->Open(), 1);
    EXPECT_EQ(second->Open(), 1) << "reopening an open port closes it first";
    EXPECT_EQ(first->Open(), 0);
}

TEST(PortSerialNameTest, UnknownDeviceFailsToOpen) {
    Peers::TempDir dir;
    PortEnvironment env;
    env.dosDevicesDir = dir / "dos";
    for (const wchar_t* text : {L",", L"COM0", L"/nonexistent/tty"}) {
        SerialPortSettings s;
        s.ParseSettings(text);
        SerialPort port(s, env);
        EXPECT_EQ(port.Open(), 0) << text;
        EXPECT_EQ(port.IsOpen(), 0);
        uint8_t byte = 1;
        EXPECT_EQ(port.Write(&byte, 0, 1), 0);
    }
}

}  // namespace
}  // namespace QVO::IO
