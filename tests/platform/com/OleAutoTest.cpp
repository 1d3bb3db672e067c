// BSTR, VARIANT and GUID functions of the runtime, checked against the Windows behaviour.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/ComPtr.h"
#include "platform/text/TextConv.h"

using namespace QVO::Platform::Com;
using QVO::Platform::Text::Utf8ToWide;
using QVO::Platform::Text::WideToUtf8;

namespace {

TEST(ComBstr, PrefixHoldsByteLengthAndEmbeddedNulsSurvive) {
    const wchar_t text[] = {L'a', L'\0', L'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(s, nullptr);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 3 * sizeof(wchar_t));
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 3 * sizeof(wchar_t));
    EXPECT_EQ(s[1], L'\0');
    EXPECT_EQ(s[3], L'\0');  // terminated after the counted text
    SysFreeString(s);
}

TEST(ComBstr, NullInputsAreHandled) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR blank = SysAllocStringLen(nullptr, 4);  // uninitialised on Windows; zeroed here
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 4u);
    EXPECT_EQ(std::wstring(blank, 4), std::wstring(4, L'\0'));
    SysFreeString(blank);
    // A length whose byte count does not fit the 32-bit prefix is refused, not wrapped.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000u), nullptr);
}

TEST(ComVariant, LayoutMatchesWindows) {
    EXPECT_EQ(sizeof(VARIANT), 24u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(DISPPARAMS, cArgs), 16u);
}

// A variant built from a small description, for the conversion table.
struct Source {
    VARTYPE vt;
    LONG number;
    const wchar_t* text;
};

VARIANT Make(const Source& s, BSTR& keep) {
    VARIANT v;
    VariantInit(&v);
    v.vt = s.vt;
    if (s.vt == VT_BSTR)
        v.bstrVal = keep = SysAllocString(s.text);
    else if (s.vt == VT_BOOL)
        v.boolVal = VARIANT_BOOL(s.number);
    else if (s.vt == VT_I2)
        v.iVal = SHORT(s.number);
    else
        v.lVal = s.number;
    return v;
}

TEST(ComVariant, ChangeTypeCoercesAmongTheAutomationTypes) {
    struct Case {
        Source from;
        VARTYPE to;
        HRESULT hr;
        LONG number;          // for VT_I4/VT_I2/VT_BOOL targets
        const wchar_t* text;  // for VT_BSTR targets
    };
    const Case cases[] = {
        {{VT_I4, 42, nullptr}, VT_BSTR, S_OK, 0, L"42"},
        {{VT_I4, -7, nullptr}, VT_BSTR, S_OK, 0, L"-7"},
        {{VT_BSTR, 0, L" -12 "}, VT_I4, S_OK, -12, nullptr},
        {{VT_BSTR, 0, L"+8"}, VT_I4, S_OK, 8, nullptr},
        {{VT_BSTR, 0, L"12x"}, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        {{VT_BSTR, 0, L""}, VT_I4, DISP_E_TYPEMISMATCH, 0, nullptr},
        {{VT_BSTR, 0, L"2147483648"}, VT_I4, DISP_E_OVERFLOW, 0, nullptr},
        {{VT_BSTR, 0, L"-2147483648"}, VT_I4, S_OK, INT32_MIN, nullptr},
        {{VT_BSTR, 0, L"99999999999999999999999"}, VT_I4, DISP_E_OVERFLOW, 0, nullptr},
        {{VT_I4, 40000, nullptr}, VT_I2, DISP_E_OVERFLOW, 0, nullptr},
        {{VT_I4, -32768, nullptr}, VT_I2, S_OK, -32768, nullptr},
        {{VT_I2, -5, nullptr}, VT_I4, S_OK, -5, nullptr},
        {{VT_BOOL, VARIANT_TRUE, nullptr}, VT_I4, S_OK, -1, nullptr},
        {{VT_I4, 7, nullptr}, VT_BOOL, S_OK, VARIANT_TRUE, nullptr},
        {{VT_I4, 0, nullptr}, VT_BOOL, S_OK, VARIANT_FALSE, nullptr},
        {{VT_BSTR, 0, L"TRUE"}, VT_BOOL, S_OK, VARIANT_TRUE, nullptr},
        {{VT_BSTR, 0, L"false"}, VT_BOOL, S_OK, VARIANT_FALSE, nullptr},
        {{VT_BOOL, VARIANT_TRUE, nullptr}, VT_BSTR, S_OK, 0, L"-1"},
        {{VT_EMPTY, 0, nullptr}, VT_I4, S_OK, 0, nullptr},
        {{VT_EMPTY, 0, nullptr}, VT_BSTR, S_OK, 0, L""},
        {{VT_I4, 1, nullptr}, VT_DISPATCH, DISP_E_TYPEMISMATCH, 0, nullptr},
        {{VT_I4, 1, nullptr}, VARTYPE(0x7FF), DISP_E_BADVARTYPE, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from vt " << c.from.vt << " to vt " << c.to);
        BSTR keep = nullptr;
        VARIANT src = Make(c.from, keep);
        VARIANT dst;
        VariantInit(&dst);
        ASSERT_EQ(VariantChangeType(&dst, &src, 0, c.to), c.hr);
        if (c.hr == S_OK) {
            ASSERT_EQ(dst.vt, c.to);
            if (c.to == VT_BSTR)
                EXPECT_EQ(ToWString(dst.bstrVal), c.text);
            else if (c.to == VT_I2)
                EXPECT_EQ(dst.iVal, c.number);
            else if (c.to == VT_BOOL)
                EXPECT_EQ(dst.boolVal, c.number);
            else
                EXPECT_EQ(dst.lVal, c.number);
        } else {
            EXPECT_EQ(dst.vt, VT_EMPTY);  // a failed conversion leaves the destination alone
        }
        VariantClear(&dst);
        VariantClear(&src);
    }
}

// Automation converts among all its numeric types, rounding non-integers to the nearest value
// with ties to even; a client passing a double or a byte where a long is declared must work.
TEST(ComVariant, ChangeTypeConvertsEveryNumericTypeAndRoundsTiesToEven) {
    auto real = [](VARTYPE vt, double d) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        if (vt == VT_R4)
            v.fltVal = float(d);
        else if (vt == VT_R8)
            v.dblVal = d;
        else
            v.date = d;
        return v;
    };
    auto whole = [](VARTYPE vt, int64_t n) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        v.llVal = n;  // the narrower members share the low bytes (little-endian)
        if (vt == VT_I1 || vt == VT_UI1) v.llVal = n & 0xFF;
        if (vt == VT_I2 || vt == VT_UI2) v.llVal = n & 0xFFFF;
        if (vt == VT_I4 || vt == VT_UI4 || vt == VT_INT || vt == VT_UINT) v.llVal = n & 0xFFFFFFFF;
        return v;
    };
    auto decimal = [](uint64_t mantissa, BYTE scale, bool negative) {
        VARIANT v;
        VariantInit(&v);
        v.decVal.Lo64 = mantissa;
        v.decVal.scale = scale;
        v.decVal.sign = negative ? 0x80 : 0;
        v.vt = VT_DECIMAL;  // overlays the decimal's reserved word
        return v;
    };
    struct Case {
        VARIANT from;
        VARTYPE to;
        HRESULT hr;
        int64_t number;
    };
    const Case cases[] = {
        {real(VT_R8, 2.5), VT_I4, S_OK, 2},
        {real(VT_R8, 3.5), VT_I4, S_OK, 4},
        {real(VT_R8, -2.5), VT_I4, S_OK, -2},
        {real(VT_R8, 2.6), VT_I4, S_OK, 3},
        {real(VT_R4, 7.0), VT_I4, S_OK, 7},
        {real(VT_DATE, 45000.4), VT_I4, S_OK, 45000},
        {real(VT_R8, 3e9), VT_I4, DISP_E_OVERFLOW, 0},
        {real(VT_R8, 1.0), VT_BOOL, S_OK, VARIANT_TRUE},
        {whole(VT_UI1, 200), VT_I4, S_OK, 200},
        {whole(VT_I1, -3), VT_I4, S_OK, -3},
        {whole(VT_UI2, 65535), VT_I4, S_OK, 65535},
        {whole(VT_INT, -9), VT_I4, S_OK, -9},
        {whole(VT_UINT, 9), VT_I4, S_OK, 9},
        {whole(VT_UI4, 0xFFFFFFFF), VT_I4, DISP_E_OVERFLOW, 0},
        {whole(VT_I8, 1234567890123), VT_I4, DISP_E_OVERFLOW, 0},
        {whole(VT_I8, -77), VT_I4, S_OK, -77},
        {whole(VT_UI8, 5), VT_I4, S_OK, 5},
        {whole(VT_CY, 25000), VT_I4, S_OK, 2},  // 2.5 in ten-thousandths
        {whole(VT_CY, 35000), VT_I4, S_OK, 4},
        {whole(VT_CY, -15000), VT_I4, S_OK, -2},
        {whole(VT_I4, -1), VT_UI4, DISP_E_OVERFLOW, 0},
        {whole(VT_I4, 300), VT_UI1, DISP_E_OVERFLOW, 0},
        {whole(VT_I4, 255), VT_UI1, S_OK, 255},
        {whole(VT_I4, -128), VT_I1, S_OK, -128},
        {whole(VT_I4, 70000), VT_I8, S_OK, 70000},
        {whole(VT_BOOL, VARIANT_TRUE), VT_UI1, S_OK, 255},  // true is all bits set
        {whole(VT_BOOL, VARIANT_TRUE), VT_I1, S_OK, -1},
        {decimal(25, 1, false), VT_I4, S_OK, 2},  // 2.5
        {decimal(35, 1, true), VT_I4, S_OK, -4},  // -3.5
        {decimal(1234, 2, false), VT_I4, S_OK, 12},
        {decimal(1, 29, false), VT_I4, DISP_E_TYPEMISMATCH, 0},  // scale beyond 28
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from vt " << c.from.vt << " to vt " << c.to);
        VARIANT dst;
        VariantInit(&dst);
        ASSERT_EQ(VariantChangeType(&dst, &c.from, 0, c.to), c.hr);
        if (c.hr != S_OK) {
            EXPECT_EQ(dst.vt, VT_EMPTY);
            continue;
        }
        ASSERT_EQ(dst.vt, c.to);
        switch (c.to) {
            case VT_BOOL:
                EXPECT_EQ(dst.boolVal, c.number);
                break;
            case VT_UI1:
                EXPECT_EQ(dst.bVal, c.number);
                break;
            case VT_I1:
                EXPECT_EQ(int8_t(dst.bVal), c.number);
                break;
            case VT_I8:
                EXPECT_EQ(dst.llVal, c.number);
                break;
            default:
                EXPECT_EQ(dst.lVal, c.number);
                break;
        }
    }
}

// Text holding a fraction or an exponent is a number to Automation too.
TEST(ComVariant, ChangeTypeReadsFractionsAndExponentsInText) {
    struct Case {
        const wchar_t* text;
        HRESULT hr;
        LONG number;
    };
    const Case cases[] = {
        {L"2.5", S_OK, 2},
        {L" 3.5 ", S_OK, 4},
        {L"-0.5", S_OK, 0},
        {L"1e3", S_OK, 1000},
        {L"+1.5E+1", S_OK, 15},
        {L".75", S_OK, 1},
        {L"1e", DISP_E_TYPEMISMATCH, 0},
        {L".", DISP_E_TYPEMISMATCH, 0},
        {L"1.5x", DISP_E_TYPEMISMATCH, 0},
        {L"3e10", DISP_E_OVERFLOW, 0},
        {L"1e999", DISP_E_OVERFLOW, 0},
        {L"1e-999", S_OK, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.text));
        Variant text{std::wstring_view(c.text)};
        VARIANT dst;
        VariantInit(&dst);
        ASSERT_EQ(VariantChangeType(&dst, text.Get(), 0, VT_I4), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(dst.lVal, c.number);
        }
    }
    // And back: doubles print with up to 15 significant digits, exponents in upper case.
    VARIANT half;
    VariantInit(&half);
    half.vt = VT_R8;
    half.dblVal = 0.5;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &half, 0, VT_BSTR), S_OK);
    EXPECT_EQ(ToWString(out.bstrVal), L"0.5");
    VariantClear(&out);
    half.dblVal = 1e20;
    ASSERT_EQ(VariantChangeType(&out, &half, 0, VT_BSTR), S_OK);
    EXPECT_EQ(ToWString(out.bstrVal), L"1E+20");
    VariantClear(&out);
    // A by-reference double is followed like the other references.
    double value = 41.5;
    VARIANT ref;
    ref.vt = VT_BYREF | VT_R8;
    ref.byref = &value;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 42);
}

TEST(ComVariant, ChangeTypeFollowsReferences) {
    LONG number = 31;
    BSTR text = SysAllocString(L"77");
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I4;
    inner.lVal = 5;

    VARIANT byLong, byText, byVariant, out;
    VariantInit(&out);
    byLong.vt = VT_BYREF | VT_I4;
    byLong.plVal = &number;
    byText.vt = VT_BYREF | VT_BSTR;
    byText.pbstrVal = &text;
    byVariant.vt = VT_BYREF | VT_VARIANT;
    byVariant.pvarVal = &inner;

    ASSERT_EQ(VariantChangeType(&out, &byLong, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 31);
    ASSERT_EQ(VariantChangeType(&out, &byText, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 77);
    ASSERT_EQ(VariantChangeType(&out, &byVariant, 0, VT_BSTR), S_OK);
    EXPECT_EQ(ToWString(out.bstrVal), L"5");
    VariantClear(&out);
    // Copying a BSTR out of a reference must duplicate it: the referenced one stays the caller's.
    ASSERT_EQ(VariantChangeType(&out, &byText, 0, VT_BSTR), S_OK);
    EXPECT_NE(out.bstrVal, text);
    VariantClear(&out);
    EXPECT_EQ(ToWString(text), L"77");

    // A reference to a reference is not followed.
    VARIANT nested;
    nested.vt = VT_BYREF | VT_VARIANT;
    nested.pvarVal = &byLong;
    EXPECT_EQ(VariantChangeType(&out, &nested, 0, VT_I4), DISP_E_TYPEMISMATCH);
    SysFreeString(text);
}

TEST(ComVariant, ChangeTypeInPlaceReleasesTheOldString) {
    // Under ASan a leaked or double-freed BSTR fails this test.
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"123");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 123);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(ToWString(v.bstrVal), L"123");
    VariantClear(&v);

    // A reference converted in place to its own base type becomes a plain value, not a
    // reference whose pointer bits would be read as the number.
    LONG number = 55;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &number;
    ASSERT_EQ(VariantChangeType(&ref, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(ref.vt, VT_I4);
    EXPECT_EQ(ref.lVal, 55);
}

TEST(ComVariant, CopyIsDeepAndClearResets) {
    Variant original(std::wstring_view(L"abc"));
    Variant copy = original;
    ASSERT_EQ(copy.Type(), VT_BSTR);
    EXPECT_NE(copy.Get()->bstrVal, original.Get()->bstrVal);
    original.SetLong(1);  // frees the original's string; the copy must not share it
    EXPECT_EQ(copy.AsString(), L"abc");

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x7FF;
    VARIANT dst;
    VariantInit(&dst);
    EXPECT_EQ(VariantCopy(&dst, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

// Counts its references; deleting is not needed, it lives on the test's stack.
struct CountedUnknown final : IUnknown {
    ULONG refs = 1;
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
};

TEST(ComVariant, CopyAddRefsInterfacesAndClearReleasesThem) {
    CountedUnknown object;
    VARIANT held;
    VariantInit(&held);
    held.vt = VT_UNKNOWN;
    held.punkVal = &object;  // adopts the initial reference
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &held), S_OK);
    EXPECT_EQ(copy.punkVal, &object);
    EXPECT_EQ(object.refs, 2u);
    // Copying over a variant that holds the object releases its old reference first.
    ASSERT_EQ(VariantCopy(&copy, &held), S_OK);
    EXPECT_EQ(object.refs, 2u);
    VariantClear(&copy);
    EXPECT_EQ(object.refs, 1u);
    // A by-reference variant owns nothing: copying and clearing it leave the count alone.
    IUnknown* slot = &object;
    VARIANT ref;
    ref.vt = VT_BYREF | VT_UNKNOWN;
    ref.ppunkVal = &slot;
    ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
    VariantClear(&copy);
    EXPECT_EQ(object.refs, 1u);
    VariantClear(&held);
    EXPECT_EQ(object.refs, 0u);
}

TEST(ComGuid, FormatsAndParsesTheRegistryForm) {
    const GUID g = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    const std::wstring text = L"{0123ABCD-4567-89EF-FEDC-BA9876543210}";
    EXPECT_EQ(GuidToString(g), text);
    wchar_t buffer[39];
    EXPECT_EQ(StringFromGUID2(g, buffer, 39), 39);
    EXPECT_EQ(std::wstring(buffer), text);
    EXPECT_EQ(StringFromGUID2(g, buffer, 38), 0);  // no room for the terminator

    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(L"{0123abcd-4567-89ef-fedc-ba9876543210}", &parsed), S_OK);
    EXPECT_EQ(parsed, g);
}

TEST(ComGuid, RejectsMalformedText) {
    const wchar_t* bad[] = {
        L"0123ABCD-4567-89EF-FEDC-BA9876543210",     // no braces
        L"{0123ABCD-4567-89EF-FEDC-BA987654321}",    // one digit short
        L"{0123ABCD-4567-89EF-FEDC-BA98765432100}",  // one digit long
        L"{0123ABCD_4567-89EF-FEDC-BA9876543210}",   // wrong separator
        L"{0123ABCG-4567-89EF-FEDC-BA9876543210}",   // not hex
        L"{}",
    };
    for (const wchar_t* text : bad) {
        GUID g{};
        EXPECT_FALSE(GuidFromString(text, g)) << std::wstring(text).size();
    }
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(L"{0123ABCD-4567-89EF-FEDC-BA987654321}", &clsid), CO_E_CLASSSTRING);
}

}  // namespace
