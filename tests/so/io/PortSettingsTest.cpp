// Settings texts, the tokenizer, the factories, the model table and device-name mapping.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "PortTestSupport.h"
#include "so/io/FilePort.h"
#include "so/io/LPTPort.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"
#include "so/io/PortSettings.h"
#include "so/io/SerialPort.h"
#include "so/io/TCPIPPort.h"
#include "so/io/Tokenize.h"
#include "so/io/USBPort.h"
#include "so/io/UsbModelTable.h"

namespace QVO::IO {
namespace {

// Catches a tokenizer that keeps empty fields, drops the filler, or throws the wrong text.
TEST(PortTokenizeTest, SplitsKeepsOrSkipsEmptyFields) {
    struct Case {
        std::wstring text, separators;
        bool skipEmpty;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"a,b", L",", true, {L"a", L"b"}},
        {L",,a,,b,,", L",", true, {L"a", L"b"}},
        {L",,a,,b,,", L",", false, {L"-", L"-", L"a", L"-", L"b", L"-", L"-"}},
        {L",", L",", true, {}},
        {L",", L",", false, {L"-", L"-"}},
        {L"a;b,c", L";,", true, {L"a", L"b", L"c"}},
        {L"abc", L",", false, {L"abc"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokenize(c.text, c.separators, c.skipEmpty, L"-"), c.expected);
}

TEST(PortTokenizeTest, EmptyTextOrSeparatorsThrowTheMessage) {
    for (auto [text, separators] : {std::pair{L"", L","}, std::pair{L"a", L""}}) {
        try {
            Tokenize(text, separators, true, L"");
            ADD_FAILURE() << "no exception";
        } catch (const std::string& message) {
            EXPECT_EQ(message, "tokenize: empty  string");
        }
    }
}

std::unique_ptr<IPortSettings> Parsed(const wchar_t* type, const wchar_t* text) {
    auto settings = CreatePortSettings(type);
    settings->ParseSettings(text);
    return settings;
}

// The baud-rate rules: where the underscore stands, digits or none, empty fields skipped.
TEST(PortSettingsTest, SerialNameAndBaudRate) {
    struct Case {
        const wchar_t* text;
        const wchar_t* name;
        uint32_t baud;
    };
    const Case cases[] = {
        {L"COM3,BaudRate_9600", L"\\\\.\\COM3", 9600},
        {L"COM3", L"\\\\.\\COM3", 115200},
        {L"COM3,9600", L"\\\\.\\COM3", 115200},
        {L"COM3,B_9600", L"\\\\.\\COM3", 115200},
        {L"COM3,Baud_x", L"\\\\.\\COM3", 0},
        {L"COM3,,BaudRate_19200", L"\\\\.\\COM3", 19200},
        {L"COM3,BaudRate_-5", L"\\\\.\\COM3", 0},
        {L"COM3,BaudRate_99999999999999", L"\\\\.\\COM3", 0},
        {L",", L"Auto", 115200},
        {L"COM1,Ba_38400x", L"\\\\.\\COM1", 38400},
    };
    for (const Case& c : cases) {
        SerialPortSettings s;
        s.ParseSettings(c.text);
        EXPECT_STREQ(s.GetPortName(), c.name) << c.text;
        EXPECT_EQ(s.GetBaudRate(), c.baud) << c.text;
        EXPECT_STREQ(s.GetSettingsString(), c.name) << c.text;
    }
}

TEST(PortSettingsTest, TcpAddressPortAndCanonicalText) {
    auto s = Parsed(L"TCP/IP", L"10.0.0.5,9101");
    auto& tcp = dynamic_cast<TCPIPPortSettings&>(*s);
    EXPECT_STREQ(tcp.GetAddress(), "10.0.0.5");
    EXPECT_EQ(tcp.GetTcpPort(), 9101);
    EXPECT_STREQ(tcp.GetSettingsString(), L"10.0.0.5");  // never the port

    tcp.ParseSettings(L"10.0.0.6");
    EXPECT_EQ(tcp.GetTcpPort(), 9101) << "a text without a port keeps the port";
    EXPECT_EQ(dynamic_cast<TCPIPPortSettings&>(*Parsed(L"TCP/IP", L"10.0.0.5")).GetTcpPort(), 9100);

    TCPIPPortSettings defaults;
    defaults.ParseSettings(L",");
    EXPECT_EQ(defaults.GetTcpPort(), 9100);
    EXPECT_STREQ(defaults.GetAddress(), TCPIPPortSettings().GetAddress());
}

// A port the 16 bits would wrap (70000 -> 4464) or 0 must not connect elsewhere silently.
TEST(PortSettingsTest, TcpPortOutsideRangeIsRejectedAndLeavesObject) {
    for (const wchar_t* text : {L"10.0.0.5,70000", L"10.0.0.5,0", L"10.0.0.5,-1", L"10.0.0.5,abc"}) {
        TCPIPPortSettings s;
        s.ParseSettings(L"10.0.0.9,9200");
        EXPECT_THROW(s.ParseSettings(text), std::string) << text;
        EXPECT_STREQ(s.GetAddress(), "10.0.0.9");
        EXPECT_EQ(s.GetTcpPort(), 9200);
    }
}

TEST(PortSettingsTest, FileLptAndUsbTexts) {
    auto file = Parsed(L"FILE", L"/tmp/out,/tmp/in");
    EXPECT_STREQ(file->GetSettingsString(), L"/tmp/out,/tmp/in");
    auto fileOnly = Parsed(L"FILE", L"/tmp/out");
    EXPECT_STREQ(dynamic_cast<FilePortSettings&>(*fileOnly).GetInputPath(), L"");
    EXPECT_STREQ(Parsed(L"FILE", L",,,")->GetSettingsString(), L",");

    EXPECT_STREQ(LPTPortSettings().GetPortName(), L"LPT1");
    EXPECT_STREQ(Parsed(L"LPT", L"LPT2")->GetPortName(), L"LPT2");
    EXPECT_STREQ(Parsed(L"LPT", L",")->GetPortName(), L"LPT1");

    auto usb = Parsed(L"USB", L"");  // the USB text is not parsed at all
    EXPECT_STREQ(usb->GetSettingsString(), L"Auto");
    EXPECT_STREQ(dynamic_cast<USBPortSettings&>(*usb).GetHardwareIdFragment(), kDefaultUsbHardwareId);
}

TEST(PortSettingsTest, CommonDefaults) {
    for (const wchar_t* type : {L"COM", L"LPT", L"USB", L"TCP/IP", L"FILE"}) {
        auto s = CreatePortSettings(type);
        EXPECT_STREQ(s->GetPortType(), type);
        EXPECT_EQ(s->GetWriteTimeout(), 1000);
        EXPECT_EQ(s->GetReadTimeout(), 1000);
        EXPECT_EQ(s->GetInputBufferSize(), 2048);
        EXPECT_EQ(s->GetOutputBufferSize(), 2048);
    }
}

TEST(PortSettingsTest, EmptyTextThrowsTokenizerMessage) {
    for (const wchar_t* type : {L"COM", L"LPT", L"TCP/IP", L"FILE"}) {
        auto s = CreatePortSettings(type);
        EXPECT_THROW(s->ParseSettings(L""), std::string) << type;
        EXPECT_THROW(s->ParseSettings(nullptr), std::string) << type;
    }
}

// Fields one past their arrays must be refused, not written past the array or cut.
TEST(PortSettingsTest, OverlongFieldsAreRejected) {
    struct Case {
        const wchar_t* type;
        std::wstring fits, tooLong;
    };
    const Case cases[] = {
        {L"COM", std::wstring(250, L'C'), std::wstring(251, L'C')},
        {L"LPT", std::wstring(254, L'L'), std::wstring(255, L'L')},
        {L"FILE", std::wstring(254, L'f'), std::wstring(255, L'f')},
        {L"FILE", L"out," + std::wstring(254, L'i'), L"out," + std::wstring(255, L'i')},
        {L"TCP/IP", std::wstring(19, L'1'), std::wstring(20, L'1')},
    };
    for (const Case& c : cases) {
        auto s = CreatePortSettings(c.type);
        EXPECT_NO_THROW(s->ParseSettings(c.fits.c_str())) << c.type;
        try {
            s->ParseSettings(c.tooLong.c_str());
            ADD_FAILURE() << "accepted an over-long field for " << c.type;
        } catch (const std::string& message) {
            EXPECT_EQ(message, kFieldTooLongError);
        }
    }
    // The raw text is only kept for reference: a longer one is cut, not refused.
    SerialPortSettings serial;
    std::wstring longText = L"COM1," + std::wstring(600, L',') + L"BaudRate_9600";
    serial.ParseSettings(longText.c_str());
    EXPECT_EQ(serial.GetBaudRate(), 9600u);
}

TEST(PortFactoryTest, UnknownTypesThrow2401) {
    for (const wchar_t* type : {L"com", L"Com", L"", L"TCPIP", L"FILE ", L"PARALLEL"}) {
        try {
            CreatePortSettings(type);
            ADD_FAILURE() << "accepted type";
        } catch (int code) {
            EXPECT_EQ(code, 2401);
        }
    }
    EXPECT_THROW(CreatePortSettings(nullptr), int);
}

// The open sequence's one call: every reason a settings text or type is refused comes back
// as a code and the thrown text, never as an exception; a good text comes back parsed.
TEST(PortParseSettingsTest, ReasonsAreKeptAsCodeAndText) {
    struct Case {
        const wchar_t* type;
        std::wstring text;
        int32_t code;
        std::string message;
    };
    const Case cases[] = {
        {L"com", L"COM1", PortCreationError, "unknown port type \"com\" (not COM, LPT, USB, TCP/IP or FILE)"},
        {nullptr, L"COM1", PortCreationError, "unknown port type \"\" (not COM, LPT, USB, TCP/IP or FILE)"},
        {L"COM", L"", kPortSettingsTextError, kTokenizeEmptyError},
        {L"LPT", std::wstring(255, L'L'), kPortSettingsTextError, kFieldTooLongError},
        {L"TCP/IP", L"10.0.0.5,70000", kPortSettingsTextError, kTcpPortRangeError},
    };
    for (const Case& c : cases) {
        ParsedPortSettings parsed;
        EXPECT_NO_THROW(parsed = ParsePortSettings(c.type, c.text.c_str()));
        EXPECT_FALSE(parsed);
        EXPECT_EQ(parsed.settings, nullptr);
        EXPECT_EQ(parsed.code, c.code) << c.message;
        EXPECT_EQ(parsed.message, c.message);
    }

    ParsedPortSettings tcp = ParsePortSettings(L"TCP/IP", L"10.0.0.5,9101");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp.code, 0);
    EXPECT_EQ(tcp.message, "");
    EXPECT_STREQ(tcp.settings->GetPortType(), L"TCP/IP");
    EXPECT_EQ(dynamic_cast<TCPIPPortSettings&>(*tcp.settings).GetTcpPort(), 9101);
    // USB ignores its text, even an empty one: the tokenizer is never asked.
    EXPECT_TRUE(ParsePortSettings(L"USB", L""));
}

// A settings object whose type text does not name its class.
class RelabelledSettings : public CPortSettingsBase {
public:
    explicit RelabelledSettings(const wchar_t* type) { SetPortType(type); }
};

TEST(PortFactoryTest, CreatePortMakesTheMatchingClass) {
    Peers::TempDir dir;
    PortEnvironment env{dir / "dos", dir / "sys", dir / "dev", dir / "locks"};
    auto serial = Parsed(L"COM", L"COM1");
    auto lpt = Parsed(L"LPT", L"LPT1");
    auto usb = Parsed(L"USB", L"x");
    auto tcp = Parsed(L"TCP/IP", L"127.0.0.1,9100");
    auto file = Parsed(L"FILE", L"a,b");
    EXPECT_NE(dynamic_cast<SerialPort*>(CreatePort(*serial, env).get()), nullptr);
    EXPECT_NE(dynamic_cast<LPTPort*>(CreatePort(*lpt, env).get()), nullptr);
    EXPECT_NE(dynamic_cast<USBPort*>(CreatePort(*usb, env).get()), nullptr);
    EXPECT_NE(dynamic_cast<TCPIPPort*>(CreatePort(*tcp, env).get()), nullptr);
    EXPECT_NE(dynamic_cast<FilePort*>(CreatePort(*file, env).get()), nullptr);

    for (const wchar_t* type : {L"COM", L"XYZ"}) {
        RelabelledSettings odd(type);
        EXPECT_THROW(CreatePort(odd, env), int) << type;
    }
}

// The port keeps its own copy: the caller may drop its settings after CreatePort.
TEST(PortFactoryTest, PortOutlivesTheSettingsItWasMadeFrom) {
    Peers::TempDir dir;
    PortEnvironment env{dir / "dos", dir / "sys", dir / "dev", dir / "locks"};
    for (const wchar_t* type : {L"COM", L"USB", L"TCP/IP"}) {
        auto settings = Parsed(type, L"127.0.0.1,9100");
        auto port = CreatePort(*settings, env);
        settings.reset();
        EXPECT_STREQ(port->GetSettings()->GetPortType(), type);
    }
}

TEST(PortUsbModelTest, TableShapeAndLookup) {
    auto rows = UsbModelTable();
    ASSERT_EQ(rows.size(), 33u);
    std::set<std::wstring> fragments, names;
    for (const UsbModelRow& row : rows) {
        fragments.insert(row.hardwareIdFragment);
        names.insert(row.modelName);
    }
    EXPECT_EQ(fragments.size(), 5u);
    EXPECT_EQ(names.size(), 33u) << "a repeated name would never be reached";
    for (const wchar_t* known : {L"RX4270", L"RX4270SMB", L"RX610", L"TM-T88IV"})
        EXPECT_TRUE(names.count(known)) << known;

    EXPECT_STREQ(LookupUsbHardwareId(L"TM-T88IV"), L"VID_04B8&PID_0202");
    EXPECT_STREQ(LookupUsbHardwareId(L"tm-t88iv"), kDefaultUsbHardwareId);
    EXPECT_STREQ(LookupUsbHardwareId(L"NoSuchModel"), kDefaultUsbHardwareId);
    EXPECT_STREQ(LookupUsbHardwareId(nullptr), kDefaultUsbHardwareId);

    USBPortSettings usb;
    ApplyUsbModel(usb, L"TM-T88IV");
    EXPECT_STREQ(usb.GetHardwareIdFragment(), L"VID_04B8&PID_0202");
    ApplyUsbModel(usb, L"tm-t88iv");
    EXPECT_STREQ(usb.GetHardwareIdFragment(), kDefaultUsbHardwareId);
}

TEST(PortNamesTest, WindowsNamesMapToDeviceFiles) {
    Peers::TempDir dir;
    std::filesystem::create_directories(dir.path() / "dos");
    std::filesystem::create_symlink("/dev/ttyUSB7", dir.path() / "dos" / "com1");
    std::filesystem::create_symlink(dir / "nowhere", dir.path() / "dos" / "lpt2");
    PortEnvironment env;
    env.dosDevicesDir = dir / "dos";
    struct Case {
        const wchar_t* name;
        std::string expected;
    };
    const Case cases[] = {
        {L"\\\\.\\COM1", dir / "dos/com1"},
        {L"COM1", dir / "dos/com1"},
        {L"\\\\.\\COM2", "/dev/ttyS1"},
        {L"COM12", "/dev/ttyS11"},
        {L"LPT1", "/dev/lp0"},
        {L"LPT2", dir / "dos/lpt2"},
        {L"/dev/usb/lp3", "/dev/usb/lp3"},
        {L"\\\\.\\/dev/pts/9", "/dev/pts/9"},
        {L"Auto", ""},
        {L"COM0", ""},
        {L"COMx", ""},
        {L"\\\\.\\", ""},
        {L"LPT", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveDeviceName(c.name, env), c.expected) << std::string(c.name, c.name + wcslen(c.name));
}

}  // namespace
}  // namespace QVO::IO
