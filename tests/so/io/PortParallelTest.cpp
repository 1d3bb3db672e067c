// The parallel port's open probe, with a pseudo-terminal standing in for /dev/lpN.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "PortTestSupport.h"
#include "so/io/LPTPort.h"

namespace QVO::IO {
namespace {

using Peers::PtyPair;

// A parallel port whose status query answers as the test says (a pseudo-terminal has
// no parallel status of its own).
class ScriptedLPTPort : public LPTPort {
public:
    // `lineMs` bounds each byte's wait: short where silence is expected, long where an
    // answer comes (an answer ends the wait at once).
    ScriptedLPTPort(const LPTPortSettings& settings, std::optional<uint8_t> status, int lineMs = 20)
        : LPTPort(settings), status_(status) {
        PortTimings t = GetTimings();
        t.line.readTotalConstantMs = lineMs;
        t.line.readTotalMultiplierMs = 0;
        t.backoffStepMs = 0;
        t.failedPassPauseMs = 0;
        SetTimings(t);
    }

protected:
    bool QueryParallelStatus(uint8_t& status) override {
        if (!status_) return false;
        status = *status_;
        return true;
    }

private:
    std::optional<uint8_t> status_;
};

class PortParallelTest : public ::testing::Test {
protected:
    PortParallelTest() {
        pty_.HoldSlaveRaw();
        settings_.ParseSettings(std::wstring(pty_.slavePath().begin(), pty_.slavePath().end()).c_str());
    }
    PtyPair pty_;
    LPTPortSettings settings_;
    const std::vector<uint8_t> probe_ = {0x1D, 0x72, 0x01};
};

TEST_F(PortParallelTest, PrinterThatAnswersTheProbeStaysReadable) {
    std::thread printer([&] {
        if (pty_.Receive(3) == probe_) pty_.Send({0x00});
    });
    ScriptedLPTPort port(settings_, uint8_t{0}, 1000);
    EXPECT_EQ(port.Open(), 1);
    printer.join();
    EXPECT_EQ(port.IsReadable(), 1);

    // Reads are byte-wise and work.
    pty_.Send({0x12, 0x34});
    uint8_t buf[2];
    int32_t got = 0;
    EXPECT_EQ(port.Read(buf, 0, 2, got, 1), 1);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(buf[1], 0x34);
}

// The printer got the probe but said nothing: reading is off, and a later answer is
// not read either.
TEST_F(PortParallelTest, SilentPrinterMakesPortUnreadable) {
    ScriptedLPTPort port(settings_, uint8_t{0});
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(pty_.Receive(3), probe_);
    EXPECT_EQ(port.IsReadable(), 0);
    pty_.Send({0x01});
    uint8_t byte = 0;
    int32_t got = -1;
    EXPECT_EQ(port.Read(&byte, 0, 1, got, 1), 0);
    EXPECT_EQ(port.ReadOnce(&byte, 0, 1, got, 0), 0);
    EXPECT_EQ(got, 0);
    // Writing still works.
    EXPECT_EQ(port.Write(probe_.data(), 0, 3), 1);
    EXPECT_EQ(pty_.Receive(3), probe_);
}

// Paper out, or no status at all: no probe is sent and reading stays on.
TEST_F(PortParallelTest, NoProbeWithoutStatusOrWithPaperOut) {
    for (std::optional<uint8_t> status : {std::optional<uint8_t>{}, std::optional<uint8_t>{kParallelPaperEmpty}}) {
        ScriptedLPTPort port(settings_, status);
        EXPECT_EQ(port.Open(), 1);
        EXPECT_EQ(port.IsReadable(), 1);
        EXPECT_FALSE(pty_.HasPending()) << "probe sent";
    }
    // The real status query on a device that is no parallel port fails the same way.
    LPTPort real(settings_);
    EXPECT_EQ(real.Open(), 1);
    EXPECT_EQ(real.IsReadable(), 1);
    EXPECT_FALSE(pty_.HasPending());
}

TEST_F(PortParallelTest, SecondOpenFailsUntilFirstCloses) {
    LPTPort first(settings_);
    LPTPort second(settings_);
    ASSERT_EQ(first.Open(), 1);
    EXPECT_EQ(second.Open(), 0);
    first.Close();
    EXPECT_EQ(second.Open(), 1);
}

}  // namespace
}  // namespace QVO::IO
