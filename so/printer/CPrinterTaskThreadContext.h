// The engine's output worker: writes queued outputs in order, polls the status when idle,
// and holds an output that could not be written until the application retries or clears.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "so/base/CTaskThreadContext.h"
#include "so/printer/OutputHeaps.h"

namespace QVO::Printer {

class CPrinterPort;
class CPrinterEventObject;

// Called on the worker when the front output could not be written, with its output ID. The
// engine records the result code and raises the error notice from it.
using OutputFailureHandler = std::function<void(int32_t outputId)>;

// An output that fails is neither dropped nor reported complete: it stays at the front of the
// queue and the worker writes nothing more (the queue is "held") until Retry writes it again
// or ClearOutput drops everything queued. The status poll (the event object, as idle action)
// runs only while the queue is empty.
//
// Owned by the engine through a shared pointer, from open to close; the destructor stops and
// joins the worker. Thread-safe: queueing, Retry and ClearOutput come from application and
// event threads, RunOne runs on the worker.
class CPrinterTaskThreadContext : public BASE::CTaskThreadContext {
public:
    CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port, std::shared_ptr<CPrinterEventObject> events,
                              BASE::TaskThreadTiming timing = {});
    ~CPrinterTaskThreadContext() override;

    // The base Init, then the process-wide output IDs start again at 1, unless another
    // engine's output context is alive (its outputs keep their IDs unique).
    int32_t Init(void* parameter) override;
    int32_t RunOne() override;

    // Copies the bytes into a new output task with the next output ID, at the back of the
    // queue (at the front when urgent). Returns the ID.
    int32_t QueueOutput(std::span<const uint8_t> bytes, bool urgent);
    void SetFailureHandler(OutputFailureHandler handler);

    // True while a failed output waits for Retry or ClearOutput.
    bool IsHeld() const { return held_.load(); }
    // Lets the worker write the held output again.
    void Retry();
    // Stops the output being written at its next check and drops every queued output (none
    // of them is reported complete); the queue is no longer held.
    void ClearOutput();

    OutputHeaps& Heaps() { return *heaps_; }

private:
    const std::shared_ptr<CPrinterPort> port_;
    const std::shared_ptr<CPrinterEventObject> events_;
    // Shared with the queued outputs, which may outlive this object's members.
    const std::shared_ptr<OutputHeaps> heaps_ = std::make_shared<OutputHeaps>();
    std::atomic<bool> held_{false};
    // Set before the worker starts and not changed while it runs.
    OutputFailureHandler onFailure_;
};

}  // namespace QVO::Printer
