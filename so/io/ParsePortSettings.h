// ParsePortSettings: the one place where the settings factory's and parsers' throws become a result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "so/io/PortSettings.h"

namespace QVO::IO {

// Code of a PortSettings text a parser refused (it threw its message text).
inline constexpr int32_t kPortSettingsTextError = 2402;

// The parsed settings, or why there are none. Move-only value.
struct ParsedPortSettings {
    std::unique_ptr<IPortSettings> settings;  // null when refused
    int32_t code = 0;                         // 0; PortCreationError (2401) for an unknown type (any int thrown is
                                              // kept as it was); kPortSettingsTextError for a refused text
    std::string message;                      // empty on success; else the thrown text, or what the code means

    explicit operator bool() const { return settings != nullptr; }
};

// Creates the settings object for `portType` and parses `portSettingsText` into it, as the
// open sequence does at open. CreatePortSettings, Tokenize and the field parsers keep
// throwing (an int, a std::string); this is the only place that catches them, keeping the
// code and the text. Out-of-memory still propagates. Safe from any thread.
ParsedPortSettings ParsePortSettings(const wchar_t* portType, const wchar_t* portSettingsText);

}  // namespace QVO::IO
