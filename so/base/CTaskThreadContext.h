// Output-worker generation: one object holding the worker thread and its queue of shared tasks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/sync/Mutex.h"
#include "so/base/ManualResetEvent.h"
#include "so/base/SafeDeque.h"
#include "so/base/TaskInterfaces.h"
#include "so/base/TaskThreadControl.h"

namespace QVO::BASE {

// A worker thread draining a queue of ITaskBase tasks, one per loop pass, and running an
// idle action when the queue stays empty.
//
// Ownership: the owner keeps this object alive (usually through a shared pointer) until it
// is destroyed; the destructor stops and joins the worker, so the worker never outlives
// it. Queued tasks are shared with whoever queued them; the idle task is shared.
// Every derived class calls Stop() first in its destructor: the worker makes virtual calls
// into this object until it has stopped, and once a derived destructor has begun those
// calls would race with the object's destruction.
// Thread safety: queue operations, CancelFront and the control operations may be called from
// any thread; RunOne and OnIdle run on the worker thread.
// Locks: the queue's own, idleMutex_ and the error record's are innermost and held for one
// access; the control locks come before them (order in TaskThreadControl.h). None is held
// while a task or the idle action runs, so callers may hold their own locks around queue calls.
class CTaskThreadContext : public TaskThreadControl {
public:
    using TaskPtr = std::shared_ptr<ITaskBase>;

    explicit CTaskThreadContext(TaskThreadTiming timing = {});
    ~CTaskThreadContext() override;

    // Sets the state to initialised and keeps parameter for the owner (the engine passes the
    // address of its shared pointer to this object). Returns 0, or kTaskE_UNEXPECTED while
    // a worker thread is alive.
    virtual int32_t Init(void* parameter);
    virtual void OnIdle();
    virtual void DisableIdle();
    virtual void EnableIdle();
    virtual int32_t GetTaskCount() const;
    // Runs the front task once; see the .cpp for the result. Worker thread only.
    virtual int32_t RunOne();
    virtual void CancelFront();

    bool IsEmpty() const { return tasks_.Empty(); }
    // Queue a task (an allocation failure propagates with nothing queued). Return 0.
    int32_t PushBack(TaskPtr task);
    int32_t PushFront(TaskPtr task);
    // Removes the front task; nothing when the queue is empty.
    void PopFront();
    // Drops every queued task with the worker suspended, then resumes (or starts) it.
    void ClearTasks();

    void SetIdleTask(std::shared_ptr<ITask2> idleTask);
    bool IsIdleDisabled() const { return idleDisabled_.load() != 0; }
    void* GetParameter() const { return parameter_.load(); }
    bool HasTaskFailed() const { return taskFailed_.IsSet(); }

protected:
    void RunningStep() override;
    TaskPtr PeekFront() const;
    // Removes this very task wherever it now stands (a task pushed to the front meanwhile stays).
    void RemoveTask(const TaskPtr& task);

private:
    SafeDeque<TaskPtr> tasks_;
    std::atomic<void*> parameter_{nullptr};
    // Innermost; held only to copy or swap the pointer, never while the idle action runs.
    mutable Platform::Mutex idleMutex_;
    std::shared_ptr<ITask2> idleTask_ QUVO_GUARDED_BY(idleMutex_);
    ManualResetEvent workAvailable_;
    ManualResetEvent taskFailed_;  // once set, stops every later task from running
    ManualResetEvent shutdown_;
    std::atomic<int32_t> idleDisabled_{0};
};

}  // namespace QVO::BASE
