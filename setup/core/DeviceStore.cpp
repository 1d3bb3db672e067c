// The registry routines of the utility.
#include "setup/core/DeviceStore.h"

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace Reg = QVO::Platform::Registry;

namespace {

constexpr unsigned long long kMaxSuffix = 1'000'000'000ULL;
constexpr size_t kMinSuffixDigits = 2;
constexpr size_t kMaxKeyName = 255;  // the registry's limit on one key name

bool OpenKey(std::wstring_view path, Reg::Key& key) { return Reg::Key::Open(Reg::Hive::LocalMachine, path, key).ok(); }

Status IgnoreMissing(Status s) { return s.error == Reg::Error::NotFound ? Status{} : s; }

}  // namespace

const wchar_t* ClassName(DeviceClass deviceClass) {
    return deviceClass == DeviceClass::Printer ? L"POSPrinter" : L"CashDrawer";
}

std::wstring ClassKey(DeviceClass deviceClass) { return std::wstring(kBaseKey) + L"\\" + ClassName(deviceClass); }

std::wstring EntryKey(DeviceClass deviceClass, std::wstring_view name) {
    return ClassKey(deviceClass) + L"\\" + std::wstring(name);
}

std::vector<std::wstring> RegKeyNames(std::wstring_view path) {
    std::vector<std::wstring> names;
    Reg::Key key;
    if (!OpenKey(path, key) || !key.EnumSubKeys(names)) return {};
    return names;
}

std::vector<std::wstring> RegValueNames(std::wstring_view path) {
    std::vector<Reg::NamedValue> values;
    Reg::Key key;
    if (!OpenKey(path, key) || !key.EnumValues(values)) return {};
    std::vector<std::wstring> names;
    for (auto& v : values) names.push_back(std::move(v.name));
    return names;
}

std::wstring RegReadText(std::wstring_view path, std::wstring_view name) {
    Reg::Key key;
    if (!OpenKey(path, key)) return {};
    return key.GetString(name).value_or(std::wstring());
}

Status RegWriteText(std::wstring_view path, std::wstring_view name, std::wstring_view text) {
    Reg::Key key;
    if (Status s = Reg::Key::Create(Reg::Hive::LocalMachine, path, key); !s) return s;
    return key.SetValue(name, Reg::Value::String(std::wstring(text)));
}

Status RegRemoveKey(std::wstring_view path, std::wstring_view subkey) {
    const std::wstring key = std::wstring(path) + L"\\" + std::wstring(subkey);
    return IgnoreMissing(Reg::Key::DeleteTree(Reg::Hive::LocalMachine, key));
}

Status RegRemoveValue(std::wstring_view path, std::wstring_view name) {
    Reg::Key key;
    if (Status s = Reg::Key::Open(Reg::Hive::LocalMachine, path, key); !s) return IgnoreMissing(s);
    return IgnoreMissing(key.DeleteValue(name));
}

Status EnsureClassKeys() {
    for (DeviceClass c : {DeviceClass::Printer, DeviceClass::CashDrawer}) {
        Reg::Key key;
        if (Status s = Reg::Key::Create(Reg::Hive::LocalMachine, ClassKey(c), key); !s) return s;
    }
    return {};
}

std::wstring NextDeviceName(DeviceClass deviceClass, std::wstring_view base) {
    const std::wstring stem = std::wstring(base) + L"_";
    unsigned long long highest = 0;
    for (const std::wstring& name : RegKeyNames(ClassKey(deviceClass))) {
        if (!ContainsText(name, stem)) continue;
        unsigned long long number = 0;
        if (ParseDecimal(std::wstring_view(name).substr(name.rfind(L'_') + 1), kMaxSuffix, number))
            highest = std::max(highest, number);
    }
    std::wstring suffix = std::to_wstring(highest + 1);
    if (suffix.size() < kMinSuffixDigits) suffix.insert(0, kMinSuffixDigits - suffix.size(), L'0');
    return stem + suffix;
}

bool IsLogicNameFree(std::wstring_view name, DeviceClass deviceClass) {
    Reg::Key key;
    if (!OpenKey(ClassKey(deviceClass), key)) return true;
    Reg::Value value;
    return key.QueryValue(name, value).error == Reg::Error::NotFound;
}

std::vector<std::wstring> LogicNamesOf(std::wstring_view deviceName, DeviceClass deviceClass) {
    std::vector<std::wstring> names;
    std::vector<Reg::NamedValue> values;
    Reg::Key key;
    if (!OpenKey(ClassKey(deviceClass), key) || !key.EnumValues(values)) return names;
    for (const auto& v : values)
        if (!v.name.empty() && v.value.type == Reg::ValueType::String && SameText(v.value.text, deviceName))
            names.push_back(v.name);
    return names;
}

std::wstring FindLogicName(std::wstring_view deviceName, DeviceClass deviceClass) {
    std::vector<std::wstring> names = LogicNamesOf(deviceName, deviceClass);
    return names.empty() ? std::wstring() : names.front();
}

bool DeviceExists(DeviceClass deviceClass, std::wstring_view name) {
    Reg::Key key;
    return !name.empty() && OpenKey(EntryKey(deviceClass, name), key);
}

bool IsOwnEntry(DeviceClass deviceClass, std::wstring_view name, std::wstring_view dllFileName) {
    const std::wstring progId = RegReadText(EntryKey(deviceClass, name), L"");
    return !progId.empty() && dllFileName.find(progId) != std::wstring_view::npos;
}

std::wstring CheckDeviceName(DeviceClass deviceClass, std::wstring_view name, std::wstring_view ownName,
                             const wchar_t* emptyKey, const wchar_t* badKey, const wchar_t* existsKey) {
    if (Trim(name).empty()) return emptyKey;
    // A backslash would make nested keys; the other characters the registry refuses in a
    // key name (NUL, line ends) could never be opened again either.
    if (name.find_first_of(std::wstring_view(L"\\\r\n\0", 4)) != std::wstring_view::npos || name.size() > kMaxKeyName)
        return badKey;
    if (!SameText(name, ownName) && DeviceExists(deviceClass, name)) return existsKey;
    return {};
}

Status DeleteDevice(DeviceClass deviceClass, std::wstring_view name) {
    if (Status s = RegRemoveKey(ClassKey(deviceClass), name); !s) return s;
    for (const std::wstring& logicName : LogicNamesOf(name, deviceClass))
        if (Status s = RegRemoveValue(ClassKey(deviceClass), logicName); !s) return s;
    return {};
}

Status MoveLogicNames(DeviceClass deviceClass, std::wstring_view oldName, std::wstring_view newName) {
    for (const std::wstring& logicName : LogicNamesOf(oldName, deviceClass))
        if (Status s = RegWriteText(ClassKey(deviceClass), logicName, newName); !s) return s;
    return {};
}

}  // namespace QVO::Setup
