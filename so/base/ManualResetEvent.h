// Manual-reset event with timed waits and wait-for-any, the signalling primitive of the task threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/sync/Mutex.h"

namespace QVO::BASE {

// Wait time meaning "no limit", as the worker protocol uses it.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
// WaitAny's answer when no event fired within the time-out.
inline constexpr int kWaitTimeout = -1;

// An event that stays signalled until Reset, so every waiter sees it (manual reset).
//
// Events are private to their object: a name (such as "ThreadSuspend") is kept for
// diagnostics only. Two workers whose events carry the same name never see each other's
// signals; a suspend request to one device's worker must not stop another device's.
//
// Lock order: an event's mutex, then the mutex of a WaitAny call waiting on it. Both are
// innermost: nothing else is locked while either is held.
// Thread safety: all operations may be called from any thread at the same time.
// Not copyable or movable: waiters hold its address while they wait.
class ManualResetEvent {
public:
    explicit ManualResetEvent(std::string name = {});
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event is (or becomes) signalled within timeoutMs; kInfinite waits forever.
    bool Wait(uint32_t timeoutMs) const;
    const std::string& Name() const { return name_; }

    // Index (in the list) of the first signalled event, or kWaitTimeout. Waits at most
    // timeoutMs (kInfinite: no limit). Null entries are not allowed.
    static int WaitAny(const std::vector<const ManualResetEvent*>& events, uint32_t timeoutMs);
    static int WaitAny(std::initializer_list<const ManualResetEvent*> events, uint32_t timeoutMs);

    // How many Wait and WaitAny calls are blocked on this event right now, asleep until a
    // Set (or their time-out) wakes them. Lets a test set the event only once a waiter is
    // really asleep, which is where a lost wake-up shows.
    size_t BlockedWaiters() const;

private:
    struct Waiter;
    void AddWaiter(Waiter* waiter) const;
    void RemoveWaiter(Waiter* waiter) const;

    const std::string name_;
    mutable Platform::Mutex mutex_;
    mutable Platform::CondVar changed_;
    bool signalled_ QUVO_GUARDED_BY(mutex_) = false;
    mutable size_t blockedInWait_ QUVO_GUARDED_BY(mutex_) = 0;      // Wait callers asleep
    mutable std::vector<Waiter*> waiters_ QUVO_GUARDED_BY(mutex_);  // WaitAny callers registered
};

}  // namespace QVO::BASE
