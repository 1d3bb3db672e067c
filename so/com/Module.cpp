// The module's exports: the class object, unloading, and registration per machine or per user.
#include <atomic>

#include "platform/com/ClassFactory.h"
#include "platform/com/Registration.h"
#include "so/com/CQVOOposPrinterSO.h"
#include "so/com/SoIdentity.h"

using namespace QVO::Platform::Com;
using QVO::SO::CQVOOposPrinterSO;

namespace {

// Class objects handed out and LockServer calls; instances are counted by the class.
std::atomic<int> g_locks{0};

IDispatch* CreateObject() { return new CQVOOposPrinterSO(); }

ServerRegistration Registration();

}  // namespace

#define QUVO_EXPORT extern "C" __attribute__((visibility("default")))

QUVO_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv != nullptr) *ppv = nullptr;
    if (clsid != QVO::SO::kClsidQVOOposPrinterSO) return CLASS_E_CLASSNOTAVAILABLE;
    return ClassFactory<IDispatch* (*)()>::Hand(g_locks, &CreateObject, riid, ppv);
}

QUVO_EXPORT HRESULT DllCanUnloadNow() {
    return g_locks.load() == 0 && CQVOOposPrinterSO::LiveInstances() == 0 ? S_OK : S_FALSE;
}

QUVO_EXPORT HRESULT DllRegisterServer() { return RegisterServer(Registration(), RegistrationScope::Machine); }

QUVO_EXPORT HRESULT DllUnregisterServer() { return UnregisterServer(Registration(), RegistrationScope::Machine); }

QUVO_EXPORT HRESULT DllInstall(BOOL install, LPCOLESTR cmdLine) {
    RegistrationScope scope;
    if (!ScopeFromInstallCommand(cmdLine, scope)) return E_INVALIDARG;
    return install ? RegisterServer(Registration(), scope) : UnregisterServer(Registration(), scope);
}

namespace {

// OLEMISC_RECOMPOSEONRESIZE | CANTLINKINSIDE | INSIDEOUT | ACTIVATEWHENVISIBLE | SETCLIENTSITEFIRST
constexpr const wchar_t* kMiscStatusFlags = L"131473";
// The toolbox picture is resource 106 of the module.
constexpr const wchar_t* kToolboxBitmapResource = L",106";

ServerRegistration Registration() {
    ServerRegistration r;
    r.clsid = QVO::SO::kClsidQVOOposPrinterSO;
    r.description = QVO::SO::kClassDescription;
    r.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllGetClassObject));
    r.threadingModel = L"Apartment";
    r.progId = QVO::SO::kProgId;
    r.progIdDescription = QVO::SO::kProgIdDescription;
    r.versionIndependentProgId = QVO::SO::kVersionIndependentProgId;
    r.flagKeys = {L"Programmable", L"Control", L"Insertable"};
    r.progIdFlagKeys = {L"Insertable"};
    r.extraKeys = {{L"ToolboxBitmap32", r.modulePath + kToolboxBitmapResource},
                   {L"MiscStatus", L"0"},
                   {L"MiscStatus\\1", kMiscStatusFlags}};
    r.typeLib = TypeLibRegistration{QVO::SO::kLibIdOPosPrinterSOLib,
                                    L"1.0",
                                    QVO::SO::kTypeLibName,
                                    {{QVO::SO::kIidIQVOOposPrinterSO, QVO::SO::kInterfaceName}}};
    return r;
}

}  // namespace
