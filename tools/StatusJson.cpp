// The JSON lines of `quvo status --json`.
#include "tools/StatusJson.h"

#include <signal.h>

namespace QVO::Tools::StatusJson {

namespace {

namespace Names = OposNames;

constexpr int32_t kSuccess = 0;

JsonObject Header(const char* type, const std::string& device) {
    JsonObject line;
    line.String("type", type).String("device", device).String("time", IsoTimestampUtc());
    return line;
}

// "<key>" and "<key>Name", the name null when the table has none for the value.
void Named(JsonObject& line, const std::string& key, const Names::Table* table, int32_t value) {
    line.Number(key, value);
    const std::string name = Names::FullName(table, value);
    line.NameOrNull(key + "Name", name.empty() ? nullptr : name.c_str());
}

void ResultCodes(JsonObject& line, bool drawer, int32_t resultCode, std::optional<int32_t> extended) {
    Named(line, "resultCode", &Names::kResultCodes, resultCode);
    if (extended) {
        Named(line, "resultCodeExtended", Names::ExtendedTable(resultCode, drawer), *extended);
    } else {
        line.Null("resultCodeExtended").Null("resultCodeExtendedName");
    }
}

}  // namespace

JsonObject State(const std::string& device, bool drawer, const std::vector<Reading>& readings) {
    JsonObject line = Header("state", device);
    line.String("class", drawer ? "drawer" : "printer");
    JsonObject failures;
    for (const Reading& r : readings) {
        if (r.resultCode != kSuccess) {
            line.Null(r.key);
            if (r.names) line.Null(std::string(r.key) + "Name");
            JsonObject failure;
            ResultCodes(failure, drawer, r.resultCode, r.resultCodeExtended);
            failures.Object(r.key, failure);
            continue;
        }
        switch (r.kind) {
            case Reading::Kind::Flag:
                line.Boolean(r.key, r.number != 0);
                break;
            case Reading::Kind::Number:
                if (r.names)
                    Named(line, r.key, r.names, r.number);
                else
                    line.Number(r.key, r.number);
                break;
            case Reading::Kind::Text:
                line.String(r.key, r.text);
                break;
        }
    }
    return line.Object("readFailures", failures);
}

JsonObject Failed(const std::string& device, bool drawer, const Failure& failure) {
    JsonObject error;
    error.String("step", failure.step);
    ResultCodes(error, drawer, failure.resultCode, failure.resultCodeExtended);
    if (failure.openResult) Named(error, "openResult", &Names::kOpenResults, *failure.openResult);
    error.String("message", failure.message);
    return Header("failure", device).Object("error", error);
}

JsonObject StatusUpdate(const std::string& device, bool drawer, int32_t data) {
    JsonObject line = Header("status", device);
    Named(line, "status", Names::StatusUpdateTable(data, drawer), data);
    return line;
}

JsonObject ErrorEvent(const std::string& device, bool drawer, int32_t resultCode, int32_t extended, int32_t locus,
                      int32_t response) {
    JsonObject line = Header("error", device);
    ResultCodes(line, drawer, resultCode, extended);
    Named(line, "errorLocus", &Names::kLoci, locus);
    Named(line, "errorResponse", &Names::kResponses, response);
    return line;
}

JsonObject OutputComplete(const std::string& device, int32_t outputId) {
    return Header("output_complete", device).Number("outputId", outputId);
}

JsonObject DirectIO(const std::string& device, int32_t eventNumber, int32_t data, const std::wstring& text) {
    return Header("direct_io", device).Number("eventNumber", eventNumber).Number("data", data).String("text", text);
}

JsonObject Stopped(const std::string& device, int signal) {
    return Header("stopped", device).String("signal", signal == SIGINT ? "SIGINT" : "SIGTERM");
}

}  // namespace QVO::Tools::StatusJson
