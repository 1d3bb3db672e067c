// The printed-text decoder of the command log: the same decoding the paper draws with.
#include "sim/PrintedText.h"

#include "sim/Render.h"

namespace QVO::Sim {

namespace {
constexpr char32_t kReplacement = U'\uFFFD';
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr uint8_t kFirstHighByte = 0x80;
}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > kLastCodePoint || (cp >= kSurrogateFirst && cp <= kSurrogateLast)) cp = kReplacement;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string PrintedTextDecoder::Decode(const std::vector<uint8_t>& bytes, const PrinterState& state) {
    std::string out;
    for (const uint8_t b : bytes) {
        if (pendingLead_ >= 0) {
            AppendUtf8(out, DecodeDoubleByte(state.intlSet, uint8_t(pendingLead_), b));
            pendingLead_ = -1;
        } else if (state.kanji && multiByte_ && b >= kFirstHighByte) {
            pendingLead_ = b;
        } else {
            AppendUtf8(out, ApplyInternationalSet(state.intlSet, DecodeSingleByte(state.codeTable, b)));
        }
    }
    return out;
}

}  // namespace QVO::Sim
