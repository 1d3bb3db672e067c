// Owners for COM references, BSTRs and VARIANTs, for our own C++ code on this side of the
// COM boundary (interfaces themselves stay plain structs).
#pragma once

#include <cwctype>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com {

// The text of a BSTR that the caller keeps owning, embedded NULs included; null reads as empty.
inline std::wstring ToWString(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

// Whether two names (member names, GUID text, keywords) are equal ignoring case, as COM
// compares them.
inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

// Holds one reference on a COM object and releases it on destruction.
// Copying takes another reference (AddRef); moving transfers it. Not thread-safe itself:
// one ComPtr is used by one thread at a time, though the object may be shared.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(const ComPtr& other) {
        ComPtr(other).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).swap(*this);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Adopts a reference the caller already owns (no AddRef).
    static ComPtr Attach(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(p_, nullptr); }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Releases the current reference and hands out the slot for an out-parameter.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.PutVoid());
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

private:
    T* p_ = nullptr;
};

// Owns one BSTR (SysFreeString on destruction). Move-only: a BSTR has one owner.
// Not thread-safe: one owner, one thread at a time.
class BStr {
public:
    BStr() = default;
    explicit BStr(std::wstring_view text);
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BStr(BStr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    BStr& operator=(BStr&& other) noexcept {
        BStr(std::move(other)).swap(*this);
        return *this;
    }
    ~BStr() { SysFreeString(s_); }

    // Adopts a BSTR the caller owns.
    static BStr Attach(BSTR s) {
        BStr b;
        b.s_ = s;
        return b;
    }
    BSTR Detach() { return std::exchange(s_, nullptr); }
    // Frees the current string and hands out the slot for an out-parameter.
    BSTR* Put() {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }
    // The slot for an [in, out] argument: the callee may free and replace the string.
    BSTR* InOut() { return &s_; }
    BSTR Get() const { return s_; }
    UINT Length() const { return SysStringLen(s_); }
    // The text, embedded NULs included; a null BSTR reads as empty.
    std::wstring Str() const { return ToWString(s_); }
    void swap(BStr& other) noexcept { std::swap(s_, other.s_); }

private:
    BSTR s_ = nullptr;
};

// Owns one VARIANT (VariantClear on destruction). Copy makes a deep VariantCopy.
// Not thread-safe: one owner, one thread at a time (interface references it holds are
// counted, so copies may go to other threads).
class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(LONG value) : Variant() { SetLong(value); }
    explicit Variant(std::wstring_view text) : Variant() { SetString(text); }
    Variant(const Variant& other) : Variant() { VariantCopy(&v_, &other.v_); }
    Variant& operator=(const Variant& other) {
        if (this != &other) VariantCopy(&v_, &other.v_);
        return *this;
    }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    ~Variant() { VariantClear(&v_); }

    static Variant Bool(bool value) {
        Variant v;
        v.v_.vt = VT_BOOL;
        v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    // A by-reference variant pointing at storage the caller keeps alive.
    static Variant RefLong(LONG* p) {
        Variant v;
        v.v_.vt = VT_BYREF | VT_I4;
        v.v_.plVal = p;
        return v;
    }
    static Variant RefBstr(BSTR* p) {
        Variant v;
        v.v_.vt = VT_BYREF | VT_BSTR;
        v.v_.pbstrVal = p;
        return v;
    }
    // Takes a reference on p.
    static Variant Dispatch(IDispatch* p);

    void SetLong(LONG value) {
        VariantClear(&v_);
        v_.vt = VT_I4;
        v_.lVal = value;
    }
    void SetString(std::wstring_view text);

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARTYPE Type() const { return v_.vt; }
    // Coerces a copy to VT_I4; `fallback` when the value does not convert.
    LONG AsLong(LONG fallback = 0) const;
    std::wstring AsString() const;

private:
    VARIANT v_;
};

// GUID text in the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case).
std::wstring GuidToString(const GUID& guid);
// Parses that form (braces required, hex digits of either case); false on anything else.
bool GuidFromString(std::wstring_view text, GUID& out);

}  // namespace QVO::Platform::Com
