// Events from the service object through the control object's receiver: delivery on the
// service object's thread, values passed back, and Close against deliveries in progress.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "opos/EventSink.h"
#include "opos/PosPrinterControl.h"
#include "tests/opos/ControlTestSupport.h"
#include "tests/support/WaitUntil.h"

using namespace QVO::Opos;
using namespace QVO::Test;

namespace {

class Latch {
public:
    void Open() { promise_.set_value(); }
    // False when it was not opened within the deadline.
    bool WaitOpen(std::chrono::milliseconds deadline = std::chrono::seconds(10)) const {
        return future_.wait_for(deadline) == std::future_status::ready;
    }

private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
};

// The receiver a control object handed to OpenService is its CEventSink; tests read its
// counter of blocked Detach calls through it.
const CEventSink* SinkOf(const QVO::Platform::Com::ComPtr<IDispatch>& receiver) {
    return static_cast<const CEventSink*>(receiver.Get());
}

// The receiver the fake got at the last Open, with a reference of the test's own.
QVO::Platform::Com::ComPtr<IDispatch> LastReceiver(const FakeModule& fake) {
    return QVO::Platform::Com::ComPtr<IDispatch>::Attach(fake.TakeLastReceiver());
}

// The same registry and fake module as the control tests.
class OposEvents : public OposControl {};

TEST_F(OposEvents, EventsArriveOnTheServiceObjectsThread) {
    CPosPrinterControl printer;
    std::thread::id handlerThread;
    std::vector<int32_t> statuses, outputs;
    printer.SetStatusUpdateEventHandler([&](int32_t status) {
        handlerThread = std::this_thread::get_id();
        statuses.push_back(status);
    });
    printer.SetOutputCompleteEventHandler([&](int32_t id) { outputs.push_back(id); });
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    std::wstring text;
    int32_t data = PTR_SUE_COVER_OPEN;
    printer.DirectIO(kFireStatusUpdate, data, text);
    data = 17;
    printer.DirectIO(kFireOutputComplete, data, text);
    EXPECT_EQ(statuses, std::vector<int32_t>{PTR_SUE_COVER_OPEN});
    EXPECT_EQ(outputs, std::vector<int32_t>{17});
    EXPECT_NE(handlerThread, std::this_thread::get_id());
}

TEST_F(OposEvents, ErrorResponseChosenByTheHandlerReachesTheServiceObject) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    std::wstring text;
    int32_t response = 0;
    // Without a handler the service object's default (retry) stands.
    printer.DirectIO(kFireError, response, text);
    EXPECT_EQ(response, OPOS_ER_RETRY);

    std::vector<int32_t> seen;
    printer.SetErrorEventHandler([&](int32_t rc, int32_t ext, int32_t locus, int32_t& answer) {
        seen = {rc, ext, locus, answer};
        answer = OPOS_ER_CLEAR;
    });
    printer.DirectIO(kFireError, response, text);
    EXPECT_EQ(seen, (std::vector<int32_t>{OPOS_E_EXTENDED, 201, OPOS_EL_OUTPUT, OPOS_ER_RETRY}));
    EXPECT_EQ(response, OPOS_ER_CLEAR);
}

TEST_F(OposEvents, DirectIOEventPassesDataAndStringBothWays) {
    CPosPrinterControl printer;
    printer.SetDirectIOEventHandler([](int32_t eventNumber, int32_t& data, std::wstring& text) {
        data += eventNumber;
        text = L"<" + text + L">";
    });
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    int32_t data = 5;
    std::wstring text = L"ping";
    printer.DirectIO(kFireDirectIO, data, text);
    EXPECT_EQ(data, 12);
    EXPECT_EQ(text, L"<ping>");
}

TEST_F(OposEvents, NoHandlerRunsAfterClose) {
    // A service object that fires late (its thread outlived CloseService) must not reach the
    // application's handler, which may already be gone.
    CPosPrinterControl printer;
    int calls = 0;
    printer.SetStatusUpdateEventHandler([&](int32_t) { ++calls; });
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    IDispatch* receiver = fake.TakeLastReceiver();
    ASSERT_NE(receiver, nullptr);
    printer.Close();

    LPOLESTR name = const_cast<LPOLESTR>(L"SOStatusUpdate");
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(receiver->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = 24;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXPECT_EQ(receiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    receiver->Release();
    EXPECT_EQ(calls, 0);
}

TEST_F(OposEvents, CloseWaitsForADeliveryInProgress) {
    // Catches a Close that returns while the application's handler still runs on the service
    // object's event thread (the application may then free what the handler uses). The
    // handler is held until Close is seen blocked waiting for it, or has returned (the fault),
    // so the outcome does not depend on the scheduler.
    Latch entered, release;
    std::atomic<bool> closeReturned{false};
    std::atomic<bool> handlerEndedAfterClose{false};
    CPosPrinterControl printer;
    printer.SetStatusUpdateEventHandler([&](int32_t) {
        entered.Open();
        release.WaitOpen();
        handlerEndedAfterClose = closeReturned.load();
    });
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    auto receiver = LastReceiver(fake);
    ASSERT_TRUE(receiver);
    std::wstring text;
    int32_t data = PTR_SUE_COVER_OPEN;
    ASSERT_EQ(printer.DirectIO(kFireStatusUpdateLate, data, text), OPOS_SUCCESS);
    ASSERT_TRUE(entered.WaitOpen());

    auto closing = std::async(std::launch::async, [&] {
        const int32_t rc = printer.Close();
        closeReturned = true;
        return rc;
    });
    ASSERT_TRUE(WaitUntil([&] { return SinkOf(receiver)->BlockedDetaches() == 1 || closeReturned; }));
    EXPECT_FALSE(closeReturned) << "Close returned while a handler was still running";
    release.Open();
    EXPECT_EQ(closing.get(), OPOS_SUCCESS);
    fake.JoinLateEvents();
    EXPECT_FALSE(handlerEndedAfterClose);
}

TEST_F(OposEvents, CloseFromAnotherDevicesHandlerWaitsForThisDevicesDelivery) {
    // A handler may close another device. Only a delivery on the closing thread itself is
    // skipped; the other device's delivery on its own event thread is still waited for.
    Latch enteredB, releaseB;
    std::atomic<bool> closeReturned{false};
    std::atomic<bool> handlerEndedAfterClose{false};
    CPosPrinterControl b;
    CPosPrinterControl a;  // destroyed first: its handler uses b
    b.SetStatusUpdateEventHandler([&](int32_t) {
        enteredB.Open();
        releaseB.WaitOpen();
        handlerEndedAfterClose = closeReturned.load();
    });
    a.SetStatusUpdateEventHandler([&](int32_t) {
        b.Close();
        closeReturned = true;
    });
    ASSERT_EQ(b.Open(L"Fake_01"), OPOS_SUCCESS);
    auto receiverB = LastReceiver(fake);
    ASSERT_TRUE(receiverB);
    ASSERT_EQ(a.Open(L"Fake_01"), OPOS_SUCCESS);
    std::wstring text;
    int32_t data = 0;
    ASSERT_EQ(b.DirectIO(kFireStatusUpdateLate, data, text), OPOS_SUCCESS);
    ASSERT_TRUE(enteredB.WaitOpen());
    ASSERT_EQ(a.DirectIO(kFireStatusUpdateLate, data, text), OPOS_SUCCESS);

    ASSERT_TRUE(WaitUntil([&] { return SinkOf(receiverB)->BlockedDetaches() == 1 || closeReturned; }));
    EXPECT_FALSE(closeReturned) << "Close from A's handler returned while B's handler still ran";
    releaseB.Open();
    fake.JoinLateEvents();
    EXPECT_TRUE(closeReturned);
    EXPECT_FALSE(handlerEndedAfterClose);
    EXPECT_FALSE(b.IsOpen());
}

TEST_F(OposEvents, HandlerMayCloseItsOwnDevice) {
    // Close must not wait for the delivery it is called from: that would never end.
    Latch callReturned;
    std::atomic<bool> closed{false};
    CPosPrinterControl printer;
    printer.SetStatusUpdateEventHandler([&](int32_t) {
        callReturned.WaitOpen();  // one call into the control object at a time
        printer.Close();
        closed = true;
    });
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    std::wstring text;
    int32_t data = 0;
    ASSERT_EQ(printer.DirectIO(kFireStatusUpdateLate, data, text), OPOS_SUCCESS);
    callReturned.Open();
    EXPECT_TRUE(WaitUntil([&] { return closed.load(); }));
    fake.JoinLateEvents();
    EXPECT_FALSE(printer.IsOpen());
}

TEST_F(OposEvents, ReplacingHandlersWhileEventsArriveIsSafe) {
    // Under TSan this catches handler storage touched without the sink's lock. A handler is
    // installed before the first event, so every event finds one, whichever is current.
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    printer.SetStatusUpdateEventHandler([&](int32_t) { ++delivered; });
    std::thread installer([&] {
        while (!stop) printer.SetStatusUpdateEventHandler([&](int32_t) { ++delivered; });
    });
    constexpr int kEvents = 50;
    std::wstring text;
    for (int i = 0; i < kEvents; ++i) {
        int32_t data = 1000 + i;
        printer.DirectIO(kFireStatusUpdate, data, text);
    }
    stop = true;
    installer.join();
    EXPECT_EQ(delivered, kEvents);
}

}  // namespace
