// The control object's event receiver: the IDispatch handed to OpenService, whose SO* methods
// the service object invokes from its event thread.
//
// Ownership: reference-counted; the control object holds one reference, and the service object
// may hold more. Thread safety: Invoke may come on any thread; handlers are copied under a
// lock and run outside it. Detach() waits for deliveries in progress on other threads, so no
// handler runs after it returns (a handler that calls Detach itself is not waited for).
#pragma once

#include <condition_variable>
#include <mutex>

#include "opos/ControlObject.h"
#include "platform/com/DispatchObject.h"

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

private:
    friend class Platform::Com::DispatchObject<CEventSink>;
    CEventSink() = default;
    ~CEventSink() = default;

    HRESULT OnDirectIO(LONG eventNumber, LONG* data, BSTR* text);
    HRESULT OnError(LONG resultCode, LONG resultCodeExtended, LONG errorLocus, LONG* response);
    HRESULT OnOutputComplete(LONG outputId);
    HRESULT OnStatusUpdate(LONG data);

    // Copies the handler and counts the delivery in progress; false when detached or unset.
    template <class H>
    bool BeginDelivery(const H& source, H& copy);
    void EndDelivery();

    std::mutex mutex_;
    std::condition_variable idle_;
    bool attached_ = false;             // guarded by mutex_
    int deliveries_ = 0;                // guarded by mutex_
    DirectIOEventHandler directIO_;      // guarded by mutex_
    ErrorEventHandler error_;            // guarded by mutex_
    OutputCompleteEventHandler outputComplete_;  // guarded by mutex_
    StatusUpdateEventHandler statusUpdate_;      // guarded by mutex_
};

}  // namespace QVO::Opos
