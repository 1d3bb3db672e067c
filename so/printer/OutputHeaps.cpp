// The output heaps: a bounded pool with a byte count, and the choice between the two heaps.
#include "so/printer/OutputHeaps.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace QVO::Printer {

BoundedPool::BoundedPool(std::size_t maximum)
    : maximum_(maximum), pool_(std::pmr::pool_options{0, kSmallHeapInitial}) {}

std::size_t BoundedPool::InUse() const {
    Platform::MutexLock lock(mutex_);
    return inUse_;
}

void* BoundedPool::do_allocate(std::size_t bytes, std::size_t alignment) {
    Platform::MutexLock lock(mutex_);
    if (bytes > maximum_ - inUse_) throw std::bad_alloc();
    void* p = pool_.allocate(bytes, alignment);
    inUse_ += bytes;
    return p;
}

void BoundedPool::do_deallocate(void* p, std::size_t bytes, std::size_t alignment) {
    Platform::MutexLock lock(mutex_);
    pool_.deallocate(p, bytes, alignment);
    inUse_ -= bytes;
}

namespace {
// Every block starts with its capacity; what the caller gets begins after it, aligned as
// malloc aligns.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::size_t RoundUp(std::size_t bytes, std::size_t step) { return (bytes + step - 1) / step * step; }

std::size_t CapacityOf(void* p) {
    std::size_t capacity = 0;
    std::memcpy(&capacity, static_cast<uint8_t*>(p) - kHeader, sizeof capacity);
    return capacity;
}
}  // namespace

RetainingHeap::RetainingHeap(std::size_t retainedMaximum) : retainedMaximum_(retainedMaximum) {}

RetainingHeap::~RetainingHeap() {
    Platform::MutexLock lock(mutex_);
    for (const Block& block : retained_) std::free(block.start);
}

std::size_t RetainingHeap::Retained() const {
    Platform::MutexLock lock(mutex_);
    return retainedBytes_;
}

// The smallest kept block that holds `bytes` and is not more than twice as large.
void* RetainingHeap::TakeRetained(std::size_t bytes) {
    auto best = retained_.end();
    for (auto it = retained_.begin(); it != retained_.end(); ++it) {
        if (it->capacity >= bytes && it->capacity / 2 <= bytes &&
            (best == retained_.end() || it->capacity < best->capacity))
            best = it;
    }
    if (best == retained_.end()) return nullptr;
    void* start = best->start;
    retainedBytes_ -= best->capacity;
    retained_.erase(best);
    return start;
}

void* RetainingHeap::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (alignment > kHeader) throw std::bad_alloc();  // outputs are bytes; nothing asks for more
    void* start = nullptr;
    {
        Platform::MutexLock lock(mutex_);
        start = TakeRetained(bytes);
    }
    if (start == nullptr) {
        // Large blocks grow in steps, so that outputs of nearly the same size share them.
        const std::size_t step = bytes >= kLargeHeapBlockStep ? kLargeHeapBlockStep : kHeader;
        const std::size_t capacity = RoundUp(std::max<std::size_t>(bytes, 1), step);
        if (capacity > SIZE_MAX - kHeader) throw std::bad_alloc();
        start = std::malloc(kHeader + capacity);
        if (start == nullptr) throw std::bad_alloc();
        std::memcpy(start, &capacity, sizeof capacity);
    }
    return static_cast<uint8_t*>(start) + kHeader;
}

void RetainingHeap::do_deallocate(void* p, std::size_t, std::size_t) {
    const std::size_t capacity = CapacityOf(p);
    void* start = static_cast<uint8_t*>(p) - kHeader;
    {
        Platform::MutexLock lock(mutex_);
        if (capacity <= retainedMaximum_ - retainedBytes_) {
            retained_.push_back({capacity, start});
            retainedBytes_ += capacity;
            return;
        }
    }
    std::free(start);
}

HeapBlock::HeapBlock(std::pmr::memory_resource* heap, std::size_t size)
    : heap_(heap), size_(size), data_(size == 0 ? nullptr : static_cast<uint8_t*>(heap->allocate(size, 1))) {}

HeapBlock::HeapBlock(HeapBlock&& other) noexcept
    : heap_(other.heap_), size_(std::exchange(other.size_, 0)), data_(std::exchange(other.data_, nullptr)) {}

HeapBlock::~HeapBlock() {
    if (data_ != nullptr) heap_->deallocate(data_, size_, 1);
}

OutputHeaps::OutputHeaps()
    : small_(kSmallHeapMaximum), largeMemory_(kLargeHeapRetainedMaximum), large_(&largeMemory_) {}

std::pmr::memory_resource* OutputHeaps::For(std::size_t bytes) { return bytes > kSmallOutputLimit ? Large() : Small(); }

}  // namespace QVO::Printer
