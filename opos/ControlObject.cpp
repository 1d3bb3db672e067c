// Opening a service object through the device entry, forwarding calls, and closing it.
#include "opos/ControlObject.h"

#include <vector>

#include "opos/EventSink.h"
#include "platform/registry/Registry.h"

namespace Reg = QVO::Platform::Registry;

namespace QVO::Opos {

using namespace Platform::Com;

namespace {

constexpr const wchar_t* kMethodNames[] = {
    L"COFreezeEvents",     L"GetPropertyNumber",  L"SetPropertyNumber", L"GetPropertyString",
    L"SetPropertyString",  L"OpenService",        L"CheckHealth",       L"ClaimDevice",
    L"ClearOutput",        L"CloseService",       L"DirectIO",          L"ReleaseDevice",
    L"BeginRemoval",       L"CutPaper",           L"EndInsertion",      L"EndRemoval",
    L"PrintBarCode",       L"PrintBitmap",        L"PrintImmediate",    L"PrintNormal",
    L"PrintTwoNormal",     L"RotatePrint",        L"SetBitmap",         L"SetLogo",
    L"TransactionPrint",   L"ValidateData",       L"ChangePrintSide",   L"MarkFeed",
    L"ResetStatistics",    L"RetrieveStatistics", L"UpdateStatistics",  L"CompareFirmwareVersion",
    L"UpdateFirmware",     L"ClearPrintArea",     L"PageModePrint",     L"PrintMemoryBitmap",
    L"DrawRuledLine",      L"BeginInsertion",     L"GetOpenResult",     L"OpenDrawer",
    L"WaitForDrawerClose", L"PrintLine",          L"PrintCurveText",
};
static_assert(std::size(kMethodNames) == size_t(SoMethod::Count));

const std::wstring kServiceOposKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\";

}  // namespace

const wchar_t* SoMethodName(SoMethod method) { return kMethodNames[size_t(method)]; }

CControlObject::CControlObject(std::wstring deviceClass, std::initializer_list<SoMethodUse> methods)
    : deviceClass_(std::move(deviceClass)), uses_(methods), sink_(ComPtr<CEventSink>::Attach(CEventSink::Create())) {
    ids_.fill(DISPID_UNKNOWN);
}

CControlObject::~CControlObject() {
    if (so_) Close();
}

// ---- Open and close ----

std::wstring CControlObject::ResolveDeviceEntry(std::wstring_view name) const {
    // A value of that name under the class key is a logical name: its data is the entry.
    Reg::Key classKey;
    if (Reg::Key::Open(Reg::Hive::LocalMachine, kServiceOposKey + deviceClass_, classKey))
        if (auto entry = classKey.GetString(name); entry && !entry->empty()) return *entry;
    return std::wstring(name);
}

bool CControlObject::LookUpMethods() {
    ids_.fill(DISPID_UNKNOWN);
    bool complete = true;
    for (const SoMethodUse& use : uses_) {
        LPOLESTR name = const_cast<LPOLESTR>(SoMethodName(use.method));
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(so_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id))) id = DISPID_UNKNOWN;
        ids_[size_t(use.method)] = id;
        if (id == DISPID_UNKNOWN && use.required) complete = false;
    }
    return complete;
}

int32_t CControlObject::FailOpen(int32_t openResult, int32_t resultCode) {
    openResult_ = openResult;
    closedResult_ = resultCode;
    return resultCode;
}

int32_t CControlObject::QueryOpenResult() {
    std::vector<Arg> none;
    Variant result;
    if (ids_[size_t(SoMethod::GetOpenResult)] == DISPID_UNKNOWN ||
        FAILED(Invoke(SoMethod::GetOpenResult, none, result)))
        return 0;
    return result.AsLong(0);
}

int32_t CControlObject::Open(std::wstring_view deviceName) {
    if (so_) {
        // The open device stays as it is; only this refusal is recorded.
        openResult_ = OPOS_OR_ALREADYOPEN;
        refusedResult_ = OPOS_E_ILLEGAL;
        return OPOS_E_ILLEGAL;
    }

    const std::wstring entry = ResolveDeviceEntry(deviceName);
    Reg::Key entryKey;
    if (entry.empty() ||
        !Reg::Key::Open(Reg::Hive::LocalMachine, kServiceOposKey + deviceClass_ + L"\\" + entry, entryKey))
        return FailOpen(OPOS_OR_REGBADNAME, OPOS_E_NOEXIST);

    CLSID clsid{};
    auto progId = entryKey.GetString(L"");
    if (!progId || progId->empty() || FAILED(CLSIDFromProgID(progId->c_str(), &clsid)))
        return FailOpen(OPOS_OR_REGPROGID, OPOS_E_NOEXIST);

    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, so_.PutVoid())) || !so_)
        return FailOpen(OPOS_OR_CREATE, OPOS_E_NOSERVICE);

    if (!LookUpMethods()) {
        ReleaseService();
        return FailOpen(OPOS_OR_BADIF, OPOS_E_NOSERVICE);
    }

    // Events may come as soon as OpenService has the receiver.
    sink_->Attach();
    std::vector<Arg> args;
    args.push_back(In(deviceClass_));
    args.push_back(In(entry));
    args.push_back(Variant::Dispatch(sink_.Get()));
    Variant result;  // empty: the service object's dispatch layer hands its method a zeroed slot
    HRESULT hr = Invoke(SoMethod::OpenService, args, result);
    int32_t rc = SUCCEEDED(hr) ? result.AsLong(OPOS_E_NOSERVICE) : OPOS_E_NOSERVICE;
    if (rc != OPOS_SUCCESS) {
        int32_t soOpenResult = QueryOpenResult();
        ReleaseService();
        return FailOpen(soOpenResult ? soOpenResult : OPOS_OR_FAILEDOPEN, rc);
    }

    // The version answer needs the opened service object; a wrong major release is closed again.
    std::vector<Arg> versionArgs;
    versionArgs.push_back(In(PIDX_ServiceObjectVersion));
    Variant version;
    if (FAILED(Invoke(SoMethod::GetPropertyNumber, versionArgs, version)) || OposMajorVersion(version.AsLong(0)) != 1) {
        Call(SoMethod::CloseService);
        ReleaseService();
        return FailOpen(OPOS_OR_BADVERSION, OPOS_E_NOSERVICE);
    }
    openResult_ = OPOS_SUCCESS;
    return OPOS_SUCCESS;
}

void CControlObject::ReleaseService() {
    sink_->Detach();
    so_.Reset();
    ids_.fill(DISPID_UNKNOWN);
    refusedResult_ = OPOS_SUCCESS;
}

int32_t CControlObject::Close() {
    if (!so_) return ClosedResult(OPOS_E_CLOSED);
    int32_t rc = Call(SoMethod::CloseService);
    ReleaseService();
    closedResult_ = rc;
    return rc;
}

int32_t CControlObject::ClosedResult(int32_t result) {
    closedResult_ = result;
    return result;
}

// ---- Forwarding ----

HRESULT CControlObject::Invoke(SoMethod method, std::vector<Arg>& args, Variant& result) {
    DISPID id = ids_[size_t(method)];
    if (!so_ || id == DISPID_UNKNOWN) return DISP_E_MEMBERNOTFOUND;
    // Automation passes the arguments last first; the Variants keep ownership.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argErr = 0;
    return so_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), nullptr, &argErr);
}

int32_t CControlObject::CallWithRefs(SoMethod method, std::vector<Arg>& args) {
    if (!so_) return ClosedResult(OPOS_E_CLOSED);
    Variant result;
    if (FAILED(Invoke(method, args, result))) return refusedResult_ = OPOS_E_NOSERVICE;
    refusedResult_ = OPOS_SUCCESS;
    return result.AsLong(OPOS_E_NOSERVICE);
}

int32_t CControlObject::Call(SoMethod method, std::initializer_list<Arg> args) {
    std::vector<Arg> copy(args);
    return CallWithRefs(method, copy);
}

int32_t CControlObject::ClaimDevice(int32_t timeout) { return Call(SoMethod::ClaimDevice, {In(timeout)}); }
int32_t CControlObject::ReleaseDevice() { return Call(SoMethod::ReleaseDevice); }
int32_t CControlObject::CheckHealth(int32_t level) { return Call(SoMethod::CheckHealth, {In(level)}); }

int32_t CControlObject::DirectIO(int32_t command, int32_t& data, std::wstring& text) {
    LONG value = data;
    BStr str(text);
    std::vector<Arg> args;
    args.push_back(In(command));
    args.push_back(Variant::RefLong(&value));
    args.push_back(Variant::RefBstr(str.InOut()));
    int32_t rc = CallWithRefs(SoMethod::DirectIO, args);
    data = value;
    text = str.Str();
    return rc;
}

int32_t CControlObject::ResetStatistics(std::wstring_view statistics) {
    return Call(SoMethod::ResetStatistics, {In(statistics)});
}

int32_t CControlObject::RetrieveStatistics(std::wstring& statistics) {
    BStr str(statistics);
    std::vector<Arg> args;
    args.push_back(Variant::RefBstr(str.InOut()));
    int32_t rc = CallWithRefs(SoMethod::RetrieveStatistics, args);
    statistics = str.Str();
    return rc;
}

int32_t CControlObject::UpdateStatistics(std::wstring_view statistics) {
    return Call(SoMethod::UpdateStatistics, {In(statistics)});
}

int32_t CControlObject::CompareFirmwareVersion(std::wstring_view firmwareFile, int32_t& result) {
    LONG value = result;
    std::vector<Arg> args;
    args.push_back(In(firmwareFile));
    args.push_back(Variant::RefLong(&value));
    int32_t rc = CallWithRefs(SoMethod::CompareFirmwareVersion, args);
    result = value;
    return rc;
}

int32_t CControlObject::UpdateFirmware(std::wstring_view firmwareFile) {
    return Call(SoMethod::UpdateFirmware, {In(firmwareFile)});
}

// ---- Properties ----

int32_t CControlObject::GetPropertyNumber(int32_t index) {
    if (!so_) return 0;
    std::vector<Arg> args;
    args.push_back(In(index));
    Variant result;
    if (FAILED(Invoke(SoMethod::GetPropertyNumber, args, result))) return 0;
    return result.AsLong(0);
}

int32_t CControlObject::SetPropertyNumber(int32_t index, int32_t value) {
    return Call(SoMethod::SetPropertyNumber, {In(index), In(value)});
}

std::wstring CControlObject::GetPropertyString(int32_t index) {
    if (!so_) return {};
    std::vector<Arg> args;
    args.push_back(In(index));
    Variant result;
    if (FAILED(Invoke(SoMethod::GetPropertyString, args, result))) return {};
    return result.AsString();
}

int32_t CControlObject::SetPropertyString(int32_t index, std::wstring_view value) {
    return Call(SoMethod::SetPropertyString, {In(index), In(value)});
}

int32_t CControlObject::GetState() { return so_ ? GetPropertyNumber(PIDX_State) : OPOS_S_CLOSED; }
bool CControlObject::GetClaimed() { return GetPropertyNumber(PIDX_Claimed) != 0; }
bool CControlObject::GetDeviceEnabled() { return GetPropertyNumber(PIDX_DeviceEnabled) != 0; }
int32_t CControlObject::SetDeviceEnabled(bool enabled) {
    return SetPropertyNumber(PIDX_DeviceEnabled, enabled ? 1 : 0);
}
bool CControlObject::GetFreezeEvents() { return GetPropertyNumber(PIDX_FreezeEvents) != 0; }

int32_t CControlObject::SetFreezeEvents(bool freeze) {
    Variant flag = Variant::Bool(freeze);
    std::vector<Arg> args;
    args.push_back(flag);
    return CallWithRefs(SoMethod::COFreezeEvents, args);
}

int32_t CControlObject::GetResultCode() {
    if (!so_) return closedResult_;
    return refusedResult_ != OPOS_SUCCESS ? refusedResult_ : GetPropertyNumber(PIDX_ResultCode);
}

int32_t CControlObject::GetResultCodeExtended() {
    return refusedResult_ != OPOS_SUCCESS ? 0 : GetPropertyNumber(PIDX_ResultCodeExtended);
}
int32_t CControlObject::GetOutputID() { return GetPropertyNumber(PIDX_OutputID); }
int32_t CControlObject::GetServiceObjectVersion() { return GetPropertyNumber(PIDX_ServiceObjectVersion); }
int32_t CControlObject::GetCapPowerReporting() { return GetPropertyNumber(PIDX_CapPowerReporting); }
int32_t CControlObject::GetPowerNotify() { return GetPropertyNumber(PIDX_PowerNotify); }
int32_t CControlObject::SetPowerNotify(int32_t value) { return SetPropertyNumber(PIDX_PowerNotify, value); }
int32_t CControlObject::GetPowerState() { return GetPropertyNumber(PIDX_PowerState); }
int32_t CControlObject::GetBinaryConversion() { return GetPropertyNumber(PIDX_BinaryConversion); }
int32_t CControlObject::SetBinaryConversion(int32_t value) { return SetPropertyNumber(PIDX_BinaryConversion, value); }
std::wstring CControlObject::GetCheckHealthText() { return GetPropertyString(PIDX_CheckHealthText); }
std::wstring CControlObject::GetDeviceDescription() { return GetPropertyString(PIDX_DeviceDescription); }
std::wstring CControlObject::GetDeviceName() { return GetPropertyString(PIDX_DeviceName); }
std::wstring CControlObject::GetServiceObjectDescription() { return GetPropertyString(PIDX_ServiceObjectDescription); }

std::wstring CControlObject::GetControlObjectDescription() const {
    return L"QUVO OPOS " + deviceClass_ + L" Control Object";
}

// ---- Events ----

void CControlObject::SetDirectIOEventHandler(DirectIOEventHandler h) { sink_->SetDirectIO(std::move(h)); }
void CControlObject::SetErrorEventHandler(ErrorEventHandler h) { sink_->SetError(std::move(h)); }
void CControlObject::SetOutputCompleteEventHandler(OutputCompleteEventHandler h) {
    sink_->SetOutputComplete(std::move(h));
}
void CControlObject::SetStatusUpdateEventHandler(StatusUpdateEventHandler h) { sink_->SetStatusUpdate(std::move(h)); }

}  // namespace QVO::Opos
