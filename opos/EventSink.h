// The control object's event receiver: the IDispatch handed to OpenService, whose SO* methods
// the service object invokes from its event thread.
//
// Ownership: reference-counted; the control object holds one reference, and the service object
// may hold more. Thread safety: Invoke may come on any thread; handlers are taken under the
// lock and run outside it. Detach() waits for deliveries in progress on other threads, so no
// handler runs after it returns (a delivery on the calling thread itself, a handler that
// closes its own device, is not waited for).
// Lock order: mutex_ is innermost; it is never held while a handler runs or is destroyed.
#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "opos/ControlObject.h"
#include "platform/com/DispatchObject.h"
#include "platform/sync/Mutex.h"

namespace QVO::Opos {

class CEventSink final : public Platform::Com::DispatchObject<CEventSink> {
public:
    static CEventSink* Create() { return new CEventSink(); }
    static const Platform::Com::DispatchTable& Table();

    void SetDirectIO(DirectIOEventHandler h);
    void SetError(ErrorEventHandler h);
    void SetOutputComplete(OutputCompleteEventHandler h);
    void SetStatusUpdate(StatusUpdateEventHandler h);

    // Starts delivering to the handlers (at Open) or stops and waits (at Close).
    void Attach();
    void Detach();

    // How many Detach calls are now blocked waiting for deliveries on other threads. Lets a
    // test hold a handler until Close is really waiting for it.
    int BlockedDetaches() const;

private:
    friend class Platform::Com::DispatchObject<CEventSink>;
    // Shared, so that a delivery takes the handler under the lock by a reference count (no
    // application code runs under the lock) and a replaced handler goes outside it.
    template <class H>
    using Slot = std::shared_ptr<const H>;

    CEventSink() = default;
    ~CEventSink() = default;

    HRESULT OnDirectIO(LONG eventNumber, LONG* data, BSTR* text);
    HRESULT OnError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* response);
    HRESULT OnOutputComplete(LONG outputId);
    HRESULT OnStatusUpdate(LONG data);

    // Runs the handler in `slot` with args on this thread; false when detached or unset.
    template <class H, class... Args>
    bool Deliver(Slot<H> CEventSink::*slot, Args&... args);
    template <class H>
    void Install(Slot<H> CEventSink::*slot, H handler);
    bool DeliveringElsewhere() const QUVO_REQUIRES(mutex_);

    mutable Platform::Mutex mutex_;
    Platform::CondVar idle_;  // a delivery ended
    bool attached_ QUVO_GUARDED_BY(mutex_) = false;
    // The thread of each delivery in progress (a thread may appear more than once).
    std::vector<std::thread::id> delivering_ QUVO_GUARDED_BY(mutex_);
    int blockedDetaches_ QUVO_GUARDED_BY(mutex_) = 0;
    Slot<DirectIOEventHandler> directIO_ QUVO_GUARDED_BY(mutex_);
    Slot<ErrorEventHandler> error_ QUVO_GUARDED_BY(mutex_);
    Slot<OutputCompleteEventHandler> outputComplete_ QUVO_GUARDED_BY(mutex_);
    Slot<StatusUpdateEventHandler> statusUpdate_ QUVO_GUARDED_BY(mutex_);
};

}  // namespace QVO::Opos
