// Mutexes, scoped locks and a condition variable that clang's thread-safety analysis checks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/sync/ThreadAnnotations.h"

namespace QVO::Platform {

// std::mutex with the capability attribute the standard library's own type lacks.
// Thread-safe, as a mutex is; not copyable or movable.
class QUVO_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() QUVO_ACQUIRE() { mutex_.lock(); }
    void unlock() QUVO_RELEASE() { mutex_.unlock(); }
    bool try_lock() QUVO_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    friend class MutexLock;
    std::mutex mutex_;
};

// std::recursive_mutex for a critical section its holder may enter again, with a try-lock
// for a caller that must not wait.
class QUVO_CAPABILITY("mutex") RecursiveMutex {
public:
    RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void lock() QUVO_ACQUIRE() { mutex_.lock(); }
    void unlock() QUVO_RELEASE() { mutex_.unlock(); }
    bool try_lock() QUVO_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
    template <class Rep, class Period>
    bool try_lock_for(std::chrono::duration<Rep, Period> timeout) QUVO_TRY_ACQUIRE(true) {
        return mutex_.try_lock_for(timeout);
    }

private:
    std::recursive_timed_mutex mutex_;
};

// Holds a Mutex for its scope. A CondVar waits on it, giving the mutex up while it waits.
class QUVO_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) QUVO_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~MutexLock() QUVO_RELEASE() {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    friend class CondVar;
    std::unique_lock<std::mutex> lock_;
};

// Holds a RecursiveMutex for its scope.
class QUVO_SCOPED_CAPABILITY RecursiveLock {
public:
    explicit RecursiveLock(RecursiveMutex& mutex) QUVO_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    // Takes over a lock this thread already holds (after a successful try_lock).
    RecursiveLock(RecursiveMutex& mutex, std::adopt_lock_t) QUVO_REQUIRES(mutex) : mutex_(mutex) {}
    ~RecursiveLock() QUVO_RELEASE() { mutex_.unlock(); }
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

private:
    RecursiveMutex& mutex_;
};

// A condition variable used with MutexLock. There is deliberately no predicate overload:
// a lambda is opaque to the analysis, so callers loop on their guarded condition, which
// the analysis then checks:
//     MutexLock lock(mutex_);
//     while (!ready_) cv_.Wait(lock);
class CondVar {
public:
    void Wait(MutexLock& lock) { cv_.wait(lock.lock_); }
    // Returns false once `deadline` has passed (the caller re-checks its condition).
    bool WaitUntil(MutexLock& lock, std::chrono::steady_clock::time_point deadline) {
        return cv_.wait_until(lock.lock_, deadline) == std::cv_status::no_timeout;
    }
    void NotifyOne() { cv_.notify_one(); }
    void NotifyAll() { cv_.notify_all(); }

private:
    std::condition_variable cv_;
};

}  // namespace QVO::Platform
