// CQVOOposPrinterSO, the state gate and the methods handed to the engine.
#include <exception>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/com/CQVOOposPrinterSO.h"

namespace QVO::SO {

using namespace Opos;

namespace {
// The only station this printer has; the station argument of a print method must name it.
constexpr int32_t kReceipt = PTR_S_RECEIPT;
}  // namespace

int32_t CQVOOposPrinterSO::Gate() const {
    if ((!engine_ && primary_ == nullptr) || !opened_) return OPOS_E_CLOSED;
    if (!claimed_) return OPOS_E_NOTCLAIMED;
    if (!deviceEnabled_) return OPOS_E_DISABLED;
    return OPOS_SUCCESS;
}

// A client's call is checked against the client's own state, then carried out by the
// primary's engine under the primary's service lock. An engine failure (or exception) also
// raises an error notice with the engine's own description.
template <class Call>
void CQVOOposPrinterSO::Forward(bool checkStation, int32_t station, bool noticeOnFailure, int32_t& rc, Call call) {
    const int32_t gate = Gate();
    if (gate != OPOS_SUCCESS) {
        resultCode_.store(rc = gate);
        return;
    }
    if (checkStation && station != kReceipt) {
        rc = OPOS_E_ILLEGAL;
        resultCode_.store(rc);
        resultCodeExtended_ = Printer::kExtStationNotReceipt;
        return;
    }
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    Printer::CPrinterBase* engine = target.engine_.get();
    if (engine == nullptr) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    // The engine is shared; the asynchronous mode is the caller's.
    engine->SetAsyncMode(asyncMode_.load());
    bool failed = false;
    try {
        failed = call(*engine, rc) != 0;
    } catch (const std::exception&) {
        failed = true;
    }
    resultCode_.store(rc);
    resultCodeExtended_ = engine->ResultCodeExtended();
    if (failed || (noticeOnFailure && rc != OPOS_SUCCESS))
        target.ErrorNotice(engine->ErrorInformation().c_str(), rc, resultCodeExtended_);
}

void CQVOOposPrinterSO::ClearOutput(int32_t& rc) {
    CQVOOposPrinterSO& target = Target();
    if (!EnterService(target)) {
        resultCode_.store(rc = OPOS_E_DISABLED);
        return;
    }
    Platform::RecursiveLock lock(target.serviceMutex_, std::adopt_lock);
    if (!target.engine_) {
        resultCode_.store(rc = OPOS_E_CLOSED);
        return;
    }
    target.engine_->ClearOutput(&rc);
    rc = OPOS_SUCCESS;
    resultCode_.store(rc);
    if (target.flagWhenIdle_.exchange(0) != 0) target.QueueStatus(PTR_SUE_IDLE);
}

void CQVOOposPrinterSO::DirectIO(int32_t command, LONG* data, BSTR* text, int32_t& rc) {
    Forward(false, kReceipt, false, rc, [&](Printer::CPrinterBase& e, int32_t& r) {
        int32_t value = data != nullptr ? *data : 0;
        std::wstring s = text != nullptr ? Platform::Com::ToWString(*text) : std::wstring();
        const int32_t result = e.DirectIO(command, &value, &s, &r);
        if (data != nullptr) *data = value;
        if (text != nullptr) {
            SysFreeString(*text);
            *text = SysAllocStringLen(s.data(), UINT(s.size()));
        }
        return result;
    });
}

void CQVOOposPrinterSO::CutPaper(int32_t percentage, int32_t& rc) {
    Forward(false, kReceipt, false, rc, [&](auto& e, int32_t& r) { return e.CutPaper(percentage, &r); });
}

void CQVOOposPrinterSO::PrintBarCode(int32_t station, const std::wstring& data, int32_t symbology, int32_t height,
                                     int32_t width, int32_t alignment, int32_t textPosition, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) {
        return e.PrintBarCode(kReceipt, data, symbology, height, width, alignment, textPosition, &r);
    });
}

void CQVOOposPrinterSO::PrintBitmap(int32_t station, const std::wstring& file, int32_t width, int32_t alignment,
                                    int32_t& rc) {
    Forward(true, station, false, rc,
            [&](auto& e, int32_t& r) { return e.PrintBitmap(kReceipt, file, width, alignment, &r); });
}

void CQVOOposPrinterSO::PrintImmediate(int32_t station, const std::wstring& data, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) { return e.PrintImmediate(kReceipt, data, &r); });
}

void CQVOOposPrinterSO::PrintNormal(int32_t station, const std::wstring& data, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) { return e.PrintNormal(kReceipt, data, &r); });
}

void CQVOOposPrinterSO::RotatePrint(int32_t station, int32_t rotation, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) { return e.RotatePrint(kReceipt, rotation, &r); });
}

void CQVOOposPrinterSO::SetBitmap(int32_t number, int32_t station, const std::wstring& file, int32_t width,
                                  int32_t alignment, int32_t& rc) {
    Forward(true, station, true, rc,
            [&](auto& e, int32_t& r) { return e.SetBitmap(number, kReceipt, file, width, alignment, &r); });
}

void CQVOOposPrinterSO::SetLogo(int32_t location, const std::wstring& data, int32_t& rc) {
    Forward(false, kReceipt, true, rc, [&](auto& e, int32_t& r) { return e.SetLogo(location, data, &r); });
}

void CQVOOposPrinterSO::TransactionPrint(int32_t station, int32_t control, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) { return e.TransactionPrint(kReceipt, control, &r); });
}

void CQVOOposPrinterSO::ClearPrintArea(int32_t& rc) {
    Forward(false, kReceipt, false, rc, [&](auto& e, int32_t& r) { return e.ClearPrintArea(&r); });
}

void CQVOOposPrinterSO::PageModePrint(int32_t control, int32_t& rc) {
    Forward(false, kReceipt, false, rc, [&](auto& e, int32_t& r) { return e.PageModePrint(control, &r); });
}

void CQVOOposPrinterSO::PrintMemoryBitmap(int32_t station, const std::wstring& data, int32_t type, int32_t width,
                                          int32_t alignment, int32_t& rc) {
    Forward(true, station, false, rc,
            [&](auto& e, int32_t& r) { return e.PrintMemoryBitmap(kReceipt, data, type, width, alignment, &r); });
}

void CQVOOposPrinterSO::PrintLine(int32_t station, const std::wstring& positions, int32_t& rc) {
    Forward(true, station, false, rc, [&](auto& e, int32_t& r) { return e.PrintLine(kReceipt, positions, &r); });
}

void CQVOOposPrinterSO::PrintCurveText(int32_t station, int32_t number, int32_t horizontalPos, const std::wstring& text,
                                       int32_t& rc) {
    Forward(true, station, false, rc,
            [&](auto& e, int32_t& r) { return e.PrintCurveText(kReceipt, number, horizontalPos, text, &r); });
}

}  // namespace QVO::SO
