// The cash-drawer entry: fields, checks and the save.
#include "setup/core/DrawerEntry.h"

#include <algorithm>
#include <utility>

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

bool NumberWithin(const std::wstring& text, unsigned long long max) {
    unsigned long long value = 0;
    return ParseDecimal(Trim(text), max, value);
}

}  // namespace

std::vector<std::wstring> DrawerPrinters(const OposInfo& info) {
    std::vector<std::wstring> printers;
    for (const std::wstring& name : RegKeyNames(ClassKey(DeviceClass::Printer)))
        if (RegReadText(EntryKey(DeviceClass::Printer, name), L"") == info.dllFileName) printers.push_back(name);
    return printers;
}

std::wstring DrawerPin(const DrawerForm& form) {
    if (form.drawer1 && form.drawer2) return L"3";
    return form.drawer1 ? L"1" : L"2";
}

DrawerForm NewDrawerForm(const std::wstring& printer, const DrawerForm& current) {
    DrawerForm form;
    form.printer = printer;
    form.name = NextDeviceName(DeviceClass::CashDrawer, printer);
    form.logicName = form.name;
    form.drawer1 = current.drawer1;
    form.drawer2 = current.drawer2;
    return form;
}

DrawerForm ReadDrawerForm(std::wstring_view name, const DrawerForm& current) {
    const std::wstring path = EntryKey(DeviceClass::CashDrawer, name);
    DrawerForm form = current;
    form.name = RegReadText(path, L"CashDrawerName");
    if (form.name.empty()) form.name = name;  // an entry written by hand may lack it
    form.printer = RegReadText(path, L"PrinterName");
    form.queryStatus = RegReadText(path, L"CapDrawStatus") == L"1";
    form.firstVoltage = RegReadText(path, L"OpenVoltage") == L"1";
    const std::wstring pin = RegReadText(path, L"DrawerPin");
    if (pin == L"1" || pin == L"2" || pin == L"3") {
        form.drawer1 = pin != L"2";
        form.drawer2 = pin != L"1";
    }
    form.high = RegReadText(path, L"SignalOnTime");
    form.low = RegReadText(path, L"SignalOffTime");
    form.waitTimeout = RegReadText(path, L"WaitForDrawerCloseTimeOut");
    form.logicName = FindLogicName(name, DeviceClass::CashDrawer);
    return form;
}

std::wstring CheckDrawer(EditMode mode, const DrawerForm& form, std::wstring_view oldName, const OposInfo& info) {
    const bool add = mode == EditMode::Add;
    if (add || info.DrawerRenameAllowed()) {
        std::wstring refused = CheckDeviceName(DeviceClass::CashDrawer, Trim(form.name), add ? L"" : oldName,
                                               L"FormACD_NullCashDrawerName", L"FormACD_CashDrawerNameErr",
                                               L"FormACD_CashDrawerNameExist");
        if (!refused.empty()) return refused;
    }
    if (add) {
        const std::wstring logicName = Trim(form.logicName);
        if (logicName.empty()) return L"FormACD_NullLogicName";
        if (!IsLogicNameFree(logicName, DeviceClass::CashDrawer)) return L"FormACD_LogicNameExist";
    }
    // Without its printer a drawer entry can never open.
    const std::vector<std::wstring> printers = DrawerPrinters(info);
    const auto isChosen = [&](const std::wstring& p) { return SameText(p, form.printer); };
    if (std::none_of(printers.begin(), printers.end(), isChosen)) return L"FormACD_PrinterErr";
    if (form.drawer2 && !info.SecondDrawerAllowed()) return L"FormACD_CashDrawer2Err";
    if (!NumberWithin(form.high, kMaxPulseTime) || !NumberWithin(form.low, kMaxPulseTime)) return L"FormACD_PulseErr";
    if (!NumberWithin(form.waitTimeout, kMaxWaitTimeout)) return L"FormACD_WaitTimeOutErr";
    return {};
}

Status SaveDrawer(EditMode mode, const DrawerForm& form, std::wstring_view oldName, const OposInfo& info) {
    const bool add = mode == EditMode::Add;
    const bool rename = !add && info.DrawerRenameAllowed() && Trim(form.name) != oldName;
    const std::wstring name = add || rename ? Trim(form.name) : std::wstring(oldName);
    const bool sameKey = rename && SameText(name, oldName);
    if (sameKey)
        if (Status s = RegRemoveKey(ClassKey(DeviceClass::CashDrawer), oldName); !s) return s;

    const std::wstring path = EntryKey(DeviceClass::CashDrawer, name);
    const std::pair<const wchar_t*, std::wstring> values[] = {
        {L"", info.dllFileName},
        {L"PrinterName", form.printer},
        {L"CapDrawStatus", form.queryStatus ? L"1" : L"0"},
        {L"CashDrawerName", name},
        {L"DrawerPin", DrawerPin(form)},
        {L"OpenVoltage", form.firstVoltage ? L"1" : L"0"},
        {L"SignalOnTime", Trim(form.high)},
        {L"SignalOffTime", Trim(form.low)},
        {L"WaitForDrawerCloseTimeOut", Trim(form.waitTimeout)},
    };
    for (const auto& [value, text] : values)
        if (Status s = RegWriteText(path, value, text); !s) return s;
    if (rename) {
        if (Status s = MoveLogicNames(DeviceClass::CashDrawer, oldName, name); !s) return s;
        if (!sameKey)
            if (Status s = RegRemoveKey(ClassKey(DeviceClass::CashDrawer), oldName); !s) return s;
    }
    const std::wstring logicName = Trim(form.logicName);
    if (add && !logicName.empty())
        if (Status s = RegWriteText(ClassKey(DeviceClass::CashDrawer), logicName, name); !s) return s;
    return {};
}

}  // namespace QVO::Setup
