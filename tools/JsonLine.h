// One JSON object built field by field, for the commands' machine-readable output (one object
// per line). Whatever text goes in, the result is valid JSON in valid UTF-8.
//
// Thread safety: a JsonObject is a plain value; use one from one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::Tools {

// Appends `text` as a JSON string literal, quotes included. Quotes and backslashes are escaped,
// control characters (and U+2028, U+2029, which break JavaScript readers) become \u00XX /
// \u20XX; bytes that are not well-formed UTF-8 become U+FFFD, one per maximal ill-formed run.
void AppendJsonString(std::string& out, std::string_view text);
// The same for wide text: a code point that is a surrogate or beyond U+10FFFF becomes U+FFFD.
void AppendJsonString(std::string& out, std::wstring_view text);

// Fields keep the order they were added in; keys are given once each by the caller.
// Distinct names per value type, so that a literal or an int never picks the wrong overload.
class JsonObject {
public:
    JsonObject& String(std::string_view key, std::string_view utf8);
    JsonObject& String(std::string_view key, std::wstring_view text);
    JsonObject& Number(std::string_view key, int64_t value);
    JsonObject& Boolean(std::string_view key, bool value);
    JsonObject& Null(std::string_view key);
    // A name for a value, or null when there is none.
    JsonObject& NameOrNull(std::string_view key, const char* name);
    JsonObject& Object(std::string_view key, const JsonObject& value);
    JsonObject& StringArray(std::string_view key, const std::vector<std::wstring>& values);

    bool Empty() const { return body_.empty(); }
    // The object's text, without a line end.
    std::string Text() const { return "{" + body_ + "}"; }

private:
    void Key(std::string_view key);

    std::string body_;
};

// The current time as ISO 8601 UTC with milliseconds: "2026-12-08T13:51:28.123Z".
std::string IsoTimestampUtc();

}  // namespace QVO::Tools
