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
}

PrinterBuffer::PrinterBuffer(int32_t capacity, int32_t growStep) : m_growStep(growStep) {
    if (capacity > 0) Reallocate(capacity);
}

PrinterBuffer::~PrinterBuffer() { Release(); }

PrinterBuffer::PrinterBuffer(const PrinterBuffer& other) : m_growStep(other.m_growStep) {
    // A copy that silently came out empty would lose output, so a failed copy throws like any
    // standard container does.
    if (other.m_capacity > 0 && !Reallocate(other.m_capacity)) throw std::bad_alloc();
    if (!other.IsEmpty()) {
        std::memcpy(m_start, other.m_start, other.Size());
        m_end = m_start + other.Size();
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
    : m_allocation(std::exchange(other.m_allocation, nullptr)),
      m_start(std::exchange(other.m_start, nullptr)),
      m_end(std::exchange(other.m_end, nullptr)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_growStep(other.m_growStep) {}

PrinterBuffer& PrinterBuffer::operator=(PrinterBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_allocation = std::exchange(other.m_allocation, nullptr);
        m_start = std::exchange(other.m_start, nullptr);
        m_end = std::exchange(other.m_end, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_growStep = other.m_growStep;
    }
    return *this;
}

void PrinterBuffer::Release() {
    std::free(m_allocation);
    m_allocation = m_start = m_end = nullptr;
    m_capacity = 0;
}

// Grows the block to newCapacity, keeping the content and zero-filling the new part. On
// failure the old block stays untouched.
bool PrinterBuffer::Reallocate(int32_t newCapacity) {
    const size_t size = Size();
    void* grown = std::realloc(m_allocation, static_cast<size_t>(newCapacity));
    if (grown == nullptr) return false;
    m_allocation = static_cast<uint8_t*>(grown);
    std::memset(m_allocation + m_capacity, 0, static_cast<size_t>(newCapacity - m_capacity));
    m_start = m_allocation;
    m_end = m_start + size;
    m_capacity = newCapacity;
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
    if (trigger < m_capacity) return true;
    const int64_t step = m_growStep > 0 ? m_growStep : 1;
    const int64_t measured = singleByte ? size : needed;
    const int64_t newCapacity = std::max(m_capacity + step * ((measured - m_capacity) / step + 1), needed + 1);
    if (newCapacity > kMaxCapacity) return false;
    return Reallocate(static_cast<int32_t>(newCapacity));
}

bool PrinterBuffer::Append(uint8_t byte) {
    if (!EnsureRoomFor(1, true)) return false;
    *m_end++ = byte;
    return true;
}

bool PrinterBuffer::Append(const uint8_t* bytes, size_t count) {
    if (count == 0) return true;
    // The source may be our own content, which growing can move: remember it as an offset.
    const bool ownContent = Overlaps(bytes, count, m_allocation, static_cast<size_t>(m_capacity));
    const size_t ownOffset = ownContent ? static_cast<size_t>(bytes - m_allocation) : 0;
    if (!EnsureRoomFor(count, false)) return false;
    if (ownContent) bytes = m_allocation + ownOffset;
    std::memmove(m_end, bytes, count);
    m_end += count;
    return true;
}

bool PrinterBuffer::Insert(size_t position, const uint8_t* first, const uint8_t* last) {
    if (position > Size() || last < first) return false;
    const size_t count = static_cast<size_t>(last - first);
    if (count == 0) return true;
    // Inserting a piece of our own content would read moved bytes; take a copy first.
    if (Overlaps(first, count, m_allocation, static_cast<size_t>(m_capacity))) {
        PrinterBuffer copy(static_cast<int32_t>(std::min<size_t>(count + 1, kMaxCapacity)), m_growStep);
        if (!copy.Append(first, count)) return false;
        return Insert(position, copy.Begin(), copy.End());
    }
    if (!EnsureRoomFor(count, false)) return false;
    uint8_t* at = m_start + position;
    std::memmove(at + count, at, Size() - position);
    std::memcpy(at, first, count);
    m_end += count;
    return true;
}

void PrinterBuffer::Clear() {
    if (m_allocation != nullptr) std::memset(m_allocation, 0, static_cast<size_t>(m_capacity));
    m_end = m_start;
}

}  // namespace QVO::Printer
