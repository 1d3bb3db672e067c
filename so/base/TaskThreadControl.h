// Control protocol shared by both worker generations: events, numeric state, the thread loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "so/base/ManualResetEvent.h"

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
    uint32_t taskDelayMs = 100;          // pause before each task
    uint32_t workWaitMs = 100;           // wait for queued work before going idle
    uint32_t idleWaitMs = 200;           // wait after the idle action
    uint32_t suspendSettleMs = 100;      // pause in Suspend before waiting for the acknowledgement
    uint32_t suspendAckTimeoutMs = 3000; // longest wait for the suspend acknowledgement
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

    TaskThreadState GetState() const { return m_state.load(); }
    // True while a worker thread exists that has not been asked to stop.
    bool HasThread() const;
    std::thread::id GetThreadId() const;
    // Set by the worker when it leaves its loop for whatever reason.
    ManualResetEvent& StopAcknowledged() { return m_stopAcknowledged; }
    // Text of the last exception caught on the worker thread; empty when there was none.
    std::string GetLastError() const;
    const TaskThreadTiming& Timing() const { return m_timing; }

protected:
    // One pass of the loop in the running state.
    virtual void RunningStep() = 0;
    // Called when Suspend gets no acknowledgement within its time-out.
    virtual void OnSuspendNotAcknowledged() {}

    // Sets the state to initialised; false while a live worker thread exists.
    bool MarkInitialised();
    // Waits up to ms, waking early on a stop request.
    void PauseUnlessStopped(uint32_t ms);
    void RecordError(const std::string& text);

    ManualResetEvent m_suspendRequest;
    ManualResetEvent m_resume;
    ManualResetEvent m_suspendAcknowledged;
    ManualResetEvent m_stopRequest;
    ManualResetEvent m_stopAcknowledged;

private:
    void ThreadProc();
    void LoopOnce();
    void WaitForResumeOrStop();
    void JoinStoppedThread();
    void JoinStoppedThreadLocked();   // m_lifecycleMutex held
    int32_t SignalRunning();          // m_controlMutex held
    bool OnWorkerThread() const;

    const TaskThreadTiming m_timing;
    std::atomic<TaskThreadState> m_state{TaskThreadState::New};
    std::mutex m_lifecycleMutex;         // serialises thread creation and joining; held across join
    mutable std::mutex m_controlMutex;   // guards m_thread and m_stopPending; never held while waiting
    std::thread m_thread;
    bool m_stopPending = false;          // the thread in m_thread was asked to stop but not joined
    std::atomic<std::thread::id> m_workerId{};
    mutable std::mutex m_errorMutex;
    std::string m_lastError;             // guarded by m_errorMutex
};

} // namespace QVO::BASE
