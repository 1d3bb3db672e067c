// Double-ended queue guarded by its own lock, the task queue of the worker threads.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

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
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(value));
    }
    void PushFront(T value) {
        std::lock_guard lock(m_mutex);
        m_items.push_front(std::move(value));
    }
    // The removed front element, or nothing when the queue is empty.
    std::optional<T> PopFront() {
        std::lock_guard lock(m_mutex);
        if (m_items.empty()) return std::nullopt;
        std::optional<T> front(std::move(m_items.front()));
        m_items.pop_front();
        return front;
    }
    // Removes the first element equal to value; false when there is none.
    bool RemoveFirst(const T& value) {
        std::lock_guard lock(m_mutex);
        for (auto it = m_items.begin(); it != m_items.end(); ++it) {
            if (*it == value) {
                m_items.erase(it);
                return true;
            }
        }
        return false;
    }
    // A copy of the front element, or nothing when the queue is empty.
    std::optional<T> Front() const {
        std::lock_guard lock(m_mutex);
        if (m_items.empty()) return std::nullopt;
        return m_items.front();
    }
    // Takes every element out at once, in queue order.
    std::vector<T> TakeAll() {
        std::lock_guard lock(m_mutex);
        std::vector<T> all(std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()));
        m_items.clear();
        return all;
    }
    void Clear() {
        std::deque<T> dropped;
        {
            std::lock_guard lock(m_mutex);
            dropped.swap(m_items);
        }
        // Elements are destroyed outside the lock: a task's destructor may queue or log.
    }
    size_t Size() const {
        std::lock_guard lock(m_mutex);
        return m_items.size();
    }
    bool Empty() const { return Size() == 0; }

private:
    mutable std::mutex m_mutex;
    std::deque<T> m_items;   // guarded by m_mutex
};

} // namespace QVO::BASE
