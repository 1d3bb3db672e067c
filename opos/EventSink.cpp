// The SODirectIO, SOError, SOOutputComplete and SOStatusUpdate methods a service object calls.
#include "opos/EventSink.h"

#include <algorithm>

namespace QVO::Opos {

using namespace Platform::Com;
using Platform::MutexLock;

namespace {

CEventSink* Self(void* p) { return static_cast<CEventSink*>(p); }

}  // namespace

const DispatchTable& CEventSink::Table() {
    // The DISPIDs are our own; the service object learns them through GetIDsOfNames.
    static const DispatchTable table({
        {L"SODirectIO",
         1,
         MemberKind::Method,
         {Param::Long, Param::LongRef, Param::BstrRef},
         Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnDirectIO(c.Long(0), c.LongRef(1), c.BstrRef(2)); }},
        {L"SOError",
         2,
         MemberKind::Method,
         {Param::Long, Param::Long, Param::Long, Param::LongRef},
         Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnError(c.Long(0), c.Long(1), c.Long(2), c.LongRef(3)); }},
        {L"SOOutputComplete",
         3,
         MemberKind::Method,
         {Param::Long},
         Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnOutputComplete(c.Long(0)); }},
        {L"SOStatusUpdate",
         4,
         MemberKind::Method,
         {Param::Long},
         Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnStatusUpdate(c.Long(0)); }},
    });
    return table;
}

template <class H>
void CEventSink::Install(Slot<H> CEventSink::*slot, H handler) {
    Slot<H> next = handler ? std::make_shared<const H>(std::move(handler)) : nullptr;
    {
        MutexLock lock(mutex_);
        (this->*slot).swap(next);
    }
    // `next` now holds the replaced handler: released here, outside the lock, unless a
    // delivery in progress still holds it.
}

void CEventSink::SetDirectIO(DirectIOEventHandler h) { Install(&CEventSink::directIO_, std::move(h)); }
void CEventSink::SetError(ErrorEventHandler h) { Install(&CEventSink::error_, std::move(h)); }
void CEventSink::SetOutputComplete(OutputCompleteEventHandler h) {
    Install(&CEventSink::outputComplete_, std::move(h));
}
void CEventSink::SetStatusUpdate(StatusUpdateEventHandler h) { Install(&CEventSink::statusUpdate_, std::move(h)); }

void CEventSink::Attach() {
    MutexLock lock(mutex_);
    attached_ = true;
}

bool CEventSink::DeliveringElsewhere() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(delivering_.begin(), delivering_.end(), [self](std::thread::id t) { return t != self; });
}

void CEventSink::Detach() {
    MutexLock lock(mutex_);
    attached_ = false;
    // Deliveries on this very thread (a handler closing the device) cannot finish first.
    if (!DeliveringElsewhere()) return;
    ++blockedDetaches_;
    while (DeliveringElsewhere()) idle_.Wait(lock);
    --blockedDetaches_;
}

int CEventSink::BlockedDetaches() const {
    MutexLock lock(mutex_);
    return blockedDetaches_;
}

template <class H, class... Args>
bool CEventSink::Deliver(Slot<H> CEventSink::*slot, Args&... args) {
    const auto self = std::this_thread::get_id();
    Slot<H> handler;
    {
        MutexLock lock(mutex_);
        if (!attached_ || !(this->*slot)) return false;
        handler = this->*slot;
        delivering_.push_back(self);
    }
    // The application's handler runs outside the lock: it may take its time, replace
    // handlers or close the device.
    try {
        (*handler)(args...);
    } catch (...) {
        // An application's exception must not cross into the service object's thread.
    }
    MutexLock lock(mutex_);
    delivering_.erase(std::find(delivering_.begin(), delivering_.end(), self));
    idle_.NotifyAll();
    return true;
}

HRESULT CEventSink::OnDirectIO(LONG eventNumber, LONG* data, BSTR* text) {
    LONG value = *data;
    std::wstring str = ToWString(*text);
    if (!Deliver(&CEventSink::directIO_, eventNumber, value, str)) return S_OK;
    *data = value;
    if (str != ToWString(*text)) {
        BSTR replacement = SysAllocStringLen(str.data(), static_cast<UINT>(str.size()));
        if (!replacement) return E_OUTOFMEMORY;
        SysFreeString(*text);
        *text = replacement;
    }
    return S_OK;
}

HRESULT CEventSink::OnError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* response) {
    LONG value = *response;
    if (Deliver(&CEventSink::error_, resultCode, resultCodeExtended, errorLocus, value)) *response = value;
    return S_OK;
}

HRESULT CEventSink::OnOutputComplete(LONG outputId) {
    Deliver(&CEventSink::outputComplete_, outputId);
    return S_OK;
}

HRESULT CEventSink::OnStatusUpdate(LONG data) {
    Deliver(&CEventSink::statusUpdate_, data);
    return S_OK;
}

}  // namespace QVO::Opos
