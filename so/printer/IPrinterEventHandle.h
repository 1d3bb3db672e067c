// The engine's event sink: what the engine reports to the COM object that opened it.
#pragma once

#include <cstdint>

namespace QVO::Printer {

// Implemented by the service object's COM class and handed to the engine at open. The engine
// calls it from its output worker (completions, errors, status) and from application threads
// (status read at enable). Implementations queue the event and return at once; they must not
// call back into the engine from these calls, except PrinterState, which is the engine's own
// status poll run on the output worker. Slots in this fixed order.
class IPrinterEventHandle {
public:
    // An output could not be written (or another device failure): the result the application
    // should see with it, and the failure in words.
    virtual void ErrorNotice(const wchar_t* text, int32_t resultCode, int32_t resultCodeExtended) = 0;
    virtual void OutputComplete(int32_t outputId) = 0;
    virtual void StatusUpdate(int32_t status) = 0;
    virtual int32_t PrinterState() = 0;

protected:
    ~IPrinterEventHandle() = default;
};

}  // namespace QVO::Printer
