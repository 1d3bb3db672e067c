// The ESC/POS-compatible printer models (the TM-T88IV and the product lists of its class).
#pragma once

#include <string>

#include "so/cmd/CCmdHelperBase.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

// Chooses its parameters by model name (PrinterModelLists.h). Same thread rules as the engine.
class CTM_T88IV : public CPrinterBase {
public:
    explicit CTM_T88IV(std::wstring modelName = L"RX610");
    ~CTM_T88IV() override { StopOutputWorker(); }

    void SetProperty_Open() override;
    void InitCmdHelper() override;
    // Bidirectional on every port but a parallel or USB printer-class one, where the listed
    // output-only models cannot answer.
    int32_t IsSupportBidi() override;

private:
    void Initialize();
    void SetDeviceParameter();

    CCmdHelperBase cmdHelper_;
};

}  // namespace QVO::Printer
