// The class object an in-process server hands out from DllGetClassObject.
#pragma once

#include <atomic>
#include <utility>

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com {

// Creates instances through `create`, which returns a new object holding one reference (or
// null when it cannot be made). The factory counts itself, and every LockServer(TRUE), in the
// module's `live` counter, so the module's DllCanUnloadNow answers S_OK only when that
// counter is 0. Owned by its COM reference count; thread-safe.
template <class Create>
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(std::atomic<int>& live, Create create) : live_(live), create_(std::move(create)) { ++live_; }

    // A new factory for `riid`, or the reason there is none; *ppv stays null on failure.
    static HRESULT Hand(std::atomic<int>& live, Create create, REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        auto* factory = new ClassFactory(live, std::move(create));
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = create_();
        if (!object) return E_OUTOFMEMORY;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        live_ += lock ? 1 : -1;
        return S_OK;
    }

private:
    ~ClassFactory() { --live_; }

    std::atomic<int>& live_;
    Create create_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace QVO::Platform::Com
