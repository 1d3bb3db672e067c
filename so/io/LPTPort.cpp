// Parallel port set-up: status query and the back-channel probe.
#include "so/io/LPTPort.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace QVO::IO {
namespace {

// A printer on a parallel port answers a request within a short time or not at all, so a
// silent printer costs this per read, not the line's read total.
constexpr int kParallelAnswerWithinMs = 100;
// The line's own time-outs: once a reply flows, bytes come within the interval.
constexpr int kParallelReadIntervalMs = 5;
constexpr int kParallelReadPerByteMs = 5;
constexpr int kParallelReadTotalMs = 1000;
constexpr int kParallelWritePerByteMs = 1;
constexpr int kParallelWriteTotalMs = 2000;

}  // namespace

LPTPort::LPTPort(const LPTPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    PortTimings timings = GetTimings();
    timings.line.readIntervalMs = kParallelReadIntervalMs;
    timings.line.readTotalMultiplierMs = kParallelReadPerByteMs;
    timings.line.readTotalConstantMs = kParallelReadTotalMs;
    timings.line.answerWithinMs = kParallelAnswerWithinMs;
    timings.line.writeTotalMultiplierMs = kParallelWritePerByteMs;
    timings.line.writeTotalConstantMs = kParallelWriteTotalMs;
    SetTimings(timings);
    RefreshDeviceName();
}

int32_t LPTPort::RefreshDeviceName() {
    SetDevicePath(ResolveDeviceName(ownSettings_.GetPortName(), Environment()));
    return 0;
}

bool LPTPort::QueryParallelStatus(uint8_t& status) {
    int raw = 0;
    if (::ioctl(Descriptor(), LPGETSTATUS, &raw) != 0) {
        RecordSystemError(errno);
        return false;
    }
    status = (raw & LP_POUTPA) != 0 ? kParallelPaperEmpty : 0;
    return true;
}

void LPTPort::SetupPort() {
    SetByteWise(true);
    uint8_t status = 0;
    // Without a status, or with the paper out (the printer would not answer anyway),
    // keep reading on and let the engine find out later.
    if (!QueryParallelStatus(status) || (status & kParallelPaperEmpty) != 0) return;

    // Ask for the paper sensor status; a printer that answers has a back channel.
    static constexpr uint8_t kPaperSensorRequest[] = {0x1D, 0x72, 0x01};
    if (!Write(kPaperSensorRequest, 0, sizeof kPaperSensorRequest)) return;
    uint8_t reply = 0;
    int32_t got = 0;
    SetReadable(Read(&reply, 0, 1, got, 1) != 0);
}

}  // namespace QVO::IO
