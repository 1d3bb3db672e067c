// SerialPort: a printer on a serial line (termios), named COMn or by device path.
#pragma once

#include "so/io/SystemPort.h"

namespace QVO::IO {

// Owns its settings copy and the line's descriptor; while open, the line is held
// exclusively (flock and TIOCEXCL). Not thread-safe (see IPort).
class SerialPort : public CSystemPort {
public:
    explicit SerialPort(const SerialPortSettings& settings,
                        const PortEnvironment& env = PortEnvironment::FromProcess());
    ~SerialPort() override;

    int32_t Close() override;
    int32_t RefreshDeviceName() override;
    // Raw 8N1 at the configured rate, no flow control, DTR and RTS off, queues purged.
    void SetupPort() override;

private:
    // Port error code `error` (the errno) and the text "<what>: <reason> (error <n>)".
    void RecordSetupFailure(const wchar_t* what, int error);

    SerialPortSettings ownSettings_;
};

// Milliseconds per byte a write may take at `baudRate` (0: no per-byte allowance).
int WriteMultiplierForBaud(uint32_t baudRate);

}  // namespace QVO::IO
