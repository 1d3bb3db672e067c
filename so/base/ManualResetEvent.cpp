// Manual-reset event: one mutex per event; WaitAny registers a shared waiter on every event.
#include "so/base/ManualResetEvent.h"

#include <algorithm>
#include <chrono>

namespace QVO::BASE {

using Platform::MutexLock;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(uint32_t timeoutMs) { return Clock::now() + std::chrono::milliseconds(timeoutMs); }

// Index of the first signalled event, or kWaitTimeout.
int FirstSet(const std::vector<const ManualResetEvent*>& events) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i]->IsSet()) return static_cast<int>(i);
    return kWaitTimeout;
}

}  // namespace

// One WaitAny call, registered with every event it watches. Lock order: an event's mutex,
// then the waiter's mutex (Set pokes the waiter while holding the event's lock).
struct ManualResetEvent::Waiter {
    Platform::Mutex mutex;
    Platform::CondVar wake;
    bool poked QUVO_GUARDED_BY(mutex) = false;   // some watched event was set since the last look
    bool asleep QUVO_GUARDED_BY(mutex) = false;  // blocked in wake, for BlockedWaiters
};

ManualResetEvent::ManualResetEvent(std::string name) : name_(std::move(name)) {}

ManualResetEvent::~ManualResetEvent() = default;

void ManualResetEvent::Set() {
    MutexLock lock(mutex_);
    signalled_ = true;
    changed_.NotifyAll();
    for (Waiter* waiter : waiters_) {
        MutexLock waiterLock(waiter->mutex);
        waiter->poked = true;
        waiter->wake.NotifyAll();
    }
}

void ManualResetEvent::Reset() {
    MutexLock lock(mutex_);
    signalled_ = false;
}

bool ManualResetEvent::IsSet() const {
    MutexLock lock(mutex_);
    return signalled_;
}

bool ManualResetEvent::Wait(uint32_t timeoutMs) const {
    MutexLock lock(mutex_);
    if (signalled_ || timeoutMs == 0) return signalled_;
    const auto deadline = DeadlineAfter(timeoutMs);
    ++blockedInWait_;
    while (!signalled_) {
        if (timeoutMs == kInfinite) {
            changed_.Wait(lock);
        } else if (!changed_.WaitUntil(lock, deadline)) {
            break;
        }
    }
    --blockedInWait_;
    return signalled_;
}

size_t ManualResetEvent::BlockedWaiters() const {
    MutexLock lock(mutex_);
    size_t blocked = blockedInWait_;
    for (Waiter* waiter : waiters_) {
        MutexLock waiterLock(waiter->mutex);
        if (waiter->asleep) ++blocked;
    }
    return blocked;
}

void ManualResetEvent::AddWaiter(Waiter* waiter) const {
    MutexLock lock(mutex_);
    waiters_.push_back(waiter);
}

void ManualResetEvent::RemoveWaiter(Waiter* waiter) const {
    MutexLock lock(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

int ManualResetEvent::WaitAny(std::initializer_list<const ManualResetEvent*> events, uint32_t timeoutMs) {
    return WaitAny(std::vector<const ManualResetEvent*>(events), timeoutMs);
}

int ManualResetEvent::WaitAny(const std::vector<const ManualResetEvent*>& events, uint32_t timeoutMs) {
    const auto deadline = DeadlineAfter(timeoutMs);
    Waiter waiter;
    for (const ManualResetEvent* event : events) event->AddWaiter(&waiter);
    int fired = kWaitTimeout;
    for (;;) {
        // Registered before looking, so a Set after the look still pokes the waiter.
        fired = FirstSet(events);
        if (fired != kWaitTimeout || timeoutMs == 0) break;
        MutexLock lock(waiter.mutex);
        bool timedOut = false;
        waiter.asleep = true;
        while (!waiter.poked && !timedOut) {
            if (timeoutMs == kInfinite) {
                waiter.wake.Wait(lock);
            } else {
                timedOut = !waiter.wake.WaitUntil(lock, deadline);
            }
        }
        waiter.asleep = false;
        if (!waiter.poked) break;  // timed out with nothing set
        waiter.poked = false;
    }
    for (const ManualResetEvent* event : events) event->RemoveWaiter(&waiter);
    return fired;
}

}  // namespace QVO::BASE
