// CPrinterTaskThreadContext: outputs written back to back, completed on the printer's answer,
// held when lost or not written.
#include "so/printer/CPrinterTaskThreadContext.h"

#include <cerrno>

#include "so/base/TaskError.h"
#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterOutTask.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/OutputId.h"

namespace QVO::Printer {

namespace {
// Output contexts alive in the process: the output IDs start again at 1 only when an engine
// opens while no other one is open, so that two engines never hand out the same ID.
std::atomic<int32_t> g_liveContexts{0};

// Idle with outputs in flight: how often the worker looks for their answers.
constexpr uint32_t kAnswerPollMs = 2;
// Between back-to-back writes, answers are read this often, or once this many outputs wait:
// often enough to complete early outputs and notice a lost link, seldom enough that a port
// whose read waits (serial, USB) costs little of the write time.
constexpr auto kAnswerReadInterval = std::chrono::milliseconds(500);
constexpr int32_t kInFlightBeforeRead = 64;
constexpr int32_t kReplyReadBytes = 512;
// Reads per look: a reply stream longer than this waits for the next look.
constexpr int kReadsPerLook = 8;

// A read that failed this way means the printer's end of the link is gone.
bool LinkEnded(int32_t systemError) {
    switch (systemError) {
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case EPIPE:
        case EIO:
        case ENODEV:
            return true;
        default:
            return false;
    }
}
}  // namespace

CPrinterTaskThreadContext::CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port,
                                                     std::shared_ptr<CPrinterEventObject> events,
                                                     BASE::TaskThreadTiming timing)
    : CTaskThreadContext(timing), port_(std::move(port)), events_(std::move(events)), wake_("OutputWake") {
    SetIdleTask(events_);
    g_liveContexts.fetch_add(1);
}

CPrinterTaskThreadContext::~CPrinterTaskThreadContext() {
    // The worker calls RunOne on this object until it has stopped.
    Stop();
    g_liveContexts.fetch_sub(1);
    Platform::MutexLock lock(flightMutex_);
    inFlight_.clear();
}

int32_t CPrinterTaskThreadContext::Init(void* parameter) {
    const int32_t result = CTaskThreadContext::Init(parameter);
    if (result == 0 && g_liveContexts.load() == 1) ResetOutputIds();
    return result;
}

void CPrinterTaskThreadContext::SetFailureHandler(OutputFailureHandler handler) { onFailure_ = std::move(handler); }

int32_t CPrinterTaskThreadContext::QueueOutput(std::span<const uint8_t> bytes, bool urgent,
                                               const ProcessIdRequestBuilder& request) {
    const int32_t id = NextOutputId();
    PrinterBuffer trailer;
    const uint32_t processId = ProcessIdForOutput(id);
    if (request) request(trailer, static_cast<int32_t>(processId));
    auto task = CPrinterOutTask::Create(id, port_, events_, heaps_, bytes,
                                        std::span<const uint8_t>(trailer.Data(), trailer.Size()), processId);
    if (urgent)
        PushFront(std::move(task));
    else
        PushBack(std::move(task));
    wake_.Set();
    return id;
}

bool CPrinterTaskThreadContext::HasPendingOutput() const { return !IsEmpty() || InFlightCount() > 0; }

int32_t CPrinterTaskThreadContext::InFlightCount() const {
    Platform::MutexLock lock(flightMutex_);
    return static_cast<int32_t>(inFlight_.size());
}

std::wstring CPrinterTaskThreadContext::FailureText() const {
    Platform::MutexLock lock(flightMutex_);
    return failureText_;
}

// The framework's pass pauses before every task; outputs are written without it, one after
// the other, and the worker sleeps only when there is nothing to write.
void CPrinterTaskThreadContext::RunningStep() {
    // Reset before looking at the queue: a producer queues and then sets, so nothing queued
    // from here on is missed by the wait below.
    wake_.Reset();
    if (IsEmpty() || held_.load()) {
        IdlePass();
        return;
    }
    if (stopRequest_.IsSet() || suspendRequest_.IsSet()) return;
    BASE::CatchAndRecord(Errors(), "from RunOne", [this] { RunOne(); });
    if (Clock::now() - lastAnswerRead_ >= kAnswerReadInterval || InFlightCount() >= kInFlightBeforeRead)
        CollectAnswers();
}

void CPrinterTaskThreadContext::IdlePass() {
    const bool awaiting = !held_.load() && InFlightCount() > 0;
    if (awaiting) CollectAnswers();
    const auto now = Clock::now();
    if (!held_.load() && IsEmpty() && !IsIdleDisabled() &&
        now - lastIdleRun_ >= std::chrono::milliseconds(Timing().idleWaitMs)) {
        lastIdleRun_ = now;
        OnIdle();
    }
    WaitForWork(awaiting ? kAnswerPollMs : Timing().idleWaitMs);
}

void CPrinterTaskThreadContext::WaitForWork(uint32_t ms) {
    BASE::ManualResetEvent::WaitAny({&stopRequest_, &suspendRequest_, &wake_}, ms);
}

// 1 when the front output was written (or cancelled) and left the queue; 0 when it failed and
// the queue is now held. Nothing runs while held.
int32_t CPrinterTaskThreadContext::RunOne() {
    if (held_.load()) return 1;
    TaskPtr task = PeekFront();
    if (!task) return 1;
    if (task->IsCancelled() != 0) {
        RemoveTask(task);
        return 1;
    }
    int32_t written = 0;
    BASE::CatchAndRecord(Errors(), "from an output task", [&] { written = task->Execute(); });
    if (written != 0) {
        auto output = std::dynamic_pointer_cast<CPrinterOutTask>(task);
        // In flight before it leaves the queue: in between, the engine would look idle and a
        // drawer pulse or a synchronous print could be let through ahead of this output.
        const bool completeNow = output && task->IsCancelled() == 0 && Written(output);
        // The task itself: an urgent output may have been pushed in front of it meanwhile.
        RemoveTask(task);
        if (completeNow) output->RaiseComplete();
        return 1;
    }
    if (InFlightCount() > 0)
        GiveUpInFlight(L"");  // written outputs before it may be lost with the link
    else
        Hold(task->GetID());
    return 0;
}

// True when the output is complete as it stands: it awaits no answer and nothing written
// before it is still in flight.
bool CPrinterTaskThreadContext::Written(const std::shared_ptr<CPrinterOutTask>& task) {
    lastProgress_ = Clock::now();
    if (task->Size() == 0) return false;  // nothing went out, nothing to report
    Platform::MutexLock lock(flightMutex_);
    // Behind outputs still in flight even when it awaits no answer: completions keep the
    // order of the writes.
    if (!task->AwaitsAnswer() && inFlight_.empty()) return true;
    inFlight_.push_back({task, !task->AwaitsAnswer()});
    return false;
}

void CPrinterTaskThreadContext::CollectAnswers() {
    lastAnswerRead_ = Clock::now();
    if (InFlightCount() == 0) return;
    const bool linkAlive = ReadReplies();
    MatchAnswers(replies_.TakeProcessIds());
    CompleteAnswered();
    if (InFlightCount() == 0) return;
    if (!linkAlive)
        GiveUpInFlight(L"The link to the printer ended before it confirmed output ");
    else if (AnswerOverdue())
        GiveUpInFlight(L"The printer confirmed nothing for " + std::to_wstring(answerTimeoutMs_.load()) +
                       L" ms; it has not confirmed output ");
}

// False when the read found the printer's end of the link gone.
bool CPrinterTaskThreadContext::ReadReplies() {
    // A status read or a synchronous print has the port: this look is skipped, not waited for.
    if (!port_->TimedLock(0)) return true;
    PortLockHolder held(*port_, std::adopt_lock);
    IO::IPort& port = port_->Port();
    if (port.IsOpen() == 0) return true;
    uint8_t buffer[kReplyReadBytes];
    for (int read = 0; read < kReadsPerLook; ++read) {
        int32_t got = 0;
        const int32_t ok = port.ReadOnce(buffer, 0, kReplyReadBytes, got, 0);
        if (got > 0) replies_.Feed(buffer, static_cast<size_t>(got));
        if (ok == 0 || got <= 0) return !LinkEnded(port.GetSystemError());
        if (got < kReplyReadBytes) return true;
    }
    return true;
}

void CPrinterTaskThreadContext::MatchAnswers(const std::vector<uint32_t>& ids) {
    if (ids.empty()) return;
    Platform::MutexLock lock(flightMutex_);
    for (uint32_t id : ids) {
        // An answer nobody waits for (an output cleared or given up meanwhile) is ignored.
        for (InFlight& entry : inFlight_) {
            if (!entry.answered && entry.task->ProcessId() == id) {
                entry.answered = true;
                break;
            }
        }
    }
}

// Completes the answered outputs at the front. An answer behind an unanswered output means
// the printer never got that one: it answers in the order it processes.
void CPrinterTaskThreadContext::CompleteAnswered() {
    std::vector<std::shared_ptr<CPrinterOutTask>> done;
    bool skipped = false;
    {
        Platform::MutexLock lock(flightMutex_);
        while (!inFlight_.empty() && inFlight_.front().answered) {
            done.push_back(inFlight_.front().task);
            inFlight_.pop_front();
        }
        for (const InFlight& entry : inFlight_) skipped = skipped || (entry.answered && entry.task->AwaitsAnswer());
    }
    if (!done.empty()) lastProgress_ = Clock::now();
    for (const auto& task : done) task->RaiseComplete();
    if (skipped) GiveUpInFlight(L"The printer confirmed a later output but not output ");
}

bool CPrinterTaskThreadContext::AnswerOverdue() {
    const auto now = Clock::now();
    // A printer waiting for its cover or paper keeps the outputs until it can print them.
    if (printerWaiting_.load()) lastProgress_ = now;
    const auto last = std::max(lastProgress_, replies_.LastByteAt());
    return now - last > std::chrono::milliseconds(answerTimeoutMs_.load());
}

// `why` ends where the output ID goes; empty when the port's own error says it.
void CPrinterTaskThreadContext::GiveUpInFlight(const std::wstring& why) {
    std::deque<InFlight> lost;
    {
        Platform::MutexLock lock(flightMutex_);
        lost = inFlight_;
        if (!lost.empty())
            failureText_ = why.empty() ? std::wstring() : why + std::to_wstring(lost.front().task->GetID());
    }
    if (lost.empty()) return;
    // Back in the queue before they leave the in-flight list, so that the engine never looks
    // idle in between. Only the worker adds to the list, so it still holds exactly these.
    for (auto entry = lost.rbegin(); entry != lost.rend(); ++entry) PushFront(entry->task);
    {
        Platform::MutexLock lock(flightMutex_);
        inFlight_.clear();
    }
    Hold(lost.front().task->GetID());
}

void CPrinterTaskThreadContext::Hold(int32_t outputId) {
    held_.store(true);
    if (onFailure_) onFailure_(outputId);
}

void CPrinterTaskThreadContext::Retry() {
    held_.store(false);
    wake_.Set();
}

void CPrinterTaskThreadContext::ClearOutput() {
    CancelFront();
    // With the worker stopped between two passes, it cannot put an output given up just now
    // back into the queue after the queue was cleared.
    const bool running = HasThread() && GetState() == BASE::TaskThreadState::Running;
    if (running) Suspend();
    {
        Platform::MutexLock lock(flightMutex_);
        inFlight_.clear();
    }
    // ClearTasks waits for the worker to stand between two outputs before dropping them, so a
    // failure being recorded now is over before the hold is lifted.
    ClearTasks();
    held_.store(false);
    if (running) Resume();
    wake_.Set();
}

}  // namespace QVO::Printer
