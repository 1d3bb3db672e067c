// CQVOOposPrinterSO, the cash drawer: opening it, waiting for it to close and its state, each
// with the calling instance's own drawer settings loaded into the shared engine first.
#include <exception>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

using namespace Opos;

namespace {
void LoadDrawer(Printer::CPrinterBase& engine, const DrawerSettings& d) {
    engine.SetupCashDrawer(d.pins, d.openVoltage, d.capStatus, d.onTime, d.offTime, d.closeTimeoutMs);
}
}  // namespace

CQVOOposPrinterSO* CQVOOposPrinterSO::DrawerTarget() {
    if (primary_ != nullptr) return primary_;
    return clientTable_ && engine_ ? this : nullptr;
}

int32_t CQVOOposPrinterSO::WithTarget(const std::function<int32_t(TargetCall&)>& call) {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) return gate;
    CQVOOposPrinterSO* target = DrawerTarget();
    if (target == nullptr || !EnterService(*target)) return OPOS_E_FAILURE;
    Platform::RecursiveLock lock(target->serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target->engine_.get();
    ClientRow row;
    if (engine == nullptr || !target->clientTable_ || !target->clientTable_->Find(this, row)) return OPOS_E_FAILURE;
    TargetCall context{*target, *engine, row};
    return call(context);
}

void CQVOOposPrinterSO::OpenDrawer(int32_t& rc) {
    rc = WithTarget([this](TargetCall& t) {
        Printer::CPrinterBase& engine = t.engine;
        if (engine.IsIdle() == 0) return OPOS_E_BUSY;
        engine.GetPrinterState(false);
        const int32_t last = t.target.LastStatus();
        if (last == PTR_SUE_REC_EMPTY || last == PTR_SUE_COVER_OPEN) {
            resultCodeExtended_ = last == PTR_SUE_REC_EMPTY ? Printer::kExtReceiptEmpty : Printer::kExtCoverOpen;
            return OPOS_E_FAILURE;
        }
        LoadDrawer(engine, t.row.drawer);
        engine.SetAsyncMode(asyncMode_.load());
        int32_t result = OPOS_SUCCESS;
        engine.OpenDrawer(&result);
        resultCodeExtended_ = engine.ResultCodeExtended();
        // With a drawer sensor, the state read now reports the drawer opening as a status update.
        if (result == OPOS_SUCCESS && t.row.drawer.capStatus != 0) engine.GetPrinterState(false);
        return result;
    });
    resultCode_.store(rc);
}

void CQVOOposPrinterSO::WaitForDrawerClose(int32_t beepTimeout, int32_t beepFrequency, int32_t beepDuration,
                                           int32_t beepDelay, int32_t& rc) {
    rc = WithTarget([&](TargetCall& t) {
        // Without a drawer sensor there is nothing to wait for.
        resultCodeExtended_ = Printer::kExtUnsupported;
        if (t.row.drawer.capStatus == 0) return OPOS_E_EXTENDED;
        LoadDrawer(t.engine, t.row.drawer);
        int32_t result = OPOS_SUCCESS;
        try {
            if (t.engine.WaitForDrawerClose(beepTimeout, beepFrequency, beepDuration, beepDelay, &result) != 0 &&
                result == OPOS_SUCCESS)
                result = OPOS_E_FAILURE;
        } catch (const std::exception&) {
            result = OPOS_E_FAILURE;
        }
        resultCodeExtended_ = t.engine.ResultCodeExtended();
        return result;
    });
    resultCode_.store(rc);
}

int32_t CQVOOposPrinterSO::DrawerOpenedProperty() {
    int32_t opened = 0;
    const int32_t rc = WithTarget([&](TargetCall& t) {
        if (t.engine.IsIdle() == 0) return OPOS_E_BUSY;
        resultCodeExtended_ = Printer::kExtUnsupported;
        if (t.row.drawer.capStatus == 0) return OPOS_E_EXTENDED;
        LoadDrawer(t.engine, t.row.drawer);
        int32_t valid = 0;
        opened = drawerOpened_ = t.engine.GetDrawerOpenState(0, &valid);
        // A sensor that answered is a successful read, not an unsupported one.
        if (valid == 0) return OPOS_E_EXTENDED;
        resultCodeExtended_ = 0;
        return OPOS_SUCCESS;
    });
    resultCode_.store(rc);
    return rc == OPOS_SUCCESS || rc == OPOS_E_EXTENDED ? opened : 0;
}

}  // namespace QVO::SO
