// Fuzzes the PortSettings text parsers of every port type and the tokenizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/text/TextConv.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/Tokenize.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Every text a settings object hands out must end inside its array.
void CheckBounds(QVO::IO::IPortSettings& settings) {
    Check(std::wcslen(settings.GetPortName()) < QVO::IO::CPortSettingsBase::kPortNameChars);
    Check(std::wcslen(settings.GetPortType()) < QVO::IO::CPortSettingsBase::kPortTypeChars);
    Check(std::wcslen(settings.GetSettingsString()) < QVO::IO::CPortSettingsBase::kSettingsStringChars);
    if (auto* tcp = dynamic_cast<QVO::IO::TCPIPPortSettings*>(&settings)) {
        Check(std::strlen(tcp->GetAddress()) < QVO::IO::TCPIPPortSettings::kAddressBytes);
        Check(tcp->GetTcpPort() != 0);
    }
    if (auto* file = dynamic_cast<QVO::IO::FilePortSettings*>(&settings)) {
        Check(std::wcslen(file->GetOutputPath()) < QVO::IO::FilePortSettings::kPathChars);
        Check(std::wcslen(file->GetInputPath()) < QVO::IO::FilePortSettings::kPathChars);
    }
}

}  // namespace

// First byte: the port type; the rest: the settings text as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const wchar_t* const kTypes[] = {L"COM", L"LPT", L"USB", L"TCP/IP", L"FILE", L"com"};
    if (size == 0) return 0;
    const wchar_t* type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    const std::wstring text =
        QVO::Platform::Text::Utf8ToWide(std::string(reinterpret_cast<const char*>(data + 1), size - 1));

    try {
        auto tokens = QVO::IO::Tokenize(text, L",;", (data[0] & 0x80) != 0, L"<empty>");
        for (const std::wstring& token : tokens) Check(!token.empty());
    } catch (const std::string&) {
        Check(text.empty());
    }

    // The open sequence's call: refusals come back as a code and a text, never a throw.
    QVO::IO::ParsedPortSettings parsed = QVO::IO::ParsePortSettings(type, text.c_str());
    if (parsed) {
        Check(parsed.code == 0 && parsed.message.empty());
        CheckBounds(*parsed.settings);
    } else {
        Check(parsed.code == QVO::IO::PortCreationError || parsed.code == QVO::IO::kPortSettingsTextError);
        Check(!parsed.message.empty());
    }

    // A refused text leaves the object it was parsed into sound.
    QVO::IO::ParsedPortSettings fresh = QVO::IO::ParsePortSettings(type, L",");
    if (fresh) {
        try {
            fresh.settings->ParseSettings(text.c_str());
        } catch (const std::string&) {}
        CheckBounds(*fresh.settings);
    }
    return 0;
}
