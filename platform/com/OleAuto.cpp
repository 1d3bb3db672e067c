// BSTR, VARIANT and task-memory functions of the runtime, exported with their Windows names.
#include "platform/com/ComBase.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

#include "platform/com/ComPtr.h"

namespace {

// A BSTR points just past a 4-byte byte-length prefix; the text is followed by one NUL.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR s) { return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - kPrefix); }

bool IsKnownType(VARTYPE vt) {
    switch (vt & ~VT_BYREF) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
        case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
        case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
        case VT_INT: case VT_UINT:
            return true;
        case VT_VARIANT:
            return (vt & VT_BYREF) != 0;
        default:
            return false;
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
    switch (src.vt & VT_TYPEMASK) {
        case VT_I2: out.vt = VT_I2; out.iVal = *src.piVal; return S_OK;
        case VT_I4: out.vt = VT_I4; out.lVal = *src.plVal; return S_OK;
        case VT_BOOL: out.vt = VT_BOOL; out.boolVal = *src.pboolVal; return S_OK;
        case VT_BSTR: out.vt = VT_BSTR; out.bstrVal = *src.pbstrVal; return S_OK;
        case VT_DISPATCH: out.vt = VT_DISPATCH; out.pdispVal = *src.ppdispVal; return S_OK;
        case VT_UNKNOWN: out.vt = VT_UNKNOWN; out.punkVal = *src.ppunkVal; return S_OK;
        case VT_VARIANT:
            // A variant may not refer to another by-reference variant (as on Windows).
            if (src.pvarVal->vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
            out = *src.pvarVal;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Decimal text to a 32-bit value: optional blanks and sign, digits, optional blanks.
HRESULT ParseLong(const wchar_t* s, UINT len, int64_t lo, int64_t hi, int64_t& out) {
    UINT i = 0;
    while (i < len && std::iswspace(s[i])) ++i;
    bool negative = false;
    if (i < len && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
    if (i >= len || !std::iswdigit(s[i])) return DISP_E_TYPEMISMATCH;
    int64_t value = 0;
    bool overflow = false;
    for (; i < len && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        value = value * 10 + (s[i] - L'0');
        if (value > hi - lo + 1) overflow = true, value = hi - lo + 1;
    }
    while (i < len && std::iswspace(s[i])) ++i;
    if (i != len) return DISP_E_TYPEMISMATCH;
    value = negative ? -value : value;
    if (overflow || value < lo || value > hi) return DISP_E_OVERFLOW;
    out = value;
    return S_OK;
}

bool EqualsNoCase(const wchar_t* s, UINT len, const wchar_t* word) {
    size_t n = std::wcslen(word);
    if (len != n) return false;
    for (UINT i = 0; i < len; ++i)
        if (std::towlower(s[i]) != std::towlower(word[i])) return false;
    return true;
}

// The integer value of a plain (already dereferenced) variant, for the numeric targets.
HRESULT IntegerOf(const VARIANT& v, int64_t lo, int64_t hi, int64_t& out) {
    switch (v.vt) {
        case VT_EMPTY: out = 0; return S_OK;
        case VT_I2: out = v.iVal; break;
        case VT_I4: out = v.lVal; break;
        case VT_BOOL: out = v.boolVal ? -1 : 0; break;
        case VT_BSTR:
            return ParseLong(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal), lo, hi, out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return (out < lo || out > hi) ? DISP_E_OVERFLOW : S_OK;
}

HRESULT ToBool(const VARIANT& v, VARIANT_BOOL& out) {
    if (v.vt == VT_BSTR) {
        const wchar_t* s = v.bstrVal ? v.bstrVal : L"";
        UINT len = SysStringLen(v.bstrVal);
        if (EqualsNoCase(s, len, L"true")) { out = VARIANT_TRUE; return S_OK; }
        if (EqualsNoCase(s, len, L"false")) { out = VARIANT_FALSE; return S_OK; }
    }
    int64_t n = 0;
    HRESULT hr = IntegerOf(v, INT32_MIN, INT32_MAX, n);
    if (FAILED(hr)) return hr;
    out = n ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToBstr(const VARIANT& v, USHORT flags, BSTR& out) {
    std::wstring text;
    switch (v.vt) {
        case VT_EMPTY: break;
        case VT_I2: text = std::to_wstring(v.iVal); break;
        case VT_I4: text = std::to_wstring(v.lVal); break;
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL) text = v.boolVal ? L"True" : L"False";
            else text = v.boolVal ? L"-1" : L"0";
            break;
        case VT_BSTR:
            out = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
            return out ? S_OK : E_OUTOFMEMORY;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out ? S_OK : E_OUTOFMEMORY;
}

// Coerces a plain variant into `out` (which owns what it receives).
HRESULT Coerce(const VARIANT& v, USHORT flags, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    int64_t n = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_EMPTY:
            return v.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
        case VT_I2:
            if (FAILED(hr = IntegerOf(v, INT16_MIN, INT16_MAX, n))) return hr;
            out.vt = VT_I2;
            out.iVal = static_cast<SHORT>(n);
            return S_OK;
        case VT_I4:
            if (FAILED(hr = IntegerOf(v, INT32_MIN, INT32_MAX, n))) return hr;
            out.vt = VT_I4;
            out.lVal = static_cast<LONG>(n);
            return S_OK;
        case VT_BOOL:
            if (FAILED(hr = ToBool(v, out.boolVal))) return hr;
            out.vt = VT_BOOL;
            return S_OK;
        case VT_BSTR:
            if (FAILED(hr = ToBstr(v, flags, out.bstrVal))) return hr;
            out.vt = VT_BSTR;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
                if (!v.punkVal) {
                    out.vt = vt;
                    return S_OK;
                }
                IID iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
                void* p = nullptr;
                if (FAILED(v.punkVal->QueryInterface(iid, &p))) return DISP_E_TYPEMISMATCH;
                out.vt = vt;
                out.punkVal = static_cast<IUnknown*>(p);
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        default:
            return IsKnownType(vt) ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
    }
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
    if (strIn) std::memcpy(s, strIn, bytes);
    else std::memset(s, 0, bytes);
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
        case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (pvarg->punkVal) pvarg->punkVal->Release();
            break;
        default: break;  // plain values and by-reference pointers own nothing
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

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!IsKnownType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT plain;
    HRESULT hr = Dereference(*pvarSrc, plain);
    if (FAILED(hr)) return hr;
    // Work into a temporary: source and destination may be the same variant.
    if (vt == plain.vt && pvargDest == pvarSrc) return S_OK;
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

BStr::BStr(std::wstring_view text)
    : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

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
