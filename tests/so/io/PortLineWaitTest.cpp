// How long reads on parallel and serial lines may wait. The engine reads under its port lock,
// so a silent line, or a reply that has ended, must cost a short wait, not the line's read
// total for every byte that never comes. The ports record the wait each read was allowed.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "PortTestSupport.h"
#include "so/io/LPTPort.h"
#include "so/io/SerialPort.h"

namespace QVO::IO {
namespace {

using Peers::PtyPair;

// Notes how long each read of the port was allowed to wait for data.
template <typename Port>
class WaitRecording : public Port {
public:
    using Port::Port;
    std::vector<int> waits;

protected:
    ssize_t TimedRead(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs) override {
        waits.push_back(totalMs);
        return CSystemPort::TimedRead(fd, buffer, count, totalMs, intervalMs);
    }
};

// A parallel port with the product's time-outs whose status query answers as the test says
// (a pseudo-terminal has no parallel status): with a status the open probe is sent.
class RecordingLPTPort : public WaitRecording<LPTPort> {
public:
    RecordingLPTPort(const LPTPortSettings& settings, std::optional<uint8_t> status)
        : WaitRecording<LPTPort>(settings), status_(status) {}

protected:
    bool QueryParallelStatus(uint8_t& status) override {
        if (!status_) return false;
        status = *status_;
        return true;
    }

private:
    std::optional<uint8_t> status_;
};

using RecordingSerialPort = WaitRecording<SerialPort>;

class PortLineWaitTest : public ::testing::Test {
protected:
    PortLineWaitTest() {
        pty_.HoldSlaveRaw();
        path_ = std::wstring(pty_.slavePath().begin(), pty_.slavePath().end());
        lpt_.ParseSettings(path_.c_str());
        serial_.ParseSettings((path_ + L",BaudRate_19200").c_str());
    }

    PtyPair pty_;
    std::wstring path_;
    LPTPortSettings lpt_;
    SerialPortSettings serial_;
    const std::vector<uint8_t> infoReply_ = {'_', '1', '.', '0', '0', 0x00};
};

// A parallel printer answers within a short window or not at all: a printer that never answers
// the open probe costs that window per read (five of them), not a second each.
TEST_F(PortLineWaitTest, SilentParallelPrinterCostsTheAnswerWindowPerRead) {
    RecordingLPTPort port(lpt_, uint8_t{0});
    const LineTimeouts line = port.GetTimings().line;
    ASSERT_GT(line.answerWithinMs, 0);
    ASSERT_LT(line.answerWithinMs, line.readTotalConstantMs) << "the window is the short wait";
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(pty_.Receive(3), std::vector<uint8_t>({0x1D, 0x72, 0x01}));
    EXPECT_EQ(port.IsReadable(), 0) << "a silent printer turns reading off";
    ASSERT_FALSE(port.waits.empty());
    for (int wait : port.waits) EXPECT_LE(wait, line.answerWithinMs);
}

// A reply read into a large buffer (as the printer-information texts are): once the reply has
// ended, one read interval tells, instead of the read total for each missing byte. What is
// asked for once (ReadOnce) waits for no first byte.
TEST_F(PortLineWaitTest, ParallelReplyThatEndedCostsOneInterval) {
    RecordingLPTPort port(lpt_, std::nullopt);
    const LineTimeouts line = port.GetTimings().line;
    ASSERT_EQ(port.Open(), 1);
    ASSERT_EQ(port.IsReadable(), 1);

    pty_.Send(infoReply_);
    uint8_t buf[64] = {};
    int32_t got = 0;
    ASSERT_TRUE(Peers::WaitUntil([&] {
        port.waits.clear();
        return port.Read(buf, 0, sizeof buf, got, 0) == 1;
    }));
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + got), infoReply_);
    ASSERT_EQ(port.waits.size(), infoReply_.size() + 1) << "one read per byte and one that found the end";
    EXPECT_LE(port.waits.front(), line.answerWithinMs);
    for (size_t i = 1; i < port.waits.size(); ++i) EXPECT_LE(port.waits[i], line.readIntervalMs) << "read " << i;

    port.waits.clear();
    EXPECT_EQ(port.ReadOnce(buf, 0, 4, got, 0), 0) << "nothing waiting";
    EXPECT_EQ(port.waits, std::vector<int>({0}));
}

// The status poll's read on a serial line (automatic status back) takes what is waiting and
// returns; a read that expects a reply still waits the line's configured time.
TEST_F(PortLineWaitTest, SerialReadOnceWaitsForNothingAndReadKeepsItsTimeOut) {
    RecordingSerialPort port(serial_);
    const LineTimeouts line = port.GetTimings().line;
    ASSERT_EQ(port.Open(), 1);
    uint8_t buf[4] = {};
    int32_t got = -1;
    EXPECT_EQ(port.ReadOnce(buf, 0, 4, got, 0), 1) << "a line read that finds nothing still succeeds";
    EXPECT_EQ(got, 0);
    EXPECT_EQ(port.waits, std::vector<int>({0}));

    pty_.Send({0x14, 0x00, 0x00, 0x0F});
    ASSERT_TRUE(Peers::WaitUntil([&] {
        port.waits.clear();
        return port.ReadOnce(buf, 0, 4, got, 0) == 1 && got == 4;
    }));
    EXPECT_EQ(buf[3], 0x0F);
    EXPECT_EQ(port.waits.front(), 0);

    port.waits.clear();
    EXPECT_EQ(port.Read(buf, 0, 1, got, 0), 0) << "nothing came";
    ASSERT_FALSE(port.waits.empty());
    EXPECT_EQ(port.waits.front(), line.readTotalConstantMs);
}

}  // namespace
}  // namespace QVO::IO
