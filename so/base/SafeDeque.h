// Double-ended queue guarded by its own lock, the task queue of the worker threads.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "platform/sync/Mutex.h"

namespace QVO::BASE {

// A deque of T whose every access takes the queue's lock for that one access only.
//
// Reading the front and the count also lock: the worker reads them while producers insert,
// and an unlocked read of a std::deque being modified is a data race. The front is handed
// out as a copy, so with T a shared pointer the element stays alive after another thread
// removes it.
// Thread safety: every operation may be called from any thread at the same time.
// Owns its elements; not copyable.
template <typename T>
class SafeDeque {
public:
    SafeDeque() = default;
    virtual ~SafeDeque() = default;
    SafeDeque(const SafeDeque&) = delete;
    SafeDeque& operator=(const SafeDeque&) = delete;

    // An allocation failure propagates as std::bad_alloc with nothing inserted.
    void PushBack(T value) {
        Platform::MutexLock lock(mutex_);
        items_.push_back(std::move(value));
    }
    void PushFront(T value) {
        Platform::MutexLock lock(mutex_);
        items_.push_front(std::move(value));
    }
    // The removed front element, or nothing when the queue is empty.
    std::optional<T> PopFront() {
        Platform::MutexLock lock(mutex_);
        if (items_.empty()) return std::nullopt;
        std::optional<T> front(std::move(items_.front()));
        items_.pop_front();
        return front;
    }
    // Removes the first element equal to value; false when there is none.
    bool RemoveFirst(const T& value) {
        std::optional<T> removed;  // destroyed after the lock is released, as in Clear
        Platform::MutexLock lock(mutex_);
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (*it == value) {
                removed.emplace(std::move(*it));
                items_.erase(it);
                return true;
            }
        }
        return false;
    }
    // A copy of the front element, or nothing when the queue is empty.
    std::optional<T> Front() const {
        Platform::MutexLock lock(mutex_);
        if (items_.empty()) return std::nullopt;
        return items_.front();
    }
    // Takes every element out at once, in queue order.
    std::vector<T> TakeAll() {
        Platform::MutexLock lock(mutex_);
        std::vector<T> all(std::make_move_iterator(items_.begin()), std::make_move_iterator(items_.end()));
        items_.clear();
        return all;
    }
    void Clear() {
        std::deque<T> dropped;
        {
            Platform::MutexLock lock(mutex_);
            dropped.swap(items_);
        }
        // Elements are destroyed outside the lock: a task's destructor may queue or log.
    }
    size_t Size() const {
        Platform::MutexLock lock(mutex_);
        return items_.size();
    }
    bool Empty() const { return Size() == 0; }

private:
    mutable Platform::Mutex mutex_;  // innermost: held for one access, never while calling out
    std::deque<T> items_ QUVO_GUARDED_BY(mutex_);
};

}  // namespace QVO::BASE
