// Event-thread generation: the owned-task queue, its RunOne, and the worker's loop pass.
#include "so/base/CTaskThreadBase2.h"

#include <exception>

namespace QVO::BASE {

// ---- CTaskContextBase ----

CTaskContextBase::CTaskContextBase() = default;

CTaskContextBase::~CTaskContextBase() {
    // The worker reads this queue: it must be gone before the queue is.
    StopThread();
    if (CTaskThreadBase2* thread = m_thread) thread->Detach();
    m_tasks.Clear();
}

void CTaskContextBase::StopThread() {
    if (CTaskThreadBase2* thread = m_thread) thread->Stop();
}

int32_t CTaskContextBase::PushBack(std::unique_ptr<CTaskBase> task) {
    m_tasks.PushBack(TaskPtr(std::move(task)));
    m_workAvailable.Set();
    return 0;
}

int32_t CTaskContextBase::PushFront(std::unique_ptr<CTaskBase> task) {
    m_tasks.PushFront(TaskPtr(std::move(task)));
    m_workAvailable.Set();
    return 0;
}

void CTaskContextBase::ClearTasks() {
    for (const TaskPtr& task : m_tasks.TakeAll()) task->Cancel();
    // The vector's references end here; a running task lives on in RunOne until it returns.
}

void CTaskContextBase::CancelFront() {
    if (auto front = m_tasks.Front()) (*front)->Cancel();
}

void CTaskContextBase::SetFlag() { m_flag.store(1); }
void CTaskContextBase::ClearFlag() { m_flag.store(0); }

void CTaskContextBase::RemoveAndDelete(const TaskPtr& task) { m_tasks.RemoveFirst(task); }

void CTaskContextBase::RecordError(const std::string& text) {
    std::lock_guard lock(m_errorMutex);
    m_lastError = text;
}

std::string CTaskContextBase::GetLastError() const {
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

// Result 1 when nothing may run (stop-running set, or no task); otherwise the Execute
// result. A task that throws counts as failed (0): removing it keeps it from being fired
// again on every pass. A failure sets stop-running, so no later task runs.
int32_t CTaskContextBase::RunOne() {
    if (m_stopRunning.IsSet()) return 1;
    TaskPtr task = m_tasks.Front().value_or(nullptr);
    if (!task) return 1;
    task->SetRunning(true);
    int32_t result = 0;
    try {
        result = task->Execute();
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError("unknown exception from a task");
    }
    task->SetRunning(false);
    if (m_abandon.IsSet()) return result;
    if (!task->IsCancelled()) {
        if (result != 0) {
            try {
                task->OnSuccess();
            } catch (const std::exception& error) {
                RecordError(error.what());
            } catch (...) {
                RecordError("unknown exception after a task");
            }
        } else {
            m_stopRunning.Set();
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
    if (CTaskContextBase* context = m_context.exchange(nullptr)) {
        if (context->m_thread == this) context->m_thread = nullptr;
    }
}

int32_t CTaskThreadBase2::Attach(CTaskContextBase* context) {
    // Swapping the queue under a running worker would race with its RunOne.
    if (HasThread()) return kTaskE_UNEXPECTED;
    Stop();   // joins a thread that was only asked to stop
    Detach();
    m_context.store(context);
    if (context) {
        if (context->m_thread && context->m_thread != this) context->m_thread->Detach();
        context->m_thread = this;
    }
    if (GetState() == TaskThreadState::New) MarkInitialised();
    return 0;
}

void CTaskThreadBase2::OnSuspendNotAcknowledged() {
    // A worker stuck in a task is told to stop rather than waited for.
    RequestStop();
}

void CTaskThreadBase2::RunningStep() {
    const auto& timing = Timing();
    CTaskContextBase* context = m_context.load();
    if (!context) {
        ManualResetEvent::WaitAny({&m_stopRequest, &m_suspendRequest}, timing.idleWaitMs);
        return;
    }
    ManualResetEvent& work = context->WorkAvailable();
    if (!context->IsEmpty() || work.Wait(timing.workWaitMs)) {
        PauseUnlessStopped(timing.taskDelayMs);
        if (!context->IsEmpty() && !m_stopRequest.IsSet() && !m_suspendRequest.IsSet()) {
            try {
                context->RunOne();
            } catch (const std::exception& error) {
                RecordError(error.what());   // swallowed: the thread goes on
            } catch (...) {
                RecordError("unknown exception from RunOne");
            }
        }
    } else {
        ManualResetEvent::WaitAny({&m_stopRequest, &m_suspendRequest, &work}, timing.idleWaitMs);
    }
    if (context->IsEmpty()) work.Reset();
}

} // namespace QVO::BASE
