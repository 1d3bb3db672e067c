// Writes and removes the registry keys of an in-process COM server (what DllRegisterServer,
// DllUnregisterServer and DllInstall of a server do), per machine or per user.
//
// Per machine the keys go under HKLM\SOFTWARE\Classes, per user under HKCU\Software\Classes;
// readers see both through the merged HKCR view.
// Thread safety: stateless; each call is a series of registry store calls.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com {

enum class RegistrationScope { Machine, User };

// An Automation interface the library describes (Interface\{IID} with the standard
// Automation proxy and the library's identity, as registering a type library writes them).
struct InterfaceRegistration {
    IID iid{};
    std::wstring name;  // e.g. "IThing"
};

struct TypeLibRegistration {
    GUID libId{};
    std::wstring version = L"1.0";  // "major.minor"
    std::wstring name;              // the library's help string
    std::vector<InterfaceRegistration> interfaces;
};

// Everything written for one class.
struct ServerRegistration {
    CLSID clsid{};
    std::wstring description;  // CLSID\{...} default value
    std::wstring modulePath;   // absolute path of the .so (InprocServer32 default)
    std::wstring threadingModel = L"Apartment";
    std::wstring progId;                    // e.g. "Vendor.Thing.1"; may be empty
    std::wstring progIdDescription;         // the ProgID keys' default value
    std::wstring versionIndependentProgId;  // may be empty
    // Empty subkeys written under CLSID\{...} (e.g. "Programmable", "Control").
    std::vector<std::wstring> flagKeys;
    // Empty subkeys written under the versioned ProgID key (e.g. "Insertable").
    std::vector<std::wstring> progIdFlagKeys;
    // Extra values under CLSID\{...}\<subkey>: {subkey, default value}.
    std::vector<std::pair<std::wstring, std::wstring>> extraKeys;
    std::optional<TypeLibRegistration> typeLib;
};

// Writes every key of `server`. S_OK, or SELFREG_E_CLASS / SELFREG_E_TYPELIB when a write
// failed (the keys written so far stay; DllUnregisterServer removes them).
HRESULT RegisterServer(const ServerRegistration& server, RegistrationScope scope);

// Removes the keys RegisterServer wrote. A ProgID key is removed only when it still names
// this class, and an interface key only when it still names this library, so unregistering
// does not take away another server's entries. Missing keys are not an error.
HRESULT UnregisterServer(const ServerRegistration& server, RegistrationScope scope);

// Reads DllInstall's command line: "user" (any case) selects the per-user scope; an empty
// or null line the per-machine scope. Any other text is refused (false).
bool ScopeFromInstallCommand(LPCOLESTR cmdLine, RegistrationScope& out);

// The absolute path of the loaded module that contains `address` (use the address of a
// function of the server itself); empty when it cannot be found.
std::wstring ModulePathOf(const void* address);

}  // namespace QVO::Platform::Com
