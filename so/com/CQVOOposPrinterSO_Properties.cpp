// CQVOOposPrinterSO, the properties this class answers itself; the rest go to the engine.
#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/com/CQVOOposPrinterSO.h"
#include "so/com/SoIdentity.h"

namespace QVO::SO {

using namespace Opos;

namespace {
const std::wstring kErrorText = L"[Error]";
}  // namespace

int32_t CQVOOposPrinterSO::GetPropertyNumber(int32_t index) {
    switch (index) {
        case PIDX_Claimed:
            return claimed_ ? 1 : 0;
        case PIDX_DeviceEnabled:
            return deviceEnabled_ ? 1 : 0;
        case PIDX_FreezeEvents:
            return freezeEvents_;
        case PIDX_ResultCode:
            if (!opened_) return OPOS_E_CLOSED;
            if (resultCode_.load() == -1) return 0;
            return resultCode_.load();
        case PIDX_ResultCodeExtended:
            if (!opened_) return OPOS_E_CLOSED;
            if (resultCode_.load() == -1) return 0;
            return resultCodeExtended_;
        case PIDX_ServiceObjectVersion:
            return kServiceObjectVersion;
        case PIDX_State:
            return StateProperty();
        case PIDX_CapPowerReporting:
        case PIDX_CapStatisticsReporting:
        case PIDXCash_CapStatusMultiDrawerDetect:
            return 0;
        case PIDXCash_DrawerOpened:
            return DrawerOpenedProperty();
        case PIDXCash_CapStatus:
            return capStatus_;
        case PIDXPtr_ErrorStation:
            return PTR_S_RECEIPT;
        case PIDXPtr_FlagWhenIdle:
            return Target().flagWhenIdle_.load();
        // Each control object's own, though the engine is shared.
        case PIDXPtr_AsyncMode:
            return opened_ ? asyncMode_.load() : 0;
        case PIDXPtr_ErrorLevel: {
            CQVOOposPrinterSO& target = Target();
            Platform::MutexLock lock(target.eventStateMutex_);
            return target.errorLevel_;
        }
        default:
            break;
    }
    if (!opened_) return 0;
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) return 0;
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    int32_t value = 0;
    if (target.engine_) target.engine_->GetPropertyNumber(index, &value);
    return value;
}

int32_t CQVOOposPrinterSO::StateProperty() {
    if (!opened_) return OPOS_S_CLOSED;
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) return OPOS_S_BUSY;
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target.engine_.get();
    if (engine == nullptr) return OPOS_S_CLOSED;
    if (engine->IsInErrorState()) return OPOS_S_ERROR;
    return engine->IsIdle() != 0 ? OPOS_S_IDLE : OPOS_S_BUSY;
}

void CQVOOposPrinterSO::SetPropertyNumber(int32_t index, int32_t value, int32_t& rc) {
    if (!opened_) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    if (!engine_ && primary_ == nullptr) {
        resultCode_.store(rc = OPOS_E_NOSERVICE);
        return;
    }
    switch (index) {
        case PIDX_DeviceEnabled:
            SetDeviceEnabled(value, rc);
            return;
        case PIDX_FreezeEvents:
            COFreezeEvents(value != 0 ? VARIANT_TRUE : VARIANT_FALSE, rc);
            return;
        case PIDXPtr_AsyncMode:
            asyncMode_.store(value);
            break;
        case PIDXPtr_FlagWhenIdle:
            Target().flagWhenIdle_.store(value != 0 ? 1 : 0);
            break;
        default:
            break;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (target.engine_) {
        target.engine_->SetPropertyNumber(index, value, &rc);
        resultCodeExtended_ = target.engine_->ResultCodeExtended();
        // What the engine took (the maker's model stays synchronous).
        if (index == PIDXPtr_AsyncMode) asyncMode_.store(target.engine_->AsyncMode());
    }
    resultCode_.store(rc);
}

std::wstring CQVOOposPrinterSO::GetPropertyString(int32_t index) {
    if (index == PIDX_ServiceObjectDescription)
        return isPrinter_ ? L"POS Printer OPOS Service Object" : L"POS CashDrawer OPOS Service Object";
    if (index == PIDX_DeviceDescription) return isPrinter_ ? L"POS Printer" : L"POS CashDrawer";
    if (!opened_) return kErrorText;
    if (!isPrinter_ && index == PIDX_CheckHealthText) return drawerHealthText_;
    if (!engine_ && primary_ == nullptr) return kErrorText;
    if (index == PIDXPtr_ErrorString) {
        Platform::MutexLock lock(Target().eventStateMutex_);
        return Target().errorString_;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) return kErrorText;
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    std::wstring value;
    if (target.engine_) target.engine_->GetPropertyString(index, &value);
    return value;
}

void CQVOOposPrinterSO::SetPropertyString(int32_t index, const std::wstring& value, int32_t& rc) {
    resultCode_.store(-1);
    if (!opened_) return;
    if (!engine_ && primary_ == nullptr) {
        resultCode_.store(rc = OPOS_E_NOSERVICE);
        return;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (target.engine_) target.engine_->SetPropertyString(index, value, &rc);
    resultCode_.store(rc);
}

}  // namespace QVO::SO
