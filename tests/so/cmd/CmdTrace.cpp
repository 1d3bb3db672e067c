// Renders command bytes as hex and as a command trace so a failing test shows what was built.
#include "CmdTrace.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace QVO::Printer::TestTrace {

std::string Hex(std::span<const uint8_t> bytes) {
    std::string out;
    char piece[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(piece, sizeof piece, "%02X", bytes[i]);
        if (i != 0) out += ' ';
        out += piece;
    }
    return out;
}

// A malformed expectation (odd digit count, stray character) throws instead of being read
// short, which would quietly weaken the test that holds it.
std::vector<uint8_t> FromHex(std::string_view hex) {
    std::vector<uint8_t> out;
    std::string digits;
    for (const char c : hex) {
        if (c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw std::invalid_argument("not a hex digit in \"" + std::string(hex) + "\"");
        digits += c;
    }
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits in \"" + std::string(hex) + "\"");
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

namespace {

class Tracer {
public:
    explicit Tracer(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::string Run() {
        while (pos_ < bytes_.size()) Step();
        return out_;
    }

private:
    size_t Left() const { return bytes_.size() - pos_; }
    uint8_t At(size_t offset) const { return bytes_[pos_ + offset]; }

    void Emit(const std::string& piece) {
        if (!out_.empty()) out_ += " | ";
        out_ += piece;
    }

    // A command of `prefix` bytes followed by `args` single-byte decimal arguments and
    // `data` bytes shown as hex.
    void Command(const std::string& name, size_t prefix, size_t args, size_t data = 0) {
        if (Left() < prefix + args + data) {
            Emit(name + " <truncated " + Hex(bytes_.subspan(pos_)) + ">");
            pos_ = bytes_.size();
            return;
        }
        std::string piece = name;
        for (size_t i = 0; i < args; ++i) piece += " " + std::to_string(At(prefix + i));
        if (data != 0) piece += " {" + Hex(bytes_.subspan(pos_ + prefix + args, data)) + "}";
        Emit(piece);
        pos_ += prefix + args + data;
    }

    size_t Word(size_t offset) const { return At(offset) | (At(offset + 1) << 8); }

    void Text() {
        std::string text;
        while (pos_ < bytes_.size() && bytes_[pos_] >= 0x20 && bytes_[pos_] < 0x7F)
            text += static_cast<char>(bytes_[pos_++]);
        Emit("\"" + text + "\"");
    }

    void Step() {
        const uint8_t b = At(0);
        if (b >= 0x20 && b < 0x7F) return Text();
        switch (b) {
            case 0x09:
                return Command("HT", 1, 0);
            case 0x0A:
                return Command("LF", 1, 0);
            case 0x0C:
                return Command("FF", 1, 0);
            case 0x18:
                return Command("CAN", 1, 0);
            case 0x1B:
                return Left() >= 2 ? Esc() : Command("ESC", 1, 0);
            case 0x1D:
                return Left() >= 2 ? Gs() : Command("GS", 1, 0);
            case 0x1C:
                return Left() >= 2 ? Fs() : Command("FS", 1, 0);
            case 0x10:
                return Left() >= 2 ? Dle() : Command("DLE", 1, 0);
            default:
                return Command(Hex(bytes_.subspan(pos_, 1)), 1, 0);
        }
    }

    std::string Name(const char* family) const {
        const uint8_t c = At(1);
        if (c == ' ') return std::string(family) + " SP";
        if (c > 0x20 && c < 0x7F) return std::string(family) + " " + static_cast<char>(c);
        return std::string(family) + " " + Hex(bytes_.subspan(pos_ + 1, 1));
    }

    // Framed blocks: the length field's bytes are shown as a count, the body as hex.
    void Framed(const std::string& name, size_t prefix, size_t lengthBytes) {
        if (Left() < prefix + lengthBytes) return Command(name, prefix, 0, Left() - prefix);
        size_t length = 0;
        for (size_t i = 0; i < lengthBytes; ++i) length |= static_cast<size_t>(At(prefix + i)) << (8 * i);
        if (Left() < prefix + lengthBytes + length) return Command(name, prefix, 0, Left() - prefix);
        Emit(name + " [" + std::to_string(length) + "] {" + Hex(bytes_.subspan(pos_ + prefix + lengthBytes, length)) +
             "}");
        pos_ += prefix + lengthBytes + length;
    }

    void Esc() {
        const std::string name = Name("ESC");
        switch (At(1)) {
            case '@':
            case '2':
            case 'L':
            case 'S':
            case 0x1B:
                return Command(name, 2, 0);
            case '!':
            case '%':
            case '-':
            case '3':
            case '=':
            case '?':
            case 'E':
            case 'G':
            case 'J':
            case 'M':
            case 'R':
            case 'T':
            case 'V':
            case 'a':
            case 'd':
            case 't':
            case '{':
            case ' ':
                return Command(name, 2, 1);
            case '$':
            case '\\':
            case 'c':
                return Command(name, 2, 2);
            case 'p':
                return Command(name, 2, 3);
            case 'W':
                return Command(name, 2, 8);
            case 'D': {
                size_t n = 0;
                while (2 + n < Left() && At(2 + n) != 0) ++n;
                return Command(name, 2, n + (2 + n < Left() ? 1 : 0));
            }
            case '*': {
                if (Left() < 5) return Command(name, 2, Left() - 2);
                const size_t n = Word(3) * (At(2) >= 32 ? 3 : 1);
                return Command(name, 2, 3, n);
            }
            case '(':
                return Framed(name + static_cast<char>(Left() > 2 ? At(2) : '?'), 3, 2);
            default:
                return Command(name, 2, 0);
        }
    }

    void Gs() {
        const std::string name = Name("GS");
        switch (At(1)) {
            case ':':
                return Command(name, 2, 0);
            case '!':
            case '/':
            case 'B':
            case 'H':
            case 'I':
            case 'a':
            case 'b':
            case 'f':
            case 'h':
            case 'r':
            case 'w':
            case 'E':
                return Command(name, 2, 1);
            case '$':
            case 'L':
            case 'P':
            case 'W':
            case '\\':
                return Command(name, 2, 2);
            case '^':
                return Command(name, 2, 3);
            case 'g':
                return Command(name, 2, 4);
            case 'V':
                return Command(name, 2, Left() > 2 && At(2) == 'A' ? 2 : 1);
            case '(':
                return Framed(name + static_cast<char>(Left() > 2 ? At(2) : '?'), 3, 2);
            case '8':
                return Framed(name + static_cast<char>(Left() > 2 ? At(2) : '?'), 3, 4);
            case '*':
                return Left() < 4 ? Command(name, 2, Left() - 2) : Command(name, 2, 2, At(2) * At(3) * 8u);
            case 'k':
                return Left() < 4 ? Command(name, 2, Left() - 2) : Command(name, 2, 2, At(3));
            case '\'':
                return Left() < 3 ? Command(name, 2, 0) : Command(name, 2, 1, At(2) * 4u);
            case '"': {
                size_t n = 0;
                while (5 + n < Left() && At(5 + n) != 0) ++n;
                return Command(name, 2, 3, n + (5 + n < Left() ? 1 : 0));
            }
            default:
                return Command(name, 2, 0);
        }
    }

    void Fs() {
        const std::string name = Name("FS");
        switch (At(1)) {
            case '&':
            case '.':
                return Command(name, 2, 0);
            case '!':
            case '-':
            case 'C':
            case 'W':
                return Command(name, 2, 1);
            case 'S':
            case 'p':
                return Command(name, 2, 2);
            case 'q':
                return Command(name, 2, 0, Left() - 2);
            default:
                return Command(name, 2, 0);
        }
    }

    void Dle() {
        switch (At(1)) {
            case 0x04:
                return Command("DLE EOT", 2, 1);
            case 0x05:
                return Command("DLE ENQ", 2, 1);
            case 0x14:
                return Command("DLE DC4", 2, 0);
            default:
                return Command("DLE", 1, 0);
        }
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    std::string out_;
};

}  // namespace

std::string Trace(std::span<const uint8_t> bytes) { return Tracer(bytes).Run(); }

}  // namespace QVO::Printer::TestTrace
