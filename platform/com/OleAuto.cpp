// BSTR, VARIANT and task-memory functions of the runtime, exported with their Windows names.
#include "platform/com/ComBase.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/com/VariantCoerce.h"

namespace {

using QVO::Platform::Com::Detail::Coerce;
using QVO::Platform::Com::Detail::IsKnownType;

// A BSTR points just past a 4-byte byte-length prefix; the text is followed by one NUL.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR s) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - kPrefix); }

// Bytes the referenced storage of a by-reference scalar occupies (0 for what is not a scalar).
size_t ReferencedSize(VARTYPE plain) {
    switch (plain) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return sizeof(void*);
        default:
            return 0;
    }
}

// Follows one level of VT_BYREF into a plain value copy (no ownership taken: BSTRs and
// interface pointers are borrowed from the referenced storage).
HRESULT Dereference(const VARIANT& src, VARIANT& out) {
    VariantInit(&out);
    if (!(src.vt & VT_BYREF)) {
        out = src;
        return S_OK;
    }
    if (!src.byref) return E_POINTER;
    const VARTYPE plain = src.vt & VT_TYPEMASK;
    if (plain == VT_VARIANT) {
        // A variant may not refer to another by-reference variant (as on Windows).
        if (src.pvarVal->vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
        out = *src.pvarVal;
        return S_OK;
    }
    if (plain == VT_DECIMAL) {
        // DECIMAL overlays the whole variant; its first WORD is where vt goes.
        std::memcpy(&out, src.byref, sizeof(DECIMAL));
        out.vt = VT_DECIMAL;
        return S_OK;
    }
    const size_t size = ReferencedSize(plain);
    if (size == 0) return DISP_E_TYPEMISMATCH;
    std::memcpy(&out.llVal, src.byref, size);
    out.vt = plain;
    return S_OK;
}

}  // namespace

extern "C" {

LPVOID CoTaskMemAlloc(size_t cb) { return std::malloc(cb ? cb : 1); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    // The byte length must fit the 32-bit prefix.
    if (ui > (UINT32_MAX - kPrefix) / sizeof(OLECHAR) - 1) return nullptr;
    size_t bytes = size_t(ui) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(CoTaskMemAlloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    uint32_t prefix = static_cast<uint32_t>(bytes);
    std::memcpy(block, &prefix, kPrefix);
    BSTR s = reinterpret_cast<BSTR>(block + kPrefix);
    if (strIn)
        std::memcpy(s, strIn, bytes);
    else
        std::memset(s, 0, bytes);
    s[ui] = L'\0';
    return s;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

void SysFreeString(BSTR bstrString) {
    if (bstrString) CoTaskMemFree(PrefixOf(bstrString));
}

UINT SysStringByteLen(BSTR bstr) { return bstr ? *PrefixOf(bstr) : 0; }

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof(VARIANT));
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    if (!IsKnownType(pvarg->vt)) return DISP_E_BADVARTYPE;
    switch (pvarg->vt) {
        case VT_BSTR:
            SysFreeString(pvarg->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (pvarg->punkVal) pvarg->punkVal->Release();
            break;
        default:
            break;  // plain values and by-reference pointers own nothing
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsKnownType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if (copy.vt == VT_BSTR && copy.bstrVal) {
        copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((copy.vt == VT_DISPATCH || copy.vt == VT_UNKNOWN) && copy.punkVal) {
        copy.punkVal->AddRef();
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VARIANT owned = copy;
        VariantClear(&owned);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!IsKnownType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT plain;
    HRESULT hr = Dereference(*pvarSrc, plain);
    if (FAILED(hr)) return hr;
    // Work into a temporary: source and destination may be the same variant.
    // Nothing to do only when the variant itself already has the type: a by-reference one
    // converted in place must become a plain value.
    if (vt == pvarSrc->vt && pvargDest == pvarSrc) return S_OK;
    VARIANT result;
    VariantInit(&result);
    hr = (vt == plain.vt) ? VariantCopy(&result, &plain) : Coerce(plain, wFlags, vt, result);
    if (FAILED(hr)) return hr;
    VariantClear(pvargDest);
    *pvargDest = result;
    return S_OK;
}

}  // extern "C"

namespace QVO::Platform::Com {

BStr::BStr(std::wstring_view text) : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

Variant Variant::Dispatch(IDispatch* p) {
    Variant v;
    v.v_.vt = VT_DISPATCH;
    v.v_.pdispVal = p;
    if (p) p->AddRef();
    return v;
}

void Variant::SetString(std::wstring_view text) {
    VariantClear(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

LONG Variant::AsLong(LONG fallback) const {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, &v_, 0, VT_I4))) return fallback;
    return out.lVal;
}

std::wstring Variant::AsString() const {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, &v_, 0, VT_BSTR))) return {};
    std::wstring text = ToWString(out.bstrVal);
    VariantClear(&out);
    return text;
}

}  // namespace QVO::Platform::Com
