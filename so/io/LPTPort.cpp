// Parallel port set-up: status query and the back-channel probe.
#include "so/io/LPTPort.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace QVO::IO {

LPTPort::LPTPort(const LPTPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    timings_.line.readIntervalMs = 5;
    timings_.line.readTotalMultiplierMs = 5;
    timings_.line.readTotalConstantMs = 1000;
    timings_.line.writeTotalMultiplierMs = 1;
    timings_.line.writeTotalConstantMs = 2000;
    RefreshDeviceName();
}

int32_t LPTPort::RefreshDeviceName() {
    devicePath_ = ResolveDeviceName(ownSettings_.GetPortName(), env_);
    return 0;
}

bool LPTPort::QueryParallelStatus(uint8_t& status) {
    int raw = 0;
    if (::ioctl(fd_.get(), LPGETSTATUS, &raw) != 0) {
        RecordSystemError(errno);
        return false;
    }
    status = (raw & LP_POUTPA) != 0 ? kParallelPaperEmpty : 0;
    return true;
}

void LPTPort::SetupPort() {
    byteWise_ = 1;
    uint8_t status = 0;
    // Without a status, or with the paper out (the printer would not answer anyway),
    // keep reading on and let the engine find out later.
    if (!QueryParallelStatus(status) || (status & kParallelPaperEmpty) != 0) return;

    // Ask for the paper sensor status; a printer that answers has a back channel.
    static constexpr uint8_t kPaperSensorRequest[] = {0x1D, 0x72, 0x01};
    if (!Write(kPaperSensorRequest, 0, sizeof kPaperSensorRequest)) return;
    uint8_t reply = 0;
    int32_t got = 0;
    readable_ = Read(&reply, 0, 1, got, 1) ? 1 : 0;
}

}  // namespace QVO::IO
