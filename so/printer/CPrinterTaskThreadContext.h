// The engine's output worker: writes queued outputs in order, completes them when the printer
// confirms them, polls the status when idle, and holds output that was lost or not written
// until the application retries or clears.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/sync/Mutex.h"
#include "so/base/CTaskThreadContext.h"
#include "so/base/ManualResetEvent.h"
#include "so/cmd/PrinterBuffer.h"
#include "so/printer/OutputHeaps.h"
#include "so/printer/PrinterReplies.h"

namespace QVO::Printer {

class CPrinterPort;
class CPrinterEventObject;
class CPrinterOutTask;

// Called on the worker when the front output could not be written, or was written but lost,
// with its output ID. The engine records the result code and raises the error notice from it.
using OutputFailureHandler = std::function<void(int32_t outputId)>;
// Appends the process-ID request for `processId` to a queued output (the model's builder).
using ProcessIdRequestBuilder = std::function<void(PrinterBuffer& request, int32_t processId)>;

// How long outputs written but not confirmed may go without any sign of the printer (no
// answer, no byte from it, no byte taken by the link) before they count as lost. Generous: a
// printer that is busy printing a long job still takes bytes or answers in far less.
inline constexpr int32_t kProcessIdAnswerTimeoutMs = 30000;

// Completion. An output whose request asks the printer for a process-ID answer is complete
// when that answer came back (the printer has processed everything up to it); other outputs
// are complete once written. The worker does not wait for an answer before writing the next
// output: written outputs wait in the in-flight list, answers are read between writes and
// while idle, and outputs complete in the order they were written.
//
// Holding. An output that fails is neither dropped nor reported complete. When a write fails,
// or the printer is lost with outputs in flight (the link ended, an answer came for a later
// output only, or nothing came for kProcessIdAnswerTimeoutMs while the printer was not known
// to wait for its cover or paper), the outputs in flight go back to the front of the queue in
// their order, the queue is "held" (nothing is written) and the failure handler is called for
// the front output. Retry writes them all again (an output the printer did get prints twice:
// the application knowingly accepts that), ClearOutput drops everything without completions.
//
// Timing: the worker writes an output as soon as it is queued and the next one right after it
// (the framework's pause before each task is not used); idle, it polls the status every
// idleWaitMs and, with outputs in flight, looks for answers every few milliseconds.
//
// Owned by the engine through a shared pointer, from open to close; the destructor stops and
// joins the worker. Thread-safe: queueing, Retry, ClearOutput and the status calls come from
// application and event threads; RunOne and the passes run on the worker.
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
    // queue (at the front when urgent). With `request`, the output carries the process-ID
    // request it appends for the output's own ID and completes on its answer. Returns the ID.
    int32_t QueueOutput(std::span<const uint8_t> bytes, bool urgent, const ProcessIdRequestBuilder& request = {});
    void SetFailureHandler(OutputFailureHandler handler);

    // True while a failed output waits for Retry or ClearOutput.
    bool IsHeld() const { return held_.load(); }
    // True while outputs are queued or written but not yet complete.
    bool HasPendingOutput() const;
    int32_t InFlightCount() const;
    // Lets the worker write the held outputs again.
    void Retry();
    // Stops the output being written at its next check and drops every queued and in-flight
    // output (none of them is reported complete); the queue is no longer held.
    void ClearOutput();
    // Why the last output was given up when the port has no error of its own to tell.
    std::wstring FailureText() const;

    // The printer says it waits (cover open, paper out, offline): the answer time-out is not
    // counted meanwhile. Set by the engine's status readers.
    void SetPrinterWaiting(bool waiting) { printerWaiting_.store(waiting); }
    void SetAnswerTimeout(int32_t ms) { answerTimeoutMs_.store(ms); }
    // The reply stream, shared with the engine's status readers.
    PrinterReplies& Replies() { return replies_; }
    OutputHeaps& Heaps() { return *heaps_; }

protected:
    void RunningStep() override;

private:
    using Clock = std::chrono::steady_clock;
    struct InFlight {
        std::shared_ptr<CPrinterOutTask> task;
        bool answered = false;
    };

    void IdlePass();
    // After a write: keeps it in flight until its answer, or returns true when it is complete
    // at once (its completion is raised once it has left the queue).
    bool Written(const std::shared_ptr<CPrinterOutTask>& task);
    // Reads what the printer sent (without waiting for the port lock) and acts on the answers.
    void CollectAnswers();
    bool ReadReplies();
    void MatchAnswers(const std::vector<uint32_t>& ids);
    void CompleteAnswered();
    // The outputs in flight were lost: back to the queue, held, the front reported.
    void GiveUpInFlight(const std::wstring& why);
    void Hold(int32_t outputId);
    bool AnswerOverdue();
    void WaitForWork(uint32_t ms);

    const std::shared_ptr<CPrinterPort> port_;
    const std::shared_ptr<CPrinterEventObject> events_;
    // Shared with the queued outputs, which may outlive this object's members.
    const std::shared_ptr<OutputHeaps> heaps_ = std::make_shared<OutputHeaps>();
    std::atomic<bool> held_{false};
    // Set before the worker starts and not changed while it runs.
    OutputFailureHandler onFailure_;
    PrinterReplies replies_;
    BASE::ManualResetEvent wake_;  // set after queueing, retry and clear
    std::atomic<bool> printerWaiting_{false};
    std::atomic<int32_t> answerTimeoutMs_{kProcessIdAnswerTimeoutMs};

    // Innermost; never held while writing, reading or raising an event.
    mutable Platform::Mutex flightMutex_;
    std::deque<InFlight> inFlight_ QUVO_GUARDED_BY(flightMutex_);
    std::wstring failureText_ QUVO_GUARDED_BY(flightMutex_);

    // Worker thread only.
    Clock::time_point lastProgress_{};
    Clock::time_point lastAnswerRead_{};
    Clock::time_point lastIdleRun_{};
};

}  // namespace QVO::Printer
