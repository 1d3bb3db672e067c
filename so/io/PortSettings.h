// Port settings: the parsed form of a printer's PortType and PortSettings registry values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::IO {

// Thrown (as an int) by CreatePortSettings and CreatePort for a port type they do not know.
// ParsePortSettings (ParsePortSettings.h) is where it is caught.
inline constexpr int PortCreationError = 2401;

// Thrown (as std::string) by a parser for a field that does not fit its array, and by the
// TCP/IP parser for a TCP port outside 1..65535. ParsePortSettings catches them and
// returns the text with kPortSettingsTextError.
inline constexpr char kFieldTooLongError[] = "ParseSettings: field too long";
inline constexpr char kTcpPortRangeError[] = "ParseSettings: TCP port out of range";

// Settings of one port. Getters return text owned by the object, valid until the object
// changes or goes. Not thread-safe: parsed once, then only read.
class IPortSettings {
public:
    virtual const wchar_t* GetSettingsString() = 0;
    virtual void ParseSettings(const wchar_t* text) = 0;
    virtual const wchar_t* GetPortName() const = 0;
    virtual const wchar_t* GetPortType() const = 0;
    // Two buffer sizes kept for the stored configuration; no port reads them.
    virtual int32_t GetInputBufferSize() const = 0;
    virtual int32_t GetOutputBufferSize() const = 0;
    virtual int32_t GetWriteTimeout() const = 0;
    virtual int32_t GetReadTimeout() const = 0;
    virtual ~IPortSettings() = default;
};

// Common fields, all inside the object. Intentionally copyable: ports keep their own copy.
// Thread safety as for IPortSettings, like every class below.
class CPortSettingsBase : public IPortSettings {
public:
    static constexpr size_t kPortNameChars = 255;
    static constexpr size_t kPortTypeChars = 32;
    static constexpr size_t kSettingsStringChars = 512;
    static constexpr size_t kSeparatorChars = 10;

    CPortSettingsBase();

    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;
    const wchar_t* GetPortName() const override { return portName_; }
    const wchar_t* GetPortType() const override { return portType_; }
    int32_t GetInputBufferSize() const override { return inputBufferSize_; }
    int32_t GetOutputBufferSize() const override { return outputBufferSize_; }
    int32_t GetWriteTimeout() const override { return writeTimeout_; }
    int32_t GetReadTimeout() const override { return readTimeout_; }

protected:
    // Copies `value` and its terminator into `dest` of `capacity` characters; throws
    // std::string(kFieldTooLongError) when it does not fit, leaving `dest` unchanged.
    static void CopyField(wchar_t* dest, size_t capacity, std::wstring_view value);
    // Keeps the raw text for reference; a longer text is cut to what the field holds.
    void StoreSettingsString(std::wstring_view text);
    void SetPortType(const wchar_t* type);
    void SetPortName(std::wstring_view name) { CopyField(portName_, kPortNameChars, name); }
    // Splits the text with the object's separators, dropping empty fields.
    std::vector<std::wstring> SplitFields(const wchar_t* text) const;

    wchar_t portName_[kPortNameChars];
    wchar_t portType_[kPortTypeChars];
    wchar_t settingsString_[kSettingsStringChars];
    int32_t inputBufferSize_ = 2048;
    int32_t outputBufferSize_ = 2048;
    int32_t writeTimeout_ = 1000;
    int32_t readTimeout_ = 1000;
    wchar_t separators_[kSeparatorChars];
};

// "COM": a serial line, e.g. "COM1,BaudRate_115200". Copyable value.
class SerialPortSettings : public CPortSettingsBase {
public:
    SerialPortSettings();
    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;
    uint32_t GetBaudRate() const { return baudRate_; }

private:
    // Until a text is parsed the rate is what a text without a rate gives.
    uint32_t baudRate_ = 115200;
};

// "LPT": a parallel port, e.g. "LPT1". Copyable value.
class LPTPortSettings : public CPortSettingsBase {
public:
    LPTPortSettings();
    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;
};

// "USB": the device is found by a hardware-ID fragment that comes from the printer model,
// not from the text, which is ignored. Copyable value; the port takes its own copy.
class USBPortSettings : public CPortSettingsBase {
public:
    static constexpr size_t kFieldChars = 255;

    USBPortSettings();
    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;

    const wchar_t* GetHardwareIdFragment() const { return hardwareIdFragment_; }
    const wchar_t* GetDeviceClassName() const { return deviceClassName_; }
    const wchar_t* GetModelName() const { return modelName_; }
    // Return false, changing nothing, when the text does not fit the field.
    bool SetHardwareIdFragment(std::wstring_view fragment);
    bool SetModelName(std::wstring_view model);

private:
    wchar_t hardwareIdFragment_[kFieldChars];
    wchar_t deviceClassName_[kFieldChars];
    wchar_t modelName_[kFieldChars];
};

// "TCP/IP": "address,port" of a network printer. Copyable value.
class TCPIPPortSettings : public CPortSettingsBase {
public:
    static constexpr size_t kAddressBytes = 20;

    TCPIPPortSettings();
    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;
    const char* GetAddress() const { return address_; }
    uint16_t GetTcpPort() const { return tcpPort_; }

private:
    char address_[kAddressBytes];
    uint16_t tcpPort_ = 9100;
};

// "FILE": "output path,input path". Copyable value.
class FilePortSettings : public CPortSettingsBase {
public:
    static constexpr size_t kPathChars = 255;

    FilePortSettings();
    const wchar_t* GetSettingsString() override;
    void ParseSettings(const wchar_t* text) override;
    const wchar_t* GetOutputPath() const { return outputPath_; }
    const wchar_t* GetInputPath() const { return inputPath_; }

private:
    wchar_t outputPath_[kPathChars];
    wchar_t inputPath_[kPathChars];
};

// The settings object for a PortType text ("COM", "USB", "LPT", "TCP/IP", "FILE", exact
// case). Throws PortCreationError (int) for any other text. The caller owns the result.
std::unique_ptr<IPortSettings> CreatePortSettings(const wchar_t* portType);

}  // namespace QVO::IO
