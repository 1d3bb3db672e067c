// CTM_T88IV: identity, parameters by model name, and the per-open adjustments.
#include "so/printer/CTM_T88IV.h"

#include "so/printer/PrinterModelLists.h"

namespace QVO::Printer {

CTM_T88IV::CTM_T88IV(std::wstring modelName) : CPrinterBase(std::move(modelName)) { Initialize(); }

void CTM_T88IV::Initialize() {
    InitCmdHelper();
    SetDeviceName(ModelName());
    SetDeviceDescription(L"High Performance Printer");
    SetMakerText(L"QUVO");
    SetFirmwareText(L"1.00");
    SetDeviceParameter();
}

void CTM_T88IV::InitCmdHelper() { SetCmdHelper(&cmdHelper_); }

void CTM_T88IV::SetDeviceParameter() {
    ApplyCompatibleModelParameters(ModelName(), MutableParameters());
    if (Parameters().builderCutterDistance > 0) CCmdHelperBase::SetCutterDistance(Parameters().builderCutterDistance);
}

void CTM_T88IV::SetProperty_Open() {
    CPrinterBase::SetProperty_Open();
    SetCharacterSet(ConfiguredCodePage());
    SetFont(0);
    ApplyReceipt58mmOpenAdjustments(ModelName(), MutableParameters());
}

int32_t CTM_T88IV::IsSupportBidi() {
    if (!IsParallelPort() && !IsUsbPrinterClassPort()) return 1;
    return IsOutputOnlyModel(ModelName()) ? 0 : 1;
}

}  // namespace QVO::Printer
