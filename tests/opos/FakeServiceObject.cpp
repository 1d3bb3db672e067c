// A fake printer service object as an in-process server: it records every call it receives
// (arguments and the result slot's value on entry) and fires events on its own thread when
// asked to through DirectIO. Several classes differ only in one fault each.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/ClassFactory.h"
#include "platform/com/ComPtr.h"
#include "platform/com/DispatchObject.h"
#include "tests/opos/FakeServiceObjectIds.h"

using namespace QVO::Platform::Com;
using namespace QVO::Test;

namespace {

std::atomic<int> g_live{0};
std::mutex g_traceMutex;
std::vector<std::wstring> g_trace;    // guarded by g_traceMutex
IDispatch* g_lastReceiver = nullptr;  // guarded by g_traceMutex; one reference held
std::mutex g_lateMutex;
std::vector<std::thread> g_lateEvents;  // guarded by g_lateMutex; joined by FakeSO_JoinLateEvents

void Trace(std::wstring line) {
    std::lock_guard lock(g_traceMutex);
    g_trace.push_back(std::move(line));
}

std::wstring Describe(const DispatchCall& c) {
    std::wstring s = std::wstring(c.Member().name) + L"(";
    for (size_t i = 0; i < c.Count(); ++i) {
        if (i) s += L",";
        switch (c.Member().params[i]) {
            case Param::Long:
                s += std::to_wstring(c.Long(i));
                break;
            case Param::Bstr:
                s += L"\"" + ToWString(c.Bstr(i)) + L"\"";
                break;
            case Param::LongRef:
                s += L"&" + std::to_wstring(*c.LongRef(i));
                break;
            case Param::BstrRef:
                s += L"&\"" + ToWString(*c.BstrRef(i)) + L"\"";
                break;
            case Param::Bool:
                s += std::to_wstring(c.Bool(i));
                break;
            case Param::Dispatch:
                s += c.Dispatch(i) ? L"disp" : L"null";
                break;
        }
    }
    return s + L")";
}

class FakeSO final : public DispatchObject<FakeSO> {
public:
    explicit FakeSO(FakeKind kind) : kind_(kind) {
        ++g_live;
        numbers_[8] = kind == FakeKind::OldVersion ? 2001000 : 1013001;
        numbers_[9] = 2;  // idle
        strings_[1000002] = L"Fake printer";
    }
    ~FakeSO() override {
        StopReceiver();
        --g_live;
    }
    static const DispatchTable& Table();

    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        std::wstring name = count && names[0] ? names[0] : L"";
        if ((kind_ == FakeKind::Incomplete && name == L"PrintNormal") ||
            (kind_ == FakeKind::Legacy && (name == L"PrintLine" || name == L"GetOpenResult"))) {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        return DispatchObject<FakeSO>::GetIDsOfNames(riid, names, count, lcid, ids);
    }

    // The generic member: trace, then the behaviour of a few members.
    HRESULT Handle(DispatchCall& c) {
        const LONG onEntry = c.LongResult();
        const std::wstring name = c.Member().name;
        const std::wstring call = Describe(c);  // the arguments as they arrived
        LONG rc = 0;
        if (name == L"OpenService")
            rc = OpenService(c);
        else if (name == L"CloseService")
            StopReceiver();
        else if (name == L"GetPropertyNumber")
            rc = numbers_.count(c.Long(0)) ? numbers_[c.Long(0)] : 0;
        else if (name == L"SetPropertyNumber")
            numbers_[c.Long(0)] = c.Long(1);
        else if (name == L"SetPropertyString")
            strings_[c.Long(0)] = ToWString(c.Bstr(1));
        else if (name == L"COFreezeEvents")
            numbers_[4] = c.Bool(0) ? 1 : 0;
        else if (name == L"GetOpenResult")
            rc = openResult_;
        else if (name == L"CutPaper")
            rc = c.Long(0);  // echoes, so a test sees the result travel
        else if (name == L"ValidateData")
            rc = 106;
        else if (name == L"DirectIO")
            FireOrEcho(c);
        else if (name == L"RetrieveStatistics")
            Replace(c.BstrRef(0), L"<stats/>");
        else if (name == L"CompareFirmwareVersion")
            *c.LongRef(1) = 3;
        if (name == L"GetPropertyString") {
            std::wstring text = strings_.count(c.Long(0)) ? strings_[c.Long(0)] : L"";
            c.BstrResult() = SysAllocStringLen(text.data(), UINT(text.size()));
            Trace(call + L"@" + std::to_wstring(onEntry));
            return S_OK;
        }
        Trace(call + L"=>" + std::to_wstring(rc) + L"@" + std::to_wstring(onEntry));
        c.LongResult() = rc;
        return S_OK;
    }

private:
    static void Replace(BSTR* slot, const std::wstring& text) {
        SysFreeString(*slot);
        *slot = SysAllocStringLen(text.data(), UINT(text.size()));
    }

    LONG OpenService(DispatchCall& c) {
        receiver_ = ComPtr<IDispatch>(c.Dispatch(2));
        {
            std::lock_guard lock(g_traceMutex);
            if (g_lastReceiver) g_lastReceiver->Release();
            g_lastReceiver = receiver_.Get();
            if (g_lastReceiver) g_lastReceiver->AddRef();
        }
        // One name per call, as the real service object looks them up.
        const wchar_t* names[] = {L"SODirectIO", L"SOError", L"SOOutputComplete", L"SOStatusUpdate"};
        std::wstring ids = L"EventIds(";
        for (int i = 0; i < 4; ++i) {
            LPOLESTR n = const_cast<LPOLESTR>(names[i]);
            eventIds_[i] = DISPID_UNKNOWN;
            if (receiver_) receiver_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &eventIds_[i]);
            ids += (i ? L"," : L"") + std::to_wstring(eventIds_[i]);
        }
        Trace(ids + L")");
        if (kind_ == FakeKind::FailOpen) {
            openResult_ = 403;
            return 106;
        }
        if (kind_ == FakeKind::FailSilently) return 111;
        return 0;
    }

    void StopReceiver() { receiver_.Reset(); }

    // Fires one event from a separate thread (the service object's event thread) and waits.
    HRESULT Fire(int kind, std::vector<Variant>& args) {
        HRESULT hr = E_FAIL;
        std::thread events([&] {
            std::vector<VARIANT> reversed;
            for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Get());
            DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
            if (receiver_ && eventIds_[kind] != DISPID_UNKNOWN)
                hr = receiver_->Invoke(eventIds_[kind], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                       nullptr, nullptr, nullptr);
        });
        events.join();
        return hr;
    }

    // Fires SOStatusUpdate(value) from a thread of its own that nobody here waits for, as a
    // service object whose event thread is still delivering when it is closed.
    void FireLate(LONG value) {
        ComPtr<IDispatch> receiver = receiver_;  // the thread's own reference
        const DISPID id = eventIds_[3];
        if (!receiver || id == DISPID_UNKNOWN) return;
        std::lock_guard lock(g_lateMutex);
        g_lateEvents.emplace_back([receiver, id, value] {
            Variant arg(value);
            DISPPARAMS params{arg.Get(), nullptr, 1, 0};
            receiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        });
    }

    void FireOrEcho(DispatchCall& c) {
        LONG* data = c.LongRef(1);
        BSTR* text = c.BstrRef(2);
        std::vector<Variant> args;
        switch (c.Long(0)) {
            case kFireStatusUpdate:
                args.emplace_back(*data);
                Fire(3, args);
                break;
            case kFireOutputComplete:
                args.emplace_back(*data);
                Fire(2, args);
                break;
            case kFireError: {
                LONG response = 11;  // OPOS_ER_RETRY until the application says otherwise
                args.emplace_back(LONG(114));
                args.emplace_back(LONG(201));
                args.emplace_back(LONG(1));
                args.push_back(Variant::RefLong(&response));
                Fire(1, args);
                *data = response;
                break;
            }
            case kFireStatusUpdateLate:
                FireLate(*data);
                break;
            case kFireDirectIO: {
                LONG value = *data;
                args.emplace_back(LONG(7));
                args.push_back(Variant::RefLong(&value));
                args.push_back(Variant::RefBstr(text));
                Fire(0, args);
                *data = value;
                break;
            }
            default:
                *data *= 2;
                Replace(text, ToWString(*text) + L"!");
        }
    }

    FakeKind kind_;
    std::map<LONG, LONG> numbers_;
    std::map<LONG, std::wstring> strings_;
    ComPtr<IDispatch> receiver_;
    DISPID eventIds_[4] = {DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN, DISPID_UNKNOWN};
    LONG openResult_ = 0;
};

HRESULT Generic(void* self, DispatchCall& c) { return static_cast<FakeSO*>(self)->Handle(c); }

const DispatchTable& FakeSO::Table() {
    using P = Param;
    const auto L = P::Long, B = P::Bstr;
    static const DispatchTable table({
        {L"COFreezeEvents", 6, MemberKind::Method, {P::Bool}, Result::Long, Generic},
        {L"GetPropertyNumber", 7, MemberKind::Method, {L}, Result::Long, Generic},
        {L"SetPropertyNumber", 8, MemberKind::Method, {L, L}, Result::Long, Generic},
        {L"GetPropertyString", 9, MemberKind::Method, {L}, Result::Bstr, Generic},
        {L"SetPropertyString", 10, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"OpenService", 11, MemberKind::Method, {B, B, P::Dispatch}, Result::Long, Generic},
        {L"CheckHealth", 12, MemberKind::Method, {L}, Result::Long, Generic},
        {L"ClaimDevice", 13, MemberKind::Method, {L}, Result::Long, Generic},
        {L"ClearOutput", 14, MemberKind::Method, {}, Result::Long, Generic},
        {L"CloseService", 15, MemberKind::Method, {}, Result::Long, Generic},
        {L"DirectIO", 16, MemberKind::Method, {L, P::LongRef, P::BstrRef}, Result::Long, Generic},
        {L"ReleaseDevice", 17, MemberKind::Method, {}, Result::Long, Generic},
        {L"BeginRemoval", 18, MemberKind::Method, {L}, Result::Long, Generic},
        {L"CutPaper", 19, MemberKind::Method, {L}, Result::Long, Generic},
        {L"EndInsertion", 20, MemberKind::Method, {}, Result::Long, Generic},
        {L"EndRemoval", 21, MemberKind::Method, {}, Result::Long, Generic},
        {L"PrintBarCode", 22, MemberKind::Method, {L, B, L, L, L, L, L}, Result::Long, Generic},
        {L"PrintBitmap", 23, MemberKind::Method, {L, B, L, L}, Result::Long, Generic},
        {L"PrintImmediate", 24, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"PrintNormal", 25, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"PrintTwoNormal", 26, MemberKind::Method, {L, B, B}, Result::Long, Generic},
        {L"RotatePrint", 27, MemberKind::Method, {L, L}, Result::Long, Generic},
        {L"SetBitmap", 28, MemberKind::Method, {L, L, B, L, L}, Result::Long, Generic},
        {L"SetLogo", 29, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"TransactionPrint", 30, MemberKind::Method, {L, L}, Result::Long, Generic},
        {L"ValidateData", 31, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"ChangePrintSide", 32, MemberKind::Method, {L}, Result::Long, Generic},
        {L"MarkFeed", 33, MemberKind::Method, {L}, Result::Long, Generic},
        {L"ResetStatistics", 34, MemberKind::Method, {B}, Result::Long, Generic},
        {L"RetrieveStatistics", 35, MemberKind::Method, {P::BstrRef}, Result::Long, Generic},
        {L"UpdateStatistics", 36, MemberKind::Method, {B}, Result::Long, Generic},
        {L"CompareFirmwareVersion", 37, MemberKind::Method, {B, P::LongRef}, Result::Long, Generic},
        {L"UpdateFirmware", 38, MemberKind::Method, {B}, Result::Long, Generic},
        {L"ClearPrintArea", 39, MemberKind::Method, {}, Result::Long, Generic},
        {L"PageModePrint", 40, MemberKind::Method, {L}, Result::Long, Generic},
        {L"PrintMemoryBitmap", 41, MemberKind::Method, {L, B, L, L, L}, Result::Long, Generic},
        {L"DrawRuledLine", 42, MemberKind::Method, {L, B, L, L, L, L}, Result::Long, Generic},
        {L"BeginInsertion", 43, MemberKind::Method, {L}, Result::Long, Generic},
        {L"GetOpenResult", 44, MemberKind::Method, {}, Result::Long, Generic},
        {L"OpenDrawer", 120, MemberKind::Method, {}, Result::Long, Generic},
        {L"WaitForDrawerClose", 121, MemberKind::Method, {L, L, L, L}, Result::Long, Generic},
        {L"PrintLine", 603, MemberKind::Method, {L, B}, Result::Long, Generic},
        {L"PrintCurveText", 604, MemberKind::Method, {L, L, L, B}, Result::Long, Generic},
    });
    return table;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv) *ppv = nullptr;
    for (const FakeClass& c : kFakeClasses) {
        if (c.clsid != clsid) continue;
        const FakeKind kind = c.kind;
        auto create = [kind]() -> FakeSO* { return kind == FakeKind::NoCreate ? nullptr : new FakeSO(kind); };
        return QVO::Platform::Com::ClassFactory<decltype(create)>::Hand(g_live, create, riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_live == 0 ? S_OK : S_FALSE; }

// Test access: the calls recorded so far (and forget them), objects alive, the last receiver.
__attribute__((visibility("default"))) void FakeSO_TakeTrace(std::vector<std::wstring>* out) {
    std::lock_guard lock(g_traceMutex);
    out->swap(g_trace);
    g_trace.clear();
}

__attribute__((visibility("default"))) int FakeSO_LiveObjects() { return g_live; }

// Waits for every event thread started by kFireStatusUpdateLate.
__attribute__((visibility("default"))) void FakeSO_JoinLateEvents() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(g_lateMutex);
        threads.swap(g_lateEvents);
    }
    for (std::thread& t : threads) t.join();
}

// Returns the receiver last given to OpenService with a new reference (or null), and forgets it.
__attribute__((visibility("default"))) IDispatch* FakeSO_TakeLastReceiver() {
    std::lock_guard lock(g_traceMutex);
    return std::exchange(g_lastReceiver, nullptr);
}

}  // extern "C"
