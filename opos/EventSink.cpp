// The SODirectIO, SOError, SOOutputComplete and SOStatusUpdate methods a service object calls.
#include "opos/EventSink.h"

namespace QVO::Opos {

using namespace Platform::Com;

namespace {

// This thread's depth inside a handler, so that Detach called from a handler does not wait
// for itself.
thread_local int t_deliveryDepth = 0;

CEventSink* Self(void* p) { return static_cast<CEventSink*>(p); }

}  // namespace

const DispatchTable& CEventSink::Table() {
    // The DISPIDs are our own; the service object learns them through GetIDsOfNames.
    static const DispatchTable table({
        {L"SODirectIO", 1, MemberKind::Method, {Param::Long, Param::LongRef, Param::BstrRef}, Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnDirectIO(c.Long(0), c.LongRef(1), c.BstrRef(2)); }},
        {L"SOError", 2, MemberKind::Method, {Param::Long, Param::Long, Param::Long, Param::LongRef}, Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnError(c.Long(0), c.Long(1), c.Long(2), c.LongRef(3)); }},
        {L"SOOutputComplete", 3, MemberKind::Method, {Param::Long}, Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnOutputComplete(c.Long(0)); }},
        {L"SOStatusUpdate", 4, MemberKind::Method, {Param::Long}, Result::None,
         [](void* s, DispatchCall& c) { return Self(s)->OnStatusUpdate(c.Long(0)); }},
    });
    return table;
}

void CEventSink::SetDirectIO(DirectIOEventHandler h) {
    std::lock_guard lock(mutex_);
    directIO_ = std::move(h);
}
void CEventSink::SetError(ErrorEventHandler h) {
    std::lock_guard lock(mutex_);
    error_ = std::move(h);
}
void CEventSink::SetOutputComplete(OutputCompleteEventHandler h) {
    std::lock_guard lock(mutex_);
    outputComplete_ = std::move(h);
}
void CEventSink::SetStatusUpdate(StatusUpdateEventHandler h) {
    std::lock_guard lock(mutex_);
    statusUpdate_ = std::move(h);
}

void CEventSink::Attach() {
    std::lock_guard lock(mutex_);
    attached_ = true;
}

void CEventSink::Detach() {
    std::unique_lock lock(mutex_);
    attached_ = false;
    // Deliveries on this very thread (a handler closing the device) cannot finish first.
    idle_.wait(lock, [&] { return deliveries_ <= t_deliveryDepth; });
}

template <class H>
bool CEventSink::BeginDelivery(const H& source, H& copy) {
    std::lock_guard lock(mutex_);
    if (!attached_ || !source) return false;
    copy = source;
    ++deliveries_;
    ++t_deliveryDepth;
    return true;
}

void CEventSink::EndDelivery() {
    std::lock_guard lock(mutex_);
    --deliveries_;
    --t_deliveryDepth;
    idle_.notify_all();
}

HRESULT CEventSink::OnDirectIO(LONG eventNumber, LONG* data, BSTR* text) {
    DirectIOEventHandler handler;
    if (!BeginDelivery(directIO_, handler)) return S_OK;
    int32_t value = *data;
    std::wstring str = ToWString(*text);
    try {
        handler(eventNumber, value, str);
    } catch (...) {
        // An application's exception must not cross into the service object's thread.
    }
    EndDelivery();
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
    ErrorEventHandler handler;
    if (!BeginDelivery(error_, handler)) return S_OK;
    int32_t value = *response;
    try {
        handler(resultCode, resultCodeExtended, errorLocus, value);
    } catch (...) {
    }
    EndDelivery();
    *response = value;
    return S_OK;
}

HRESULT CEventSink::OnOutputComplete(LONG outputId) {
    OutputCompleteEventHandler handler;
    if (!BeginDelivery(outputComplete_, handler)) return S_OK;
    try {
        handler(outputId);
    } catch (...) {
    }
    EndDelivery();
    return S_OK;
}

HRESULT CEventSink::OnStatusUpdate(LONG data) {
    StatusUpdateEventHandler handler;
    if (!BeginDelivery(statusUpdate_, handler)) return S_OK;
    try {
        handler(data);
    } catch (...) {
    }
    EndDelivery();
    return S_OK;
}

}  // namespace QVO::Opos
