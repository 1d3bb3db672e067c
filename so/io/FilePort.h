// FilePort: a printer behind a pair of files (output written, input read).
#pragma once

#include "so/io/SystemPort.h"

namespace QVO::IO {

// Owns its settings copy and both descriptors, each held exclusively while open. The
// output must exist; the input is optional. Not thread-safe (see IPort).
class FilePort : public CSystemPort {
public:
    explicit FilePort(const FilePortSettings& settings, const PortEnvironment& env = PortEnvironment::FromProcess());
    ~FilePort() override = default;

    int32_t Open() override;
    int32_t Close() override;
    // Always waits for all bytes, whatever `waitAll` says.
    int32_t Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) override;
    int32_t RefreshDeviceName() override { return 0; }

protected:
    int ReadFd() const override { return inputFd_.get(); }

private:
    FilePortSettings ownSettings_;
    Platform::UniqueFd inputFd_;
};

}  // namespace QVO::IO
