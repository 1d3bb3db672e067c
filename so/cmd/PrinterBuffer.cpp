// Growable byte buffer: growth by whole steps, trailing-zero invariant, refusal on failure.
#include "so/cmd/PrinterBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace QVO::Printer {

namespace {
constexpr int64_t kMaxCapacity = std::numeric_limits<int32_t>::max();

// Whether [first, first + count) overlaps [block, block + blockSize); compared as addresses
// because the pointers may belong to unrelated objects.
bool Overlaps(const uint8_t* first, size_t count, const uint8_t* block, size_t blockSize) {
    if (block == nullptr || count == 0) return false;
    const auto a = reinterpret_cast<uintptr_t>(first);
    const auto b = reinterpret_cast<uintptr_t>(block);
    return a < b + blockSize && b < a + count;
}
}  // namespace

PrinterBuffer::PrinterBuffer(int32_t capacity, int32_t growStep) : growStep_(growStep) {
    if (capacity > 0) Reallocate(capacity);
}

PrinterBuffer::~PrinterBuffer() { Release(); }

PrinterBuffer::PrinterBuffer(const PrinterBuffer& other) : growStep_(other.growStep_) {
    // A copy that silently came out empty would lose output, so a failed copy throws like any
    // standard container does.
    if (other.capacity_ > 0 && !Reallocate(other.capacity_)) throw std::bad_alloc();
    if (!other.IsEmpty()) {
        std::memcpy(start_, other.start_, other.Size());
        end_ = start_ + other.Size();
    }
}

PrinterBuffer& PrinterBuffer::operator=(const PrinterBuffer& other) {
    if (this != &other) {
        PrinterBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PrinterBuffer::PrinterBuffer(PrinterBuffer&& other) noexcept
    : allocation_(std::exchange(other.allocation_, nullptr)),
      start_(std::exchange(other.start_, nullptr)),
      end_(std::exchange(other.end_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      growStep_(other.growStep_) {}

PrinterBuffer& PrinterBuffer::operator=(PrinterBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        allocation_ = std::exchange(other.allocation_, nullptr);
        start_ = std::exchange(other.start_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        growStep_ = other.growStep_;
    }
    return *this;
}

void PrinterBuffer::Release() {
    std::free(allocation_);
    allocation_ = start_ = end_ = nullptr;
    capacity_ = 0;
}

// Grows the block to newCapacity, keeping the content and zero-filling the new part. On
// failure the old block stays untouched.
bool PrinterBuffer::Reallocate(int32_t newCapacity) {
    const size_t size = Size();
    void* grown = std::realloc(allocation_, static_cast<size_t>(newCapacity));
    if (grown == nullptr) return false;
    allocation_ = static_cast<uint8_t*>(grown);
    std::memset(allocation_ + capacity_, 0, static_cast<size_t>(newCapacity - capacity_));
    start_ = allocation_;
    end_ = start_ + size;
    capacity_ = newCapacity;
    return true;
}

// Makes room for extra more bytes plus the trailing zero. A single byte grows the block when
// size + 1 >= capacity, a run of bytes when size + count + 1 >= capacity; both grow by whole
// steps. The arithmetic is done in 64 bits so that neither a huge request nor a non-positive
// step can overflow or divide by zero, and the result is never less than the content needs
// (with a step of 1 the step count alone would come out as 0 for a single byte).
bool PrinterBuffer::EnsureRoomFor(size_t extra, bool singleByte) {
    if (extra > static_cast<size_t>(kMaxCapacity)) return false;
    const int64_t size = static_cast<int64_t>(Size());
    const int64_t needed = size + static_cast<int64_t>(extra);
    const int64_t trigger = singleByte ? size + 1 : needed + 1;
    if (trigger < capacity_) return true;
    const int64_t step = growStep_ > 0 ? growStep_ : 1;
    const int64_t measured = singleByte ? size : needed;
    const int64_t newCapacity = std::max(capacity_ + step * ((measured - capacity_) / step + 1), needed + 1);
    if (newCapacity > kMaxCapacity) return false;
    return Reallocate(static_cast<int32_t>(newCapacity));
}

bool PrinterBuffer::Append(uint8_t byte) {
    if (!EnsureRoomFor(1, true)) return false;
    *end_++ = byte;
    return true;
}

bool PrinterBuffer::Append(const uint8_t* bytes, size_t count) {
    if (count == 0) return true;
    // The source may be our own content, which growing can move: remember it as an offset.
    const bool ownContent = Overlaps(bytes, count, allocation_, static_cast<size_t>(capacity_));
    const size_t ownOffset = ownContent ? static_cast<size_t>(bytes - allocation_) : 0;
    if (!EnsureRoomFor(count, false)) return false;
    if (ownContent) bytes = allocation_ + ownOffset;
    std::memmove(end_, bytes, count);
    end_ += count;
    return true;
}

bool PrinterBuffer::Insert(size_t position, const uint8_t* first, const uint8_t* last) {
    if (position > Size() || last < first) return false;
    const size_t count = static_cast<size_t>(last - first);
    if (count == 0) return true;
    // Inserting a piece of our own content would read moved bytes; take a copy first.
    if (Overlaps(first, count, allocation_, static_cast<size_t>(capacity_))) {
        PrinterBuffer copy(static_cast<int32_t>(std::min<size_t>(count + 1, kMaxCapacity)), growStep_);
        if (!copy.Append(first, count)) return false;
        return Insert(position, copy.Begin(), copy.End());
    }
    if (!EnsureRoomFor(count, false)) return false;
    uint8_t* at = start_ + position;
    std::memmove(at + count, at, Size() - position);
    std::memcpy(at, first, count);
    end_ += count;
    return true;
}

void PrinterBuffer::Clear() {
    if (allocation_ != nullptr) std::memset(allocation_, 0, static_cast<size_t>(capacity_));
    end_ = start_;
}

}  // namespace QVO::Printer
