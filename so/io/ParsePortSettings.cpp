// Turning the settings factory's and parsers' throws into a result that keeps the reason.
#include "so/io/ParsePortSettings.h"

#include "platform/text/TextConv.h"

namespace QVO::IO {

ParsedPortSettings ParsePortSettings(const wchar_t* portType, const wchar_t* portSettingsText) {
    ParsedPortSettings result;
    try {
        std::unique_ptr<IPortSettings> settings = CreatePortSettings(portType);
        settings->ParseSettings(portSettingsText);
        result.settings = std::move(settings);
    } catch (int code) {
        result.code = code;
        const std::string type = portType != nullptr ? Platform::Text::WideToUtf8(portType) : std::string();
        result.message = code == PortCreationError
                             ? "unknown port type \"" + type + "\" (not COM, LPT, USB, TCP/IP or FILE)"
                             : "port settings refused with code " + std::to_string(code);
    } catch (const std::string& text) {
        result.code = kPortSettingsTextError;
        result.message = text;
    }
    return result;
}

}  // namespace QVO::IO
