// Control protocol shared by both worker generations: events, numeric state, the thread loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/sync/Mutex.h"
#include "so/base/ManualResetEvent.h"
#include "so/base/TaskError.h"

namespace QVO::BASE {

// Returned by Start (and Attach) when the worker was never initialised (HRESULT value).
inline constexpr int32_t kTaskE_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);

// The worker's numeric states; the numbers are part of the control protocol.
enum class TaskThreadState : int32_t {
    New = 0,
    Initialised = 1,
    Running = 2,
    Suspended = 3,
    Stopped = 4,
};
const char* TaskThreadStateName(TaskThreadState state);

// Polling steps and time-outs of a worker, in milliseconds. The defaults are the output
// worker's; tests and the event thread pass their own.
struct TaskThreadTiming {
    uint32_t taskDelayMs = 100;           // pause before each task
    uint32_t workWaitMs = 100;            // wait for queued work before going idle
    uint32_t idleWaitMs = 200;            // wait after the idle action
    uint32_t suspendSettleMs = 100;       // pause in Suspend before waiting for the acknowledgement
    uint32_t suspendAckTimeoutMs = 3000;  // longest wait for the suspend acknowledgement
};

// The suffix "" gives the output worker's event names, "2" the event thread's.
//
// Owns the worker thread: Stop joins it, and the destructor of every derived class must
// call Stop() first, before its own members go and before its part of the object is torn
// down under the worker's virtual calls to RunningStep and the hooks. Stop called on
// the worker itself only requests the stop; the thread is joined by the next Start or by
// the destructor, which must not run on the worker.
// Thread safety: Start, Resume, Suspend and Stop may be called from any thread; the loop and
// the hooks run on the worker thread.
// Lock order: lifecycleMutex_, then controlMutex_, then an event's lock (ManualResetEvent).
// The worker takes neither control lock itself, only when a task calls a control operation,
// and no framework lock is held while a task, the idle action or a hook runs.
class TaskThreadControl {
public:
    TaskThreadControl(const std::string& nameSuffix, TaskThreadTiming timing);
    virtual ~TaskThreadControl();
    TaskThreadControl(const TaskThreadControl&) = delete;
    TaskThreadControl& operator=(const TaskThreadControl&) = delete;

    int32_t Start();
    int32_t Resume();
    virtual void Suspend();
    // Asks the worker to leave its loop and joins it (not when called on the worker itself).
    int32_t Stop();
    // Asks the worker to leave its loop without waiting; the thread is joined by the next
    // Start, Stop or the destructor. For owners that wait for StopAcknowledged with a limit.
    void RequestStop();

    TaskThreadState GetState() const { return state_.load(); }
    // True while a worker thread exists that has not been asked to stop.
    bool HasThread() const;
    std::thread::id GetThreadId() const;
    // Set by the worker when it leaves its loop for whatever reason.
    ManualResetEvent& StopAcknowledged() { return stopAcknowledged_; }
    // Text of the last exception caught on the worker thread; empty when there was none.
    std::string GetLastError() const { return errors_.Text(); }
    const TaskThreadTiming& Timing() const { return timing_; }

protected:
    // One pass of the loop in the running state.
    virtual void RunningStep() = 0;
    // Called when Suspend gets no acknowledgement within its time-out.
    virtual void OnSuspendNotAcknowledged() {}

    // Sets the state to initialised; false while a live worker thread exists.
    bool MarkInitialised();
    // Waits up to ms, waking early on a stop request.
    void PauseUnlessStopped(uint32_t ms);
    // One running pass over a queue, the same for both generations: when there is work, the
    // task pause and then one runOne (unless a stop or suspend came meanwhile; what it throws
    // is recorded); otherwise onIdle (if given; what it throws ends the loop) and a wait for
    // work, stop or suspend. `work` is the queue's work-available event.
    void ServeQueue(ManualResetEvent& work, const std::function<bool()>& isEmpty, const std::function<void()>& runOne,
                    const std::function<void()>& onIdle);
    LastError& Errors() { return errors_; }

    ManualResetEvent suspendRequest_;
    ManualResetEvent resume_;
    ManualResetEvent suspendAcknowledged_;
    ManualResetEvent stopRequest_;
    ManualResetEvent stopAcknowledged_;

private:
    void ThreadProc();
    void LoopOnce();
    void WaitForResumeOrStop();
    void JoinStoppedThread() QUVO_EXCLUDES(lifecycleMutex_, controlMutex_);
    void JoinStoppedThreadLocked() QUVO_REQUIRES(lifecycleMutex_) QUVO_EXCLUDES(controlMutex_);
    int32_t SignalRunning() QUVO_REQUIRES(controlMutex_);
    bool OnWorkerThread() const;

    const TaskThreadTiming timing_;
    std::atomic<TaskThreadState> state_{TaskThreadState::New};
    // Serialises thread creation and joining; held across a join (so not by the worker).
    Platform::Mutex lifecycleMutex_ QUVO_ACQUIRED_BEFORE(controlMutex_);
    // Short: guards the thread handle and the stop flag; never held while waiting or joining.
    mutable Platform::Mutex controlMutex_;
    std::thread thread_ QUVO_GUARDED_BY(controlMutex_);
    // The thread in thread_ was asked to stop but has not been joined yet.
    bool stopPending_ QUVO_GUARDED_BY(controlMutex_) = false;
    std::atomic<std::thread::id> workerId_{};
    LastError errors_;
};

}  // namespace QVO::BASE
