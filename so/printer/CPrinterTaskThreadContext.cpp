// CPrinterTaskThreadContext: one output per pass, held on failure.
#include "so/printer/CPrinterTaskThreadContext.h"

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
}  // namespace

CPrinterTaskThreadContext::CPrinterTaskThreadContext(std::shared_ptr<CPrinterPort> port,
                                                     std::shared_ptr<CPrinterEventObject> events,
                                                     BASE::TaskThreadTiming timing)
    : CTaskThreadContext(timing), port_(std::move(port)), events_(std::move(events)) {
    SetIdleTask(events_);
    g_liveContexts.fetch_add(1);
}

CPrinterTaskThreadContext::~CPrinterTaskThreadContext() {
    // The worker calls RunOne on this object until it has stopped.
    Stop();
    g_liveContexts.fetch_sub(1);
}

int32_t CPrinterTaskThreadContext::Init(void* parameter) {
    const int32_t result = CTaskThreadContext::Init(parameter);
    if (result == 0 && g_liveContexts.load() == 1) ResetOutputIds();
    return result;
}

void CPrinterTaskThreadContext::SetFailureHandler(OutputFailureHandler handler) { onFailure_ = std::move(handler); }

int32_t CPrinterTaskThreadContext::QueueOutput(std::span<const uint8_t> bytes, bool urgent) {
    const int32_t id = NextOutputId();
    auto task = CPrinterOutTask::Create(id, port_, events_, heaps_, bytes);
    if (urgent)
        PushFront(std::move(task));
    else
        PushBack(std::move(task));
    return id;
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
        // The task itself: an urgent output may have been pushed in front of it meanwhile.
        RemoveTask(task);
        return 1;
    }
    held_.store(true);
    if (onFailure_) onFailure_(task->GetID());
    return 0;
}

void CPrinterTaskThreadContext::Retry() { held_.store(false); }

void CPrinterTaskThreadContext::ClearOutput() {
    CancelFront();
    // ClearTasks waits for the worker to stand between two outputs before dropping them, so a
    // failure being recorded now is over before the hold is lifted.
    ClearTasks();
    held_.store(false);
}

}  // namespace QVO::Printer
