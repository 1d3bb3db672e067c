// Manual-reset event with timed waits and wait-for-any, the signalling primitive of the task threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

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
    const std::string& Name() const { return m_name; }

    // Index (in the list) of the first signalled event, or kWaitTimeout. Waits at most
    // timeoutMs (kInfinite: no limit). Null entries are not allowed.
    static int WaitAny(const std::vector<const ManualResetEvent*>& events, uint32_t timeoutMs);
    static int WaitAny(std::initializer_list<const ManualResetEvent*> events, uint32_t timeoutMs);

private:
    struct Waiter;
    void AddWaiter(Waiter* waiter) const;
    void RemoveWaiter(Waiter* waiter) const;

    const std::string m_name;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_signalled = false;                  // guarded by m_mutex
    mutable std::vector<Waiter*> m_waiters;    // guarded by m_mutex; WaitAny callers now waiting
};

} // namespace QVO::BASE
