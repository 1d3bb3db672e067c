// Parsing and canonical texts of the five port settings, and the settings factory.
#include "so/io/PortSettings.h"

#include <cstring>
#include <cwchar>
#include <limits>

#include "platform/text/TextConv.h"
#include "so/io/Tokenize.h"
#include "so/io/UsbModelTable.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;
namespace {

// Copies as much of `text` as fits, always terminated. Only for fields where cutting is
// harmless (the stored raw text, texts built from fields that already fit).
void CopyTruncated(wchar_t* dest, size_t capacity, std::wstring_view text) {
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    text.copy(dest, n);
    dest[n] = L'\0';
}

// The number at the start of `text` the way the C library's atoi reads it (leading
// blanks, optional sign, digits), without atoi's undefined overflow: the value saturates
// far outside every range the callers accept.
int64_t LeadingInteger(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    int64_t value = 0;
    constexpr int64_t kCeiling = int64_t{1} << 40;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value < kCeiling) value = value * 10 + (text[i] - L'0');
    }
    return negative ? -value : value;
}

}  // namespace

// ---- base ----

CPortSettingsBase::CPortSettingsBase() {
    CopyTruncated(portName_, kPortNameChars, L"Auto");
    CopyTruncated(portType_, kPortTypeChars, L"USB");
    settingsString_[0] = L'\0';
    CopyTruncated(separators_, kSeparatorChars, L",");
}

const wchar_t* CPortSettingsBase::GetSettingsString() {
    settingsString_[0] = L'\0';
    return settingsString_;
}

void CPortSettingsBase::ParseSettings(const wchar_t*) {}

void CPortSettingsBase::CopyField(wchar_t* dest, size_t capacity, std::wstring_view value) {
    if (value.size() >= capacity) throw std::string(kFieldTooLongError);
    value.copy(dest, value.size());
    dest[value.size()] = L'\0';
}

void CPortSettingsBase::StoreSettingsString(std::wstring_view text) {
    CopyTruncated(settingsString_, kSettingsStringChars, text);
}

void CPortSettingsBase::SetPortType(const wchar_t* type) { CopyTruncated(portType_, kPortTypeChars, type); }

std::vector<std::wstring> CPortSettingsBase::SplitFields(const wchar_t* text) const {
    return Tokenize(text != nullptr ? std::wstring_view(text) : std::wstring_view(), separators_, true, L"");
}

// ---- COM ----

SerialPortSettings::SerialPortSettings() { SetPortType(L"COM"); }

const wchar_t* SerialPortSettings::GetSettingsString() {
    CopyTruncated(settingsString_, kSettingsStringChars, portName_);
    return settingsString_;
}

void SerialPortSettings::ParseSettings(const wchar_t* text) {
    std::vector<std::wstring> fields = SplitFields(text);
    if (!fields.empty()) SetPortName(L"\\\\.\\" + fields[0]);
    StoreSettingsString(text);

    // "BaudRate_9600": the number after an underscore that is not one of the first two
    // characters. No field, no underscore or an early one: the line's usual 115200.
    baudRate_ = 115200;
    if (fields.size() >= 2) {
        const std::wstring& rate = fields[1];
        size_t underscore = rate.find(L'_');
        if (underscore != std::wstring::npos && underscore >= 2) {
            int64_t value = LeadingInteger(std::wstring_view(rate).substr(underscore + 1));
            // A negative or oversized rate is no rate at all: 0 keeps the line's own speed
            // instead of wrapping into a nonsense value.
            baudRate_ = (value < 0 || value > std::numeric_limits<uint32_t>::max()) ? 0 : static_cast<uint32_t>(value);
        }
    }
}

// ---- LPT ----

LPTPortSettings::LPTPortSettings() {
    SetPortType(L"LPT");
    SetPortName(L"LPT1");
}

const wchar_t* LPTPortSettings::GetSettingsString() {
    CopyTruncated(settingsString_, kSettingsStringChars, portName_);
    return settingsString_;
}

void LPTPortSettings::ParseSettings(const wchar_t* text) {
    std::vector<std::wstring> fields = SplitFields(text);
    if (!fields.empty()) SetPortName(fields[0]);
    StoreSettingsString(text);
}

// ---- USB ----

USBPortSettings::USBPortSettings() {
    SetPortType(L"USB");
    CopyTruncated(hardwareIdFragment_, kFieldChars, kDefaultUsbHardwareId);
    CopyTruncated(deviceClassName_, kFieldChars, L"USBPRINT");
    CopyTruncated(modelName_, kFieldChars, kDefaultUsbModelName);
}

const wchar_t* USBPortSettings::GetSettingsString() {
    CopyTruncated(settingsString_, kSettingsStringChars, L"Auto");
    return settingsString_;
}

// The text names a printer driver for the configuration program; the device is found
// through the model instead.
void USBPortSettings::ParseSettings(const wchar_t*) {}

bool USBPortSettings::SetHardwareIdFragment(std::wstring_view fragment) {
    if (fragment.size() >= kFieldChars) return false;
    CopyTruncated(hardwareIdFragment_, kFieldChars, fragment);
    return true;
}

bool USBPortSettings::SetModelName(std::wstring_view model) {
    if (model.size() >= kFieldChars) return false;
    CopyTruncated(modelName_, kFieldChars, model);
    return true;
}

// ---- TCP/IP ----

TCPIPPortSettings::TCPIPPortSettings() {
    SetPortType(L"TCP/IP");
    std::strcpy(address_, "192.168.0.100");
}

const wchar_t* TCPIPPortSettings::GetSettingsString() {
    CopyTruncated(settingsString_, kSettingsStringChars, AnsiToWide(address_));
    return settingsString_;
}

void TCPIPPortSettings::ParseSettings(const wchar_t* text) {
    std::vector<std::wstring> fields = SplitFields(text);
    if (fields.empty()) return;

    std::string address = WideToAnsi(fields[0]);
    if (address.size() >= kAddressBytes) throw std::string(kFieldTooLongError);
    uint16_t port = tcpPort_;
    if (fields.size() >= 2) {
        // A port the 16 bits cannot hold, or 0, would connect somewhere else than
        // configured without anyone noticing: refuse it as a configuration error.
        int64_t value = LeadingInteger(fields[1]);
        if (value < 1 || value > 65535) throw std::string(kTcpPortRangeError);
        port = static_cast<uint16_t>(value);
    }
    std::memcpy(address_, address.c_str(), address.size() + 1);
    tcpPort_ = port;
}

// ---- FILE ----

FilePortSettings::FilePortSettings() {
    SetPortType(L"FILE");
    outputPath_[0] = L'\0';
    inputPath_[0] = L'\0';
}

const wchar_t* FilePortSettings::GetSettingsString() {
    std::wstring text = std::wstring(outputPath_) + L"," + inputPath_;
    CopyTruncated(settingsString_, kSettingsStringChars, text);
    return settingsString_;
}

void FilePortSettings::ParseSettings(const wchar_t* text) {
    std::vector<std::wstring> fields = SplitFields(text);
    // Check both before storing either, so a rejected text leaves the object as it was.
    for (size_t i = 0; i < fields.size() && i < 2; ++i)
        if (fields[i].size() >= kPathChars) throw std::string(kFieldTooLongError);
    if (fields.size() >= 1) CopyField(outputPath_, kPathChars, fields[0]);
    if (fields.size() >= 2) CopyField(inputPath_, kPathChars, fields[1]);
    StoreSettingsString(text);
}

// ---- factory ----

std::unique_ptr<IPortSettings> CreatePortSettings(const wchar_t* portType) {
    std::wstring_view type = portType != nullptr ? portType : L"";
    if (type == L"COM") return std::make_unique<SerialPortSettings>();
    if (type == L"USB") return std::make_unique<USBPortSettings>();
    if (type == L"LPT") return std::make_unique<LPTPortSettings>();
    if (type == L"TCP/IP") return std::make_unique<TCPIPPortSettings>();
    if (type == L"FILE") return std::make_unique<FilePortSettings>();
    throw PortCreationError;
}

}  // namespace QVO::IO
