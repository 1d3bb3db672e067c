// The service object's COM class: the one entry of the control objects into the service
// object. Split by concern: CQVOOposPrinterSO.cpp (life, dispatch table), _Open (opening and
// attaching), _Share (claim, enable, release, close, freeze with shared engines), _Methods
// (gate and forwarding), _Properties, _Events (engine sink, firing), _Drawer.
//
// Sharing: the first instance to open a printer becomes its primary and owns the engine, the
// client table, the event queue and the event thread; later instances (and cash drawers on
// that printer) attach as clients and forward every call to the primary.
//
// Threads and locks. Every call of one instance comes on its control object's thread; calls
// of several clients meet in their primary, which serialises them with its service lock
// (recursive: a client's call re-enters its primary). The engine's output worker calls the
// IPrinterEventHandle side, the event thread the ISOFireEvents side. Lock order:
// open/close lock (process-wide) -> a primary's service lock -> client table lock ->
// open-instance table lock -> event-state lock. The event thread never waits for the service
// or open/close lock once firing has been stopped (see EnterService), because the thread that
// disables holds them while it waits for the event thread to stop.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/com/DispatchObject.h"
#include "platform/sync/Mutex.h"
#include "so/base/CTaskThreadBase2.h"
#include "so/base/ManualResetEvent.h"
#include "so/com/CClientTable.h"
#include "so/com/ISOFireEvents.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/IPrinterEventHandle.h"

namespace QVO::SO {

// Registry values of a device entry, in reading order: the 11 printer values, then the 7
// cash-drawer values.
enum RegistryValue : size_t {
    kPortType,
    kDriverModel,
    kDriverName,
    kPortSettings,
    kOutputBufSize,
    kBitMapMode,
    kWriteTimeout,
    kReadTimeout,
    kCodepageID,
    kDeviceDescription,
    kNotes,
    kOpenVoltage,
    kCapDrawStatus,
    kDrawerPin,
    kPrinterName,
    kSignalOffTime,
    kSignalOnTime,
    kWaitForDrawerCloseTimeOut,
    kRegistryValueCount
};

class CQVOOposPrinterSO final : public Platform::Com::DispatchObject<CQVOOposPrinterSO>,
                                public Printer::IPrinterEventHandle,
                                public ISOFireEvents {
public:
    CQVOOposPrinterSO();
    static const Platform::Com::DispatchTable& Table();
    // Instances alive in the process (for DllCanUnloadNow).
    static int32_t LiveInstances();
    // True on an event thread while it fires, and when its primary has stopped firing.
    static bool OnEventThread();
    static bool OnStoppedEventThread();
    // The printer entry this primary has open; read under the open-instance table's lock.
    const std::wstring& DeviceName() const { return deviceName_; }

    // --- IQVOOposPrinterSO (results through `rc`, which arrives zeroed) ---
    void COFreezeEvents(VARIANT_BOOL freeze, int32_t& rc);
    int32_t GetPropertyNumber(int32_t index);
    void SetPropertyNumber(int32_t index, int32_t value, int32_t& rc);
    std::wstring GetPropertyString(int32_t index);
    void SetPropertyString(int32_t index, const std::wstring& value, int32_t& rc);
    void OpenService(const std::wstring& deviceClass, const std::wstring& deviceName, IDispatch* receiver, int32_t& rc);
    void CheckHealth(int32_t level, int32_t& rc);
    void ClaimDevice(int32_t timeoutMs, int32_t& rc);
    void ClearOutput(int32_t& rc);
    void CloseService(int32_t& rc);
    void DirectIO(int32_t command, LONG* data, BSTR* text, int32_t& rc);
    void ReleaseDevice(int32_t& rc);
    // The methods this service object does not offer.
    void Illegal(int32_t& rc);
    void CutPaper(int32_t percentage, int32_t& rc);
    void PrintBarCode(int32_t station, const std::wstring& data, int32_t symbology, int32_t height, int32_t width,
                      int32_t alignment, int32_t textPosition, int32_t& rc);
    void PrintBitmap(int32_t station, const std::wstring& file, int32_t width, int32_t alignment, int32_t& rc);
    void PrintImmediate(int32_t station, const std::wstring& data, int32_t& rc);
    void PrintNormal(int32_t station, const std::wstring& data, int32_t& rc);
    void RotatePrint(int32_t station, int32_t rotation, int32_t& rc);
    void SetBitmap(int32_t number, int32_t station, const std::wstring& file, int32_t width, int32_t alignment,
                   int32_t& rc);
    void SetLogo(int32_t location, const std::wstring& data, int32_t& rc);
    void TransactionPrint(int32_t station, int32_t control, int32_t& rc);
    void ClearPrintArea(int32_t& rc);
    void PageModePrint(int32_t control, int32_t& rc);
    void PrintMemoryBitmap(int32_t station, const std::wstring& data, int32_t type, int32_t width, int32_t alignment,
                           int32_t& rc);
    int32_t GetOpenResult() const { return openResult_; }
    void OpenDrawer(int32_t& rc);
    void WaitForDrawerClose(int32_t beepTimeout, int32_t beepFrequency, int32_t beepDuration, int32_t beepDelay,
                            int32_t& rc);
    void PrintLine(int32_t station, const std::wstring& positions, int32_t& rc);
    void PrintCurveText(int32_t station, int32_t number, int32_t horizontalPos, const std::wstring& text, int32_t& rc);

    // --- IPrinterEventHandle (engine's output worker and the calling threads) ---
    void ErrorNotice(const wchar_t* text, int32_t resultCode, int32_t resultCodeExtended) override;
    void OutputComplete(int32_t outputId) override;
    void StatusUpdate(int32_t status) override;
    int32_t PrinterState() override;

    // --- ISOFireEvents (event thread) ---
    int32_t Fire(VARIANT* args, int32_t count, int32_t kind, int32_t* result) override;
    void Clear() override;
    void Retry() override;

protected:
    // Only the last Release deletes it.
    friend class Platform::Com::DispatchObject<CQVOOposPrinterSO>;
    ~CQVOOposPrinterSO() override;
    bool QueryExtra(REFIID riid) const override;

private:
    friend class CQVOOposPrinterSOTestAccess;

    // The instance that owns the engine: the primary when attached, else this one.
    CQVOOposPrinterSO& Target() { return primary_ ? *primary_ : *this; }
    Printer::CPrinterBase* Engine() { return Target().engine_.get(); }

    // --- open (CQVOOposPrinterSO_Open.cpp) ---
    void OpenPrinterPath(const std::wstring& deviceName, int32_t& rc);
    void OpenDrawerPath(const std::wstring& deviceName, int32_t& rc);
    bool LookUpEvents(IDispatch* receiver, std::initializer_list<const wchar_t*> names, EventDispids& ids);
    bool AttachTo(CQVOOposPrinterSO& primary, const ClientRow& row);
    bool OpenPrinterEntry(const std::wstring& name, const ClientRow& ownRow);
    bool CreateEngine();
    ClientRow OwnRow(bool printer) const;
    void Detach();

    // --- shared state changes (CQVOOposPrinterSO_Share.cpp) ---
    void SetDeviceEnabled(int32_t value, int32_t& rc);
    void ChangeEnabledFor(CQVOOposPrinterSO& client, int32_t value, int32_t& rc);
    void StartEvents();
    void StopEvents(bool wait);
    void RemoveRow(CQVOOposPrinterSO& client, int32_t& rc);
    void FinalRelease();

    // --- gate and forwarding (CQVOOposPrinterSO_Methods.cpp) ---
    int32_t Gate() const;
    template <class Call>
    void Forward(bool checkStation, int32_t station, bool noticeOnFailure, int32_t& rc, Call call);

    // --- events (CQVOOposPrinterSO_Events.cpp) ---
    void Queue(std::unique_ptr<BASE::CTaskBase> task);
    void QueueStatus(int32_t status);
    int32_t LastStatus() const;
    int32_t StateProperty();

    // --- drawer (CQVOOposPrinterSO_Drawer.cpp) and health check (_Health.cpp) ---
    int32_t DrawerOpenedProperty();
    void CheckDrawerHealth(int32_t level, int32_t& rc);
    // The drawer target: the primary, or this instance when it owns the engine; null if none.
    CQVOOposPrinterSO* DrawerTarget();
    // What a call on the shared engine works with, valid while WithTarget holds the lock.
    struct TargetCall {
        CQVOOposPrinterSO& target;
        Printer::CPrinterBase& engine;
        const ClientRow& row;  // the calling instance's own row
    };
    // Applies this instance's gate, takes the target's service lock, finds its engine and this
    // instance's row and runs `call` under the lock. The gate's result, OPOS_E_FAILURE when
    // there is no target, engine or row, else what `call` returns.
    int32_t WithTarget(const std::function<int32_t(TargetCall&)>& call);

    // --- identity and sharing ---
    int32_t instanceSlot_ = 0;
    std::unique_ptr<CClientTable> clientTable_;
    bool isPrinter_ = false;
    CQVOOposPrinterSO* primary_ = nullptr;  // one COM reference held while attached
    std::wstring deviceName_;
    std::unique_ptr<Printer::CPrinterBase> engine_;
    IDispatch* receiver_ = nullptr;  // the control object's; not counted
    EventDispids dispids_{};
    std::array<std::wstring, kRegistryValueCount> values_;

    // --- OPOS state of this instance ---
    bool opened_ = false;
    int32_t openResult_ = 0;
    bool claimed_ = false;
    bool deviceEnabled_ = false;
    // A primary's engine state, which follows its whole client table.
    bool engineClaimed_ = false;
    bool engineEnabled_ = false;
    std::atomic<int32_t> asyncMode_{0};
    std::atomic<int32_t> flagWhenIdle_{0};
    int32_t freezeEvents_ = 0;
    std::atomic<int32_t> resultCode_{-1};
    int32_t resultCodeExtended_ = 0;
    int32_t capStatus_ = 0;
    int32_t drawerOpened_ = 0;
    std::wstring drawerHealthText_;

    // Written by the engine's worker and the event thread, read by the calling threads.
    mutable Platform::Mutex eventStateMutex_;
    int32_t lastStatus_ QUVO_GUARDED_BY(eventStateMutex_) = 0;
    int32_t errorStation_ QUVO_GUARDED_BY(eventStateMutex_) = 2;
    int32_t errorLevel_ QUVO_GUARDED_BY(eventStateMutex_) = 1;
    std::wstring errorString_ QUVO_GUARDED_BY(eventStateMutex_);

    // --- events: queue, thread, stop-firing (a primary's) ---
    std::unique_ptr<BASE::CTaskContextBase> eventQueue_;
    std::unique_ptr<BASE::CTaskThreadBase2> eventThread_;
    BASE::ManualResetEvent stopFiring_;

    // Serialises the calls that reach this instance as a primary.
    Platform::RecursiveMutex serviceMutex_;

    friend bool EnterService(CQVOOposPrinterSO& target) QUVO_TRY_ACQUIRE(true, target.serviceMutex_);
};

// Takes the target's service lock, waiting as long as it takes, except on an event thread
// whose firing was stopped: that call gives up (false), since the thread holding the lock may
// be waiting for the event thread to stop.
bool EnterService(CQVOOposPrinterSO& target) QUVO_TRY_ACQUIRE(true, target.serviceMutex_);

}  // namespace QVO::SO
