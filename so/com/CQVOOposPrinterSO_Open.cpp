// CQVOOposPrinterSO, opening: the printer and cash-drawer paths, attaching to a primary, and
// opening a printer entry as its primary.
#include <span>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "platform/text/TextConv.h"
#include "so/com/CPrinterCOEventsTask.h"
#include "so/com/CQVOOposPrinterSO.h"
#include "so/com/DeviceEntry.h"
#include "so/com/EngineFactory.h"
#include "so/com/OpenInstances.h"
#include "so/com/SoIdentity.h"
#include "so/io/ParsePortSettings.h"

namespace QVO::SO {

using namespace Opos;

void CQVOOposPrinterSO::OpenService(const std::wstring& deviceClass, const std::wstring& deviceName,
                                    IDispatch* receiver, int32_t& rc) {
    if (!EnterOpenClose()) {
        rc = OPOS_E_ILLEGAL;
        return;
    }
    Platform::RecursiveLock lock(g_openCloseMutex, std::adopt_lock);
    if (opened_) {
        rc = OPOS_SUCCESS;
        openResult_ = OPOS_SUCCESS;
        return;
    }
    rc = OPOS_E_ILLEGAL;
    resultCode_.store(OPOS_E_ILLEGAL);
    openResult_ = OPOS_ORS_NOTSUPPORTED;
    isPrinter_ = Platform::Text::WideToAnsi(deviceClass) == "POSPrinter";
    if (deviceName.empty()) return;
    receiver_ = receiver;
    if (isPrinter_)
        OpenPrinterPath(deviceName, rc);
    else
        OpenDrawerPath(deviceName, rc);
    if (rc == OPOS_SUCCESS) {
        opened_ = true;
        resultCode_.store(-1);
        openResult_ = OPOS_SUCCESS;
    } else if (openResult_ == 0) {
        openResult_ = OPOS_E_FAILURE;
    }
}

// One name per lookup, as a receiver may know some of the event methods only.
bool CQVOOposPrinterSO::LookUpEvents(IDispatch* receiver, std::initializer_list<const wchar_t*> names,
                                     EventDispids& ids) {
    ids.fill(DISPID_UNKNOWN);
    size_t i = 0;
    for (const wchar_t* name : names) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        if (receiver == nullptr || FAILED(receiver->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id)))
            id = DISPID_UNKNOWN;
        ids[i++] = id;
    }
    return true;
}

ClientRow CQVOOposPrinterSO::OwnRow(bool printer) const {
    ClientRow row;
    row.client = const_cast<CQVOOposPrinterSO*>(this);
    row.open = true;
    row.printer = printer;
    row.receiver = receiver_;
    row.dispids = dispids_;
    if (printer) {
        row.drawer = DrawerSettings{0, 0, 0, 0, 0, 60000};
    } else {
        row.drawer.pins = DecimalValue(values_[kDrawerPin]);
        row.drawer.openVoltage = DecimalValue(values_[kOpenVoltage]);
        row.drawer.capStatus = DecimalValue(values_[kCapDrawStatus]);
        row.drawer.onTime = DecimalValue(values_[kSignalOnTime]);
        row.drawer.offTime = DecimalValue(values_[kSignalOffTime]);
        row.drawer.closeTimeoutMs = DecimalValue(values_[kWaitForDrawerCloseTimeOut]);
    }
    return row;
}

void CQVOOposPrinterSO::OpenPrinterPath(const std::wstring& deviceName, int32_t& rc) {
    LookUpEvents(receiver_, {L"SODirectIO", L"SOError", L"SOOutputComplete", L"SOStatusUpdate"}, dispids_);
    const ClientRow row = OwnRow(true);
    if (CQVOOposPrinterSO* primary = OpenInstanceTable::Instance().FindAndAddRef(deviceName)) {
        if (!AttachTo(*primary, row)) return;
        deviceName_ = deviceName;
    } else if (!OpenPrinterEntry(deviceName, row)) {
        return;
    }
    rc = OPOS_SUCCESS;
}

void CQVOOposPrinterSO::OpenDrawerPath(const std::wstring& deviceName, int32_t& rc) {
    LookUpEvents(receiver_, {L"SODirectIO", L"SOStatusUpdate"}, dispids_);
    openResult_ = OPOS_ORS_CONFIG;
    std::span<std::wstring> drawerValues(values_.data() + kOpenVoltage, kDrawerValueNames.size());
    const EntryRead read = ReadEntry(kDrawerClassKey + deviceName, kDrawerValueNames, kDrawerEntryTiming, drawerValues);
    if (read == EntryRead::KeyMissing) return;
    rc = OPOS_E_NOSERVICE;
    resultCode_.store(OPOS_E_NOSERVICE);
    if (read != EntryRead::Ok) return;
    capStatus_ = DecimalValue(values_[kCapDrawStatus]);
    const ClientRow row = OwnRow(false);
    const std::wstring printerName = values_[kPrinterName];
    if (CQVOOposPrinterSO* primary = OpenInstanceTable::Instance().FindAndAddRef(printerName)) {
        if (!AttachTo(*primary, row)) return;
        deviceName_ = printerName;
    } else if (!OpenPrinterEntry(printerName, row)) {
        return;
    }
    rc = OPOS_SUCCESS;
}

// Takes over the reference FindAndAddRef took; gives it back when the primary has no room.
bool CQVOOposPrinterSO::AttachTo(CQVOOposPrinterSO& primary, const ClientRow& row) {
    bool added = false;
    if (EnterService(primary)) {
        Platform::RecursiveLock lock(primary.serviceMutex_, std::adopt_lock);
        added = primary.clientTable_ && primary.clientTable_->Add(row);
    }
    // Re-opened while its own clients kept the engine: it is still its own primary.
    if (!added || &primary == this) {
        primary.Release();
        return added;
    }
    primary_ = &primary;
    return true;
}

bool CQVOOposPrinterSO::OpenPrinterEntry(const std::wstring& name, const ClientRow& ownRow) {
    openResult_ = OPOS_ORS_CONFIG;
    std::span<std::wstring> printerValues(values_.data(), kPrinterValueNames.size());
    if (ReadEntry(kPrinterClassKey + name, kPrinterValueNames, kPrinterEntryTiming, printerValues) != EntryRead::Ok)
        return false;
    openResult_ = OPOS_ORS_NOPORT;
    IO::ParsedPortSettings port = IO::ParsePortSettings(values_[kPortType].c_str(), values_[kPortSettings].c_str());
    if (!port) {
        openResult_ = OPOS_ORS_CONFIG;
        return false;
    }
    openResult_ = OPOS_ORS_NOTSUPPORTED;
    if (!CreateEngine()) return false;
    int32_t engineRc = 0;
    if (engine_->SetPortSettings(*port.settings, &engineRc) != 0 || engineRc != 0 ||
        engine_->OpenServiceW(name.c_str(), this, &engineRc) != 0 || engineRc != 0) {
        openResult_ = engineRc != 0 ? engineRc : OPOS_E_FAILURE;
        engine_.reset();
        return false;
    }
    engine_->BitMapMode(1);
    claimed_ = deviceEnabled_ = false;
    asyncMode_.store(0);
    flagWhenIdle_.store(0);
    freezeEvents_ = 0;
    {
        Platform::MutexLock lock(eventStateMutex_);
        errorLevel_ = Opos::PTR_EL_NONE;
        errorStation_ = Opos::PTR_S_RECEIPT;
        errorString_.clear();
        lastStatus_ = 0;
    }
    resultCode_.store(OPOS_E_FAILURE);
    openResult_ = OPOS_ORS_SPECIFIC;

    clientTable_ = std::make_unique<CClientTable>();
    clientTable_->Add(ownRow);
    if (!ownRow.printer) {
        const DrawerSettings& d = ownRow.drawer;
        engine_->SetupCashDrawer(d.pins, d.openVoltage, d.capStatus, d.onTime, d.offTime, d.closeTimeoutMs);
    }
    instanceSlot_ = OpenInstanceTable::Instance().Enter(this);
    if (instanceSlot_ == 0) {
        int32_t ignored = 0;
        engine_->CloseService(&ignored);
        engine_.reset();
        clientTable_.reset();
        return false;
    }
    deviceName_ = name;
    eventQueue_ = std::make_unique<BASE::CTaskContextBase>();
    eventThread_ = std::make_unique<BASE::CTaskThreadBase2>();
    eventThread_->Attach(eventQueue_.get());
    stopFiring_.Reset();
    resultCode_.store(-1);
    openResult_ = OPOS_SUCCESS;
    return true;
}

// A previous engine of this instance is closed first. The code page is the entry's.
bool CQVOOposPrinterSO::CreateEngine() {
    if (engine_) {
        int32_t ignored = 0;
        engine_->CloseService(&ignored);
        engine_.reset();
    }
    engine_ = SO::CreateEngine(ModelNameOf(values_[kDriverModel]));
    if (!engine_) return false;
    engine_->SetConfiguredCodePage(DecimalValue(values_[kCodepageID]));
    return true;
}

}  // namespace QVO::SO
