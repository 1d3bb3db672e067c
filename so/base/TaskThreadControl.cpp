// Worker control protocol: start/suspend/resume/stop handshakes and the worker's main loop.
#include "so/base/TaskThreadControl.h"

#include <chrono>

namespace QVO::BASE {

const char* TaskThreadStateName(TaskThreadState state) {
    switch (state) {
        case TaskThreadState::New:
            return "new";
        case TaskThreadState::Initialised:
            return "initialised";
        case TaskThreadState::Running:
            return "running";
        case TaskThreadState::Suspended:
            return "suspended";
        case TaskThreadState::Stopped:
            return "stopped";
    }
    return "unknown";
}

TaskThreadControl::TaskThreadControl(const std::string& nameSuffix, TaskThreadTiming timing)
    : suspendRequest_("ThreadSuspend" + nameSuffix),
      resume_("ThreadResume" + nameSuffix),
      suspendAcknowledged_("ThreadSuspendSuccessFul" + nameSuffix),
      stopRequest_(),
      stopAcknowledged_("ThreadStopSuccessful" + nameSuffix),
      timing_(timing) {}

TaskThreadControl::~TaskThreadControl() {
    // Derived classes have stopped the worker already; this catches a thread that was only
    // asked to stop (Stop from the worker itself, or an unacknowledged suspend).
    RequestStop();
    JoinStoppedThread();
}

bool TaskThreadControl::OnWorkerThread() const { return workerId_.load() == std::this_thread::get_id(); }

bool TaskThreadControl::HasThread() const {
    Platform::MutexLock lock(controlMutex_);
    return thread_.joinable() && !stopPending_;
}

std::thread::id TaskThreadControl::GetThreadId() const {
    Platform::MutexLock lock(controlMutex_);
    return thread_.get_id();
}

bool TaskThreadControl::MarkInitialised() {
    if (HasThread()) return false;
    state_.store(TaskThreadState::Initialised);
    return true;
}

void TaskThreadControl::JoinStoppedThread() {
    if (OnWorkerThread()) return;
    Platform::MutexLock lifecycle(lifecycleMutex_);
    JoinStoppedThreadLocked();
}

void TaskThreadControl::JoinStoppedThreadLocked() {
    std::thread stopped;
    {
        Platform::MutexLock lock(controlMutex_);
        if (!thread_.joinable() || !stopPending_) return;
        stopped = std::move(thread_);
        stopPending_ = false;
    }
    // Joined without the control lock: the worker may still take it on its way out (a task
    // calling a control operation), and HasThread callers must not wait for the join.
    stopped.join();
    // Thread ids are reused once joined; a stale one would make a later caller look like the worker.
    workerId_.store(std::thread::id{});
}

int32_t TaskThreadControl::Start() {
    if (state_.load() == TaskThreadState::New) return kTaskE_UNEXPECTED;
    // The worker cannot wait for its own end; it can only be told to carry on, and not
    // against a stop already requested (its controller may be joining it right now).
    if (OnWorkerThread()) {
        Platform::MutexLock lock(controlMutex_);
        return stopRequest_.IsSet() ? 0 : SignalRunning();
    }
    // Held across the join, so no second controller starts a thread while the old one lives.
    Platform::MutexLock lifecycle(lifecycleMutex_);
    // A worker that was asked to stop must be gone before the stop request is reset,
    // or it would carry on beside the new one.
    JoinStoppedThreadLocked();
    Platform::MutexLock lock(controlMutex_);
    SignalRunning();
    if (!thread_.joinable()) {
        stopAcknowledged_.Reset();
        thread_ = std::thread(&TaskThreadControl::ThreadProc, this);
        workerId_.store(thread_.get_id());
    }
    return 0;
}

// controlMutex_ held, so a stop requested meanwhile is never reset unseen.
int32_t TaskThreadControl::SignalRunning() {
    // The state is stored before signalling, so a worker that wakes acts on it.
    state_.store(TaskThreadState::Running);
    stopRequest_.Reset();
    suspendRequest_.Reset();
    resume_.Set();
    return 0;
}

int32_t TaskThreadControl::Resume() {
    {
        Platform::MutexLock lock(controlMutex_);
        if (thread_.joinable() && !stopPending_) return SignalRunning();
    }
    return Start();
}

void TaskThreadControl::Suspend() {
    if (!HasThread() || state_.load() == TaskThreadState::Suspended) return;
    resume_.Reset();
    suspendAcknowledged_.Reset();
    suspendRequest_.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.suspendSettleMs));
    // On the worker itself nobody else can acknowledge; the loop suspends after this task.
    // A worker that leaves its loop meanwhile never acknowledges: no point waiting for it.
    const int fired = OnWorkerThread() ? 0
                                       : ManualResetEvent::WaitAny({&suspendAcknowledged_, &stopAcknowledged_},
                                                                   timing_.suspendAckTimeoutMs);
    if (fired == kWaitTimeout) OnSuspendNotAcknowledged();
    // A Stop that came meanwhile keeps its state.
    if (fired == 1 && state_.load() == TaskThreadState::Stopped) return;
    state_.store(TaskThreadState::Suspended);
}

void TaskThreadControl::RequestStop() {
    Platform::MutexLock lock(controlMutex_);
    if (!thread_.joinable() || stopPending_) return;
    state_.store(TaskThreadState::Stopped);
    stopAcknowledged_.Reset();
    stopRequest_.Set();
    stopPending_ = true;
}

int32_t TaskThreadControl::Stop() {
    RequestStop();
    JoinStoppedThread();
    return 0;
}

void TaskThreadControl::PauseUnlessStopped(uint32_t ms) {
    if (ms != 0) stopRequest_.Wait(ms);
}

void TaskThreadControl::ThreadProc() {
    workerId_.store(std::this_thread::get_id());
    // No exception may leave the thread (it would end the process); one that gets this far
    // (from the idle action or a hook) ends the loop and is kept for GetLastError.
    CatchAndRecord(errors_, "on the worker thread", [this] {
        while (!stopRequest_.IsSet()) LoopOnce();
    });
    // Acknowledged on every way out, so nobody waits for a worker that is already gone.
    stopAcknowledged_.Set();
}

void TaskThreadControl::WaitForResumeOrStop() {
    if (ManualResetEvent::WaitAny({&stopRequest_, &resume_}, kInfinite) == 1) resume_.Reset();
}

void TaskThreadControl::LoopOnce() {
    if (suspendRequest_.IsSet()) {
        if (!suspendAcknowledged_.IsSet()) {
            suspendAcknowledged_.Set();
            return;
        }
        // Acknowledged: no further task runs until resume, whatever state is visible yet.
        WaitForResumeOrStop();
        return;
    }
    switch (state_.load()) {
        case TaskThreadState::Suspended:
            WaitForResumeOrStop();
            break;
        case TaskThreadState::Running:
            RunningStep();
            break;
        default:
            ManualResetEvent::WaitAny({&stopRequest_, &resume_, &suspendRequest_}, kInfinite);
            break;
    }
}

void TaskThreadControl::ServeQueue(ManualResetEvent& work, const std::function<bool()>& isEmpty,
                                   const std::function<void()>& runOne, const std::function<void()>& onIdle) {
    if (!isEmpty() || work.Wait(timing_.workWaitMs)) {
        PauseUnlessStopped(timing_.taskDelayMs);
        // A stop or suspend that came during the pause wins over the task.
        if (!isEmpty() && !stopRequest_.IsSet() && !suspendRequest_.IsSet())
            CatchAndRecord(errors_, "from RunOne", runOne);  // recorded; the worker goes on
    } else {
        if (onIdle) onIdle();
        ManualResetEvent::WaitAny({&stopRequest_, &suspendRequest_, &work}, timing_.idleWaitMs);
    }
    // Reset only when empty: a producer inserts before it sets, so a task queued around this
    // reset is still seen by the emptiness check of the next pass.
    if (isEmpty()) work.Reset();
}

}  // namespace QVO::BASE
