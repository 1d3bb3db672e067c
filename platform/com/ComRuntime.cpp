// GUID text, ProgID lookup and in-process server creation: the ole32 side of the runtime.
#include "platform/com/ComRuntime.h"

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/text/TextConv.h"
#include "platform/registry/Registry.h"
#include "platform/sync/Mutex.h"

namespace Reg = QVO::Platform::Registry;

namespace QVO::Platform::Com {

using Platform::Mutex;
using Platform::MutexLock;

namespace {

constexpr wchar_t kHex[] = L"0123456789ABCDEF";

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(std::wstring_view text, size_t pos, int digits, uint64_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[pos + i]);
        if (v < 0) return false;
        out = (out << 4) | uint64_t(v);
    }
    return true;
}

void AppendHex(std::wstring& out, uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) out += kHex[(value >> (i * 4)) & 0xF];
}

std::optional<std::wstring> DefaultValue(const std::wstring& path) {
    Reg::Key key;
    if (!Reg::Key::Open(Reg::Hive::ClassesRoot, path, key)) return std::nullopt;
    return key.GetString(L"");
}

// One loaded server module.
struct Module {
    void* handle = nullptr;
    PFN_DllGetClassObject getClassObject = nullptr;
    PFN_DllCanUnloadNow canUnloadNow = nullptr;
    int requestsRunning = 0;  // class-object requests in progress; blocks unloading
    // Since when every look found the module idle (DllCanUnloadNow S_OK, no request); unset
    // while it is in use.
    std::optional<std::chrono::steady_clock::time_point> idleSince;
};

// The loader's table of modules by registered path. Its mutex is innermost and is never
// held while module code runs, except DllCanUnloadNow (see FreeUnused).
class ModuleTable {
public:
    static ModuleTable& Instance() {
        static ModuleTable table;
        return table;
    }

    // Finds or loads the module and marks one request running in it.
    HRESULT Acquire(const std::wstring& path, Module& out) {
        {
            MutexLock lock(mutex_);
            if (auto it = modules_.find(path); it != modules_.end()) {
                ++it->second.requestsRunning;
                it->second.idleSince.reset();
                out = it->second;
                return S_OK;
            }
        }
        // dlopen runs the module's constructors, which may use the runtime: not under our lock.
        void* handle = dlopen(Text::WideToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return CO_E_DLLNOTFOUND;
        Module loaded;
        loaded.handle = handle;
        loaded.getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
        loaded.canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
        if (!loaded.getClassObject) {
            dlclose(handle);
            return CO_E_ERRORINDLL;
        }
        MutexLock lock(mutex_);
        auto [it, inserted] = modules_.try_emplace(path, loaded);
        if (!inserted) dlclose(handle);  // another thread loaded it meanwhile; keep one reference
        ++it->second.requestsRunning;
        it->second.idleSince.reset();
        out = it->second;
        return S_OK;
    }

    void Finish(const std::wstring& path) {
        MutexLock lock(mutex_);
        if (auto it = modules_.find(path); it != modules_.end()) --it->second.requestsRunning;
    }

    // Unloads the modules that have been idle for at least `delay`. The delay is what makes
    // unloading safe: a server's last Release lowers its count and then still runs a few
    // instructions of module code (the rest of a destructor, the return), so a module that
    // has only just become idle may still be executing. Windows waits for the same reason.
    void FreeUnused(std::chrono::milliseconds delay) {
        for (void* handle : TakeUnused(delay)) dlclose(handle);
        // dlclose runs the module's destructors, which may call the runtime (and so this
        // table): only after the lock is released. The entries are gone already, so no new
        // request reaches these modules; a load of the same path meanwhile holds its own
        // dlopen reference.
    }

    bool Contains(const std::wstring& path) {
        MutexLock lock(mutex_);
        return modules_.count(path) != 0;
    }

    size_t Size() {
        MutexLock lock(mutex_);
        return modules_.size();
    }

private:
    // Removes the modules idle for at least `delay` and hands out their handles to close.
    std::vector<void*> TakeUnused(std::chrono::milliseconds delay) QUVO_EXCLUDES(mutex_) {
        const auto now = std::chrono::steady_clock::now();
        std::vector<void*> unused;
        MutexLock lock(mutex_);
        for (auto it = modules_.begin(); it != modules_.end();) {
            Module& m = it->second;
            // Asked under the lock, so that no other caller unloads the module while it
            // answers; DllCanUnloadNow must therefore not call the loader. A module without
            // it cannot tell us it is idle: kept.
            const bool idle = m.requestsRunning == 0 && m.canUnloadNow && m.canUnloadNow() == S_OK;
            if (!idle) {
                m.idleSince.reset();
            } else if (!m.idleSince) {
                m.idleSince = now;
            }
            if (idle && now - *m.idleSince >= delay) {
                unused.push_back(m.handle);
                it = modules_.erase(it);
            } else {
                ++it;
            }
        }
        return unused;
    }

    Mutex mutex_;
    std::map<std::wstring, Module> modules_ QUVO_GUARDED_BY(mutex_);
};

HRESULT ProgIdToClsid(const std::wstring& progId, CLSID& out, int hopsLeft) {
    if (progId.empty() || hopsLeft == 0) return CO_E_CLASSSTRING;
    if (auto text = DefaultValue(progId + L"\\CLSID"); text && GuidFromString(*text, out)) return S_OK;
    // A version-independent ProgID may carry only CurVer; a CurVer chain that loops ends at
    // the hop limit instead of recursing forever.
    if (auto curVer = DefaultValue(progId + L"\\CurVer"); curVer && *curVer != progId)
        return ProgIdToClsid(*curVer, out, hopsLeft - 1);
    return CO_E_CLASSSTRING;
}

}  // namespace

std::wstring GuidToString(const GUID& g) {
    std::wstring s = L"{";
    AppendHex(s, g.Data1, 8);
    s += L'-';
    AppendHex(s, g.Data2, 4);
    s += L'-';
    AppendHex(s, g.Data3, 4);
    s += L'-';
    AppendHex(s, g.Data4[0], 2);
    AppendHex(s, g.Data4[1], 2);
    s += L'-';
    for (int i = 2; i < 8; ++i) AppendHex(s, g.Data4[i], 2);
    s += L'}';
    return s;
}

bool GuidFromString(std::wstring_view t, GUID& out) {
    if (t.size() != 38 || t[0] != L'{' || t[37] != L'}' || t[9] != L'-' || t[14] != L'-' || t[19] != L'-' ||
        t[24] != L'-')
        return false;
    uint64_t d1, d2, d3, v;
    if (!ReadHex(t, 1, 8, d1) || !ReadHex(t, 10, 4, d2) || !ReadHex(t, 15, 4, d3)) return false;
    GUID g{uint32_t(d1), uint16_t(d2), uint16_t(d3), {}};
    const size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(t, bytePos[i], 2, v)) return false;
        g.Data4[i] = uint8_t(v);
    }
    out = g;
    return true;
}

std::wstring InprocServerPath(const CLSID& clsid) {
    return DefaultValue(L"CLSID\\" + GuidToString(clsid) + L"\\InprocServer32").value_or(L"");
}

bool IsModuleLoaded(const std::wstring& path) { return ModuleTable::Instance().Contains(path); }

size_t LoadedModuleCount() { return ModuleTable::Instance().Size(); }

}  // namespace QVO::Platform::Com

using namespace QVO::Platform::Com;

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    std::wstring text = GuidToString(rguid);
    int needed = static_cast<int>(text.size()) + 1;
    if (!lpsz || cchMax < needed) return 0;
    std::wmemcpy(lpsz, text.c_str(), needed);
    return needed;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    if (lpsz[0] == L'{') {
        if (GuidFromString(lpsz, *pclsid)) return S_OK;
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    // As on Windows, a string that is not a GUID is tried as a ProgID.
    return CLSIDFromProgID(lpsz, pclsid);
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    constexpr int kMaxCurVerHops = 8;
    HRESULT hr = ProgIdToClsid(lpszProgID, *lpclsid, kMaxCurVerHops);
    if (FAILED(hr)) *lpclsid = GUID_NULL;
    return hr;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::wstring path = InprocServerPath(rclsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    auto& table = ModuleTable::Instance();
    Module module;
    HRESULT hr = table.Acquire(path, module);
    if (FAILED(hr)) return hr;
    hr = module.getClassObject(rclsid, riid, ppv);
    table.Finish(path);
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, riid, ppv);
}

void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD /*dwReserved*/) {
    const DWORD delay = dwUnloadDelay == INFINITE ? QVO::Platform::Com::kDefaultUnloadDelayMs : dwUnloadDelay;
    ModuleTable::Instance().FreeUnused(std::chrono::milliseconds(delay));
}

void CoFreeUnusedLibraries() { CoFreeUnusedLibrariesEx(INFINITE, 0); }

}  // extern "C"
