// What a text run prints as: its bytes through the printer's code table, international
// character set and Kanji mode, as UTF-8 for the command log's "printed" field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/PrinterState.h"

namespace QVO::Sim {

// Decodes text runs one after another. A two-byte character may be split across two runs,
// so the lead byte waits for the next run. Not thread-safe: the printer calls it under its lock.
class PrintedTextDecoder {
public:
    // `multiByte`: the printer prints two-byte characters while Kanji mode is on.
    explicit PrintedTextDecoder(bool multiByte) : multiByte_(multiByte) {}

    // The characters `bytes` print as, in UTF-8 (U+FFFD where the printer has no character).
    std::string Decode(const std::vector<uint8_t>& bytes, const PrinterState& state);
    // The printer was reset (ESC @, power): a waiting lead byte is gone.
    void Reset() { pendingLead_ = -1; }

private:
    bool multiByte_;
    int pendingLead_ = -1;
};

// Appends the UTF-8 form of `cp` (U+FFFD for values that are not characters).
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace QVO::Sim
