// CQVOOposPrinterSO, claim, enable, release, close and freeze with a shared engine. The
// engine's own claim and enable follow the whole client table: the printer is claimed while
// any row claims it and enabled while any row is enabled.
#include <chrono>
#include <exception>

#include "constants/OposConstants.h"
#include "so/com/CQVOOposPrinterSO.h"
#include "so/com/OpenInstances.h"

namespace QVO::SO {

using namespace Opos;

namespace {
// Final release waits this long for the event thread to acknowledge its stop.
constexpr uint32_t kFinalStopWaitMs = 2000;
}  // namespace

void CQVOOposPrinterSO::ClaimDevice(int32_t timeoutMs, int32_t& rc) {
    if (!engine_ && primary_ == nullptr) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    if (rc != OPOS_SUCCESS) {
        resultCode_.store(rc);
        return;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (!target.engine_ || !target.clientTable_) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    if (!target.engineClaimed_) {
        int32_t engineRc = OPOS_SUCCESS;
        try {
            if (target.engine_->ClaimDevice(timeoutMs, &engineRc) != 0 && engineRc == OPOS_SUCCESS)
                engineRc = OPOS_E_FAILURE;
        } catch (const std::exception&) {
            engineRc = OPOS_E_FAILURE;
        }
        rc = engineRc;
        if (rc == OPOS_SUCCESS) target.engineClaimed_ = true;
    }
    if (rc == OPOS_SUCCESS) {
        target.clientTable_->Update(this, [](ClientRow& row) {
            row.claimed = true;
            row.enabled = false;
        });
        claimed_ = true;
    }
    resultCode_.store(rc);
}

void CQVOOposPrinterSO::SetDeviceEnabled(int32_t value, int32_t& rc) {
    if (!claimed_) {
        resultCode_.store(rc = OPOS_E_NOTCLAIMED);
        return;
    }
    if (value != 0 && !opened_) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    target.ChangeEnabledFor(*this, value, rc);
    if (rc == OPOS_SUCCESS) {
        deviceEnabled_ = value != 0;
        if (deviceEnabled_) drawerOpened_ = 0;
    }
    resultCode_.store(rc);
}

// On the target, under its service lock: records `client`'s row and enables or disables
// the engine when the table as a whole changed state.
void CQVOOposPrinterSO::ChangeEnabledFor(CQVOOposPrinterSO& client, int32_t value, int32_t& rc) {
    if (!engine_ || !clientTable_) {
        rc = OPOS_E_CLOSED;
        return;
    }
    const bool printer = client.isPrinter_;
    clientTable_->Update(&client, [value](ClientRow& row) { row.enabled = value != 0; });
    const bool kindEnabled = clientTable_->AnyEnabledOfKind(printer);
    if (printer)
        engine_->SetPrinterMode(kindEnabled ? 1 : 0);
    else
        engine_->SetCashDrawerMode(kindEnabled ? 1 : 0);
    const bool anyEnabled = clientTable_->AnyEnabled();
    if (anyEnabled == engineEnabled_) return;
    if (!eventThread_) {
        rc = OPOS_E_FAILURE;
        return;
    }
    rc = OPOS_SUCCESS;
    resultCode_.store(OPOS_SUCCESS);
    try {
        engine_->DeviceEnable(anyEnabled ? 1 : 0);
    } catch (const std::exception&) {
        rc = OPOS_E_FAILURE;
        Platform::MutexLock events(eventStateMutex_);
        errorString_ = L"ErrorCode:" + std::to_wstring(errno);
        return;
    }
    engineEnabled_ = anyEnabled;
    if (anyEnabled) {
        StartEvents();
    } else {
        StopEvents(true);
        int32_t ignored = 0;
        ClearOutput(ignored);
    }
}

void CQVOOposPrinterSO::StartEvents() {
    stopFiring_.Reset();
    eventThread_->Resume();
    // Events wait in the queue while every client has frozen them.
    if (clientTable_ && clientTable_->AllFrozen()) eventThread_->Suspend();
}

// Events still queued are dropped: they were raised for the state that is being left.
void CQVOOposPrinterSO::StopEvents(bool wait) {
    if (!eventThread_ || !eventQueue_) return;
    eventQueue_->CancelFront();
    stopFiring_.Set();
    if (wait) {
        eventThread_->Stop();
        eventQueue_->ClearTasks();
    } else {
        eventThread_->RequestStop();
    }
}

void CQVOOposPrinterSO::ReleaseDevice(int32_t& rc) {
    if (!engine_ && primary_ == nullptr) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    resultCode_.store(-1);
    if (deviceEnabled_) {
        int32_t disabled = OPOS_SUCCESS;
        SetDeviceEnabled(0, disabled);
        deviceEnabled_ = false;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (target.clientTable_) target.clientTable_->Update(this, [](ClientRow& row) { row.claimed = false; });
    const bool othersClaim = target.clientTable_ && target.clientTable_->AnyClaimedBesides(nullptr);
    if (!othersClaim && target.engineClaimed_ && target.engine_) {
        int32_t engineRc = OPOS_SUCCESS;
        target.engine_->ReleaseDevice(&engineRc);
        rc = engineRc;
        target.engineClaimed_ = false;
        target.StopEvents(false);
    }
    if (rc == OPOS_SUCCESS) claimed_ = false;
    resultCode_.store(rc);
}

void CQVOOposPrinterSO::CloseService(int32_t& rc) {
    if (!EnterOpenClose()) {
        rc = OPOS_E_ILLEGAL;
        return;
    }
    Platform::RecursiveLock openClose(g_openCloseMutex, std::adopt_lock);
    rc = OPOS_SUCCESS;
    resultCode_.store(OPOS_SUCCESS);
    if (!opened_ || (!engine_ && primary_ == nullptr)) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    if (deviceEnabled_) SetDeviceEnabled(0, rc);
    if (rc == OPOS_SUCCESS && claimed_) ReleaseDevice(rc);
    if (rc != OPOS_SUCCESS) return;
    if (primary_ != nullptr) {
        primary_->RemoveRow(*this, rc);
        if (rc == OPOS_SUCCESS) Detach();
    } else {
        RemoveRow(*this, rc);
    }
    opened_ = false;
    resultCode_.store(rc);
}

// On the primary: the client (or the primary itself) leaves; the engine closes with the last
// open row, and the primary leaves the open-instance table with it, so that nobody attaches
// to a primary whose engine is gone.
void CQVOOposPrinterSO::RemoveRow(CQVOOposPrinterSO& client, int32_t& rc) {
    if (!EnterService(*this)) {
        rc = OPOS_E_DISABLED;
        return;
    }
    Platform::RecursiveLock lock(serviceMutex_, std::adopt_lock);
    if (!clientTable_) {
        rc = OPOS_E_FAILURE;
        return;
    }
    clientTable_->Remove(&client);
    if (clientTable_->AnyOpen() || !engine_) return;
    int32_t engineRc = OPOS_SUCCESS;
    engine_->CloseService(&engineRc);
    StopEvents(true);
    engine_.reset();
    engineClaimed_ = engineEnabled_ = false;
    OpenInstanceTable::Instance().Leave(this);
    instanceSlot_ = 0;
}

void CQVOOposPrinterSO::Detach() {
    if (primary_ == nullptr) return;
    primary_->Release();
    primary_ = nullptr;
}

void CQVOOposPrinterSO::COFreezeEvents(VARIANT_BOOL freeze, int32_t& rc) {
    // VARIANT_TRUE is -1: any non-zero value freezes.
    freezeEvents_ = freeze != 0 ? 1 : 0;
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (!target.clientTable_) {
        resultCode_.store(rc = OPOS_E_FAILURE);
        return;
    }
    const bool wasFrozen = target.clientTable_->AllFrozen();
    const bool frozen = freezeEvents_ != 0;
    target.clientTable_->Update(this, [frozen](ClientRow& row) { row.frozen = frozen; });
    const bool nowFrozen = target.clientTable_->AllFrozen();
    if (wasFrozen != nowFrozen && target.eventThread_ && target.engineEnabled_) {
        if (nowFrozen)
            target.eventThread_->Suspend();
        else
            target.eventThread_->Resume();
    }
    resultCode_.store(rc = OPOS_SUCCESS);
}

// Walks back through whatever is still set, then lets the event thread go: it is deleted only
// when it acknowledged its stop, as it may still be running a task of this object.
void CQVOOposPrinterSO::FinalRelease() {
    int32_t rc = OPOS_SUCCESS;
    if (deviceEnabled_) SetDeviceEnabled(0, rc);
    if (claimed_) ReleaseDevice(rc);
    if (opened_) CloseService(rc);
    if (primary_ != nullptr) {
        int32_t ignored = OPOS_SUCCESS;
        primary_->RemoveRow(*this, ignored);
        Detach();
    }
    for (std::wstring& value : values_) value.clear();
    if (eventThread_) {
        stopFiring_.Set();
        const bool running = eventThread_->HasThread();
        eventThread_->RequestStop();
        if (!running || eventThread_->StopAcknowledged().Wait(kFinalStopWaitMs)) {
            eventThread_.reset();
            eventQueue_.reset();
        } else {
            // Still inside a task of ours: leaving it alive is safer than deleting under it.
            (void)eventThread_.release();
            (void)eventQueue_.release();
        }
    }
    if (engine_) {
        int32_t ignored = OPOS_SUCCESS;
        engine_->CloseService(&ignored);
        engine_.reset();
    }
    OpenInstanceTable::Instance().Leave(this);
}

}  // namespace QVO::SO
