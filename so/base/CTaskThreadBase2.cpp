// Event-thread generation: the owned-task queue, its RunOne, and the worker's loop pass.
#include "so/base/CTaskThreadBase2.h"

namespace QVO::BASE {

// ---- CTaskContextBase ----

CTaskContextBase::CTaskContextBase() = default;

CTaskContextBase::~CTaskContextBase() {
    // The worker reads this queue: it must be gone before the queue is.
    StopThread();
    if (CTaskThreadBase2* thread = thread_) thread->Detach();
    tasks_.Clear();
}

void CTaskContextBase::StopThread() {
    if (CTaskThreadBase2* thread = thread_) thread->Stop();
}

int32_t CTaskContextBase::PushBack(std::unique_ptr<CTaskBase> task) {
    tasks_.PushBack(TaskPtr(std::move(task)));
    workAvailable_.Set();
    return 0;
}

int32_t CTaskContextBase::PushFront(std::unique_ptr<CTaskBase> task) {
    tasks_.PushFront(TaskPtr(std::move(task)));
    workAvailable_.Set();
    return 0;
}

void CTaskContextBase::ClearTasks() {
    for (const TaskPtr& task : tasks_.TakeAll()) task->Cancel();
    // The vector's references end here; a running task lives on in RunOne until it returns.
}

void CTaskContextBase::CancelFront() {
    if (auto front = tasks_.Front()) (*front)->Cancel();
}

void CTaskContextBase::SetFlag() { flag_.store(1); }
void CTaskContextBase::ClearFlag() { flag_.store(0); }

void CTaskContextBase::RemoveAndDelete(const TaskPtr& task) { tasks_.RemoveFirst(task); }

// Result 1 when nothing may run (stop-running set, or no task); otherwise the Execute
// result. A task that throws counts as failed (0): removing it keeps it from being fired
// again on every pass. A failure sets stop-running, so no later task runs.
int32_t CTaskContextBase::RunOne() {
    if (stopRunning_.IsSet()) return 1;
    TaskPtr task = tasks_.Front().value_or(nullptr);
    if (!task) return 1;
    task->SetRunning(true);
    int32_t result = 0;  // stays 0 (failed) when Execute throws
    CatchAndRecord(errors_, "from a task", [&] { result = task->Execute(); });
    task->SetRunning(false);
    if (abandon_.IsSet()) return result;
    if (!task->IsCancelled()) {
        if (result != 0) {
            CatchAndRecord(errors_, "after a task", [&] { task->OnSuccess(); });
        } else {
            stopRunning_.Set();
        }
    }
    RemoveAndDelete(task);
    return result;
}

// ---- CTaskThreadBase2 ----

TaskThreadTiming CTaskThreadBase2::DefaultTiming() {
    TaskThreadTiming timing;
    timing.idleWaitMs = 2000;
    timing.suspendSettleMs = 10;
    return timing;
}

CTaskThreadBase2::CTaskThreadBase2(TaskThreadTiming timing) : TaskThreadControl("2", timing) {}

CTaskThreadBase2::~CTaskThreadBase2() {
    Stop();
    Detach();
}

void CTaskThreadBase2::Detach() {
    if (CTaskContextBase* context = context_.exchange(nullptr)) {
        if (context->thread_ == this) context->thread_ = nullptr;
    }
}

int32_t CTaskThreadBase2::Attach(CTaskContextBase* context) {
    // Swapping the queue under a running worker would race with its RunOne.
    if (HasThread()) return kTaskE_UNEXPECTED;
    Stop();  // joins a thread that was only asked to stop
    Detach();
    context_.store(context);
    if (context) {
        if (context->thread_ && context->thread_ != this) context->thread_->Detach();
        context->thread_ = this;
    }
    if (GetState() == TaskThreadState::New) MarkInitialised();
    return 0;
}

void CTaskThreadBase2::OnSuspendNotAcknowledged() {
    // A worker stuck in a task is told to stop rather than waited for.
    RequestStop();
}

void CTaskThreadBase2::RunningStep() {
    CTaskContextBase* context = context_.load();
    if (!context) {
        ManualResetEvent::WaitAny({&stopRequest_, &suspendRequest_}, Timing().idleWaitMs);
        return;
    }
    const auto isEmpty = [context] { return context->IsEmpty(); };
    const auto runOne = [context] { context->RunOne(); };
    ServeQueue(context->WorkAvailable(), isEmpty, runOne, nullptr);
}

}  // namespace QVO::BASE
