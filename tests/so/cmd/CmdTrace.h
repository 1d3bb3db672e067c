// Test helpers that render command bytes readably: hex with spaces and an ESC/POS trace.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer::TestTrace {

// "1B 40 0A"
std::string Hex(std::span<const uint8_t> bytes);
// Parses "1B 40 0A" (spaces optional between pairs).
std::vector<uint8_t> FromHex(std::string_view hex);
// `ESC @ | ESC a 1 | "Total" | LF | GS V 1`: commands with decimal arguments, text quoted,
// embedded data as {hex}; bytes that start no known command show as hex.
std::string Trace(std::span<const uint8_t> bytes);

inline std::span<const uint8_t> Bytes(const PrinterBuffer& buffer) { return buffer.Bytes(); }

}  // namespace QVO::Printer::TestTrace
