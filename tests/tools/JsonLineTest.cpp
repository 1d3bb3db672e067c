// The JSON writer of the commands' --json output and the status command's lines: hostile
// text must still give valid JSON in valid UTF-8, and OPOS numbers must carry their names.
#include <gtest/gtest.h>
#include <signal.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "tests/tools/JsonLines.h"
#include "tools/JsonLine.h"
#include "tools/StatusJson.h"

namespace {

using QVO::Test::Field;
using QVO::Test::ParseJsonLines;
using QVO::Tools::AppendJsonString;
using QVO::Tools::JsonObject;
namespace Json = QVO::Tools::StatusJson;

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

std::string Literal(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

std::string Literal(std::wstring_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

// Catches an unescaped quote or backslash, a raw control character (invalid inside a JSON
// string), and U+2028/U+2029 left raw; text that needs no escaping must stay as it is.
TEST(JsonWriter, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(Literal(std::string_view("say \"hi\" C:\\x\n\t\r\x01\x1f\x7f")),
              "\"say \\\"hi\\\" C:\\\\x\\u000a\\u0009\\u000d\\u0001\\u001f\x7f\"");
    EXPECT_EQ(Literal(std::string_view("\xE2\x80\xA8|\xE2\x80\xA9")), "\"\\u2028|\\u2029\"");
    EXPECT_EQ(Literal(std::string_view("K\xC3\xBC"
                                       "che \xE2\x82\xAC \xF0\x9F\x98\x80")),
              "\"K\xC3\xBC"
              "che \xE2\x82\xAC \xF0\x9F\x98\x80\"");
    EXPECT_EQ(Literal(std::string_view("nul\0in", 6)), "\"nul\\u0000in\"");
    EXPECT_EQ(Literal(std::wstring_view(L"\"\\\n\u00e9")), "\"\\\"\\\\\\u000a\xC3\xA9\"");
}

// Catches ill-formed UTF-8 passed through (the line would not decode), overlong forms,
// encoded surrogates and values beyond U+10FFFF taken as characters, and a cut sequence
// swallowing the character after it.
TEST(JsonWriter, ReplacesIllFormedUtf8) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"\xC3", kR},
        {"a\xC3"
         "b",
         "a" + kR + "b"},
        {"\xE2\x82"
         "A",
         kR + "A"},
        {"\xF0\x9F\x98", kR},
        {"\xC0\xAF", kR + kR},
        {"\xE0\x80\x80", kR + kR + kR},
        {"\xED\xA0\x80", kR + kR + kR},
        {"\xF4\x90\x80\x80", kR + kR + kR + kR},
        {"\x80\xFF\xFE", kR + kR + kR},
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Literal(std::string_view(c.in)), "\"" + c.out + "\"") << c.out;

    const std::wstring wide =
        std::wstring(L"a") + wchar_t(0xD800) + L"b" + wchar_t(0xDFFF) + wchar_t(0x110000) + wchar_t(-1) + L"\U0010FFFF";
    EXPECT_EQ(Literal(std::wstring_view(wide)), "\"a" + kR + "b" + kR + kR + kR + "\xF4\x8F\xBF\xBF\"");
}

// Catches a separator or bracket out of place and text a real parser reads back differently.
TEST(JsonWriter, HostileObjectParsesBackToItsValues) {
    JsonObject nested;
    nested.String("inner \"key\"", std::string_view("x\xFFy"));
    JsonObject line;
    line.String("text", std::string_view("q\"b\\s\n\x01\xED\xA0\x80z"))
        .String("wide", std::wstring_view(std::wstring(L"w") + wchar_t(0xDC00) + L"\t"))
        .Number("min", INT64_MIN)
        .Number("max", INT64_MAX)
        .Boolean("yes", true)
        .Boolean("no", false)
        .Null("none")
        .NameOrNull("named", "OPOS_S_IDLE")
        .NameOrNull("unnamed", nullptr)
        .StringArray("list", {L"a,b", L"]\"", L""})
        .StringArray("empty", {})
        .Object("nested", nested)
        .Object("hollow", JsonObject());
    const auto parsed = ParseJsonLines(line.Text() + "\n");
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.objects.size(), 1u);
    const auto& o = parsed.objects[0];
    EXPECT_EQ(Field(o, "text"), R"("q\"b\\s\n\u0001\ufffd\ufffd\ufffdz")");
    EXPECT_EQ(Field(o, "wide"), R"("w\ufffd\t")");
    EXPECT_EQ(Field(o, "min"), "-9223372036854775808");
    EXPECT_EQ(Field(o, "max"), "9223372036854775807");
    EXPECT_EQ(Field(o, "yes"), "true");
    EXPECT_EQ(Field(o, "no"), "false");
    EXPECT_EQ(Field(o, "none"), "null");
    EXPECT_EQ(Field(o, "named"), R"("OPOS_S_IDLE")");
    EXPECT_EQ(Field(o, "unnamed"), "null");
    EXPECT_EQ(Field(o, "list"), R"(["a,b","]\"",""])");
    EXPECT_EQ(Field(o, "empty"), "[]");
    EXPECT_EQ(Field(o, "nested.inner \"key\""), R"("x\ufffdy")");
    EXPECT_EQ(Field(o, "hollow"), "{}");
    EXPECT_EQ(o.size(), 13u);
}

// Catches local time written as UTC, a missing zone letter or milliseconds without padding.
TEST(JsonWriter, TimestampIsIsoUtcNow) {
    const std::string stamp = QVO::Tools::IsoTimestampUtc();
    ASSERT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"))) << stamp;
    std::tm utc{};
    ASSERT_NE(strptime(stamp.c_str(), "%Y-%m-%dT%H:%M:%S", &utc), nullptr);
    EXPECT_LE(std::abs(timegm(&utc) - std::time(nullptr)), 5) << stamp;
}

// Catches event values given the wrong table's names (a drawer's extended code named as a
// printer's, a power update unnamed), and event fields missing or mistyped.
TEST(StatusJsonLines, EventsCarryTheirOposNames) {
    std::string text = Json::ErrorEvent("P", false, 114, 201, 1, 11).Text() + "\n" +
                       Json::ErrorEvent("D", true, 114, 201, 1, 12).Text() + "\n" +
                       Json::StatusUpdate("P", false, 11).Text() + "\n" + Json::StatusUpdate("P", false, 2001).Text() +
                       "\n" + Json::StatusUpdate("D", true, 1).Text() + "\n" +
                       Json::StatusUpdate("P", false, 1).Text() + "\n" + Json::OutputComplete("P", 42).Text() + "\n" +
                       Json::DirectIO("P", 7, -3, L"x\"\n").Text() + "\n" + Json::Stopped("P", SIGINT).Text() + "\n";
    const auto parsed = ParseJsonLines(text);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.objects.size(), 9u);
    const auto& o = parsed.objects;
    EXPECT_EQ(Field(o[0], "type"), R"("error")");
    EXPECT_EQ(Field(o[0], "resultCodeName"), R"("OPOS_E_EXTENDED")");
    EXPECT_EQ(Field(o[0], "resultCodeExtended"), "201");
    EXPECT_EQ(Field(o[0], "resultCodeExtendedName"), R"("OPOS_EPTR_COVER_OPEN")");
    EXPECT_EQ(Field(o[0], "errorLocusName"), R"("OPOS_EL_OUTPUT")");
    EXPECT_EQ(Field(o[0], "errorResponseName"), R"("OPOS_ER_RETRY")");
    EXPECT_EQ(Field(o[1], "resultCodeExtendedName"), "null");
    EXPECT_EQ(Field(o[1], "errorResponseName"), R"("OPOS_ER_CLEAR")");
    EXPECT_EQ(Field(o[2], "type"), R"("status")");
    EXPECT_EQ(Field(o[2], "status"), "11");
    EXPECT_EQ(Field(o[2], "statusName"), R"("PTR_SUE_COVER_OPEN")");
    EXPECT_EQ(Field(o[3], "statusName"), R"("OPOS_SUE_POWER_ONLINE")");
    EXPECT_EQ(Field(o[4], "statusName"), R"("CASH_SUE_DRAWEROPEN")");
    EXPECT_EQ(Field(o[5], "statusName"), "null");
    EXPECT_EQ(Field(o[6], "type"), R"("output_complete")");
    EXPECT_EQ(Field(o[6], "outputId"), "42");
    EXPECT_EQ(Field(o[7], "type"), R"("direct_io")");
    EXPECT_EQ(Field(o[7], "data"), "-3");
    EXPECT_EQ(Field(o[7], "text"), R"("x\"\n")");
    EXPECT_EQ(Field(o[8], "signal"), R"("SIGINT")");
    for (const auto& object : o) EXPECT_NE(Field(object, "time"), "<absent>");
}

// Catches a value whose read failed shown as if the service object vouched for it, and a
// failed step without its codes or with an extended code it could not know.
TEST(StatusJsonLines, StateAndFailureKeepTheResultCodes) {
    using Kind = Json::Reading::Kind;
    const auto reading = [](const char* key, Kind kind, int32_t number, int32_t rc = 0, int32_t extended = 0) {
        Json::Reading r;
        r.key = key;
        r.kind = kind;
        r.number = number;
        r.resultCode = rc;
        r.resultCodeExtended = extended;
        return r;
    };
    std::vector<Json::Reading> readings{reading("state", Kind::Number, 2),
                                        reading("coverOpen", Kind::Flag, 1, 114, 201),
                                        reading("recEmpty", Kind::Flag, 1), reading("checkHealthText", Kind::Text, 0)};
    readings[0].names = &QVO::Tools::OposNames::kStates;
    readings[3].text = L"Internal HCheck: Successful";
    const std::string text =
        Json::State("Receipt", false, readings).Text() + "\n" +
        Json::Failed("NoSuch", false, {"open", 109, std::nullopt, 302, "Open of NoSuch failed"}).Text() + "\n";
    const auto parsed = ParseJsonLines(text);
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.objects.size(), 2u);
    const auto& state = parsed.objects[0];
    EXPECT_EQ(Field(state, "type"), R"("state")");
    EXPECT_EQ(Field(state, "class"), R"("printer")");
    EXPECT_EQ(Field(state, "stateName"), R"("OPOS_S_IDLE")");
    EXPECT_EQ(Field(state, "coverOpen"), "null");
    EXPECT_EQ(Field(state, "recEmpty"), "true");
    EXPECT_EQ(Field(state, "checkHealthText"), R"("Internal HCheck: Successful")");
    EXPECT_EQ(Field(state, "readFailures.coverOpen.resultCode"), "114");
    EXPECT_EQ(Field(state, "readFailures.coverOpen.resultCodeExtendedName"), R"("OPOS_EPTR_COVER_OPEN")");
    const auto& failure = parsed.objects[1];
    EXPECT_EQ(Field(failure, "type"), R"("failure")");
    EXPECT_EQ(Field(failure, "error.step"), R"("open")");
    EXPECT_EQ(Field(failure, "error.resultCodeName"), R"("OPOS_E_NOEXIST")");
    EXPECT_EQ(Field(failure, "error.resultCodeExtended"), "null");
    EXPECT_EQ(Field(failure, "error.openResultName"), R"("OPOS_OR_REGBADNAME")");
    EXPECT_EQ(Field(failure, "error.message"), R"("Open of NoSuch failed")");
}

}  // namespace
