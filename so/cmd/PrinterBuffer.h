// Growable byte buffer that every printer command stream is built in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace QVO::Printer {

// A heap block of `Capacity()` bytes holding `Size()` bytes of content followed by zero bytes
// up to the end of the block, so the content is always followed by at least one 0 byte.
//
// Growth: a single byte grows the block when size + 1 >= capacity, to
// capacity + step * ((size - capacity) / step + 1); a run of n bytes (and an insert) when
// size + n + 1 >= capacity, to capacity + step * ((size + n - capacity) / step + 1); never to
// less than the content plus its trailing zero (a step below 2 would otherwise fall short).
//
// When the block cannot grow (allocation failure, or a capacity that would not fit a signed
// 32-bit count) Append and Insert refuse: they return false and leave the buffer exactly as it
// was. Nothing is ever written beyond the block.
//
// Ownership: the buffer owns its block and nothing else; copies are deep copies (queued
// output keeps its own copy). Thread safety: none; a buffer belongs to one owner at a time.
class PrinterBuffer {
public:
    static constexpr int32_t kDefaultCapacity = 32;
    static constexpr int32_t kDefaultGrowStep = 32;

    explicit PrinterBuffer(int32_t capacity = kDefaultCapacity, int32_t growStep = kDefaultGrowStep);
    ~PrinterBuffer();
    PrinterBuffer(const PrinterBuffer& other);
    PrinterBuffer& operator=(const PrinterBuffer& other);
    PrinterBuffer(PrinterBuffer&& other) noexcept;
    PrinterBuffer& operator=(PrinterBuffer&& other) noexcept;

    bool Append(uint8_t byte);
    // Appends count bytes from bytes. The source may lie inside this buffer itself.
    bool Append(const uint8_t* bytes, size_t count);
    bool Append(std::span<const uint8_t> bytes) { return Append(bytes.data(), bytes.size()); }
    bool Append(const PrinterBuffer& other) { return Append(other.Data(), other.Size()); }
    // Puts [first, last) in front of the byte at position; position == Size() appends.
    // Refuses a position beyond the content or a reversed range.
    bool Insert(size_t position, const uint8_t* first, const uint8_t* last);

    // Zero-fills the whole block and empties the content; the capacity stays.
    void Clear();

    uint8_t operator[](size_t index) const { return start_[index]; }
    size_t Size() const { return static_cast<size_t>(end_ - start_); }
    bool IsEmpty() const { return end_ == start_; }
    int32_t Capacity() const { return capacity_; }
    int32_t GrowStep() const { return growStep_; }
    // Start and end of the content; both null before the first allocation.
    const uint8_t* Data() const { return start_; }
    const uint8_t* Begin() const { return start_; }
    const uint8_t* End() const { return end_; }
    const uint8_t* begin() const { return start_; }
    const uint8_t* end() const { return end_; }
    std::span<const uint8_t> Bytes() const { return {start_, Size()}; }
    // The whole block including the zero tail, for checking the invariant.
    std::span<const uint8_t> Block() const { return {allocation_, static_cast<size_t>(capacity_)}; }

private:
    bool EnsureRoomFor(size_t extra, bool singleByte);
    bool Reallocate(int32_t newCapacity);
    void Release();

    uint8_t* allocation_ = nullptr;
    uint8_t* start_ = nullptr;
    uint8_t* end_ = nullptr;
    int32_t capacity_ = 0;
    int32_t growStep_ = kDefaultGrowStep;
};

}  // namespace QVO::Printer
