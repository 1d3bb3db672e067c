// Manual-reset event: one mutex per event; WaitAny registers a shared waiter on every event.
#include "so/base/ManualResetEvent.h"

#include <algorithm>
#include <chrono>

namespace QVO::BASE {

// One WaitAny call. Lock order: an event's mutex, then the waiter's mutex.
struct ManualResetEvent::Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool poked = false;   // guarded by mutex; some watched event was set since the last look
};

ManualResetEvent::ManualResetEvent(std::string name) : m_name(std::move(name)) {}

ManualResetEvent::~ManualResetEvent() = default;

void ManualResetEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_signalled = true;
    m_changed.notify_all();
    for (Waiter* waiter : m_waiters) {
        std::lock_guard waiterLock(waiter->mutex);
        waiter->poked = true;
        waiter->wake.notify_all();
    }
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_signalled;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) const {
    std::unique_lock lock(m_mutex);
    auto signalled = [this] { return m_signalled; };
    if (timeoutMs == kInfinite) {
        m_changed.wait(lock, signalled);
        return true;
    }
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled);
}

void ManualResetEvent::AddWaiter(Waiter* waiter) const {
    std::lock_guard lock(m_mutex);
    m_waiters.push_back(waiter);
}

void ManualResetEvent::RemoveWaiter(Waiter* waiter) const {
    std::lock_guard lock(m_mutex);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

int ManualResetEvent::WaitAny(std::initializer_list<const ManualResetEvent*> events, uint32_t timeoutMs) {
    return WaitAny(std::vector<const ManualResetEvent*>(events), timeoutMs);
}

int ManualResetEvent::WaitAny(const std::vector<const ManualResetEvent*>& events, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Waiter waiter;
    for (const ManualResetEvent* event : events) event->AddWaiter(&waiter);
    int fired = kWaitTimeout;
    for (;;) {
        // Registered before looking, so a Set after the look still pokes the waiter.
        for (size_t i = 0; i < events.size() && fired == kWaitTimeout; ++i)
            if (events[i]->IsSet()) fired = static_cast<int>(i);
        if (fired != kWaitTimeout) break;
        std::unique_lock lock(waiter.mutex);
        if (timeoutMs == kInfinite) {
            waiter.wake.wait(lock, [&] { return waiter.poked; });
        } else if (!waiter.wake.wait_until(lock, deadline, [&] { return waiter.poked; })) {
            break;
        }
        waiter.poked = false;
    }
    for (const ManualResetEvent* event : events) event->RemoveWaiter(&waiter);
    return fired;
}

} // namespace QVO::BASE
