// CQVOOposPrinterSO, the health check of both device classes: a printer's runs in the shared
// engine, a cash drawer's is answered here. The interactive question is asked outside the
// service lock, so that an operator who takes his time blocks only the calling thread.
#include <exception>

#include "constants/OposConstants.h"
#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

using namespace Opos;

namespace {
constexpr int32_t kHealthInternal = 1;
constexpr int32_t kHealthExternal = 2;
constexpr int32_t kHealthInteractive = 3;

// The external and interactive levels wait for nothing: queued output makes the check busy.
int32_t IdleOrBusy(Printer::CPrinterBase& engine) { return engine.IsIdle() != 0 ? OPOS_SUCCESS : OPOS_E_BUSY; }
}  // namespace

void CQVOOposPrinterSO::CheckHealth(int32_t level, int32_t& rc) {
    if (!isPrinter_) {
        CheckDrawerHealth(level, rc);
        return;
    }
    bool confirmed = true;
    if (level == kHealthInteractive) {
        // Asked only when the report could be printed now; checked again under the lock after.
        rc = WithTarget([](TargetCall& t) { return IdleOrBusy(t.engine); });
        if (rc != OPOS_SUCCESS) {
            resultCode_.store(rc);
            return;
        }
        confirmed = Printer::CPrinterBase::AskInteractiveHealthCheck(L"Printer");
    }
    rc = WithTarget([&](TargetCall& t) {
        int32_t result = OPOS_SUCCESS;
        try {
            t.engine.CheckHealthAnswered(level, confirmed, &result);
        } catch (const std::exception&) {
            result = OPOS_E_FAILURE;
        }
        resultCodeExtended_ = t.engine.ResultCodeExtended();
        return result;
    });
    resultCode_.store(rc);
}

// Nothing is sent to the printer: the drawer has no report of its own to print.
void CQVOOposPrinterSO::CheckDrawerHealth(int32_t level, int32_t& rc) {
    rc = Gate();
    if (rc != OPOS_SUCCESS) {
        resultCode_.store(rc);
        return;
    }
    resultCodeExtended_ = 0;
    if (level == kHealthInternal) {
        drawerHealthText_ = L"Internal HealthCheck: Successful.";
    } else if (level != kHealthExternal && level != kHealthInteractive) {
        drawerHealthText_ = L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL";
        rc = OPOS_E_EXTENDED;
        resultCodeExtended_ = Printer::kExtUnsupported;
    } else if ((rc = WithTarget([](TargetCall& t) { return IdleOrBusy(t.engine); })) != OPOS_SUCCESS) {
        // busy, or the printer's engine is gone
    } else if (level == kHealthExternal) {
        drawerHealthText_ = L"External HealthCheck: Success!";
    } else if (Printer::CPrinterBase::AskInteractiveHealthCheck(L"CashDrawer")) {
        drawerHealthText_ = L"INTERACTIVE HealthCheck: Success!";
    } else {
        drawerHealthText_ = L"INTERACTIVE HealthCheck: Cancelled by the operator.";
        rc = OPOS_E_FAILURE;
    }
    resultCode_.store(rc);
}

}  // namespace QVO::SO
