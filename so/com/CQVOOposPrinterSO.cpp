// CQVOOposPrinterSO: construction, final release and the dispatch table of IQVOOposPrinterSO.
#include "so/com/CQVOOposPrinterSO.h"

#include "constants/OposConstants.h"
#include "platform/com/ComPtr.h"
#include "so/com/SoIdentity.h"

namespace QVO::SO {

using namespace Platform::Com;

namespace {

std::atomic<int32_t> g_instances{0};

CQVOOposPrinterSO* Self(void* object) { return static_cast<CQVOOposPrinterSO*>(object); }
std::wstring Str(BSTR text) { return ToWString(text); }

// The [out, retval] result of an OPOS method, zeroed by the dispatch layer on entry.
int32_t& Rc(DispatchCall& c) { return c.LongResult(); }

using P = Param;

// The methods answered with OPOS_E_ILLEGAL, whatever their parameters.
HRESULT CallIllegal(void* o, DispatchCall& c) {
    Self(o)->Illegal(Rc(c));
    return S_OK;
}

DispatchMember Method(const wchar_t* name, DISPID id, std::vector<Param> params, DispatchHandler handler) {
    return DispatchMember{name, id, MemberKind::Method, std::move(params), Result::Long, handler};
}

std::vector<DispatchMember> CoreMembers() {
    return {
        Method(L"COFreezeEvents", kDispCOFreezeEvents, {P::Bool},
               [](void* o, DispatchCall& c) { return Self(o)->COFreezeEvents(c.Bool(0), Rc(c)), S_OK; }),
        Method(L"GetPropertyNumber", kDispGetPropertyNumber, {P::Long},
               [](void* o, DispatchCall& c) { return Rc(c) = Self(o)->GetPropertyNumber(c.Long(0)), S_OK; }),
        Method(L"SetPropertyNumber", kDispSetPropertyNumber, {P::Long, P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->SetPropertyNumber(c.Long(0), c.Long(1), Rc(c)), S_OK; }),
        DispatchMember{L"GetPropertyString",
                       kDispGetPropertyString,
                       MemberKind::Method,
                       {P::Long},
                       Result::Bstr,
                       [](void* o, DispatchCall& c) {
                           const std::wstring s = Self(o)->GetPropertyString(c.Long(0));
                           c.BstrResult() = SysAllocStringLen(s.data(), UINT(s.size()));
                           return c.BstrResult() != nullptr ? S_OK : E_OUTOFMEMORY;
                       }},
        Method(L"SetPropertyString", kDispSetPropertyString, {P::Long, P::Bstr},
               [](void* o, DispatchCall& c) {
                   return Self(o)->SetPropertyString(c.Long(0), Str(c.Bstr(1)), Rc(c)), S_OK;
               }),
        Method(L"OpenService", kDispOpenService, {P::Bstr, P::Bstr, P::Dispatch},
               [](void* o, DispatchCall& c) {
                   return Self(o)->OpenService(Str(c.Bstr(0)), Str(c.Bstr(1)), c.Dispatch(2), Rc(c)), S_OK;
               }),
        Method(L"CheckHealth", kDispCheckHealth, {P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->CheckHealth(c.Long(0), Rc(c)), S_OK; }),
        Method(L"ClaimDevice", kDispClaimDevice, {P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->ClaimDevice(c.Long(0), Rc(c)), S_OK; }),
        Method(L"ClearOutput", kDispClearOutput, {},
               [](void* o, DispatchCall& c) { return Self(o)->ClearOutput(Rc(c)), S_OK; }),
        Method(L"CloseService", kDispCloseService, {},
               [](void* o, DispatchCall& c) { return Self(o)->CloseService(Rc(c)), S_OK; }),
        Method(L"DirectIO", kDispDirectIO, {P::Long, P::LongRef, P::BstrRef},
               [](void* o, DispatchCall& c) {
                   return Self(o)->DirectIO(c.Long(0), c.LongRef(1), c.BstrRef(2), Rc(c)), S_OK;
               }),
        Method(L"ReleaseDevice", kDispReleaseDevice, {},
               [](void* o, DispatchCall& c) { return Self(o)->ReleaseDevice(Rc(c)), S_OK; }),
        Method(L"GetOpenResult", kDispGetOpenResult, {},
               [](void* o, DispatchCall& c) { return Rc(c) = Self(o)->GetOpenResult(), S_OK; }),
    };
}

std::vector<DispatchMember> PrintMembers() {
    return {
        Method(L"CutPaper", kDispCutPaper, {P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->CutPaper(c.Long(0), Rc(c)), S_OK; }),
        Method(L"PrintBarCode", kDispPrintBarCode, {P::Long, P::Bstr, P::Long, P::Long, P::Long, P::Long, P::Long},
               [](void* o, DispatchCall& c) {
                   return Self(o)->PrintBarCode(c.Long(0), Str(c.Bstr(1)), c.Long(2), c.Long(3), c.Long(4), c.Long(5),
                                                c.Long(6), Rc(c)),
                          S_OK;
               }),
        Method(L"PrintBitmap", kDispPrintBitmap, {P::Long, P::Bstr, P::Long, P::Long},
               [](void* o, DispatchCall& c) {
                   return Self(o)->PrintBitmap(c.Long(0), Str(c.Bstr(1)), c.Long(2), c.Long(3), Rc(c)), S_OK;
               }),
        Method(
            L"PrintImmediate", kDispPrintImmediate, {P::Long, P::Bstr},
            [](void* o, DispatchCall& c) { return Self(o)->PrintImmediate(c.Long(0), Str(c.Bstr(1)), Rc(c)), S_OK; }),
        Method(L"PrintNormal", kDispPrintNormal, {P::Long, P::Bstr},
               [](void* o, DispatchCall& c) { return Self(o)->PrintNormal(c.Long(0), Str(c.Bstr(1)), Rc(c)), S_OK; }),
        Method(L"RotatePrint", kDispRotatePrint, {P::Long, P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->RotatePrint(c.Long(0), c.Long(1), Rc(c)), S_OK; }),
        Method(L"SetBitmap", kDispSetBitmap, {P::Long, P::Long, P::Bstr, P::Long, P::Long},
               [](void* o, DispatchCall& c) {
                   return Self(o)->SetBitmap(c.Long(0), c.Long(1), Str(c.Bstr(2)), c.Long(3), c.Long(4), Rc(c)), S_OK;
               }),
        Method(L"SetLogo", kDispSetLogo, {P::Long, P::Bstr},
               [](void* o, DispatchCall& c) { return Self(o)->SetLogo(c.Long(0), Str(c.Bstr(1)), Rc(c)), S_OK; }),
        Method(L"TransactionPrint", kDispTransactionPrint, {P::Long, P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->TransactionPrint(c.Long(0), c.Long(1), Rc(c)), S_OK; }),
        Method(L"ClearPrintArea", kDispClearPrintArea, {},
               [](void* o, DispatchCall& c) { return Self(o)->ClearPrintArea(Rc(c)), S_OK; }),
        Method(L"PageModePrint", kDispPageModePrint, {P::Long},
               [](void* o, DispatchCall& c) { return Self(o)->PageModePrint(c.Long(0), Rc(c)), S_OK; }),
        Method(L"PrintMemoryBitmap", kDispPrintMemoryBitmap, {P::Long, P::Bstr, P::Long, P::Long, P::Long},
               [](void* o, DispatchCall& c) {
                   return Self(o)->PrintMemoryBitmap(c.Long(0), Str(c.Bstr(1)), c.Long(2), c.Long(3), c.Long(4), Rc(c)),
                          S_OK;
               }),
        Method(L"OpenDrawer", kDispOpenDrawer, {},
               [](void* o, DispatchCall& c) { return Self(o)->OpenDrawer(Rc(c)), S_OK; }),
        Method(L"WaitForDrawerClose", kDispWaitForDrawerClose, {P::Long, P::Long, P::Long, P::Long},
               [](void* o, DispatchCall& c) {
                   return Self(o)->WaitForDrawerClose(c.Long(0), c.Long(1), c.Long(2), c.Long(3), Rc(c)), S_OK;
               }),
        Method(L"PrintLine", kDispPrintLine, {P::Long, P::Bstr},
               [](void* o, DispatchCall& c) { return Self(o)->PrintLine(c.Long(0), Str(c.Bstr(1)), Rc(c)), S_OK; }),
        Method(L"PrintCurveText", kDispPrintCurveText, {P::Long, P::Long, P::Long, P::Bstr},
               [](void* o, DispatchCall& c) {
                   return Self(o)->PrintCurveText(c.Long(0), c.Long(1), c.Long(2), Str(c.Bstr(3)), Rc(c)), S_OK;
               }),
    };
}

std::vector<DispatchMember> IllegalMembers() {
    return {
        Method(L"BeginRemoval", kDispBeginRemoval, {P::Long}, CallIllegal),
        Method(L"EndInsertion", kDispEndInsertion, {}, CallIllegal),
        Method(L"EndRemoval", kDispEndRemoval, {}, CallIllegal),
        Method(L"PrintTwoNormal", kDispPrintTwoNormal, {P::Long, P::Bstr, P::Bstr}, CallIllegal),
        Method(L"ValidateData", kDispValidateData, {P::Long, P::Bstr}, CallIllegal),
        Method(L"ChangePrintSide", kDispChangePrintSide, {P::Long}, CallIllegal),
        Method(L"MarkFeed", kDispMarkFeed, {P::Long}, CallIllegal),
        Method(L"ResetStatistics", kDispResetStatistics, {P::Bstr}, CallIllegal),
        Method(L"RetrieveStatistics", kDispRetrieveStatistics, {P::BstrRef}, CallIllegal),
        Method(L"UpdateStatistics", kDispUpdateStatistics, {P::Bstr}, CallIllegal),
        Method(L"CompareFirmwareVersion", kDispCompareFirmwareVersion, {P::Bstr, P::LongRef}, CallIllegal),
        Method(L"UpdateFirmware", kDispUpdateFirmware, {P::Bstr}, CallIllegal),
        Method(L"DrawRuledLine", kDispDrawRuledLine, {P::Long, P::Bstr, P::Long, P::Long, P::Long, P::Long},
               CallIllegal),
        Method(L"BeginInsertion", kDispBeginInsertion, {P::Long}, CallIllegal),
    };
}

}  // namespace

const DispatchTable& CQVOOposPrinterSO::Table() {
    static const DispatchTable table([] {
        std::vector<DispatchMember> all = CoreMembers();
        for (auto& m : PrintMembers()) all.push_back(std::move(m));
        for (auto& m : IllegalMembers()) all.push_back(std::move(m));
        return all;
    }());
    return table;
}

int32_t CQVOOposPrinterSO::LiveInstances() { return g_instances.load(); }

CQVOOposPrinterSO::CQVOOposPrinterSO() {
    ++g_instances;
    dispids_.fill(DISPID_UNKNOWN);
}

CQVOOposPrinterSO::~CQVOOposPrinterSO() {
    FinalRelease();
    --g_instances;
}

bool CQVOOposPrinterSO::QueryExtra(REFIID riid) const { return riid == kIidIQVOOposPrinterSO; }

void CQVOOposPrinterSO::Illegal(int32_t& rc) {
    rc = Opos::OPOS_E_ILLEGAL;
    resultCode_.store(rc);
}

}  // namespace QVO::SO
