// Opening and reading the file pair of a file port.
#include "so/io/FilePort.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/text/TextConv.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;

FilePort::FilePort(const FilePortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings) {
    // A file never blocks; a pipe or device behind the name gets the usual bounds.
    PortTimings timings = GetTimings();
    timings.line.readTotalConstantMs = 100;
    timings.line.readIntervalMs = 100;
    timings.line.writeTotalConstantMs = ownSettings_.GetWriteTimeout();
    SetTimings(timings);
}

int32_t FilePort::Open() {
    if (IsOpen()) Close();
    ClearSystemError();
    ClearPortError();
    SetDevicePath(WideToUtf8(ownSettings_.GetOutputPath()));
    if (GetDevicePath().empty()) {
        RecordSystemError(ENOENT);
        return 0;
    }
    // Appending, so that output of a new session never overwrites part of an older one
    // and leaves a mix of both in the file.
    Platform::UniqueFd output = OpenExclusive(GetDevicePath(), O_APPEND);
    if (!output.isValid()) return 0;
    AdoptDescriptor(std::move(output));
    SetReadable(true);
    SetByteWise(false);

    // The input is optional: the port still writes without it.
    std::string inputPath = WideToUtf8(ownSettings_.GetInputPath());
    if (!inputPath.empty()) {
        inputFd_ = OpenExclusive(inputPath);
        // Only read from: a file we may not write is still a usable input.
        if (!inputFd_.isValid() && (GetSystemError() == EACCES || GetSystemError() == EROFS))
            inputFd_ = OpenExclusive(inputPath, 0, O_RDONLY);
    }
    return 1;
}

int32_t FilePort::Close() {
    inputFd_.reset();
    return CSystemPort::Close();
}

int32_t FilePort::Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t) {
    return CSystemPort::Read(buffer, offset, length, bytesRead, 1);
}

}  // namespace QVO::IO
