// Machine-readable log of decoded commands: one JSON object per line.
#pragma once

#include "sim/Command.h"

#include <cstdio>
#include <string>

namespace QVO::Sim {

// Formats one command as a JSON line:
//   {"off":12,"cmd":"ESC a","name":"justify","args":[1]}
// Text carries "text" (the bytes) and, when given, "printed" (the characters they print as,
// UTF-8); payloads carry "len"; faults carry "unknown"/"truncated"; notes from the printer
// (replies, faults applied) use "cmd":"note".
std::string FormatJsonLine(const Command& cmd, const std::string* printed = nullptr);
std::string JsonEscape(const std::string& text);

// Appends lines to a file it owns. Not thread-safe: the printer writes under its lock.
class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool Open(const std::string& path);  // truncates
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const Command& cmd, const std::string* printed = nullptr);
    void Note(const std::string& event, const std::string& detail);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace QVO::Sim
