// The JSON lines of `quvo status --json`: the state after enabling, each event of a watch,
// a failed step and the end of a watch. Every line carries "type", "device" and "time".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/JsonLine.h"
#include "tools/OposNames.h"

namespace QVO::Tools::StatusJson {

// One property as it was read, with the ResultCode the read left behind.
struct Reading {
    enum class Kind { Flag, Number, Text };
    const char* key = "";  // the JSON key ("coverOpen")
    Kind kind = Kind::Number;
    const OposNames::Table* names = nullptr;  // for a Number: adds "<key>Name"
    int32_t number = 0;
    std::wstring text;
    int32_t resultCode = 0;
    int32_t resultCodeExtended = 0;
};

// A step that failed: "open", "claim", "enable", "disable", "release" or "close".
struct Failure {
    const char* step;
    int32_t resultCode;
    std::optional<int32_t> resultCodeExtended;  // known only while the control is open
    std::optional<int32_t> openResult;          // for "open"
    std::string message;                        // the human line
};

// A property whose read left a ResultCode other than SUCCESS is null, and named with its
// codes in "readFailures", so a value the service object did not vouch for is not taken.
JsonObject State(const std::string& device, bool drawer, const std::vector<Reading>& readings);
JsonObject Failed(const std::string& device, bool drawer, const Failure& failure);
JsonObject StatusUpdate(const std::string& device, bool drawer, int32_t data);
JsonObject ErrorEvent(const std::string& device, bool drawer, int32_t resultCode, int32_t extended, int32_t locus,
                      int32_t response);
JsonObject OutputComplete(const std::string& device, int32_t outputId);
JsonObject DirectIO(const std::string& device, int32_t eventNumber, int32_t data, const std::wstring& text);
JsonObject Stopped(const std::string& device, int signal);

}  // namespace QVO::Tools::StatusJson
