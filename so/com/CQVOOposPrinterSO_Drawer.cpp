// CQVOOposPrinterSO, the cash drawer: opening it, waiting for it to close and its state, each
// with the calling instance's own drawer settings loaded into the shared engine first; and the
// drawer's health check.
#include <exception>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "platform/ui/MessageBox.h"
#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

using namespace Opos;

namespace {
constexpr int32_t kHealthInternal = 1;
constexpr int32_t kHealthExternal = 2;
constexpr int32_t kHealthInteractive = 3;

void LoadDrawer(Printer::CPrinterBase& engine, const DrawerSettings& d) {
    engine.SetupCashDrawer(d.pins, d.openVoltage, d.capStatus, d.onTime, d.offTime, d.closeTimeoutMs);
}
}  // namespace

CQVOOposPrinterSO* CQVOOposPrinterSO::DrawerTarget() {
    if (primary_ != nullptr) return primary_;
    return clientTable_ && engine_ ? this : nullptr;
}

void CQVOOposPrinterSO::OpenDrawer(int32_t& rc) {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) {
        resultCode_.store(rc = gate);
        return;
    }
    CQVOOposPrinterSO* target = DrawerTarget();
    if (target == nullptr || !EnterService(*target)) {
        resultCode_.store(rc = OPOS_E_FAILURE);
        return;
    }
    Platform::RecursiveLock lock(target->serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target->engine_.get();
    ClientRow row;
    if (engine == nullptr || !target->clientTable_->Find(this, row)) {
        resultCode_.store(rc = OPOS_E_FAILURE);
        return;
    }
    if (engine->IsIdle() == 0) {
        resultCode_.store(rc = OPOS_E_BUSY);
        return;
    }
    engine->GetPrinterState(false);
    const int32_t last = target->LastStatus();
    if (last == PTR_SUE_REC_EMPTY || last == PTR_SUE_COVER_OPEN) {
        rc = OPOS_E_FAILURE;
        resultCodeExtended_ = last == PTR_SUE_REC_EMPTY ? Printer::kExtReceiptEmpty : Printer::kExtCoverOpen;
        resultCode_.store(rc);
        return;
    }
    LoadDrawer(*engine, row.drawer);
    engine->SetAsyncMode(asyncMode_.load());
    engine->OpenDrawer(&rc);
    resultCodeExtended_ = engine->ResultCodeExtended();
    // With a drawer sensor, the state read now reports the drawer opening as a status update.
    if (rc == OPOS_SUCCESS && row.drawer.capStatus != 0) engine->GetPrinterState(false);
    resultCode_.store(rc);
}

void CQVOOposPrinterSO::WaitForDrawerClose(int32_t beepTimeout, int32_t beepFrequency, int32_t beepDuration,
                                           int32_t beepDelay, int32_t& rc) {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) {
        resultCode_.store(rc = gate);
        return;
    }
    CQVOOposPrinterSO* target = DrawerTarget();
    if (target == nullptr || !EnterService(*target)) {
        resultCode_.store(rc = OPOS_E_FAILURE);
        return;
    }
    Platform::RecursiveLock lock(target->serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target->engine_.get();
    ClientRow row;
    if (engine == nullptr || !target->clientTable_->Find(this, row)) {
        resultCode_.store(rc = OPOS_E_FAILURE);
        return;
    }
    rc = OPOS_E_EXTENDED;
    resultCodeExtended_ = Printer::kExtUnsupported;
    if (row.drawer.capStatus != 0) {
        LoadDrawer(*engine, row.drawer);
        try {
            if (engine->WaitForDrawerClose(beepTimeout, beepFrequency, beepDuration, beepDelay, &rc) != 0 &&
                rc == OPOS_SUCCESS)
                rc = OPOS_E_FAILURE;
        } catch (const std::exception&) {
            rc = OPOS_E_FAILURE;
        }
        resultCodeExtended_ = engine->ResultCodeExtended();
    }
    resultCode_.store(rc);
}

int32_t CQVOOposPrinterSO::DrawerOpenedProperty() {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) {
        resultCode_.store(gate);
        return 0;
    }
    CQVOOposPrinterSO* target = DrawerTarget();
    if (target == nullptr || !EnterService(*target)) {
        resultCode_.store(OPOS_E_FAILURE);
        return 0;
    }
    Platform::RecursiveLock lock(target->serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target->engine_.get();
    ClientRow row;
    if (engine == nullptr || !target->clientTable_->Find(this, row)) {
        resultCode_.store(OPOS_E_FAILURE);
        return 0;
    }
    if (engine->IsIdle() == 0) {
        resultCode_.store(OPOS_E_BUSY);
        return 0;
    }
    resultCode_.store(OPOS_E_EXTENDED);
    resultCodeExtended_ = Printer::kExtUnsupported;
    if (row.drawer.capStatus == 0) return 0;
    LoadDrawer(*engine, row.drawer);
    int32_t valid = 0;
    drawerOpened_ = engine->GetDrawerOpenState(0, &valid);
    // A sensor that answered is a successful read, not an unsupported one.
    if (valid != 0) {
        resultCode_.store(OPOS_SUCCESS);
        resultCodeExtended_ = 0;
    }
    return drawerOpened_;
}

void CQVOOposPrinterSO::CheckDrawerHealth(int32_t level, int32_t& rc) {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) {
        resultCode_.store(rc = gate);
        return;
    }
    rc = OPOS_SUCCESS;
    if (level == kHealthInternal) {
        drawerHealthText_ = L"Internal HealthCheck: Successful.";
    } else if (level < kHealthInternal || level > kHealthInteractive) {
        drawerHealthText_ = L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL";
        rc = OPOS_E_EXTENDED;
        resultCodeExtended_ = Printer::kExtUnsupported;
    } else if (Engine() == nullptr || Engine()->IsIdle() == 0) {
        rc = OPOS_E_BUSY;
    } else if (level == kHealthExternal) {
        drawerHealthText_ = L"External HealthCheck: Success!";
    } else {
        Platform::UI::MessageBox(
            L"OPOS CashDrawer Check Health:INTERACTIVE!\nPlease click the 'OK' button to continue...", L"Opos");
        drawerHealthText_ = L"INTERACTIVE HealthCheck: Success!";
    }
    resultCode_.store(rc);
}

}  // namespace QVO::SO
