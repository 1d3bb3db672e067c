// The maker's own printer model: framed output, always bidirectional.
#pragma once

#include <string>

#include "so/cmd/CmdHelper_RX4270.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

// One parameter set for every model name. Same thread rules as the engine.
class CRX4270SMB : public CPrinterBase {
public:
    explicit CRX4270SMB(std::wstring modelName = L"RX4270SMB");
    ~CRX4270SMB() override { StopOutputWorker(); }

    void SetProperty_Open() override;
    void InitCmdHelper() override;
    int32_t IsSupportBidi() override { return 1; }

private:
    CmdHelper_RX4270 cmdHelper_;
};

}  // namespace QVO::Printer
