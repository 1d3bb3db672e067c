// Output-worker generation: queue handling, the running-state loop pass, and task failure.
#include "so/base/CTaskThreadContext.h"

namespace QVO::BASE {

CTaskThreadContext::CTaskThreadContext(TaskThreadTiming timing) : TaskThreadControl("", timing) {}

CTaskThreadContext::~CTaskThreadContext() {
    shutdown_.Set();
    Stop();
    // Dropped directly: ClearTasks would resume, and so restart, the worker just stopped.
    tasks_.Clear();
    SetIdleTask(nullptr);
}

int32_t CTaskThreadContext::Init(void* parameter) {
    if (!MarkInitialised()) return kTaskE_UNEXPECTED;
    parameter_.store(parameter);
    return 0;
}

void CTaskThreadContext::SetIdleTask(std::shared_ptr<ITask2> idleTask) {
    // Declared before the lock, so the old action is released after it: its destructor is
    // foreign code.
    std::shared_ptr<ITask2> old;
    Platform::MutexLock lock(idleMutex_);
    old.swap(idleTask_);
    idleTask_ = std::move(idleTask);
}

void CTaskThreadContext::OnIdle() {
    std::shared_ptr<ITask2> idleTask;
    {
        Platform::MutexLock lock(idleMutex_);
        idleTask = idleTask_;
    }
    // Run outside the lock: the idle action may take the port lock for a status poll.
    if (idleTask && !IsIdleDisabled()) idleTask->Run();
}

void CTaskThreadContext::DisableIdle() { idleDisabled_.store(1); }
void CTaskThreadContext::EnableIdle() { idleDisabled_.store(0); }

int32_t CTaskThreadContext::GetTaskCount() const { return static_cast<int32_t>(tasks_.Size()); }

int32_t CTaskThreadContext::PushBack(TaskPtr task) {
    tasks_.PushBack(std::move(task));
    workAvailable_.Set();
    return 0;
}

int32_t CTaskThreadContext::PushFront(TaskPtr task) {
    tasks_.PushFront(std::move(task));
    workAvailable_.Set();
    return 0;
}

void CTaskThreadContext::PopFront() { tasks_.PopFront(); }

CTaskThreadContext::TaskPtr CTaskThreadContext::PeekFront() const { return tasks_.Front().value_or(nullptr); }

void CTaskThreadContext::RemoveTask(const TaskPtr& task) { tasks_.RemoveFirst(task); }

void CTaskThreadContext::ClearTasks() {
    if (IsEmpty()) return;
    Suspend();
    tasks_.Clear();
    Resume();
}

void CTaskThreadContext::CancelFront() {
    if (TaskPtr front = PeekFront()) front->Cancel();
}

// Result 1 when nothing may run (a task failed earlier, or shutting down); otherwise the
// front task's Execute result. A finished task (non-zero) leaves the queue; one that returns
// 0 stays at the front and runs again on the next pass. A task that throws stops every
// later task from running.
int32_t CTaskThreadContext::RunOne() {
    if (taskFailed_.IsSet() || shutdown_.IsSet()) return 1;
    TaskPtr task = PeekFront();
    if (!task) return 1;
    int32_t result = 0;
    if (!CatchAndRecord(Errors(), "from a task", [&] { result = task->Execute(); })) taskFailed_.Set();
    // The task itself, not whatever is in front now: an urgent task may have been pushed
    // to the front while this one ran.
    if (result != 0) RemoveTask(task);
    return result;
}

void CTaskThreadContext::RunningStep() {
    const auto isEmpty = [this] { return IsEmpty(); };
    const auto runOne = [this] { RunOne(); };
    const auto idle = [this] {
        if (!IsIdleDisabled()) OnIdle();
    };
    ServeQueue(workAvailable_, isEmpty, runOne, idle);
}

}  // namespace QVO::BASE
