// The part shared by the POSPrinter and CashDrawer control objects: finding the device entry,
// creating and opening the service object, forwarding calls by DISPID, and receiving events.
//
// Ownership: the control object owns its reference on the service object from Open to Close
// and its event receiver (a COM object whose handlers are detached at Close).
// Thread safety: methods and property accessors are called from one thread at a time (the
// application's thread, as with an apartment-threaded object). Events arrive on the service
// object's event thread and the installed handler runs on that thread; handlers may be
// installed or replaced from any thread at any time. After Close returns, no handler runs.
// No lock of its own: the only state the event thread touches is the receiver's (CEventSink,
// which has its own lock), and Close waits there for deliveries in progress.
#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "constants/OposConstants.h"
#include "platform/com/ComPtr.h"

namespace QVO::Opos {

class CEventSink;

// The service object's dispatch methods the control objects call, looked up by name at Open.
enum class SoMethod : size_t {
    COFreezeEvents,
    GetPropertyNumber,
    SetPropertyNumber,
    GetPropertyString,
    SetPropertyString,
    OpenService,
    CheckHealth,
    ClaimDevice,
    ClearOutput,
    CloseService,
    DirectIO,
    ReleaseDevice,
    BeginRemoval,
    CutPaper,
    EndInsertion,
    EndRemoval,
    PrintBarCode,
    PrintBitmap,
    PrintImmediate,
    PrintNormal,
    PrintTwoNormal,
    RotatePrint,
    SetBitmap,
    SetLogo,
    TransactionPrint,
    ValidateData,
    ChangePrintSide,
    MarkFeed,
    ResetStatistics,
    RetrieveStatistics,
    UpdateStatistics,
    CompareFirmwareVersion,
    UpdateFirmware,
    ClearPrintArea,
    PageModePrint,
    PrintMemoryBitmap,
    DrawRuledLine,
    BeginInsertion,
    GetOpenResult,
    OpenDrawer,
    WaitForDrawerClose,
    PrintLine,
    PrintCurveText,
    Count
};

// The dispatch name of a method ("PrintNormal").
const wchar_t* SoMethodName(SoMethod method);

// One method a device class uses, and whether a service object without it is refused at Open
// (OPOS_OR_BADIF). Methods of later releases are optional: calling one the service object
// lacks answers OPOS_E_NOSERVICE.
struct SoMethodUse {
    SoMethod method;
    bool required;
};

// The application's event handlers. ErrorEvent's response and DirectIOEvent's data and
// string are passed by reference; what the handler leaves there goes back to the service object.
using DirectIOEventHandler = std::function<void(int32_t eventNumber, int32_t& data, std::wstring& text)>;
using ErrorEventHandler =
    std::function<void(int32_t resultCode, int32_t resultCodeExtended, int32_t errorLocus, int32_t& errorResponse)>;
using OutputCompleteEventHandler = std::function<void(int32_t outputId)>;
using StatusUpdateEventHandler = std::function<void(int32_t data)>;

class CControlObject {
public:
    CControlObject(const CControlObject&) = delete;
    CControlObject& operator=(const CControlObject&) = delete;
    virtual ~CControlObject();

    // Opens a logical device name (or a device entry name) of this control's device class.
    // Returns the ResultCode; on failure OpenResult tells which step failed (301-307, or the
    // service object's own 4xx code).
    int32_t Open(std::wstring_view deviceName);
    // Calls CloseService and releases the service object. Returns its result.
    int32_t Close();
    bool IsOpen() const { return static_cast<bool>(so_); }

    int32_t ClaimDevice(int32_t timeout);
    int32_t ReleaseDevice();
    int32_t CheckHealth(int32_t level);
    int32_t DirectIO(int32_t command, int32_t& data, std::wstring& text);
    int32_t ResetStatistics(std::wstring_view statistics);
    int32_t RetrieveStatistics(std::wstring& statistics);
    int32_t UpdateStatistics(std::wstring_view statistics);
    int32_t CompareFirmwareVersion(std::wstring_view firmwareFile, int32_t& result);
    int32_t UpdateFirmware(std::wstring_view firmwareFile);

    // Properties by OPOS index, forwarded to the service object. Setters return the result.
    int32_t GetPropertyNumber(int32_t index);
    int32_t SetPropertyNumber(int32_t index, int32_t value);
    std::wstring GetPropertyString(int32_t index);
    int32_t SetPropertyString(int32_t index, std::wstring_view value);

    // Common properties. While closed: State reads OPOS_S_CLOSED, ResultCode the result of the
    // last call made while closed (initially OPOS_E_CLOSED), numbers 0 and texts empty. While
    // open, ResultCode is the service object's, except after a call this control refused itself
    // (a second Open, a method the service object lacks): then it is that call's result until
    // the next method call or property change reaches the service object.
    int32_t GetState();
    bool GetClaimed();
    bool GetDeviceEnabled();
    int32_t SetDeviceEnabled(bool enabled);
    bool GetFreezeEvents();
    int32_t SetFreezeEvents(bool freeze);
    int32_t GetResultCode();
    int32_t GetResultCodeExtended();
    int32_t GetOpenResult() const { return openResult_; }
    int32_t GetOutputID();
    int32_t GetServiceObjectVersion();
    int32_t GetCapPowerReporting();
    int32_t GetPowerNotify();
    int32_t SetPowerNotify(int32_t value);
    int32_t GetPowerState();
    int32_t GetBinaryConversion();
    int32_t SetBinaryConversion(int32_t value);
    std::wstring GetCheckHealthText();
    std::wstring GetDeviceDescription();
    std::wstring GetDeviceName();
    std::wstring GetServiceObjectDescription();
    std::wstring GetControlObjectDescription() const;
    int32_t GetControlObjectVersion() const { return kControlObjectVersion; }

    void SetDirectIOEventHandler(DirectIOEventHandler handler);
    void SetErrorEventHandler(ErrorEventHandler handler);
    void SetOutputCompleteEventHandler(OutputCompleteEventHandler handler);
    void SetStatusUpdateEventHandler(StatusUpdateEventHandler handler);

    // Release 1.13 of the control object interface.
    static constexpr int32_t kControlObjectVersion = 1013000;

protected:
    CControlObject(std::wstring deviceClass, std::initializer_list<SoMethodUse> methods);

    // One argument of a forwarded call, in the method's own order.
    using Arg = Platform::Com::Variant;
    static Arg In(int32_t value) { return Arg(LONG(value)); }
    static Arg In(std::wstring_view text) { return Arg(text); }

    // Calls a method that returns the OPOS result: OPOS_E_CLOSED when closed, OPOS_E_NOSERVICE
    // when the service object lacks the method or the call fails at the COM level.
    int32_t Call(SoMethod method, std::initializer_list<Arg> args = {});
    int32_t CallWithRefs(SoMethod method, std::vector<Arg>& args);

private:
    HRESULT Invoke(SoMethod method, std::vector<Arg>& args, Platform::Com::Variant& result);
    int32_t FailOpen(int32_t openResult, int32_t resultCode);
    std::wstring ResolveDeviceEntry(std::wstring_view name) const;
    bool LookUpMethods();
    int32_t QueryOpenResult();
    void ReleaseService();
    int32_t ClosedResult(int32_t result);

    std::wstring deviceClass_;
    std::vector<SoMethodUse> uses_;
    std::array<DISPID, size_t(SoMethod::Count)> ids_{};
    Platform::Com::ComPtr<IDispatch> so_;
    Platform::Com::ComPtr<CEventSink> sink_;  // created with the control object
    int32_t openResult_ = 0;
    int32_t closedResult_ = OPOS_E_CLOSED;
    // The result of a call refused here while open; 0 when the last call reached the service object.
    int32_t refusedResult_ = OPOS_SUCCESS;
};

}  // namespace QVO::Opos
