// Parallel port set-up: status query and the back-channel probe.
#include "so/io/LPTPort.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace QVO::IO {

LPTPort::LPTPort(const LPTPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    PortTimings timings = GetTimings();
    timings.line.readIntervalMs = 5;
    timings.line.readTotalMultiplierMs = 5;
    timings.line.readTotalConstantMs = 1000;
    timings.line.writeTotalMultiplierMs = 1;
    timings.line.writeTotalConstantMs = 2000;
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
