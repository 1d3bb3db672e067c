// GetIDsOfNames and Invoke driven by a dispatch table: argument order, coercion, references,
// results, properties and every refusal a caller can meet.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/DispatchObject.h"

using namespace QVO::Platform::Com;

namespace {

class Probe final : public DispatchObject<Probe> {
public:
    static const DispatchTable& Table();
    LONG level = 3;
    LONG resultOnEntry = -1;
    std::wstring lastText;
    VARIANT_BOOL lastFlag = 0;
    IDispatch* lastTarget = reinterpret_cast<IDispatch*>(1);
};

Probe* P(void* p) { return static_cast<Probe*>(p); }

const DispatchTable& Probe::Table() {
    static const DispatchTable table({
        {L"Mix",
         10,
         MemberKind::Method,
         {Param::Long, Param::Bstr, Param::Bool},
         Result::Long,
         [](void* s, DispatchCall& c) {
             P(s)->resultOnEntry = c.LongResult();
             P(s)->lastText = ToWString(c.Bstr(1));
             P(s)->lastFlag = c.Bool(2);
             c.LongResult() = c.Long(0) * 100 + LONG(P(s)->lastText.size());
             return S_OK;
         }},
        {L"Refs",
         11,
         MemberKind::Method,
         {Param::LongRef, Param::BstrRef},
         Result::None,
         [](void*, DispatchCall& c) {
             *c.LongRef(0) += 1;
             std::wstring s = ToWString(*c.BstrRef(1)) + L"+";
             SysFreeString(*c.BstrRef(1));
             *c.BstrRef(1) = SysAllocString(s.c_str());
             return S_OK;
         }},
        {L"Target",
         12,
         MemberKind::Method,
         {Param::Dispatch},
         Result::None,
         [](void* s, DispatchCall& c) {
             P(s)->lastTarget = c.Dispatch(0);
             return S_OK;
         }},
        {L"Level",
         13,
         MemberKind::PropertyGet,
         {},
         Result::Long,
         [](void* s, DispatchCall& c) {
             c.LongResult() = P(s)->level;
             return S_OK;
         }},
        {L"Level",
         13,
         MemberKind::PropertyPut,
         {Param::Long},
         Result::None,
         [](void* s, DispatchCall& c) {
             P(s)->level = c.Long(0);
             return S_OK;
         }},
        {L"Name",
         14,
         MemberKind::Method,
         {},
         Result::Bstr,
         [](void*, DispatchCall& c) {
             c.BstrResult() = SysAllocString(L"probe");
             return S_OK;
         }},
        {L"Fail",
         15,
         MemberKind::Method,
         {},
         Result::None,
         [](void*, DispatchCall&) -> HRESULT { throw std::runtime_error("probe broke"); }},
    });
    return table;
}

// Owns a probe and calls it the way an Automation client does.
class ComDispatch : public testing::Test {
protected:
    ComPtr<Probe> probe = ComPtr<Probe>::Attach(new Probe());

    // args in the method's own order; they are reversed into rgvarg here.
    HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr, UINT* argErr = nullptr,
                 WORD flags = DISPATCH_METHOD) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
        return probe->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, argErr);
    }
    static VARIANT Long(LONG v) {
        VARIANT x;
        VariantInit(&x);
        x.vt = VT_I4;
        x.lVal = v;
        return x;
    }
    static VARIANT Text(BSTR s) {
        VARIANT x;
        VariantInit(&x);
        x.vt = VT_BSTR;
        x.bstrVal = s;
        return x;
    }
    static VARIANT Flag(VARIANT_BOOL b) {
        VARIANT x;
        VariantInit(&x);
        x.vt = VT_BOOL;
        x.boolVal = b;
        return x;
    }
};

TEST_F(ComDispatch, NamesResolveWithoutRegardToCase) {
    const wchar_t* spellings[] = {L"Mix", L"mix", L"MIX", L"mIx"};
    for (const wchar_t* name : spellings) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = 0;
        EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, 10);
    }
    LPOLESTR unknown[2] = {const_cast<LPOLESTR>(L"Mixer"), const_cast<LPOLESTR>(L"x")};
    DISPID ids[2] = {5, 5};
    EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, unknown, 2, LOCALE_SYSTEM_DEFAULT, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(ComDispatch, ArgumentsArriveInDeclarationOrderWithCoercion) {
    // Declared (long, BSTR, bool); a wrong reversal would put the flag first and fail.
    BStr digits(L"4");
    BStr word(L"hello");
    VARIANT result;
    VariantInit(&result);
    // The long comes as text and the bool as a number: both are coerced.
    ASSERT_EQ(Call(10, {Text(digits.Get()), Text(word.Get()), Long(1)}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 405);
    EXPECT_EQ(probe->lastText, L"hello");
    EXPECT_EQ(probe->lastFlag, VARIANT_TRUE);
}

TEST_F(ComDispatch, NumbersOfOtherAutomationTypesReachALongParameter) {
    // Script clients pass doubles and small integers; the member still sees its long.
    BStr word(L"abc");
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_R8;
    number.dblVal = 2.5;  // ties round to even: 2
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(10, {number, Text(word.Get()), Flag(0)}, &result), S_OK);
    EXPECT_EQ(result.lVal, 203);
    number.vt = VT_UI1;
    number.llVal = 7;
    ASSERT_EQ(Call(10, {number, Text(word.Get()), Flag(0)}, &result), S_OK);
    EXPECT_EQ(result.lVal, 703);
}

TEST_F(ComDispatch, MemberStartsFromAZeroedResultWhateverTheCallerPassed) {
    BStr word(L"ab");
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = 12345;  // a careless caller's leftover
    ASSERT_EQ(Call(10, {Long(1), Text(word.Get()), Flag(VARIANT_FALSE)}, &result), S_OK);
    EXPECT_EQ(probe->resultOnEntry, 0);
    EXPECT_EQ(result.lVal, 102);
    // Without a result slot the call still runs.
    EXPECT_EQ(Call(10, {Long(2), Text(word.Get()), Flag(VARIANT_FALSE)}), S_OK);
    EXPECT_EQ(probe->resultOnEntry, 0);
}

TEST_F(ComDispatch, MismatchedArgumentIsNamedByItsRgvargIndex) {
    BStr notANumber(L"four");
    BStr word(L"x");
    UINT argErr = 99;
    // "four" is the first declared argument, i.e. rgvarg[2] of three.
    EXPECT_EQ(Call(10, {Text(notANumber.Get()), Text(word.Get()), Flag(0)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    BStr big(L"99999999999");
    EXPECT_EQ(Call(10, {Text(big.Get()), Text(word.Get()), Flag(0)}, nullptr, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 2u);
    // A by-value long where a reference is declared is a mismatch too (rgvarg[1] of two).
    EXPECT_EQ(Call(11, {Long(1), Long(2)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
}

TEST_F(ComDispatch, WrongCountsAndUnknownMembersAreRefused) {
    EXPECT_EQ(Call(10, {Long(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(14, {Long(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(999, {}), DISP_E_MEMBERNOTFOUND);
    // A property has no method form to call with DISPATCH_METHOD alone... but a get works.
    EXPECT_EQ(Call(13, {}, nullptr, nullptr, DISPATCH_PROPERTYPUT), DISP_E_PARAMNOTOPTIONAL);
    // Named arguments on a method are refused.
    VARIANT arg = Long(1);
    DISPID named = 0;
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(
        probe->Invoke(13, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, nullptr, nullptr, nullptr),
        DISP_E_NONAMEDARGS);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(probe->Invoke(14, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ComDispatch, ReferencesAreUpdatedInPlace) {
    LONG counter = 41;
    BSTR text = SysAllocString(L"a");
    VARIANT byLong, byText;
    byLong.vt = VT_BYREF | VT_I4;
    byLong.plVal = &counter;
    byText.vt = VT_BYREF | VT_BSTR;
    byText.pbstrVal = &text;
    ASSERT_EQ(Call(11, {byLong, byText}), S_OK);
    EXPECT_EQ(counter, 42);
    EXPECT_EQ(ToWString(text), L"a+");
    SysFreeString(text);

    // Script-style callers pass references to VARIANTs; an empty one takes the declared type.
    VARIANT number, empty;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 1;
    VariantInit(&empty);
    VARIANT refNumber, refEmpty;
    refNumber.vt = VT_BYREF | VT_VARIANT;
    refNumber.pvarVal = &number;
    refEmpty.vt = VT_BYREF | VT_VARIANT;
    refEmpty.pvarVal = &empty;
    ASSERT_EQ(Call(11, {refNumber, refEmpty}), S_OK);
    EXPECT_EQ(number.lVal, 2);
    ASSERT_EQ(empty.vt, VT_BSTR);
    EXPECT_EQ(ToWString(empty.bstrVal), L"+");
    VariantClear(&empty);
}

TEST_F(ComDispatch, DispatchArgumentsAcceptEmptyAsNull) {
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(Call(12, {empty}), S_OK);
    EXPECT_EQ(probe->lastTarget, nullptr);
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_UNKNOWN;
    self.punkVal = probe.Get();
    ASSERT_EQ(Call(12, {self}), S_OK);
    EXPECT_EQ(probe->lastTarget, static_cast<IDispatch*>(probe.Get()));
}

TEST_F(ComDispatch, PropertiesGetAndPut) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(13, {}, &result, nullptr, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.lVal, 3);

    VARIANT value = Long(8);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &putId, 1, 1};
    ASSERT_EQ(probe->Invoke(13, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(probe->level, 8);
    // Visual Basic style: method and get flags together reach the getter.
    ASSERT_EQ(Call(13, {}, &result, nullptr, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.lVal, 8);
}

TEST_F(ComDispatch, StringResultsAndExceptionsTravelBack) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(14, {}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(ToWString(result.bstrVal), L"probe");
    VariantClear(&result);

    EXCEPINFO info{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(probe->Invoke(15, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &info, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(ToWString(info.bstrDescription), L"probe broke");
    SysFreeString(info.bstrDescription);
}

}  // namespace
