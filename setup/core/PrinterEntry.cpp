// The printer entry: fields, checks and the save.
#include "setup/core/PrinterEntry.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "setup/core/PortList.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

constexpr size_t kMinIpLength = 7;
constexpr size_t kIpDots = 3;
constexpr wchar_t kBaudPrefix[] = L"BaudRate_";
constexpr wchar_t kNetworkPort[] = L",9100";

std::wstring WithoutColons(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L':'), text.end());
    return text;
}

using Values = std::vector<std::pair<const wchar_t*, std::wstring>>;

Status WriteValues(const std::wstring& path, const Values& values) {
    for (const auto& [name, text] : values)
        if (Status s = RegWriteText(path, name, text); !s) return s;
    return {};
}

// Drawers hang on a printer by its entry name; they follow a rename.
Status RenameInDrawers(std::wstring_view oldName, std::wstring_view newName) {
    for (const std::wstring& drawer : RegKeyNames(ClassKey(DeviceClass::CashDrawer))) {
        const std::wstring path = EntryKey(DeviceClass::CashDrawer, drawer);
        if (SameText(RegReadText(path, L"PrinterName"), oldName))
            if (Status s = RegWriteText(path, L"PrinterName", newName); !s) return s;
    }
    return {};
}

}  // namespace

bool PortKindFromText(std::wstring_view text, PortKind& kind) {
    for (size_t i = 0; i < kPortTypes.size(); ++i)
        if (SameText(text, kPortTypes[i])) {
            kind = static_cast<PortKind>(i);
            return true;
        }
    return false;
}

std::wstring CreateSettingsString(const PrinterForm& form) {
    switch (form.port) {
        case PortKind::Usb:
            return form.model;
        case PortKind::Com:
            return WithoutColons(form.comPort) + L"," + kBaudPrefix + form.baudRate;
        case PortKind::Lpt:
            return WithoutColons(form.lptPort);
        case PortKind::TcpIp:
            return Trim(form.ip) + kNetworkPort;
    }
    return {};
}

bool CheckIPAddress(std::wstring_view ip) {
    const std::wstring text = Trim(ip);
    return text.size() >= kMinIpLength && CountOccurrences(text, L".") == kIpDots;
}

PrinterForm NewPrinterForm(const std::wstring& model) {
    PrinterForm form;
    form.model = model;
    form.name = NextDeviceName(DeviceClass::Printer, model);
    form.logicName = form.name;
    return form;
}

PrinterForm ReadPrinterForm(std::wstring_view name) {
    const std::wstring path = EntryKey(DeviceClass::Printer, name);
    PrinterForm form;
    form.name = RegReadText(path, L"DriverName");
    if (form.name.empty()) form.name = name;  // an entry written by hand may lack it
    form.model = RegReadText(path, L"DriverModel");
    PortKindFromText(RegReadText(path, L"PortType"), form.port);
    form.notes = RegReadText(path, L"Notes");
    const std::vector<std::wstring> fields = SplitText(RegReadText(path, L"PortSettings"), L",");
    const std::wstring first = fields.empty() ? std::wstring() : fields[0];
    switch (form.port) {
        case PortKind::Com: {
            form.comPort = first;
            const std::wstring second = fields.size() > 1 ? fields[1] : std::wstring();
            const std::wstring_view prefix = kBaudPrefix;
            if (second.compare(0, prefix.size(), prefix) == 0) form.baudRate = second.substr(prefix.size());
            break;
        }
        case PortKind::Lpt:
            form.lptPort = first;
            break;
        case PortKind::TcpIp:
            form.ip = first;
            break;
        case PortKind::Usb:
            break;
    }
    form.logicName = FindLogicName(name, DeviceClass::Printer);
    return form;
}

std::wstring CheckPrinter(EditMode mode, const PrinterForm& form, std::wstring_view oldName, const OposInfo& info) {
    const bool add = mode == EditMode::Add;
    const std::wstring name = Trim(form.name);
    if (add || info.PrinterRenameAllowed()) {
        std::wstring refused =
            CheckDeviceName(DeviceClass::Printer, name, add ? L"" : oldName, L"FormAP_NullPrinterName",
                            L"FormAP_PrinterNameErr", L"FormAP_PrinterNameExist");
        if (!refused.empty()) return refused;
    }
    if (add) {
        const std::wstring logicName = Trim(form.logicName);
        if (logicName.empty()) return L"FormAP_NullLogicName";
        if (!IsLogicNameFree(logicName, DeviceClass::Printer)) return L"FormAP_LogicNameErr";
        if (std::find(info.printerList.begin(), info.printerList.end(), form.model) == info.printerList.end())
            return L"FormAP_ModelErr";
    }
    switch (form.port) {
        case PortKind::Com:
            if (!IsPortName(WithoutColons(form.comPort), true)) return L"FormAP_PortErr";
            if (std::find(kBaudRates.begin(), kBaudRates.end(), form.baudRate) == kBaudRates.end())
                return L"FormAP_BaudRateErr";
            break;
        case PortKind::Lpt:
            if (!IsPortName(WithoutColons(form.lptPort), false)) return L"FormAP_PortErr";
            break;
        case PortKind::TcpIp:
            if (!CheckIPAddress(form.ip)) return L"FormAP_IPErr";
            break;
        case PortKind::Usb:
            break;
    }
    return {};
}

Status SavePrinter(EditMode mode, const PrinterForm& form, std::wstring_view oldName, const OposInfo& info) {
    const bool add = mode == EditMode::Add;
    const bool rename = !add && info.PrinterRenameAllowed() && Trim(form.name) != oldName;
    const std::wstring name = add || rename ? Trim(form.name) : std::wstring(oldName);
    const std::wstring logicName = Trim(form.logicName);

    // An administrator's code page survives a change of port or notes.
    std::wstring codepage = kDefaultCodepage;
    if (!add) {
        const std::wstring stored = RegReadText(EntryKey(DeviceClass::Printer, oldName), L"CodepageID");
        if (!stored.empty()) codepage = stored;
    }
    // A rename that only changes case is the same key: it must go before it is written again.
    const bool sameKey = rename && SameText(name, oldName);
    if (sameKey)
        if (Status s = RegRemoveKey(ClassKey(DeviceClass::Printer), oldName); !s) return s;

    const std::wstring path = EntryKey(DeviceClass::Printer, name);
    const Values values = {
        {L"", info.dllFileName},
        {L"DeviceDescription", info.deviceDescription},
        {L"DriverModel", form.model},
        {L"DriverName", name},
        {L"BitMapMode", L"RasterBitImage"},
        {L"PortType", kPortTypes[static_cast<size_t>(form.port)]},
        {L"ReadTimeout", L"2000"},
        {L"WriteTimeout", L"2000"},
        {L"InputBufSize", L"2048"},
        {L"OutputBufSize", L"2048"},
        {L"Notes", form.notes},
    };
    if (Status s = WriteValues(path, values); !s) return s;
    if (rename) {
        // The new entry exists before the old one goes, so a failure loses nothing.
        if (Status s = MoveLogicNames(DeviceClass::Printer, oldName, name); !s) return s;
        if (Status s = RenameInDrawers(oldName, name); !s) return s;
        if (!sameKey)
            if (Status s = RegRemoveKey(ClassKey(DeviceClass::Printer), oldName); !s) return s;
    }
    if (!logicName.empty())
        if (Status s = RegWriteText(ClassKey(DeviceClass::Printer), logicName, name); !s) return s;
    if (Status s = RegWriteText(path, L"PortSettings", CreateSettingsString(form)); !s) return s;
    return RegWriteText(path, L"CodepageID", codepage);
}

}  // namespace QVO::Setup
