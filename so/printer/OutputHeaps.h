// The two private heaps that output copies come from: a bounded one for the many small
// outputs, so that they do not fragment the process heap, and a growable one for the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

#include "platform/sync/Mutex.h"

namespace QVO::Printer {

inline constexpr std::size_t kSmallOutputLimit = 65535;  // larger outputs use the large heap
inline constexpr std::size_t kSmallHeapInitial = 64 * 1024;
inline constexpr std::size_t kSmallHeapMaximum = 512 * 1024;
// What the growable heap keeps of the blocks given back to it, and the step its blocks grow by.
inline constexpr std::size_t kLargeHeapRetainedMaximum = 4 * 1024 * 1024;
inline constexpr std::size_t kLargeHeapBlockStep = 64 * 1024;

// A pool that refuses (std::bad_alloc) once `maximum` bytes are handed out and not yet given
// back. Thread-safe: outputs are allocated on application threads and freed on the worker.
class BoundedPool : public std::pmr::memory_resource {
public:
    explicit BoundedPool(std::size_t maximum);
    std::size_t InUse() const;

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }

    const std::size_t maximum_;
    mutable Platform::Mutex mutex_;
    std::size_t inUse_ QUVO_GUARDED_BY(mutex_) = 0;
    std::pmr::unsynchronized_pool_resource pool_ QUVO_GUARDED_BY(mutex_);
};

// The memory behind the growable heap. Like a private heap, it keeps blocks given back (up to
// kLargeHeapRetainedMaximum bytes) for the next large outputs: fresh memory costs the system a
// page fault every 4 KiB, more than the copy into it, and a shop printing the same logo or
// report again gets the same block back. A block is reused for a request of at least half its
// size. Thread-safe.
class RetainingHeap : public std::pmr::memory_resource {
public:
    explicit RetainingHeap(std::size_t retainedMaximum);
    ~RetainingHeap() override;
    RetainingHeap(const RetainingHeap&) = delete;
    RetainingHeap& operator=(const RetainingHeap&) = delete;
    std::size_t Retained() const;

private:
    struct Block {
        std::size_t capacity;
        void* start;
    };
    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
    void* TakeRetained(std::size_t bytes) QUVO_REQUIRES(mutex_);

    const std::size_t retainedMaximum_;
    mutable Platform::Mutex mutex_;
    std::vector<Block> retained_ QUVO_GUARDED_BY(mutex_);
    std::size_t retainedBytes_ QUVO_GUARDED_BY(mutex_) = 0;
};

// Bytes taken from one heap and given back to the same heap when the block goes. They are not
// initialised: the copy that fills the block writes every byte, and a zero-fill first would
// cost a second pass over a large output. Move-only; not thread-safe (one owner).
class HeapBlock {
public:
    HeapBlock(std::pmr::memory_resource* heap, std::size_t size);
    HeapBlock(HeapBlock&& other) noexcept;
    HeapBlock& operator=(HeapBlock&&) = delete;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock();

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::pmr::memory_resource* resource() const { return heap_; }

private:
    std::pmr::memory_resource* heap_;
    std::size_t size_;
    uint8_t* data_;
};

// The heaps of one output worker. Outputs up to kSmallOutputLimit bytes come from the small
// heap and fall back to the large one when it is full; larger outputs come from the large one.
class OutputHeaps {
public:
    OutputHeaps();
    std::pmr::memory_resource* For(std::size_t bytes);
    std::pmr::memory_resource* Small() { return &small_; }
    std::pmr::memory_resource* Large() { return &large_; }
    std::size_t SmallInUse() const { return small_.InUse(); }
    std::size_t LargeRetained() const { return largeMemory_.Retained(); }

private:
    BoundedPool small_;
    // Small blocks come from the pool's chunks; blocks beyond its largest pool straight from
    // the memory below, which keeps them when they are given back.
    RetainingHeap largeMemory_;
    std::pmr::synchronized_pool_resource large_;
};

}  // namespace QVO::Printer
