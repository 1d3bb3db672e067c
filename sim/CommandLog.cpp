// Machine-readable log of decoded commands: JSON-lines formatting and the file writer.
#include "sim/CommandLog.h"

namespace QVO::Sim {

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            // Printer text is in a code page, not UTF-8: keep every byte visible and exact.
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out;
}

namespace {

// UTF-8 text as a JSON string body: quotes, backslashes and control characters escaped,
// everything else kept as it is, so a reader sees the characters themselves.
std::string JsonEscapeUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace

std::string FormatJsonLine(const Command& cmd, const std::string* printed) {
    std::string line = "{\"off\":" + std::to_string(cmd.offset) + ",\"cmd\":\"" + JsonEscape(cmd.code) +
                       "\",\"name\":\"" + JsonEscape(cmd.name()) + "\"";
    if (!cmd.args.empty()) {
        line += ",\"args\":[";
        for (size_t i = 0; i < cmd.args.size(); ++i) {
            if (i) line += ',';
            line += std::to_string(cmd.args[i]);
        }
        line += ']';
    }
    if (cmd.op == Op::Text && !cmd.truncated) {
        line += ",\"text\":\"" + JsonEscape(std::string(cmd.data.begin(), cmd.data.end())) + "\"";
        if (printed != nullptr) line += ",\"printed\":\"" + JsonEscapeUtf8(*printed) + "\"";
    } else if (!cmd.data.empty()) {
        line += ",\"len\":" + std::to_string(cmd.data.size());
    }
    if (cmd.unknown() || cmd.truncated) {
        line += ",\"raw\":\"";
        for (size_t i = 0; i < cmd.raw.size() && i < 16; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", cmd.raw[i]);
            line += hex;
        }
        line += "\"";
    }
    if (cmd.unknown()) line += ",\"unknown\":true";
    if (cmd.truncated) line += ",\"truncated\":true";
    return line + "}";
}

CommandLog::~CommandLog() {
    if (file_) std::fclose(file_);
}

bool CommandLog::Open(const std::string& path) {
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void CommandLog::Write(const Command& cmd, const std::string* printed) {
    if (!file_) return;
    std::fputs(FormatJsonLine(cmd, printed).c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);  // a crash or a kill must not lose what was decoded
}

void CommandLog::Note(const std::string& event, const std::string& detail) {
    if (!file_) return;
    std::fprintf(file_, "{\"cmd\":\"note\",\"name\":\"%s\",\"detail\":\"%s\"}\n", JsonEscape(event).c_str(),
                 JsonEscape(detail).c_str());
    std::fflush(file_);
}

}  // namespace QVO::Sim
