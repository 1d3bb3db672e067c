// Small helpers the command builders share for writing command bytes and checking ranges.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer::CmdBytes {

inline constexpr uint8_t DLE = 0x10;
inline constexpr uint8_t ESC = 0x1B;
inline constexpr uint8_t FS = 0x1C;
inline constexpr uint8_t GS = 0x1D;

inline uint8_t Byte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }
inline uint8_t Low(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }
inline uint8_t High(int32_t value) { return static_cast<uint8_t>((value >> 8) & 0xFF); }

inline void Put(PrinterBuffer& target, std::initializer_list<uint8_t> bytes) {
    target.Append(bytes.begin(), bytes.size());
}

// Appends a 16-bit value low byte first.
inline void Put16(PrinterBuffer& target, int32_t value) { Put(target, {Low(value), High(value)}); }

// Appends a 32-bit value least significant byte first.
inline void Put32(PrinterBuffer& target, uint32_t value) {
    Put(target, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                 static_cast<uint8_t>(value >> 24)});
}

inline bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

inline bool OneOf(int32_t value, std::initializer_list<int32_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

}  // namespace QVO::Printer::CmdBytes
