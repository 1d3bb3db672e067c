// Reads the virtual printer's command log (JSON lines) back: the "printed" field of each text
// run, that is the characters the printer printed, for tests that check text in any script.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace QVO::Test {

// Appends the UTF-8 form of a code point below U+10000 (all the log writer escapes).
inline void AppendUtf8Bmp(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The string value of "field" in one JSON line, unescaped; none when the line has no such field.
inline std::optional<std::string> JsonStringField(const std::string& line, const std::string& field) {
    const std::string key = "\"" + field + "\":\"";
    const size_t at = line.find(key);
    if (at == std::string::npos) return std::nullopt;
    std::string value;
    for (size_t i = at + key.size(); i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') return value;
        if (c != '\\' || i + 1 >= line.size()) {
            value += c;
            continue;
        }
        const char e = line[++i];
        if (e == 'u' && i + 4 < line.size()) {
            AppendUtf8Bmp(value, uint32_t(std::stoul(line.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            value += e;
        }
    }
    return std::nullopt;  // unterminated: a line cut short
}

// The "printed" fields of every text run in the log at `path`, in order.
inline std::vector<std::string> PrintedRuns(const std::string& path) {
    std::vector<std::string> runs;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (auto printed = JsonStringField(line, "printed")) runs.push_back(*printed);
    return runs;
}

// Everything the printer printed as text, the runs joined.
inline std::string PrintedText(const std::string& path) {
    std::string all;
    for (const auto& run : PrintedRuns(path)) all += run;
    return all;
}

}  // namespace QVO::Test
