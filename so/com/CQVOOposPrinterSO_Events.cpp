// CQVOOposPrinterSO, events: the engine's sink (queues events) and the event thread's side
// (fires them into every enabled, unfrozen client's control object).
#include <vector>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/com/CPrinterCOEventsTask.h"
#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

using namespace Opos;

namespace {
// The primary whose event thread this is, while it fires.
thread_local CQVOOposPrinterSO* t_firingFor = nullptr;

// The engine's error codes from this value on are failures it cannot recover from.
constexpr int32_t kFatalErrorCode = 1000;
// Status values up to this one are drawer states, for drawer clients only.
constexpr int32_t kLargestDrawerStatus = 5;
// A drawer client's list: 0 SODirectIO, 1 SOStatusUpdate.
constexpr size_t kDrawerStatusDispid = 1;
}  // namespace

bool CQVOOposPrinterSO::OnEventThread() { return t_firingFor != nullptr; }

bool CQVOOposPrinterSO::OnStoppedEventThread() { return t_firingFor != nullptr && t_firingFor->stopFiring_.IsSet(); }

void CQVOOposPrinterSO::Queue(std::unique_ptr<BASE::CTaskBase> task) {
    if (eventQueue_) eventQueue_->PushBack(std::move(task));
}

// --- the engine's side ---

void CQVOOposPrinterSO::ErrorNotice(const wchar_t* text, int32_t resultCode, int32_t resultCodeExtended) {
    const int32_t errorCode = engine_ ? engine_->ErrorCode() : 0;
    {
        Platform::MutexLock lock(eventStateMutex_);
        errorStation_ = PTR_S_RECEIPT;
        errorLevel_ = errorCode >= kFatalErrorCode ? PTR_EL_FATAL : PTR_EL_RECOVERABLE;
        errorString_ = text != nullptr ? text : L"";
    }
    Queue(CPrinterCOEventsTask::Error(this, resultCode, resultCodeExtended));
}

void CQVOOposPrinterSO::OutputComplete(int32_t outputId) {
    Queue(CPrinterCOEventsTask::OneLong(this, kEventOutputComplete, outputId));
    if (flagWhenIdle_.load() != 0 && engine_ && engine_->IsIdle() != 0 && flagWhenIdle_.exchange(0) != 0)
        QueueStatus(PTR_SUE_IDLE);
}

// Device-state values are sent once per change; the idle notice always goes, as an
// application waiting for idle would otherwise wait for ever.
void CQVOOposPrinterSO::StatusUpdate(int32_t status) {
    if (status == -1 || status == 0) return;
    if (status != PTR_SUE_IDLE) {
        Platform::MutexLock lock(eventStateMutex_);
        if (status == lastStatus_) return;
        lastStatus_ = status;
    }
    Queue(CPrinterCOEventsTask::OneLong(this, kEventStatusUpdate, status));
}

void CQVOOposPrinterSO::QueueStatus(int32_t status) { StatusUpdate(status); }

int32_t CQVOOposPrinterSO::PrinterState() { return engine_ ? engine_->GetPrinterState(false) : -1; }

int32_t CQVOOposPrinterSO::LastStatus() const {
    Platform::MutexLock lock(eventStateMutex_);
    return lastStatus_;
}

// --- the event thread's side ---

int32_t CQVOOposPrinterSO::Fire(VARIANT* args, int32_t count, int32_t kind, int32_t* result) {
    if (stopFiring_.IsSet() || !clientTable_) return 0;
    t_firingFor = this;
    std::vector<VARIANT> reversed(args, args + count);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(count), 0};
    // Drawer clients get the drawer state as their own values, computed once per event.
    const int32_t status = (kind == kEventStatusUpdate && count > 0) ? args[0].lVal : 0;
    VARIANT drawerValue;
    VariantInit(&drawerValue);
    drawerValue.vt = VT_I4;
    drawerValue.lVal = status - 1;
    DISPPARAMS drawerParams{&drawerValue, nullptr, 1, 0};
    for (const FireTarget& target : clientTable_->FireTargets()) {
        if (stopFiring_.IsSet()) break;
        DISPID id = DISPID_UNKNOWN;
        DISPPARAMS* use = &params;
        if (!target.printer) {
            if (kind != kEventStatusUpdate || status > kLargestDrawerStatus) continue;
            id = target.dispids[kDrawerStatusDispid];
            use = &drawerParams;
        } else {
            if (kind == kEventStatusUpdate && status < kLargestDrawerStatus) continue;
            id = target.dispids[size_t(kind)];
        }
        if (id == DISPID_UNKNOWN) continue;
        UINT argErr = 0;
        const HRESULT hr =
            target.receiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, use, nullptr, nullptr, &argErr);
        if (FAILED(hr)) resultCode_.store(OPOS_E_ILLEGAL);
    }
    t_firingFor = nullptr;
    if (result != nullptr) *result = 0;
    return 1;
}

void CQVOOposPrinterSO::Clear() {
    t_firingFor = this;
    int32_t rc = OPOS_SUCCESS;
    ClearOutput(rc);
    t_firingFor = nullptr;
}

void CQVOOposPrinterSO::Retry() {
    t_firingFor = this;
    if (EnterService(*this)) {
        Platform::RecursiveLock lock(serviceMutex_, std::adopt_lock);
        if (engineClaimed_ && engineEnabled_ && engine_) engine_->Retry();
    }
    t_firingFor = nullptr;
}

}  // namespace QVO::SO
