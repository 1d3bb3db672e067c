// Registration, ProgID lookup, creation and unloading of a real in-process server module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/DispatchObject.h"
#include "platform/com/Registration.h"
#include "platform/text/TextConv.h"
#include "platform/registry/Registry.h"
#include "tests/platform/com/TempRegistry.h"
#include "tests/platform/com/TestServerIds.h"

using namespace QVO::Platform::Com;
using QVO::Platform::Text::Utf8ToWide;
using QVO::Platform::Text::WideToUtf8;
using namespace QVO::Test;
namespace Reg = QVO::Platform::Registry;

namespace {

const std::wstring kClsidText = GuidToString(CLSID_TestEcho);

// Calls one of the server's exported registration functions, then lets the module go.
template <class Fn, class... Args>
HRESULT CallServerExport(const char* name, Args... args) {
    void* module = dlopen(QUVO_TEST_SERVER, RTLD_NOW | RTLD_LOCAL);
    if (!module) return E_FAIL;
    auto fn = reinterpret_cast<Fn>(dlsym(module, name));
    HRESULT hr = fn ? fn(args...) : E_FAIL;
    dlclose(module);
    return hr;
}

HRESULT RegisterMachine() { return CallServerExport<PFN_DllRegisterServer>("DllRegisterServer"); }
HRESULT UnregisterMachine() { return CallServerExport<PFN_DllRegisterServer>("DllUnregisterServer"); }
HRESULT Install(BOOL install, const wchar_t* cmd) {
    return CallServerExport<PFN_DllInstall>("DllInstall", install, cmd);
}

std::optional<std::wstring> ReadDefault(Reg::Hive hive, const std::wstring& path, const std::wstring& name = L"") {
    Reg::Key key;
    if (!Reg::Key::Open(hive, path, key)) return std::nullopt;
    return key.GetString(name);
}

bool KeyExists(Reg::Hive hive, const std::wstring& path) {
    Reg::Key key;
    return Reg::Key::Open(hive, path, key).ok();
}

LONG Subtract(IDispatch* echo, LONG a, LONG b) {
    Variant args[2] = {Variant(b), Variant(a)};  // reversed
    VARIANT raw[2] = {*args[0].Get(), *args[1].Get()};
    DISPPARAMS params{raw, nullptr, 2, 0};
    Variant result;
    HRESULT hr = echo->Invoke(DISPID_Subtract, IID_NULL, 0, DISPATCH_METHOD, &params, result.Get(), nullptr, nullptr);
    return SUCCEEDED(hr) ? result.AsLong(-999) : -999;
}

// Unloads every idle module at once. Safe in these tests only because no other thread can
// still be returning out of the test server when they call it.
void FreeIdleModulesNow() { CoFreeUnusedLibrariesEx(0, 0); }

class ComServer : public testing::Test {
protected:
    void TearDown() override {
        UnregisterMachine();
        Install(FALSE, L"user");
        FreeIdleModulesNow();
    }
};

TEST_F(ComServer, PerMachineRegistrationWritesTheWindowsKeysAndUnregisterRemovesThem) {
    ASSERT_EQ(RegisterMachine(), S_OK);
    const auto hklm = Reg::Hive::LocalMachine;
    const std::wstring base = L"SOFTWARE\\Classes\\";
    const std::wstring clsidKey = base + L"CLSID\\" + kClsidText;
    EXPECT_EQ(ReadDefault(hklm, clsidKey), L"Echo test class");
    auto path = ReadDefault(hklm, clsidKey + L"\\InprocServer32");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, Utf8ToWide(std::filesystem::canonical(QUVO_TEST_SERVER).string()));
    EXPECT_EQ(ReadDefault(hklm, clsidKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadDefault(hklm, clsidKey + L"\\ProgID"), kTestEchoProgId);
    EXPECT_EQ(ReadDefault(hklm, clsidKey + L"\\VersionIndependentProgID"), kTestEchoVersionIndependentProgId);
    EXPECT_TRUE(KeyExists(hklm, clsidKey + L"\\Programmable"));
    EXPECT_TRUE(KeyExists(hklm, base + kTestEchoProgId + L"\\Insertable"));
    EXPECT_EQ(ReadDefault(hklm, base + kTestEchoProgId + L"\\CLSID"), kClsidText);
    EXPECT_EQ(ReadDefault(hklm, base + kTestEchoVersionIndependentProgId + L"\\CurVer"), kTestEchoProgId);
    EXPECT_EQ(ReadDefault(hklm, clsidKey + L"\\TypeLib"), GuidToString(LIBID_TestEcho));
    EXPECT_TRUE(KeyExists(hklm, base + L"TypeLib\\" + GuidToString(LIBID_TestEcho) + L"\\1.0"));
    EXPECT_FALSE(KeyExists(Reg::Hive::CurrentUser, L"Software\\Classes\\CLSID\\" + kClsidText));
    // Registering the library also registers its interface for the Automation marshaler.
    const std::wstring itfKey = base + L"Interface\\" + GuidToString(IID_ITestEcho);
    const std::wstring automationProxy = L"{00020424-0000-0000-C000-000000000046}";
    EXPECT_EQ(ReadDefault(hklm, itfKey), L"ITestEcho");
    EXPECT_EQ(ReadDefault(hklm, itfKey + L"\\ProxyStubClsid32"), automationProxy);
    EXPECT_EQ(ReadDefault(hklm, itfKey + L"\\ProxyStubClsid"), automationProxy);
    EXPECT_EQ(ReadDefault(hklm, itfKey + L"\\TypeLib"), GuidToString(LIBID_TestEcho));
    EXPECT_EQ(ReadDefault(hklm, itfKey + L"\\TypeLib", L"Version"), L"1.0");

    ASSERT_EQ(UnregisterMachine(), S_OK);
    EXPECT_FALSE(KeyExists(hklm, clsidKey));
    EXPECT_FALSE(KeyExists(hklm, base + kTestEchoProgId));
    EXPECT_FALSE(KeyExists(hklm, base + kTestEchoVersionIndependentProgId));
    EXPECT_FALSE(KeyExists(hklm, base + L"TypeLib\\" + GuidToString(LIBID_TestEcho)));
    EXPECT_FALSE(KeyExists(hklm, itfKey));
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kTestEchoProgId, &clsid), CO_E_CLASSSTRING);
    ComPtr<IDispatch> echo;
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, echo.PutVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ComServer, PerUserInstallGoesToTheUserHiveAndIsSeenThroughTheMergedView) {
    ASSERT_EQ(Install(TRUE, L"user"), S_OK);
    EXPECT_TRUE(KeyExists(Reg::Hive::CurrentUser, L"Software\\Classes\\CLSID\\" + kClsidText + L"\\InprocServer32"));
    EXPECT_FALSE(KeyExists(Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\CLSID\\" + kClsidText));

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kTestEchoProgId, &clsid), S_OK);
    ComPtr<IDispatch> echo;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, echo.PutVoid()), S_OK);
    EXPECT_EQ(Subtract(echo.Get(), 10, 4), 6);
    echo.Reset();

    ASSERT_EQ(Install(FALSE, L"user"), S_OK);
    EXPECT_FALSE(KeyExists(Reg::Hive::CurrentUser, L"Software\\Classes\\CLSID\\" + kClsidText));
    EXPECT_EQ(CLSIDFromProgID(kTestEchoProgId, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(Install(TRUE, L"everyone"), E_INVALIDARG);
}

TEST_F(ComServer, VersionIndependentProgIdFollowsCurVer) {
    ASSERT_EQ(RegisterMachine(), S_OK);
    // A version-independent ProgID carrying only CurVer, as older installers write it.
    Reg::Key key;
    ASSERT_TRUE(Reg::Key::Create(Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\QuvoTest.Latest\\CurVer", key));
    ASSERT_TRUE(key.SetValue(L"", Reg::Value::String(kTestEchoProgId)));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"QuvoTest.Latest", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestEcho);
    ASSERT_EQ(CLSIDFromString(L"QuvoTest.Echo", &clsid), S_OK);  // not a GUID: tried as a ProgID
    EXPECT_EQ(clsid, CLSID_TestEcho);

    // A CurVer loop ends in a refusal, not in endless recursion.
    Reg::Key a, b;
    ASSERT_TRUE(Reg::Key::Create(Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\Loop.A\\CurVer", a));
    ASSERT_TRUE(Reg::Key::Create(Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\Loop.B\\CurVer", b));
    ASSERT_TRUE(a.SetValue(L"", Reg::Value::String(L"Loop.B")));
    ASSERT_TRUE(b.SetValue(L"", Reg::Value::String(L"Loop.A")));
    EXPECT_EQ(CLSIDFromProgID(L"Loop.A", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
}

TEST_F(ComServer, UnregisterLeavesAProgIdThatNowNamesAnotherClass) {
    ASSERT_EQ(RegisterMachine(), S_OK);
    Reg::Key key;
    ASSERT_TRUE(Reg::Key::Open(Reg::Hive::LocalMachine,
                               std::wstring(L"SOFTWARE\\Classes\\") + kTestEchoProgId + L"\\CLSID", key));
    const std::wstring other = L"{00000000-0000-0000-0000-000000000001}";
    ASSERT_TRUE(key.SetValue(L"", Reg::Value::String(other)));
    // Likewise an interface another library has registered since.
    const std::wstring itfTypeLib = L"SOFTWARE\\Classes\\Interface\\" + GuidToString(IID_ITestEcho) + L"\\TypeLib";
    Reg::Key itf;
    ASSERT_TRUE(Reg::Key::Open(Reg::Hive::LocalMachine, itfTypeLib, itf));
    ASSERT_TRUE(itf.SetValue(L"", Reg::Value::String(other)));
    ASSERT_EQ(UnregisterMachine(), S_OK);
    EXPECT_EQ(ReadDefault(Reg::Hive::LocalMachine, std::wstring(L"SOFTWARE\\Classes\\") + kTestEchoProgId + L"\\CLSID"),
              other);
    EXPECT_EQ(ReadDefault(Reg::Hive::LocalMachine, itfTypeLib), other);
    Reg::Key::DeleteTree(Reg::Hive::LocalMachine, L"SOFTWARE\\Classes\\Interface\\" + GuidToString(IID_ITestEcho));
}

TEST_F(ComServer, ModuleIsUnloadedOnlyWhenItSaysItCanBe) {
    ASSERT_EQ(RegisterMachine(), S_OK);
    FreeIdleModulesNow();
    const std::wstring path = InprocServerPath(CLSID_TestEcho);
    ASSERT_FALSE(path.empty());
    ComPtr<IDispatch> first, second;
    ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, first.PutVoid()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, second.PutVoid()), S_OK);
    EXPECT_TRUE(IsModuleLoaded(path));
    EXPECT_EQ(LoadedModuleCount(), 1u);  // one entry, however many objects

    FreeIdleModulesNow();  // objects alive: DllCanUnloadNow says no
    ASSERT_TRUE(IsModuleLoaded(path));
    EXPECT_EQ(Subtract(first.Get(), 3, 1), 2);  // and the code is still mapped
    first.Reset();
    FreeIdleModulesNow();
    ASSERT_TRUE(IsModuleLoaded(path));

    // A server lock also keeps the module.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestEcho, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
              S_OK);
    factory->LockServer(TRUE);
    factory.Reset();
    second.Reset();
    FreeIdleModulesNow();
    ASSERT_TRUE(IsModuleLoaded(path));
    ASSERT_EQ(CoGetClassObject(CLSID_TestEcho, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
              S_OK);
    factory->LockServer(FALSE);
    factory.Reset();

    FreeIdleModulesNow();
    EXPECT_FALSE(IsModuleLoaded(path));
    // Really gone from the process, not only from the table.
    EXPECT_EQ(dlopen(QUVO_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(ComServer, ModuleDestructorsMayCallTheLoader) {
    // A server's cleanup at unload may call the runtime; the loader must not hold its table
    // lock around dlclose, or that call deadlocks.
    ASSERT_EQ(RegisterMachine(), S_OK);
    FreeIdleModulesNow();
    const std::wstring path = InprocServerPath(CLSID_TestEcho);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestEcho, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.PutVoid()),
              S_OK);
    void* module = dlopen(QUVO_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    auto arm = reinterpret_cast<void (*)()>(dlsym(module, "TestServer_CallLoaderAtUnload"));
    ASSERT_NE(arm, nullptr);
    arm();
    dlclose(module);  // only the loader's reference is left
    factory.Reset();

    auto unloading = std::async(std::launch::async, FreeIdleModulesNow);
    const bool unloaded = unloading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    ASSERT_TRUE(unloaded) << "unloading deadlocked";
    EXPECT_FALSE(IsModuleLoaded(path));
    EXPECT_EQ(dlopen(QUVO_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(ComServer, CreationFailuresAreReportedWithTheirCodes) {
    ComPtr<IDispatch> object;
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              REGDB_E_CLASSNOTREG);

    ServerRegistration missing;
    missing.clsid = CLSID_TestEcho;
    missing.modulePath = L"/nonexistent/libnothing.so";
    ASSERT_EQ(RegisterServer(missing, RegistrationScope::Machine), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              CO_E_DLLNOTFOUND);

    // A library that is not a COM server (the runtime itself has no DllGetClassObject).
    ServerRegistration notServer = missing;
    notServer.modulePath = Utf8ToWide(QUVO_PLATFORM_LIB);
    ASSERT_EQ(RegisterServer(notServer, RegistrationScope::Machine), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              CO_E_ERRORINDLL);
    UnregisterServer(notServer, RegistrationScope::Machine);

    ASSERT_EQ(RegisterMachine(), S_OK);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, outer.PutVoid()), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, outer.Get(), CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
              CLASS_E_NOAGGREGATION);
    const IID unknownIid = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, unknownIid, object.PutVoid()),
              E_NOINTERFACE);
    EXPECT_FALSE(object);
}

// A caller-side object the server calls back through IDispatch (the event direction).
class Answer final : public DispatchObject<Answer> {
public:
    static const DispatchTable& Table() {
        static const DispatchTable table(
            {{L"Answer", 1, MemberKind::Method, {}, Result::Long, [](void*, DispatchCall& c) {
                  c.LongResult() = 42;
                  return S_OK;
              }}});
        return table;
    }
};

TEST_F(ComServer, ServerCallsBackIntoACallerObject) {
    ASSERT_EQ(RegisterMachine(), S_OK);
    ComPtr<IDispatch> echo;
    ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, echo.PutVoid()), S_OK);
    auto answer = ComPtr<Answer>::Attach(new Answer());
    Variant name(std::wstring_view(L"answer"));
    Variant target = Variant::Dispatch(answer.Get());
    VARIANT raw[2] = {*name.Get(), *target.Get()};
    DISPPARAMS params{raw, nullptr, 2, 0};
    Variant result;
    ASSERT_EQ(echo->Invoke(DISPID_CallBack, IID_NULL, 0, DISPATCH_METHOD, &params, result.Get(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.AsLong(), 42);
}

TEST_F(ComServer, ConcurrentCreationAndUnloadingNeverUseAnUnloadedModule) {
    // Creation on several threads while another frees unused modules: a module freed between
    // loading and DllGetClassObject would crash here (and TSan would flag the table).
    ASSERT_EQ(RegisterMachine(), S_OK);
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> creators;
    for (int t = 0; t < 3; ++t) {
        creators.emplace_back([&] {
            for (int i = 0; i < 150; ++i) {
                ComPtr<IDispatch> echo;
                if (FAILED(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                            echo.PutVoid())) ||
                    Subtract(echo.Get(), 5, 2) != 3)
                    ++failures;
            }
        });
    }
    std::thread freer([&] {
        while (!stop) CoFreeUnusedLibrariesEx(200, 0);
    });
    for (auto& t : creators) t.join();
    stop = true;
    freer.join();
    EXPECT_EQ(failures, 0);
    FreeIdleModulesNow();
    EXPECT_EQ(LoadedModuleCount(), 0u);
}

// Catches unloading a module that has only just become idle: a thread that released the last
// object may still be returning through the module's code, so the loader waits for the module
// to have stayed idle for the whole delay, and any new request starts that wait again.
TEST_F(ComServer, ModuleIsUnloadedOnlyAfterStayingIdleForTheDelay) {
    using Clock = std::chrono::steady_clock;
    ASSERT_EQ(RegisterMachine(), S_OK);
    const std::wstring path = InprocServerPath(CLSID_TestEcho);
    {
        ComPtr<IDispatch> echo;
        ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, echo.PutVoid()), S_OK);
    }
    CoFreeUnusedLibraries();  // idle from now on, but not yet for the default delay
    EXPECT_TRUE(IsModuleLoaded(path));

    constexpr DWORD kDelay = 30;
    const auto firstSeenIdle = Clock::now();
    CoFreeUnusedLibrariesEx(kDelay, 0);
    {
        ComPtr<IDispatch> echo;  // a new request: the module is busy again
        ASSERT_EQ(CoCreateInstance(CLSID_TestEcho, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, echo.PutVoid()), S_OK);
    }
    while (Clock::now() - firstSeenIdle < std::chrono::milliseconds(2 * kDelay)) std::this_thread::yield();
    CoFreeUnusedLibrariesEx(kDelay, 0);  // idle again only since this call
    EXPECT_TRUE(IsModuleLoaded(path));

    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (IsModuleLoaded(path) && Clock::now() < deadline) CoFreeUnusedLibrariesEx(kDelay, 0);
    EXPECT_FALSE(IsModuleLoaded(path));
}

}  // namespace
