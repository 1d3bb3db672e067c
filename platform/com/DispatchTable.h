// One declaration per dispatch member (name, DISPID, parameter kinds, result) that serves both
// IDispatch::GetIDsOfNames and IDispatch::Invoke, with the Automation calling conventions.
//
// Invoke takes the arguments in reverse order from DISPPARAMS::rgvarg, coerces in-arguments
// with VariantChangeType, passes by-reference arguments through, hands the member a zeroed
// result and copies it into pVarResult. Errors: DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT,
// DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW (with *puArgErr = the rgvarg index), DISP_E_NONAMEDARGS,
// DISP_E_EXCEPTION when a member throws (nothing is thrown across the interface).
//
// A table is built once per class and is read-only afterwards: safe to use from any thread.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com {

// How one parameter travels.
enum class Param : uint8_t {
    Long,      // [in] long: coerced to VT_I4
    Bstr,      // [in] BSTR: coerced to VT_BSTR; the member borrows it
    BstrRef,   // [in, out] BSTR*: VT_BYREF|VT_BSTR (or a by-reference VARIANT holding one)
    LongRef,   // [in, out] long*: VT_BYREF|VT_I4 (or a by-reference VARIANT holding one)
    Bool,      // [in] VARIANT_BOOL: coerced to VT_BOOL
    Dispatch,  // [in] IDispatch*: VT_DISPATCH, VT_UNKNOWN (queried), or empty for null
};

// The [out, retval] result, if any.
enum class Result : uint8_t { None, Long, Bstr };

enum class MemberKind : uint8_t { Method, PropertyGet, PropertyPut };

struct DispatchMember;
class DispatchTable;

// The arguments of one call, already coerced, in declaration order.
// Lives only for the duration of the member call, on the calling thread.
class DispatchCall {
public:
    DispatchCall() = default;
    DispatchCall(const DispatchCall&) = delete;
    DispatchCall& operator=(const DispatchCall&) = delete;
    ~DispatchCall();

    // The member being called (one handler may serve several members).
    const DispatchMember& Member() const { return *member_; }
    size_t Count() const { return args_.size(); }
    LONG Long(size_t i) const { return args_[i].lVal; }
    BSTR Bstr(size_t i) const { return args_[i].bstrVal; }
    BSTR* BstrRef(size_t i) const { return args_[i].pbstrVal; }
    LONG* LongRef(size_t i) const { return args_[i].plVal; }
    VARIANT_BOOL Bool(size_t i) const { return args_[i].boolVal; }
    IDispatch* Dispatch(size_t i) const { return args_[i].pdispVal; }

    // The zeroed result slots; the member writes the one its declaration names.
    LONG& LongResult() { return longResult_; }
    // A BSTR result is owned by the call until Invoke moves it to pVarResult.
    BSTR& BstrResult() { return bstrResult_; }

private:
    friend class DispatchTable;
    const DispatchMember* member_ = nullptr;
    std::vector<VARIANT> args_;
    LONG longResult_ = 0;
    BSTR bstrResult_ = nullptr;
};

// `object` is the pointer given to DispatchTable::Invoke (the implementing object).
using DispatchHandler = HRESULT (*)(void* object, DispatchCall& call);

struct DispatchMember {
    const wchar_t* name;
    DISPID id;
    MemberKind kind;
    std::vector<Param> params;
    Result result;
    DispatchHandler handler;
};

class DispatchTable {
public:
    explicit DispatchTable(std::vector<DispatchMember> members);

    // Case-insensitive lookup of rgszNames[0]. Further names would be parameter names, which
    // the table does not carry: they get DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME.
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const;

    HRESULT Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) const;

    // The member with that DISPID and kind, or null.
    const DispatchMember* Find(DISPID id, MemberKind kind) const;
    // The DISPID of a name (case-insensitive), or DISPID_UNKNOWN.
    DISPID IdOf(std::wstring_view name) const;
    const std::vector<DispatchMember>& Members() const { return members_; }

private:
    const DispatchMember* Select(DISPID id, WORD flags) const;

    std::vector<DispatchMember> members_;
};

}  // namespace QVO::Platform::Com
