// CRX4270SMB: identity, parameters and the per-open adjustments of the maker's model.
#include "so/printer/CRX4270SMB.h"

#include "so/printer/PrinterModelLists.h"

namespace QVO::Printer {

namespace {
constexpr int32_t kDefaultCodePage = 437;
}  // namespace

CRX4270SMB::CRX4270SMB(std::wstring modelName) : CPrinterBase(std::move(modelName)) {
    InitCmdHelper();
    SetDeviceDescription(L"QUVO High Performance Printer");
    SetMakerText(L"QUVO");
    SetFirmwareText(L"1.52");
    SetDeviceName(ModelName());
    ApplyMakerModelParameters(MutableParameters());
    SetFramedModel(true);
}

void CRX4270SMB::InitCmdHelper() { SetCmdHelper(&cmdHelper_); }

void CRX4270SMB::SetProperty_Open() {
    CPrinterBase::SetProperty_Open();
    SetCharacterSet(kDefaultCodePage);
    SetFont(0);
    SetBidirectional(true);
}

}  // namespace QVO::Printer
