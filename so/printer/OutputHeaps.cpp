// The output heaps: a bounded pool with a byte count, and the choice between the two heaps.
#include "so/printer/OutputHeaps.h"

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

HeapBlock::HeapBlock(std::pmr::memory_resource* heap, std::size_t size)
    : heap_(heap), size_(size), data_(size == 0 ? nullptr : static_cast<uint8_t*>(heap->allocate(size, 1))) {}

HeapBlock::HeapBlock(HeapBlock&& other) noexcept
    : heap_(other.heap_), size_(std::exchange(other.size_, 0)), data_(std::exchange(other.data_, nullptr)) {}

HeapBlock::~HeapBlock() {
    if (data_ != nullptr) heap_->deallocate(data_, size_, 1);
}

OutputHeaps::OutputHeaps() : small_(kSmallHeapMaximum) {}

std::pmr::memory_resource* OutputHeaps::For(std::size_t bytes) { return bytes > kSmallOutputLimit ? Large() : Small(); }

}  // namespace QVO::Printer
