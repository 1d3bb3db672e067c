// Output-worker generation: queue handling, the running-state loop pass, and task failure.
#include "so/base/CTaskThreadContext.h"

#include <exception>

namespace QVO::BASE {

CTaskThreadContext::CTaskThreadContext(TaskThreadTiming timing) : TaskThreadControl("", timing) {}

CTaskThreadContext::~CTaskThreadContext() {
    m_shutdown.Set();
    Stop();
    // Dropped directly: ClearTasks would resume, and so restart, the worker just stopped.
    m_tasks.Clear();
    SetIdleTask(nullptr);
}

int32_t CTaskThreadContext::Init(void* parameter) {
    if (!MarkInitialised()) return kTaskE_UNEXPECTED;
    m_parameter.store(parameter);
    return 0;
}

void CTaskThreadContext::SetIdleTask(std::shared_ptr<ITask2> idleTask) {
    std::shared_ptr<ITask2> old;
    std::lock_guard lock(m_idleMutex);
    old.swap(m_idleTask);
    m_idleTask = std::move(idleTask);
}

void CTaskThreadContext::OnIdle() {
    std::shared_ptr<ITask2> idleTask;
    {
        std::lock_guard lock(m_idleMutex);
        idleTask = m_idleTask;
    }
    // Run outside the lock: the idle action may take the port lock for a status poll.
    if (idleTask && !IsIdleDisabled()) idleTask->Run();
}

void CTaskThreadContext::DisableIdle() { m_idleDisabled.store(1); }
void CTaskThreadContext::EnableIdle() { m_idleDisabled.store(0); }

int32_t CTaskThreadContext::GetTaskCount() const { return static_cast<int32_t>(m_tasks.Size()); }

int32_t CTaskThreadContext::PushBack(TaskPtr task) {
    m_tasks.PushBack(std::move(task));
    m_workAvailable.Set();
    return 0;
}

int32_t CTaskThreadContext::PushFront(TaskPtr task) {
    m_tasks.PushFront(std::move(task));
    m_workAvailable.Set();
    return 0;
}

void CTaskThreadContext::PopFront() { m_tasks.PopFront(); }

CTaskThreadContext::TaskPtr CTaskThreadContext::TakeFront() { return m_tasks.PopFront().value_or(nullptr); }

CTaskThreadContext::TaskPtr CTaskThreadContext::PeekFront() const { return m_tasks.Front().value_or(nullptr); }

void CTaskThreadContext::RemoveTask(const TaskPtr& task) { m_tasks.RemoveFirst(task); }

void CTaskThreadContext::ClearTasks() {
    if (IsEmpty()) return;
    Suspend();
    m_tasks.Clear();
    Resume();
}

void CTaskThreadContext::CancelFront() {
    if (TaskPtr front = PeekFront()) front->Cancel();
}

void CTaskThreadContext::SignalTaskFailed(const std::string& reason) {
    RecordError(reason);
    m_taskFailed.Set();
}

// Result 1 when nothing may run (a task failed earlier, or shutting down); otherwise the
// front task's Execute result. A finished task (non-zero) leaves the queue; one that returns
// 0 stays at the front and runs again on the next pass. A task that throws stops every
// later task from running.
int32_t CTaskThreadContext::RunOne() {
    if (m_taskFailed.IsSet() || m_shutdown.IsSet()) return 1;
    TaskPtr task = PeekFront();
    if (!task) return 1;
    int32_t result = 0;
    try {
        result = task->Execute();
    } catch (const std::exception& error) {
        SignalTaskFailed(error.what());
    } catch (...) {
        SignalTaskFailed("unknown exception from a task");
    }
    // The task itself, not whatever is in front now: an urgent task may have been pushed
    // to the front while this one ran.
    if (result != 0) RemoveTask(task);
    return result;
}

void CTaskThreadContext::RunningStep() {
    const auto& timing = Timing();
    if (!IsEmpty() || m_workAvailable.Wait(timing.workWaitMs)) {
        PauseUnlessStopped(timing.taskDelayMs);
        if (!IsEmpty() && !m_stopRequest.IsSet() && !m_suspendRequest.IsSet()) {
            try {
                RunOne();
            } catch (const std::exception& error) {
                RecordError(error.what());   // swallowed: the worker goes on with the next pass
            } catch (...) {
                RecordError("unknown exception from RunOne");
            }
        }
    } else {
        if (!IsIdleDisabled()) OnIdle();
        ManualResetEvent::WaitAny({&m_stopRequest, &m_suspendRequest, &m_workAvailable}, timing.idleWaitMs);
    }
    // Reset only when empty: a producer inserts before it sets, so a task queued around this
    // reset is still seen by the emptiness check of the next pass.
    if (IsEmpty()) m_workAvailable.Reset();
}

} // namespace QVO::BASE
