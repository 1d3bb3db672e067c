// IDispatch::GetIDsOfNames and IDispatch::Invoke driven by a table of member declarations.
#include "platform/com/DispatchTable.h"

#include <exception>

#include "platform/com/ComPtr.h"
#include "platform/text/TextConv.h"

namespace QVO::Platform::Com {

namespace {

// A by-reference argument may come as itself or as a VT_BYREF|VT_VARIANT holding that type;
// an empty referenced VARIANT is turned into that type so the member can fill it.
HRESULT BindReference(VARIANT& arg, VARTYPE type, VARIANT& out) {
    VariantInit(&out);
    out.vt = VT_BYREF | type;
    if (arg.vt == (VT_BYREF | type)) {
        out.byref = arg.byref;
    } else if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal) {
        VARIANT& inner = *arg.pvarVal;
        if (inner.vt == VT_EMPTY) {
            VariantInit(&inner);
            inner.vt = type;
        }
        if (inner.vt != type) return DISP_E_TYPEMISMATCH;
        out.byref = type == VT_BSTR ? static_cast<void*>(&inner.bstrVal) : static_cast<void*>(&inner.lVal);
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    return out.byref ? S_OK : E_POINTER;
}

HRESULT BindDispatch(const VARIANT& arg, VARIANT& out) {
    VariantInit(&out);
    VARTYPE plain = arg.vt & ~VT_BYREF;
    if (plain == VT_EMPTY || plain == VT_NULL) {
        out.vt = VT_DISPATCH;  // a null interface pointer
        return S_OK;
    }
    return VariantChangeType(&out, &arg, 0, VT_DISPATCH);
}

HRESULT Bind(Param kind, VARIANT& arg, VARIANT& out) {
    switch (kind) {
        case Param::Long:
            VariantInit(&out);
            return VariantChangeType(&out, &arg, 0, VT_I4);
        case Param::Bstr:
            VariantInit(&out);
            return VariantChangeType(&out, &arg, 0, VT_BSTR);
        case Param::Bool:
            VariantInit(&out);
            return VariantChangeType(&out, &arg, 0, VT_BOOL);
        case Param::LongRef:
            return BindReference(arg, VT_I4, out);
        case Param::BstrRef:
            return BindReference(arg, VT_BSTR, out);
        case Param::Dispatch:
            return BindDispatch(arg, out);
    }
    return DISP_E_TYPEMISMATCH;
}

void FillException(EXCEPINFO* info, const char* what) {
    if (!info) return;
    *info = EXCEPINFO{};
    info->scode = E_FAIL;
    info->bstrDescription = SysAllocString(Text::Utf8ToWide(what ? what : "unknown error").c_str());
}

}  // namespace

DispatchCall::~DispatchCall() {
    for (VARIANT& v : args_) VariantClear(&v);
    SysFreeString(bstrResult_);
}

DispatchTable::DispatchTable(std::vector<DispatchMember> members) : members_(std::move(members)) {}

const DispatchMember* DispatchTable::Find(DISPID id, MemberKind kind) const {
    for (const auto& m : members_)
        if (m.id == id && m.kind == kind) return &m;
    return nullptr;
}

DISPID DispatchTable::IdOf(std::wstring_view name) const {
    for (const auto& m : members_)
        if (EqualsNoCase(m.name, name)) return m.id;
    return DISPID_UNKNOWN;
}

HRESULT DispatchTable::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) const {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if ((!rgszNames || !rgDispId) && cNames) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < cNames; ++i) {
        rgDispId[i] = (i == 0 && rgszNames[0]) ? IdOf(rgszNames[0]) : DISPID_UNKNOWN;
        if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

const DispatchMember* DispatchTable::Select(DISPID id, WORD flags) const {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return Find(id, MemberKind::PropertyPut);
    if (flags & DISPATCH_METHOD)
        if (const auto* m = Find(id, MemberKind::Method)) return m;
    if (flags & DISPATCH_PROPERTYGET) return Find(id, MemberKind::PropertyGet);
    return nullptr;
}

HRESULT DispatchTable::Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excepInfo, UINT* argErr) const {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const DispatchMember* member = Select(id, flags);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (params->cArgs && !params->rgvarg) return E_POINTER;

    // Only a property put may name an argument, and only its value.
    const bool isPut = member->kind == MemberKind::PropertyPut;
    if (isPut) {
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return params->cNamedArgs ? DISP_E_NONAMEDARGS : DISP_E_PARAMNOTOPTIONAL;
    } else if (params->cNamedArgs) {
        return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs != member->params.size()) return DISP_E_BADPARAMCOUNT;

    DispatchCall call;
    call.member_ = member;
    call.args_.reserve(member->params.size());
    const UINT count = params->cArgs;
    for (UINT i = 0; i < count; ++i) {
        // Positional arguments sit at the end of rgvarg in reverse order; the value of a
        // property put is the named argument at rgvarg[0].
        UINT slot = (isPut && i == count - 1) ? 0 : count - 1 - i;
        VARIANT bound;
        HRESULT hr = Bind(member->params[i], params->rgvarg[slot], bound);
        if (FAILED(hr)) {
            if (argErr) *argErr = slot;
            return hr == DISP_E_BADVARTYPE || hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
        call.args_.push_back(bound);
    }

    HRESULT hr;
    try {
        hr = member->handler(object, call);
    } catch (const std::exception& e) {
        FillException(excepInfo, e.what());
        return DISP_E_EXCEPTION;
    } catch (...) {
        FillException(excepInfo, nullptr);
        return DISP_E_EXCEPTION;
    }
    if (FAILED(hr) || !result) return hr;
    // The caller's result slot is expected empty; it is written, not cleared.
    VariantInit(result);
    if (member->result == Result::Long) {
        result->vt = VT_I4;
        result->lVal = call.longResult_;
    } else if (member->result == Result::Bstr) {
        result->vt = VT_BSTR;
        result->bstrVal = std::exchange(call.bstrResult_, nullptr);
    }
    return hr;
}

}  // namespace QVO::Platform::Com
