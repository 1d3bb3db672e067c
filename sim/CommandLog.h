// Machine-readable log of decoded commands: one JSON object per line.
#pragma once

#include "sim/Command.h"

#include <cstdio>
#include <string>

namespace QVO::Sim {

// Formats one command as a JSON line:
//   {"off":12,"cmd":"ESC a","name":"justify","args":[1]}
// Text carries "text"; payloads carry "len"; faults carry "unknown"/"truncated"; notes
// from the printer (replies, faults applied) use "cmd":"note".
std::string FormatJsonLine(const Command& cmd);
std::string JsonEscape(const std::string& text);

// Appends lines to a file it owns. Not thread-safe: the printer writes under its lock.
class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool Open(const std::string& path);  // truncates
    void Write(const Command& cmd);
    void Note(const std::string& event, const std::string& detail);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace QVO::Sim
