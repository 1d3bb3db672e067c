// Event-thread generation: a worker thread object and a separate queue object of owned tasks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "so/base/ManualResetEvent.h"
#include "so/base/SafeDeque.h"
#include "so/base/TaskError.h"
#include "so/base/TaskInterfaces.h"
#include "so/base/TaskThreadControl.h"

namespace QVO::BASE {

class CTaskThreadBase2;

// The queue of the second generation. Owns its CTaskBase tasks: a task leaves the queue
// only to be deleted. A task being executed stays alive until its Execute returns, even
// when the queue is cleared meanwhile.
// Lifetime: attached to one CTaskThreadBase2; whichever of the two goes first unlinks the
// other, and the queue's destructor stops the thread first. A derived queue calls
// StopThread() first in its own destructor, since the worker calls RunOne on it. Both are
// created and destroyed on their owner's thread.
// Thread safety: queue operations may be called from any thread; RunOne runs on the worker.
// Locks: the queue's own and the error record's, innermost and held for one access; none is
// held while a task runs.
class CTaskContextBase {
public:
    CTaskContextBase();
    virtual ~CTaskContextBase();
    CTaskContextBase(const CTaskContextBase&) = delete;
    CTaskContextBase& operator=(const CTaskContextBase&) = delete;

    // Runs the front task; see the .cpp for the result and what happens to the task.
    virtual int32_t RunOne();
    // Asks the front task to cancel.
    virtual void CancelFront();
    virtual void SetFlag();
    virtual void ClearFlag();
    // Does nothing; a hook for derived queues.
    virtual void Reserved() {}

    bool IsFlagSet() const { return flag_.load() != 0; }
    bool IsEmpty() const { return tasks_.Empty(); }
    int32_t GetTaskCount() const { return static_cast<int32_t>(tasks_.Size()); }
    // Takes ownership and sets work available. Return 0.
    int32_t PushBack(std::unique_ptr<CTaskBase> task);
    int32_t PushFront(std::unique_ptr<CTaskBase> task);
    // Deletes every queued task; one being executed is only marked cancelled and is deleted
    // when its Execute returns.
    void ClearTasks();

    ManualResetEvent& WorkAvailable() { return workAvailable_; }
    // Once set, RunOne runs nothing more (set when a task fails).
    ManualResetEvent& StopRunning() { return stopRunning_; }
    // While set, RunOne leaves the task it ran where it is and skips its follow-up.
    ManualResetEvent& Abandon() { return abandon_; }
    CTaskThreadBase2* GetThread() const { return thread_; }
    // Stops and joins the attached thread, if any.
    void StopThread();
    // Text of the last exception a task threw; empty when none did.
    std::string GetLastError() const { return errors_.Text(); }

private:
    friend class CTaskThreadBase2;
    using TaskPtr = std::shared_ptr<CTaskBase>;
    void RemoveAndDelete(const TaskPtr& task);

    SafeDeque<TaskPtr> tasks_;
    ManualResetEvent workAvailable_;
    ManualResetEvent stopRunning_;
    ManualResetEvent abandon_;
    std::atomic<int32_t> flag_{0};
    // Set by Attach, cleared by either destructor; both run on the owner's thread only.
    CTaskThreadBase2* thread_ = nullptr;
    LastError errors_;
};

// The worker thread of the second generation: same control protocol as CTaskThreadContext,
// no idle action, a long wait when the queue is empty. A suspend that is not acknowledged
// stops the thread.
// Ownership: does not own its queue, which must outlive the running thread (the queue's
// destructor stops the thread). The destructor stops and joins the thread; a derived class
// calls Stop() first in its destructor.
// Thread safety: the control operations may be called from any thread; Attach only while
// no worker runs.
class CTaskThreadBase2 : public TaskThreadControl {
public:
    // Defaults: 2000 ms wait when the queue is empty, 10 ms before waiting for a suspend
    // acknowledgement.
    static TaskThreadTiming DefaultTiming();

    explicit CTaskThreadBase2(TaskThreadTiming timing = DefaultTiming());
    ~CTaskThreadBase2() override;

    // Links this thread and context both ways and marks the thread initialised.
    // Returns 0, or kTaskE_UNEXPECTED (nothing changed) while a worker thread is alive.
    virtual int32_t Attach(CTaskContextBase* context);
    CTaskContextBase* GetContext() const { return context_.load(); }

protected:
    void RunningStep() override;
    void OnSuspendNotAcknowledged() override;

private:
    friend class CTaskContextBase;
    void Detach();
    std::atomic<CTaskContextBase*> context_{nullptr};
};

}  // namespace QVO::BASE
