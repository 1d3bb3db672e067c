// The printer entry: the fields of the printer dialog, their checks, and what a save writes.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "setup/core/DeviceStore.h"
#include "setup/core/SetupData.h"

namespace QVO::Setup {

// The port types in the order of the dialog's list; the index is what CreateSettingsString
// goes by.
enum class PortKind { Usb = 0, Com = 1, Lpt = 2, TcpIp = 3 };
inline constexpr std::array<const wchar_t*, 4> kPortTypes = {L"USB", L"COM", L"LPT", L"TCP/IP"};
inline constexpr std::array<const wchar_t*, 6> kBaudRates = {L"4800", L"9600", L"19200", L"38400", L"57600", L"115200"};
inline constexpr wchar_t kDefaultBaudRate[] = L"115200";
inline constexpr wchar_t kDefaultCodepage[] = L"437";

enum class EditMode { Add, Modify };

// What the dialog shows and collects. Port names are without the trailing ':' ("COM3").
struct PrinterForm {
    std::wstring model;
    std::wstring name;       // the entry's key name
    std::wstring logicName;  // Add: the first logical name; Modify: the one shown
    PortKind port = PortKind::Usb;
    std::wstring comPort;
    std::wstring baudRate = kDefaultBaudRate;
    std::wstring lptPort;
    std::wstring ip;
    std::wstring notes;
};

// The port type text of the list ("TCP/IP"); false for any other text.
bool PortKindFromText(std::wstring_view text, PortKind& kind);

// The PortSettings value: USB the model, COM "COM1,BaudRate_115200", LPT "LPT1", TCP/IP the
// address and ",9100". Colons are dropped from port names.
std::wstring CreateSettingsString(const PrinterForm& form);

// At least 7 characters and exactly three dots after the first character, on the trimmed text.
bool CheckIPAddress(std::wstring_view ip);

// The fields of a new entry of `model` (AddPrinterInit): the next free name as name and
// logical name.
PrinterForm NewPrinterForm(const std::wstring& model);
// The fields of an existing entry (ModifyPrinterInit).
PrinterForm ReadPrinterForm(std::wstring_view name);

// The checks of OK, in the dialog's order; the Language.ini key of the first refusal, or
// empty. `oldName` is the entry's name at opening (Modify).
std::wstring CheckPrinter(EditMode mode, const PrinterForm& form, std::wstring_view oldName, const OposInfo& info);

// Writes the entry (SavePrinter). Modify keeps the stored CodepageID; a rename (only when
// "ModifyPrinterName" is "1") moves the entry, its logical names and the drawers naming it.
// Call CheckPrinter first; the names are taken trimmed.
Status SavePrinter(EditMode mode, const PrinterForm& form, std::wstring_view oldName, const OposInfo& info);

}  // namespace QVO::Setup
