// One JSON object built field by field: string escaping, UTF-8 repair and the object's text.
#include "tools/JsonLine.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace QVO::Tools {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kLineSeparator = 0x2028;
constexpr char32_t kParagraphSeparator = 0x2029;
constexpr char32_t kFirstPrintable = 0x20;
constexpr int kMillisPerSecond = 1000;

bool IsScalar(char32_t c) { return c <= kMaxCodePoint && (c < kSurrogateFirst || c > kSurrogateLast); }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One scalar value inside a string literal.
void AppendEscaped(std::string& out, char32_t c) {
    if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
    } else if (c < kFirstPrintable || c == kLineSeparator || c == kParagraphSeparator) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        out += escape;
    } else {
        AppendUtf8(out, c);
    }
}

// The well-formed continuation range of the byte after `lead`, and the sequence length
// (0: the lead byte cannot start a sequence). Overlong forms, surrogates and values above
// U+10FFFF are excluded by the narrowed second-byte ranges.
struct LeadRule {
    int length;
    unsigned char low, high;
};

LeadRule RuleFor(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Decodes the sequence at text[i]; advances i past it, or past its longest well-formed
// prefix when it is cut short (the whole prefix is one U+FFFD).
char32_t NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    const LeadRule rule = RuleFor(lead);
    if (rule.length == 0) return kReplacement;
    const int leadBits = 7 - rule.length;
    char32_t c = lead & ((1u << leadBits) - 1);
    for (int k = 1; k < rule.length; ++k) {
        if (i >= text.size()) return kReplacement;
        const auto next = static_cast<unsigned char>(text[i]);
        const unsigned char low = k == 1 ? rule.low : 0x80, high = k == 1 ? rule.high : 0xBF;
        if (next < low || next > high) return kReplacement;
        c = (c << 6) | (next & 0x3F);
        ++i;
    }
    return c;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (size_t i = 0; i < text.size();) AppendEscaped(out, NextCodePoint(text, i));
    out += '"';
}

void AppendJsonString(std::string& out, std::wstring_view text) {
    out += '"';
    for (wchar_t wc : text) {
        const auto c = static_cast<char32_t>(wc);
        AppendEscaped(out, IsScalar(c) ? c : kReplacement);
    }
    out += '"';
}

void JsonObject::Key(std::string_view key) {
    if (!body_.empty()) body_ += ',';
    AppendJsonString(body_, key);
    body_ += ':';
}

JsonObject& JsonObject::String(std::string_view key, std::string_view utf8) {
    Key(key);
    AppendJsonString(body_, utf8);
    return *this;
}

JsonObject& JsonObject::String(std::string_view key, std::wstring_view text) {
    Key(key);
    AppendJsonString(body_, text);
    return *this;
}

JsonObject& JsonObject::Number(std::string_view key, int64_t value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Boolean(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Null(std::string_view key) {
    Key(key);
    body_ += "null";
    return *this;
}

JsonObject& JsonObject::NameOrNull(std::string_view key, const char* name) {
    return name ? String(key, std::string_view(name)) : Null(key);
}

JsonObject& JsonObject::Object(std::string_view key, const JsonObject& value) {
    Key(key);
    body_ += value.Text();
    return *this;
}

JsonObject& JsonObject::StringArray(std::string_view key, const std::vector<std::wstring>& values) {
    Key(key);
    body_ += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) body_ += ',';
        AppendJsonString(body_, values[i]);
    }
    body_ += ']';
    return *this;
}

std::string IsoTimestampUtc() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / kMillisPerSecond);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms % kMillisPerSecond));
    return text;
}

}  // namespace QVO::Tools
