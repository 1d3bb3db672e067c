// Worker control protocol: start/suspend/resume/stop handshakes and the worker's main loop.
#include "so/base/TaskThreadControl.h"

#include <exception>

namespace QVO::BASE {

const char* TaskThreadStateName(TaskThreadState state) {
    switch (state) {
    case TaskThreadState::New: return "new";
    case TaskThreadState::Initialised: return "initialised";
    case TaskThreadState::Running: return "running";
    case TaskThreadState::Suspended: return "suspended";
    case TaskThreadState::Stopped: return "stopped";
    }
    return "unknown";
}

TaskThreadControl::TaskThreadControl(const std::string& nameSuffix, TaskThreadTiming timing)
    : m_suspendRequest("ThreadSuspend" + nameSuffix),
      m_resume("ThreadResume" + nameSuffix),
      m_suspendAcknowledged("ThreadSuspendSuccessFul" + nameSuffix),
      m_stopRequest(),
      m_stopAcknowledged("ThreadStopSuccessful" + nameSuffix),
      m_timing(timing) {}

TaskThreadControl::~TaskThreadControl() {
    // Derived classes have stopped the worker already; this catches a thread that was only
    // asked to stop (Stop from the worker itself, or an unacknowledged suspend).
    RequestStop();
    JoinStoppedThread();
}

bool TaskThreadControl::OnWorkerThread() const {
    return m_workerId.load() == std::this_thread::get_id();
}

bool TaskThreadControl::HasThread() const {
    std::lock_guard lock(m_controlMutex);
    return m_thread.joinable() && !m_stopPending;
}

std::thread::id TaskThreadControl::GetThreadId() const {
    std::lock_guard lock(m_controlMutex);
    return m_thread.get_id();
}

bool TaskThreadControl::MarkInitialised() {
    if (HasThread()) return false;
    m_state.store(TaskThreadState::Initialised);
    return true;
}

void TaskThreadControl::JoinStoppedThread() {
    if (OnWorkerThread()) return;
    std::lock_guard lifecycle(m_lifecycleMutex);
    JoinStoppedThreadLocked();
}

void TaskThreadControl::JoinStoppedThreadLocked() {
    std::thread stopped;
    {
        std::lock_guard lock(m_controlMutex);
        if (!m_thread.joinable() || !m_stopPending) return;
        stopped = std::move(m_thread);
        m_stopPending = false;
    }
    stopped.join();
    // Thread ids are reused once joined; a stale one would make a later caller look like the worker.
    m_workerId.store(std::thread::id{});
}

int32_t TaskThreadControl::Start() {
    if (m_state.load() == TaskThreadState::New) return kTaskE_UNEXPECTED;
    // The worker cannot wait for its own end; it can only be told to carry on, and not
    // against a stop already requested (its controller may be joining it right now).
    if (OnWorkerThread()) {
        std::lock_guard lock(m_controlMutex);
        return m_stopRequest.IsSet() ? 0 : SignalRunning();
    }
    // Held across the join, so no second controller starts a thread while the old one lives.
    std::lock_guard lifecycle(m_lifecycleMutex);
    // A worker that was asked to stop must be gone before the stop request is reset,
    // or it would carry on beside the new one.
    JoinStoppedThreadLocked();
    std::lock_guard lock(m_controlMutex);
    SignalRunning();
    if (!m_thread.joinable()) {
        m_stopAcknowledged.Reset();
        m_thread = std::thread(&TaskThreadControl::ThreadProc, this);
        m_workerId.store(m_thread.get_id());
    }
    return 0;
}

// m_controlMutex held, so a stop requested meanwhile is never reset unseen.
int32_t TaskThreadControl::SignalRunning() {
    // The state is stored before signalling, so a worker that wakes acts on it.
    m_state.store(TaskThreadState::Running);
    m_stopRequest.Reset();
    m_suspendRequest.Reset();
    m_resume.Set();
    return 0;
}

int32_t TaskThreadControl::Resume() {
    {
        std::lock_guard lock(m_controlMutex);
        if (m_thread.joinable() && !m_stopPending) return SignalRunning();
    }
    return Start();
}

void TaskThreadControl::Suspend() {
    if (!HasThread() || m_state.load() == TaskThreadState::Suspended) return;
    m_resume.Reset();
    m_suspendAcknowledged.Reset();
    m_suspendRequest.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(m_timing.suspendSettleMs));
    // On the worker itself nobody else can acknowledge; the loop suspends after this task.
    // A worker that leaves its loop meanwhile never acknowledges: no point waiting for it.
    const int fired = OnWorkerThread()
        ? 0
        : ManualResetEvent::WaitAny({&m_suspendAcknowledged, &m_stopAcknowledged}, m_timing.suspendAckTimeoutMs);
    if (fired == kWaitTimeout) OnSuspendNotAcknowledged();
    // A Stop that came meanwhile keeps its state.
    if (fired == 1 && m_state.load() == TaskThreadState::Stopped) return;
    m_state.store(TaskThreadState::Suspended);
}

void TaskThreadControl::RequestStop() {
    std::lock_guard lock(m_controlMutex);
    if (!m_thread.joinable() || m_stopPending) return;
    m_state.store(TaskThreadState::Stopped);
    m_stopAcknowledged.Reset();
    m_stopRequest.Set();
    m_stopPending = true;
}

int32_t TaskThreadControl::Stop() {
    RequestStop();
    JoinStoppedThread();
    return 0;
}

void TaskThreadControl::PauseUnlessStopped(uint32_t ms) {
    if (ms != 0) m_stopRequest.Wait(ms);
}

void TaskThreadControl::RecordError(const std::string& text) {
    std::lock_guard lock(m_errorMutex);
    m_lastError = text;
}

std::string TaskThreadControl::GetLastError() const {
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

void TaskThreadControl::ThreadProc() {
    m_workerId.store(std::this_thread::get_id());
    // No exception may leave the thread: it would end the process.
    try {
        while (!m_stopRequest.IsSet()) LoopOnce();
    } catch (const std::exception& error) {
        RecordError(error.what());
    } catch (...) {
        RecordError("unknown exception on the worker thread");
    }
    // Acknowledged on every way out, so nobody waits for a worker that is already gone.
    m_stopAcknowledged.Set();
}

void TaskThreadControl::WaitForResumeOrStop() {
    if (ManualResetEvent::WaitAny({&m_stopRequest, &m_resume}, kInfinite) == 1) m_resume.Reset();
}

void TaskThreadControl::LoopOnce() {
    if (m_suspendRequest.IsSet()) {
        if (!m_suspendAcknowledged.IsSet()) {
            m_suspendAcknowledged.Set();
            return;
        }
        // Acknowledged: no further task runs until resume, whatever state is visible yet.
        WaitForResumeOrStop();
        return;
    }
    switch (m_state.load()) {
    case TaskThreadState::Suspended:
        WaitForResumeOrStop();
        break;
    case TaskThreadState::Running:
        RunningStep();
        break;
    default:
        ManualResetEvent::WaitAny({&m_stopRequest, &m_resume, &m_suspendRequest}, kInfinite);
        break;
    }
}

} // namespace QVO::BASE
