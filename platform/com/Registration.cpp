// Writing and removing an in-process server's CLSID, ProgID and TypeLib keys.
#include "platform/com/Registration.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "platform/com/ComPtr.h"
#include "platform/text/TextConv.h"
#include "platform/registry/Registry.h"

namespace Reg = QVO::Platform::Registry;

namespace QVO::Platform::Com {

namespace {

struct Place {
    Reg::Hive hive;
    std::wstring root;  // the Classes key of that hive
};

Place PlaceOf(RegistrationScope scope) {
    if (scope == RegistrationScope::User) return {Reg::Hive::CurrentUser, L"Software\\Classes\\"};
    return {Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\"};
}

// Creates `sub` under the scope's Classes key and sets its default value (when given).
bool WriteKey(const Place& place, const std::wstring& sub, const std::wstring* defaultValue,
              const std::wstring& valueName = L"") {
    Reg::Key key;
    if (!Reg::Key::Create(place.hive, place.root + sub, key)) return false;
    if (!defaultValue) return true;
    return key.SetValue(valueName, Reg::Value::String(*defaultValue)).ok();
}

bool WriteProgId(const Place& place, const std::wstring& progId, const ServerRegistration& s,
                 const std::wstring& clsidText, const std::wstring* curVer) {
    return WriteKey(place, progId, &s.progIdDescription) && WriteKey(place, progId + L"\\CLSID", &clsidText) &&
           (!curVer || WriteKey(place, progId + L"\\CurVer", curVer));
}

// The CLSID a ProgID key of this scope names, or empty.
std::wstring ProgIdClsid(const Place& place, const std::wstring& progId) {
    Reg::Key key;
    if (!Reg::Key::Open(place.hive, place.root + progId + L"\\CLSID", key)) return {};
    return key.GetString(L"").value_or(L"");
}

void RemoveProgId(const Place& place, const std::wstring& progId, const std::wstring& clsidText) {
    if (progId.empty()) return;
    std::wstring named = ProgIdClsid(place, progId);
    if (!named.empty() && !EqualsNoCase(named, clsidText)) return;  // someone else's now
    Reg::Key::DeleteTree(place.hive, place.root + progId);
}

// The Automation marshaler, the proxy of every dual and oleautomation interface.
constexpr wchar_t kAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";

bool WriteInterface(const Place& place, const InterfaceRegistration& itf, const std::wstring& libText,
                    const std::wstring& version) {
    const std::wstring key = L"Interface\\" + GuidToString(itf.iid);
    const std::wstring proxy = kAutomationProxy;
    return WriteKey(place, key, &itf.name) && WriteKey(place, key + L"\\ProxyStubClsid", &proxy) &&
           WriteKey(place, key + L"\\ProxyStubClsid32", &proxy) && WriteKey(place, key + L"\\TypeLib", &libText) &&
           WriteKey(place, key + L"\\TypeLib", &version, L"Version");
}

void RemoveInterface(const Place& place, const InterfaceRegistration& itf, const std::wstring& libText) {
    const std::wstring key = L"Interface\\" + GuidToString(itf.iid);
    Reg::Key typeLib;
    if (Reg::Key::Open(place.hive, place.root + key + L"\\TypeLib", typeLib)) {
        std::wstring named = typeLib.GetString(L"").value_or(L"");
        if (!named.empty() && !EqualsNoCase(named, libText)) return;  // another library's now
    }
    Reg::Key::DeleteTree(place.hive, place.root + key);
}

}  // namespace

HRESULT RegisterServer(const ServerRegistration& s, RegistrationScope scope) {
    Place place = PlaceOf(scope);
    const std::wstring clsidText = GuidToString(s.clsid);
    const std::wstring clsidKey = L"CLSID\\" + clsidText;
    bool ok = WriteKey(place, clsidKey, &s.description) &&
              WriteKey(place, clsidKey + L"\\InprocServer32", &s.modulePath) &&
              WriteKey(place, clsidKey + L"\\InprocServer32", &s.threadingModel, L"ThreadingModel");
    if (ok && !s.progId.empty()) {
        ok = WriteKey(place, clsidKey + L"\\ProgID", &s.progId) && WriteProgId(place, s.progId, s, clsidText, nullptr);
        for (const auto& flag : s.progIdFlagKeys) ok = ok && WriteKey(place, s.progId + L"\\" + flag, nullptr);
    }
    if (ok && !s.versionIndependentProgId.empty()) {
        const std::wstring* curVer = s.progId.empty() ? nullptr : &s.progId;
        ok = WriteKey(place, clsidKey + L"\\VersionIndependentProgID", &s.versionIndependentProgId) &&
             WriteProgId(place, s.versionIndependentProgId, s, clsidText, curVer);
    }
    for (const auto& flag : s.flagKeys) ok = ok && WriteKey(place, clsidKey + L"\\" + flag, nullptr);
    for (const auto& [sub, value] : s.extraKeys) ok = ok && WriteKey(place, clsidKey + L"\\" + sub, &value);
    if (!ok) return SELFREG_E_CLASS;
    if (s.typeLib) {
        const std::wstring libText = GuidToString(s.typeLib->libId);
        const std::wstring libKey = L"TypeLib\\" + libText + L"\\" + s.typeLib->version;
        const std::wstring flags = L"0";
        std::wstring helpDir = s.modulePath.substr(0, s.modulePath.find_last_of(L'/') + 1);
        // The dispatch tables stand in for a .tlb file, so the library path is the module.
        ok = WriteKey(place, clsidKey + L"\\TypeLib", &libText) && WriteKey(place, libKey, &s.typeLib->name) &&
             WriteKey(place, libKey + L"\\0\\linux64", &s.modulePath) && WriteKey(place, libKey + L"\\FLAGS", &flags) &&
             WriteKey(place, libKey + L"\\HELPDIR", &helpDir);
        for (const auto& itf : s.typeLib->interfaces)
            ok = ok && WriteInterface(place, itf, libText, s.typeLib->version);
        if (!ok) return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

HRESULT UnregisterServer(const ServerRegistration& s, RegistrationScope scope) {
    Place place = PlaceOf(scope);
    const std::wstring clsidText = GuidToString(s.clsid);
    RemoveProgId(place, s.progId, clsidText);
    RemoveProgId(place, s.versionIndependentProgId, clsidText);
    Reg::Key::DeleteTree(place.hive, place.root + L"CLSID\\" + clsidText);
    if (s.typeLib) {
        for (const auto& itf : s.typeLib->interfaces) RemoveInterface(place, itf, GuidToString(s.typeLib->libId));
        const std::wstring libKey = L"TypeLib\\" + GuidToString(s.typeLib->libId);
        Reg::Key::DeleteTree(place.hive, place.root + libKey + L"\\" + s.typeLib->version);
        // Drop the library's key once no version is left under it.
        Reg::Key lib;
        std::vector<std::wstring> versions;
        if (Reg::Key::Open(place.hive, place.root + libKey, lib) && lib.EnumSubKeys(versions).ok() && versions.empty())
            Reg::Key::DeleteTree(place.hive, place.root + libKey);
    }
    return S_OK;
}

bool ScopeFromInstallCommand(LPCOLESTR cmdLine, RegistrationScope& out) {
    std::wstring text = cmdLine ? cmdLine : L"";
    if (text.empty()) {
        out = RegistrationScope::Machine;
        return true;
    }
    if (EqualsNoCase(text, L"user")) {
        out = RegistrationScope::User;
        return true;
    }
    return false;
}

std::wstring ModulePathOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return {};
    return Text::Utf8ToWide(resolved);
}

}  // namespace QVO::Platform::Com
