// LPTPort: a printer on a parallel port (/dev/lpN), probed for a back channel at open.
#pragma once

#include "so/io/SystemPort.h"

namespace QVO::IO {

// The status bit the probe decision looks at: the printer reports paper empty.
inline constexpr uint8_t kParallelPaperEmpty = 0x04;

// Owns its settings copy and the port's descriptor, held exclusively while open. Reads
// are byte-wise; a printer that does not answer the open probe makes the port
// write-only. Not thread-safe (see IPort).
class LPTPort : public CSystemPort {
public:
    explicit LPTPort(const LPTPortSettings& settings, const PortEnvironment& env = PortEnvironment::FromProcess());
    ~LPTPort() override = default;

    int32_t RefreshDeviceName() override;
    void SetupPort() override;

protected:
    // The port's status as kParallel* bits; false when the device cannot tell (it is not
    // a parallel port driver, or the query failed).
    virtual bool QueryParallelStatus(uint8_t& status);

private:
    LPTPortSettings ownSettings_;
};

}  // namespace QVO::IO
