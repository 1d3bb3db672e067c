// One decoded printer command: what the byte-stream decoder hands to the printer model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace QVO::Sim {

// Identifies a command by its introducer and up to two selector bytes, so the printer can
// switch on it: Key(0x1B, 'a') is ESC a, Key(0x1D, '(', 'k') is GS ( k. Text is key 0.
constexpr uint32_t Key(uint8_t lead, uint8_t a = 0, uint8_t b = 0) {
    return (uint32_t(lead) << 16) | (uint32_t(a) << 8) | b;
}

constexpr uint32_t kTextKey = 0;
constexpr uint32_t kUnknownKey = 0xFFFFFFFFu;

// A value type; copyable on purpose (tests keep lists of them).
struct Command {
    uint64_t offset = 0;      // stream offset of the first byte
    uint32_t key = kTextKey;  // see Key()
    std::string code;         // readable form of the introducer: "ESC a", "GS ( k", "text"
    std::string name;         // what it does: "justify", "qr_store", ...
    std::vector<int> args;    // numeric parameters in command order
    std::vector<uint8_t> data;  // payload: text bytes, image rows, barcode data
    std::vector<uint8_t> raw;   // every byte of the command as received
    bool unknown = false;     // not a command this printer knows; skipped
    bool truncated = false;   // the stream ended inside it
};

}  // namespace QVO::Sim
