// Base command set: framed blocks, printer settings, printer information, macros and buzzer.
#include <cstring>

#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdBytes.h"

namespace QVO::Printer {

using namespace CmdBytes;

namespace {
constexpr uint8_t kSetupFnEnter = 1;
constexpr uint8_t kSetupFnLeave = 2;
constexpr uint8_t kSetupFnWrite = 5;
constexpr uint8_t kSetupFnRead = 6;
constexpr uint8_t kSetupFnWriteSerial = 11;
constexpr uint8_t kSetupFnReadSerial = 12;
constexpr uint8_t kSettingDensity = 5;
constexpr uint8_t kSettingSpeed = 6;
constexpr uint8_t kSettingDivisions = 97;
constexpr uint8_t kSetting116 = 116;
constexpr uint8_t kSetting118 = 118;
constexpr size_t kMax16BitBody = 0xFFFF;

bool ValidDensity(int32_t d) { return InRange(d, -6, 6) || d == 100; }
bool ValidSpeed(int32_t s) { return InRange(s, 1, 9); }
bool ValidDivisions(int32_t n) { return OneOf(n, {1, 2, 4, 128}); }
// The two customised values are sent as the printer's own on/off codes.
constexpr int32_t kValue116On = 257;
constexpr int32_t kValue116Off = 1;
constexpr int32_t kValue118On = 85;
constexpr int32_t kValue118Off = 70;
int32_t Value116(bool on) { return on ? kValue116On : kValue116Off; }
int32_t Value118(bool on) { return on ? kValue118On : kValue118Off; }
// Items of the serial-interface settings (GS ( E fn 11 / 12).
constexpr uint8_t kSerialBaudRate = 1;
constexpr uint8_t kSerialParity = 2;
constexpr uint8_t kSerialHandshake = 3;
constexpr uint8_t kSerialDataBits = 4;
// The buzzer kind whose patterns are '1'..'3'; every other kind uses '4'..'6'.
constexpr int32_t kBuzzerKind4100 = 4100;
}  // namespace

// The body is assembled first so that its length can be written in front of it. A body that
// does not fit the 16-bit length field is not sent at all: a cut length would make the
// printer read the tail as commands.
void CCmdHelperBase::AppendFramed16(PrinterBuffer& target, std::initializer_list<uint8_t> header,
                                    std::initializer_list<uint8_t> lead, std::span<const uint8_t> data) {
    body_.Clear();
    body_.Append(lead.begin(), lead.size());
    body_.Append(data);
    if (body_.Size() > kMax16BitBody) return;
    target.Append(header.begin(), header.size());
    Put16(target, static_cast<int32_t>(body_.Size()));
    target.Append(body_);
}

// GS 8 L: the four-byte length counts m (0x30), fn and the data, i.e. everything in lead.
void CCmdHelperBase::AppendFramed32(PrinterBuffer& target, std::initializer_list<uint8_t> lead,
                                    std::span<const uint8_t> data) {
    body_.Clear();
    body_.Append(lead.begin(), lead.size());
    body_.Append(data);
    Put(target, {GS, '8', 'L'});
    Put32(target, static_cast<uint32_t>(body_.Size()));
    target.Append(body_);
}

void CCmdHelperBase::AppendSettingTriple(PrinterBuffer& target, uint8_t a, int32_t value) {
    const uint8_t triple[] = {a, Low(value), High(value)};
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnWrite}, triple);
}

bool CCmdHelperBase::ExecuteTestPrint(PrinterBuffer& target, int32_t n, int32_t m) {
    if (!InRange(n, 0, 2) && !InRange(n, 48, 50)) return false;
    if (!InRange(m, 1, 3) && !InRange(m, 49, 51)) return false;
    Put(target, {GS, '(', 'A', 0x02, 0x00, Byte(n), Byte(m)});
    return true;
}

void CCmdHelperBase::EnterUserSetupMode(PrinterBuffer& target) {
    const uint8_t in[] = {'I', 'N'};
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnEnter}, in);
}

void CCmdHelperBase::LeaveUserSetupMode(PrinterBuffer& target) {
    const uint8_t out[] = {'O', 'U', 'T'};
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnLeave}, out);
}

// One GS ( E fn 5 block carrying every valid setting; invalid optional ones are left out.
void CCmdHelperBase::WriteCustomSettings(PrinterBuffer& target, int32_t density, int32_t speed, int32_t divisions,
                                         bool customValue116On, bool customValue118On) {
    block_.Clear();
    auto triple = [this](uint8_t a, int32_t value) { Put(block_, {a, Low(value), High(value)}); };
    if (ValidDensity(density)) triple(kSettingDensity, density);
    if (ValidSpeed(speed)) triple(kSettingSpeed, speed);
    if (ValidDivisions(divisions)) triple(kSettingDivisions, divisions);
    triple(kSetting116, Value116(customValue116On));
    triple(kSetting118, Value118(customValue118On));
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnWrite}, block_.Bytes());
}

bool CCmdHelperBase::WritePrintDensity(PrinterBuffer& target, int32_t density) {
    if (!ValidDensity(density)) return false;
    AppendSettingTriple(target, kSettingDensity, density);
    return true;
}

void CCmdHelperBase::ReadPrintDensity(PrinterBuffer& target) { ReadCustomValue(target, kSettingDensity); }

bool CCmdHelperBase::WritePrintSpeed(PrinterBuffer& target, int32_t speed) {
    if (!ValidSpeed(speed)) return false;
    AppendSettingTriple(target, kSettingSpeed, speed);
    return true;
}

void CCmdHelperBase::ReadPrintSpeed(PrinterBuffer& target) { ReadCustomValue(target, kSettingSpeed); }

bool CCmdHelperBase::WriteHeadDivision(PrinterBuffer& target, int32_t n) {
    if (!ValidDivisions(n)) return false;
    AppendSettingTriple(target, kSettingDivisions, n);
    return true;
}

void CCmdHelperBase::ReadHeadDivision(PrinterBuffer& target) { ReadCustomValue(target, kSettingDivisions); }
void CCmdHelperBase::WriteCustomValue116(PrinterBuffer& target, bool customValue116On) {
    AppendSettingTriple(target, kSetting116, Value116(customValue116On));
}
void CCmdHelperBase::ReadCustomValue116(PrinterBuffer& target) { ReadCustomValue(target, kSetting116); }
void CCmdHelperBase::WriteCustomValue118(PrinterBuffer& target, bool customValue118On) {
    AppendSettingTriple(target, kSetting118, Value118(customValue118On));
}
void CCmdHelperBase::ReadCustomValue118(PrinterBuffer& target) { ReadCustomValue(target, kSetting118); }

void CCmdHelperBase::ReadCustomValue(PrinterBuffer& target, int32_t settingNumber) {
    const uint8_t setting[] = {Byte(settingNumber)};
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnRead}, setting);
}

// The baud rate goes out as its decimal text; anything shorter than "300" cannot be one.
bool CCmdHelperBase::WriteSerialBaudRate(PrinterBuffer& target, const char* text) {
    if (text == nullptr) return false;
    const size_t length = std::strlen(text);
    if (length < 3 || length + 2 > kMax16BitBody) return false;
    block_.Clear();
    block_.Append(uint8_t{0x01});
    block_.Append(reinterpret_cast<const uint8_t*>(text), length);
    AppendFramed16(target, {GS, '(', 'E'}, {kSetupFnWriteSerial}, block_.Bytes());
    return true;
}

namespace {
void ReadSerial(PrinterBuffer& target, uint8_t item) {
    Put(target, {GS, '(', 'E', 0x02, 0x00, kSetupFnReadSerial, item});
}
void WriteSerial(PrinterBuffer& target, uint8_t item, int32_t value) {
    Put(target, {GS, '(', 'E', 0x03, 0x00, kSetupFnWriteSerial, item, Byte(value)});
}
}  // namespace

void CCmdHelperBase::ReadSerialBaudRate(PrinterBuffer& target) { ReadSerial(target, kSerialBaudRate); }
void CCmdHelperBase::WriteSerialParity(PrinterBuffer& target, int32_t parity) {
    WriteSerial(target, kSerialParity, parity);
}
void CCmdHelperBase::ReadSerialParity(PrinterBuffer& target) { ReadSerial(target, kSerialParity); }
void CCmdHelperBase::WriteSerialHandshake(PrinterBuffer& target, int32_t handshake) {
    WriteSerial(target, kSerialHandshake, handshake);
}
void CCmdHelperBase::ReadSerialHandshake(PrinterBuffer& target) { ReadSerial(target, kSerialHandshake); }
void CCmdHelperBase::WriteSerialDataBits(PrinterBuffer& target, int32_t dataBits) {
    WriteSerial(target, kSerialDataBits, dataBits);
}
void CCmdHelperBase::ReadSerialDataBits(PrinterBuffer& target) { ReadSerial(target, kSerialDataBits); }

bool CCmdHelperBase::SelectPrintSpeedMode(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 9) && !InRange(n, 48, 57)) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'K'}, {50}, data);
    return true;
}

bool CCmdHelperBase::SelectHeadEnergizing(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {0, 1, 2, 4, 48, 49, 50, 52, 128})) return false;
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'K'}, {97}, data);
    return true;
}

void CCmdHelperBase::SelectCharacterColor(PrinterBuffer& target, int32_t n) {
    const uint8_t data[] = {Byte(n)};
    AppendFramed16(target, {GS, '(', 'N'}, {48}, data);
}

// Defining and ending a macro are the same toggle command on the printer.
void CCmdHelperBase::BeginMacro(PrinterBuffer& target) { Put(target, {GS, ':'}); }
void CCmdHelperBase::EndMacro(PrinterBuffer& target) { Put(target, {GS, ':'}); }

// Mode 0 runs the macro `repeatCount` times with a pause between runs; mode 1 waits for the
// feed button before each run.
void CCmdHelperBase::ExecuteMacro(PrinterBuffer& target, int32_t repeatCount, int32_t waitTenths, bool continuous) {
    Put(target, {GS, '^', Byte(repeatCount), Byte(waitTenths), continuous ? uint8_t{0} : uint8_t{1}});
}

void CCmdHelperBase::RequestPrinterId(PrinterBuffer& target, int32_t n) { Put(target, {GS, 'I', Byte(n)}); }
void CCmdHelperBase::RequestModelId(PrinterBuffer& target) { RequestPrinterId(target, 0x01); }
void CCmdHelperBase::RequestTypeId(PrinterBuffer& target) { RequestPrinterId(target, 0x02); }
void CCmdHelperBase::RequestFirmwareVersion(PrinterBuffer& target) { RequestPrinterId(target, 0x41); }
void CCmdHelperBase::RequestMakerName(PrinterBuffer& target) { RequestPrinterId(target, 0x42); }
void CCmdHelperBase::RequestModelName(PrinterBuffer& target) { RequestPrinterId(target, 0x43); }
void CCmdHelperBase::RequestSerialNumber(PrinterBuffer& target) { RequestPrinterId(target, 0x44); }
void CCmdHelperBase::RequestFontInfo(PrinterBuffer& target) { RequestPrinterId(target, 0x45); }

bool CCmdHelperBase::ResetMaintenanceCounter(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {20, 21, 50, 70})) return false;
    Put(target, {GS, 'g', '0', 0x00, Low(n), High(n)});
    return true;
}

bool CCmdHelperBase::RequestMaintenanceCounter(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {20, 21, 50, 70, 148, 149, 178, 198})) return false;
    Put(target, {GS, 'g', '2', 0x00, Low(n), High(n)});
    return true;
}

// Pattern bytes by buzzer kind and tone length: kind 4100 uses patterns '1'..'3', every other
// kind (1280 in practice) '4'..'6', shortest tone first. Unsupported lengths become 1000 ms,
// and the caller learns the length that was used.
void CCmdHelperBase::SoundBuzzerPattern(PrinterBuffer& target, int32_t& timeMs, int32_t buzzerKind, int32_t offset,
                                        int32_t count) {
    if (!OneOf(timeMs, {200, 500, 1000})) timeMs = 1000;
    const uint8_t first = buzzerKind == kBuzzerKind4100 ? uint8_t{'1'} : uint8_t{'4'};
    const uint8_t pattern = static_cast<uint8_t>(first + (timeMs == 200 ? 0 : timeMs == 500 ? 1 : 2));
    // Summed in 64 bits: the offset comes from the caller and may be anything.
    const int64_t tenths = (static_cast<int64_t>(offset) + timeMs) / 100;
    Put(target, {ESC, '(', 'A', 0x04, 0x00, 0x30, pattern, static_cast<uint8_t>(tenths & 0xFF), Byte(count)});
}

// On and off times go out in tenths of a second, never below one tenth.
void CCmdHelperBase::SoundBuzzer(PrinterBuffer& target, int32_t durationMs, int32_t delayMs, int32_t count) {
    const int32_t on = durationMs <= 100 ? 1 : durationMs / 100;
    const int32_t off = delayMs <= 100 ? 1 : delayMs / 100;
    Put(target, {ESC, '(', 'A', 0x05, 0x00, 0x61, 0x64, Byte(count), Byte(on), Byte(off)});
}

}  // namespace QVO::Printer
