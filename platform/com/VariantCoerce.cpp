// VariantCoerce: the conversions between Automation scalar types, text and interfaces.
#include "platform/com/VariantCoerce.h"

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

namespace QVO::Platform::Com::Detail {

bool IsKnownType(VARTYPE vt) {
    switch (vt & ~VT_BYREF) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        case VT_VARIANT:
            return (vt & VT_BYREF) != 0;
        default:
            return false;
    }
}

namespace {

// Integers wide enough for every Automation integer type, VT_UI8 included.
using Wide = __int128;

// Rounds to the nearest integer, ties to even, as Automation rounds every non-integer number.
HRESULT RoundReal(double d, Wide lo, Wide hi, Wide& out) {
    if (!std::isfinite(d)) return DISP_E_OVERFLOW;
    double r = std::nearbyint(d);  // the default rounding mode is to nearest, ties to even
    if (r < -1.0e30 || r > 1.0e30) return DISP_E_OVERFLOW;
    out = static_cast<Wide>(r);
    return (out < lo || out > hi) ? DISP_E_OVERFLOW : S_OK;
}

// Decimal text as Automation reads numbers: optional blanks and sign, digits with an optional
// fraction and exponent, optional blanks. A whole number is read exactly; one with a fraction
// or exponent is read as a double (locale-independent '.').
struct ParsedNumber {
    bool whole = true;
    Wide integer = 0;  // when whole (saturated far beyond every range, so overflow shows)
    double real = 0;
};

HRESULT ParseNumber(const wchar_t* s, UINT len, ParsedNumber& out) {
    UINT i = 0;
    while (i < len && std::iswspace(s[i])) ++i;
    const UINT start = i;
    bool negative = false;
    if (i < len && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
    auto isDigit = [&](UINT k) { return k < len && s[k] >= L'0' && s[k] <= L'9'; };
    UINT digits = 0;
    Wide value = 0;
    constexpr Wide kSaturated = Wide(1) << 100;
    for (; isDigit(i); ++i, ++digits)
        if (value < kSaturated) value = value * 10 + (s[i] - L'0');
    if (i < len && s[i] == L'.') {
        out.whole = false;
        for (++i; isDigit(i); ++i) ++digits;
    }
    if (digits == 0) return DISP_E_TYPEMISMATCH;
    if (i < len && (s[i] == L'e' || s[i] == L'E')) {
        out.whole = false;
        UINT k = i + 1;
        if (k < len && (s[k] == L'-' || s[k] == L'+')) ++k;
        if (!isDigit(k)) return DISP_E_TYPEMISMATCH;
        for (i = k; isDigit(i); ++i) {}
    }
    const UINT end = i;
    while (i < len && std::iswspace(s[i])) ++i;
    if (i != len) return DISP_E_TYPEMISMATCH;
    if (out.whole) {
        out.integer = negative ? -value : value;
        return S_OK;
    }
    // Every character of the number is ASCII now; from_chars reads it without the locale.
    std::string narrow;
    for (UINT k = start; k < end; ++k)
        if (s[k] != L'+') narrow += char(s[k]);
    auto [ptr, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), out.real);
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is an overflow.
        const bool tiny = narrow.find("e-") != std::string::npos || narrow.find("E-") != std::string::npos;
        if (!tiny) return DISP_E_OVERFLOW;
        out.real = 0;
        return S_OK;
    }
    if (ec != std::errc() || ptr != narrow.data() + narrow.size()) return DISP_E_TYPEMISMATCH;
    return S_OK;
}

// A DECIMAL is a 96-bit magnitude over a power of ten (scale 0 to 28) with a sign bit.
bool DecimalParts(const DECIMAL& d, Wide& mantissa, Wide& divisor) {
    if (d.scale > 28) return false;
    mantissa = (Wide(d.Hi32) << 64) | Wide(d.Lo64);
    divisor = 1;
    for (int i = 0; i < d.scale; ++i) divisor *= 10;
    return true;
}

// The integer value of a plain (already dereferenced) variant, for the integer targets.
HRESULT IntegerOf(const VARIANT& v, Wide lo, Wide hi, Wide& out) {
    switch (v.vt) {
        case VT_EMPTY:
            out = 0;
            return S_OK;
        case VT_I1:
            out = static_cast<int8_t>(v.bVal);
            break;
        case VT_UI1:
            out = v.bVal;
            break;
        case VT_I2:
            out = v.iVal;
            break;
        case VT_UI2:
            out = v.uiVal;
            break;
        case VT_I4:
            out = v.lVal;
            break;
        case VT_INT:
            out = v.intVal;
            break;
        case VT_UI4:
            out = v.ulVal;
            break;
        case VT_UINT:
            out = v.uintVal;
            break;
        case VT_I8:
            out = v.llVal;
            break;
        case VT_UI8:
            out = static_cast<uint64_t>(v.llVal);
            break;
        // True is all bits set: -1 for a signed target, the largest value for an unsigned one.
        case VT_BOOL:
            out = v.boolVal ? (lo == 0 ? hi : -1) : 0;
            break;
        case VT_R4:
            return RoundReal(v.fltVal, lo, hi, out);
        case VT_R8:
            return RoundReal(v.dblVal, lo, hi, out);
        case VT_DATE:
            return RoundReal(v.date, lo, hi, out);
        case VT_CY: {
            // Currency is a count of ten-thousandths: round the quotient, ties to even.
            Wide units = v.llVal / 10000, rest = v.llVal % 10000;
            Wide away = rest < 0 ? -rest : rest;
            if (away > 5000 || (away == 5000 && (units & 1))) units += rest < 0 ? -1 : 1;
            out = units;
            break;
        }
        case VT_DECIMAL: {
            Wide mantissa = 0, divisor = 1;
            if (!DecimalParts(v.decVal, mantissa, divisor)) return DISP_E_TYPEMISMATCH;
            Wide units = mantissa / divisor, rest = mantissa % divisor;
            if (2 * rest > divisor || (2 * rest == divisor && (units & 1))) ++units;
            out = (v.decVal.sign & 0x80) ? -units : units;
            break;
        }
        case VT_BSTR: {
            ParsedNumber n;
            HRESULT hr = ParseNumber(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal), n);
            if (FAILED(hr)) return hr;
            if (!n.whole) return RoundReal(n.real, lo, hi, out);
            out = n.integer;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return (out < lo || out > hi) ? DISP_E_OVERFLOW : S_OK;
}

// The value of a plain variant as a double, for the floating-point targets and VT_BOOL.
HRESULT RealOf(const VARIANT& v, double& out) {
    switch (v.vt) {
        case VT_R4:
            out = v.fltVal;
            return S_OK;
        case VT_R8:
            out = v.dblVal;
            return S_OK;
        case VT_DATE:
            out = v.date;
            return S_OK;
        case VT_CY:
            out = static_cast<double>(v.llVal) / 10000.0;
            return S_OK;
        case VT_DECIMAL: {
            Wide mantissa = 0, divisor = 1;
            if (!DecimalParts(v.decVal, mantissa, divisor)) return DISP_E_TYPEMISMATCH;
            out = static_cast<double>(mantissa) / static_cast<double>(divisor);
            if (v.decVal.sign & 0x80) out = -out;
            return S_OK;
        }
        case VT_BSTR: {
            ParsedNumber n;
            HRESULT hr = ParseNumber(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal), n);
            if (FAILED(hr)) return hr;
            out = n.whole ? static_cast<double>(n.integer) : n.real;
            return S_OK;
        }
        default: {
            Wide n = 0;
            HRESULT hr = IntegerOf(v, -(Wide(1) << 64), Wide(1) << 64, n);
            out = static_cast<double>(n);
            return hr;
        }
    }
}

HRESULT ToBool(const VARIANT& v, VARIANT_BOOL& out) {
    if (v.vt == VT_BSTR) {
        const std::wstring text = QVO::Platform::Com::ToWString(v.bstrVal);
        if (QVO::Platform::Com::EqualsNoCase(text, L"true")) {
            out = VARIANT_TRUE;
            return S_OK;
        }
        if (QVO::Platform::Com::EqualsNoCase(text, L"false")) {
            out = VARIANT_FALSE;
            return S_OK;
        }
    }
    double d = 0;
    HRESULT hr = RealOf(v, d);
    if (FAILED(hr)) return hr;
    out = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// Real numbers as text with up to 15 (double) or 7 (float) significant digits: "0.5", "1E+20".
std::wstring RealText(double d, int digits) {
    wchar_t buffer[64];
    std::swprintf(buffer, std::size(buffer), L"%.*G", digits, d);
    return buffer;
}

HRESULT ToBstr(const VARIANT& v, USHORT flags, BSTR& out) {
    std::wstring text;
    switch (v.vt) {
        case VT_EMPTY:
            break;
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL)
                text = v.boolVal ? L"True" : L"False";
            else
                text = v.boolVal ? L"-1" : L"0";
            break;
        case VT_BSTR:
            out = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
            return out ? S_OK : E_OUTOFMEMORY;
        case VT_R4:
            text = RealText(v.fltVal, 7);
            break;
        case VT_R8:
            text = RealText(v.dblVal, 15);
            break;
        case VT_CY:
            text = RealText(static_cast<double>(v.llVal) / 10000.0, 15);
            break;
        case VT_UI8:
            text = std::to_wstring(static_cast<uint64_t>(v.llVal));
            break;
        default: {
            Wide n = 0;
            // Dates and decimals would need their own text forms; they are not converted.
            if (v.vt == VT_DATE || v.vt == VT_ERROR || v.vt == VT_DECIMAL ||
                FAILED(IntegerOf(v, INT64_MIN, INT64_MAX, n)))
                return DISP_E_TYPEMISMATCH;
            text = std::to_wstring(static_cast<int64_t>(n));
        }
    }
    out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out ? S_OK : E_OUTOFMEMORY;
}

// Range of each integer target.
bool IntegerRange(VARTYPE vt, Wide& lo, Wide& hi) {
    switch (vt) {
        case VT_I1:
            lo = INT8_MIN;
            hi = INT8_MAX;
            return true;
        case VT_UI1:
            lo = 0;
            hi = UINT8_MAX;
            return true;
        case VT_I2:
            lo = INT16_MIN;
            hi = INT16_MAX;
            return true;
        case VT_UI2:
            lo = 0;
            hi = UINT16_MAX;
            return true;
        case VT_I4:
        case VT_INT:
            lo = INT32_MIN;
            hi = INT32_MAX;
            return true;
        case VT_UI4:
        case VT_UINT:
            lo = 0;
            hi = UINT32_MAX;
            return true;
        case VT_I8:
            lo = INT64_MIN;
            hi = INT64_MAX;
            return true;
        case VT_UI8:
            lo = 0;
            hi = UINT64_MAX;
            return true;
        default:
            return false;
    }
}

// Stores an in-range integer into the union member of its type.
void StoreInteger(VARTYPE vt, Wide n, VARIANT& out) {
    out.vt = vt;
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            out.bVal = static_cast<BYTE>(n);
            break;
        case VT_I2:
            out.iVal = static_cast<SHORT>(n);
            break;
        case VT_UI2:
            out.uiVal = static_cast<USHORT>(n);
            break;
        case VT_I4:
        case VT_INT:
            out.lVal = static_cast<LONG>(n);
            break;
        case VT_UI4:
        case VT_UINT:
            out.ulVal = static_cast<ULONG>(n);
            break;
        default:
            out.llVal = static_cast<LONGLONG>(n);
            break;  // VT_I8, VT_UI8 (same bits)
    }
}

}  // namespace

HRESULT Coerce(const VARIANT& v, USHORT flags, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    HRESULT hr = S_OK;
    Wide lo = 0, hi = 0, n = 0;
    if (IntegerRange(vt, lo, hi)) {
        if (FAILED(hr = IntegerOf(v, lo, hi, n))) return hr;
        StoreInteger(vt, n, out);
        return S_OK;
    }
    double d = 0;
    switch (vt) {
        case VT_EMPTY:
            return v.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
        case VT_R4:
            if (FAILED(hr = RealOf(v, d))) return hr;
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            out.vt = VT_R4;
            out.fltVal = static_cast<float>(d);
            return S_OK;
        case VT_R8:
            if (FAILED(hr = RealOf(v, d))) return hr;
            out.vt = VT_R8;
            out.dblVal = d;
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

}  // namespace QVO::Platform::Com::Detail
