// The engine's event object: forwards events to the COM object's sink while enabled, and is
// the output worker's idle action (the status poll).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "so/base/TaskInterfaces.h"
#include "so/printer/IPrinterEventHandle.h"

namespace QVO::Printer {

// Shared by the engine, its output worker and the output tasks. The sink belongs to the COM
// object and outlives the engine's open period. Thread-safe: the enabled flag is atomic and
// every forward reads it; events raised while disabled are dropped.
class CPrinterEventObject : public BASE::ITask2 {
public:
    explicit CPrinterEventObject(IPrinterEventHandle* sink) : sink_(sink) {}
    virtual ~CPrinterEventObject() = default;
    CPrinterEventObject(const CPrinterEventObject&) = delete;
    CPrinterEventObject& operator=(const CPrinterEventObject&) = delete;

    void Enable(bool enabled) { enabled_.store(enabled); }
    bool IsEnabled() const { return enabled_.load(); }

    void ErrorNotice(const std::wstring& text, int32_t resultCode, int32_t resultCodeExtended);
    void OutputComplete(int32_t outputId);
    void StatusUpdate(int32_t status);
    int32_t PollStatus();

    // ITask2: the idle action, one status poll.
    void Run() override { PollStatus(); }

private:
    IPrinterEventHandle* const sink_;
    std::atomic<bool> enabled_{false};
};

}  // namespace QVO::Printer
