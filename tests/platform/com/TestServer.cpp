// A small in-process COM server for the runtime tests: one dispatch class with members that
// exercise every argument kind, and the usual registration and unloading entry points.
#include <atomic>
#include <stdexcept>
#include <string>

#include "platform/com/ClassFactory.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/DispatchObject.h"
#include "platform/com/Registration.h"
#include "tests/platform/com/TestServerIds.h"

using namespace QVO::Platform::Com;
using namespace QVO::Test;

namespace {

std::atomic<int> g_liveObjects{0};  // objects, class factories and LockServer locks alive

// Once armed (TestServer_CallLoaderAtUnload), the module's destructors call the runtime's
// loader when it is unloaded, as a server's own cleanup may. Every load starts unarmed.
std::atomic<bool> g_callLoaderAtUnload{false};

struct UnloadProbe {
    ~UnloadProbe() {
        if (g_callLoaderAtUnload) LoadedModuleCount();
    }
} g_unloadProbe;

class Echo final : public DispatchObject<Echo> {
public:
    Echo() { ++g_liveObjects; }
    ~Echo() override { --g_liveObjects; }
    static const DispatchTable& Table();

    LONG value = 0;
};

Echo* Self(void* p) { return static_cast<Echo*>(p); }

const DispatchTable& Echo::Table() {
    static const DispatchTable table({
        {L"Subtract",
         DISPID_Subtract,
         MemberKind::Method,
         {Param::Long, Param::Long},
         Result::Long,
         [](void*, DispatchCall& c) {
             c.LongResult() = c.Long(0) - c.Long(1);
             return S_OK;
         }},
        {L"Concat",
         DISPID_Concat,
         MemberKind::Method,
         {Param::Bstr, Param::Bstr},
         Result::Bstr,
         [](void*, DispatchCall& c) {
             std::wstring s = ToWString(c.Bstr(0)) + ToWString(c.Bstr(1));
             c.BstrResult() = SysAllocStringLen(s.data(), UINT(s.size()));
             return S_OK;
         }},
        {L"AppendRef",
         DISPID_AppendRef,
         MemberKind::Method,
         {Param::BstrRef, Param::Bstr},
         Result::None,
         [](void*, DispatchCall& c) {
             BSTR* s = c.BstrRef(0);
             std::wstring joined = ToWString(*s) + ToWString(c.Bstr(1));
             SysFreeString(*s);
             *s = SysAllocStringLen(joined.data(), UINT(joined.size()));
             return S_OK;
         }},
        {L"DoubleRef",
         DISPID_DoubleRef,
         MemberKind::Method,
         {Param::LongRef},
         Result::None,
         [](void*, DispatchCall& c) {
             *c.LongRef(0) *= 2;
             return S_OK;
         }},
        {L"BoolToLong",
         DISPID_BoolToLong,
         MemberKind::Method,
         {Param::Bool},
         Result::Long,
         [](void*, DispatchCall& c) {
             c.LongResult() = c.Bool(0);
             return S_OK;
         }},
        {L"ResultOnEntry",
         DISPID_ResultOnEntry,
         MemberKind::Method,
         {},
         Result::Long,
         [](void*, DispatchCall& c) {
             c.LongResult() += 1000;
             return S_OK;
         }},
        {L"Value",
         DISPID_Value,
         MemberKind::PropertyGet,
         {},
         Result::Long,
         [](void* s, DispatchCall& c) {
             c.LongResult() = Self(s)->value;
             return S_OK;
         }},
        {L"Value",
         DISPID_Value,
         MemberKind::PropertyPut,
         {Param::Long},
         Result::None,
         [](void* s, DispatchCall& c) {
             Self(s)->value = c.Long(0);
             return S_OK;
         }},
        {L"Throw",
         DISPID_Throw,
         MemberKind::Method,
         {},
         Result::None,
         [](void*, DispatchCall&) -> HRESULT { throw std::runtime_error("echo failure"); }},
        {L"CallBack",
         DISPID_CallBack,
         MemberKind::Method,
         {Param::Dispatch, Param::Bstr},
         Result::Long,
         [](void*, DispatchCall& c) {
             IDispatch* target = c.Dispatch(0);
             if (!target) return E_POINTER;
             LPOLESTR name = c.Bstr(1);
             DISPID id = DISPID_UNKNOWN;
             HRESULT hr = target->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
             if (FAILED(hr)) return hr;
             Variant result;
             DISPPARAMS none{nullptr, nullptr, 0, 0};
             hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.Get(), nullptr,
                                 nullptr);
             c.LongResult() = result.AsLong(-1);
             return hr;
         }},
    });
    return table;
}

ServerRegistration Registration();

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv) *ppv = nullptr;
    if (clsid != CLSID_TestEcho) return CLASS_E_CLASSNOTAVAILABLE;
    auto create = [] { return new Echo(); };
    return QVO::Platform::Com::ClassFactory<decltype(create)>::Hand(g_liveObjects, create, riid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_liveObjects == 0 ? S_OK : S_FALSE; }

__attribute__((visibility("default"))) void TestServer_CallLoaderAtUnload() { g_callLoaderAtUnload = true; }

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    return RegisterServer(Registration(), RegistrationScope::Machine);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return UnregisterServer(Registration(), RegistrationScope::Machine);
}

__attribute__((visibility("default"))) HRESULT DllInstall(BOOL install, LPCOLESTR cmdLine) {
    RegistrationScope scope;
    if (!ScopeFromInstallCommand(cmdLine, scope)) return E_INVALIDARG;
    return install ? RegisterServer(Registration(), scope) : UnregisterServer(Registration(), scope);
}

}  // extern "C"

namespace {

ServerRegistration Registration() {
    ServerRegistration r;
    r.clsid = CLSID_TestEcho;
    r.description = L"Echo test class";
    r.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllGetClassObject));
    r.progId = kTestEchoProgId;
    r.progIdDescription = L"Echo test class";
    r.versionIndependentProgId = kTestEchoVersionIndependentProgId;
    r.flagKeys = {L"Programmable"};
    r.progIdFlagKeys = {L"Insertable"};
    r.typeLib = TypeLibRegistration{LIBID_TestEcho, L"1.0", L"Echo test library", {{IID_ITestEcho, L"ITestEcho"}}};
    return r;
}

}  // namespace
