// A reference-counted IDispatch implementation driven by a DispatchTable, for our own COM
// classes (service object, event sinks, test servers).
#pragma once

#include <atomic>

#include "platform/com/DispatchTable.h"

namespace QVO::Platform::Com {

// Derived supplies `static const DispatchTable& Table();` and is created with new (a COM
// boundary: the last Release deletes it). The reference count is atomic, so references may be
// taken and dropped on any thread; the members themselves decide their own thread safety.
template <class Derived>
class DispatchObject : public IDispatch {
public:
    DispatchObject() = default;
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || QueryExtra(riid)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;  // the dispatch table stands in for type information
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return Derived::Table().GetIDsOfNames(riid, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                   UINT* argErr) override {
        return Derived::Table().Invoke(static_cast<Derived*>(this), id, riid, flags, params, result, excepInfo, argErr);
    }

protected:
    // Destroyed only through Release. Virtual for the implementation class only: its slots
    // come after the interface's in the vtable, so the binary interface is unchanged.
    virtual ~DispatchObject() = default;
    // A dual interface's own IID, answered with the same IDispatch pointer.
    virtual bool QueryExtra(REFIID) const { return false; }

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace QVO::Platform::Com
