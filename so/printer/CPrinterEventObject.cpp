// CPrinterEventObject: each event goes to the sink only while the object is enabled.
#include "so/printer/CPrinterEventObject.h"

namespace QVO::Printer {

void CPrinterEventObject::ErrorNotice(const std::wstring& text, int32_t resultCode, int32_t resultCodeExtended) {
    if (sink_ != nullptr && IsEnabled()) sink_->ErrorNotice(text.c_str(), resultCode, resultCodeExtended);
}

void CPrinterEventObject::OutputComplete(int32_t outputId) {
    if (sink_ != nullptr && IsEnabled()) sink_->OutputComplete(outputId);
}

void CPrinterEventObject::StatusUpdate(int32_t status) {
    if (sink_ != nullptr && IsEnabled()) sink_->StatusUpdate(status);
}

int32_t CPrinterEventObject::PollStatus() { return sink_ != nullptr && IsEnabled() ? sink_->PrinterState() : 0; }

}  // namespace QVO::Printer
