// Tests of the manual-reset event: it stays set, times out, and wakes wait-for-any callers.
#include "so/base/ManualResetEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "tests/support/WaitUntil.h"

namespace QVO::BASE {
namespace {

using QVO::Test::WaitUntil;

// Catches an event that resets itself on wake (auto reset) or ignores Reset.
TEST(ManualResetEventTest, StaysSignalledUntilReset) {
    ManualResetEvent event("ThreadResume");
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(kInfinite));  // a second waiter still sees it
    event.Reset();
    EXPECT_FALSE(event.Wait(1));
    EXPECT_EQ(event.Name(), "ThreadResume");
}

// Catches events that share state because they share a name.
TEST(ManualResetEventTest, SameNameEventsAreIndependent) {
    ManualResetEvent first("ThreadSuspend");
    ManualResetEvent second("ThreadSuspend");
    first.Set();
    EXPECT_TRUE(first.IsSet());
    EXPECT_FALSE(second.IsSet());
}

// WaitAny answers the index of the lowest signalled event, or the time-out.
TEST(ManualResetEventTest, WaitAnyReportsWhichEventIsSet) {
    struct Case {
        std::vector<int> set;
        int expected;
    };
    const Case cases[] = {
        {{}, kWaitTimeout}, {{0}, 0}, {{2}, 2}, {{1, 2}, 1}, {{0, 1, 2}, 0},
    };
    for (const Case& c : cases) {
        ManualResetEvent a, b, d;
        ManualResetEvent* all[] = {&a, &b, &d};
        for (int index : c.set) all[index]->Set();
        EXPECT_EQ(ManualResetEvent::WaitAny({&a, &b, &d}, 1), c.expected) << "set count " << c.set.size();
    }
}

// A woken waiter returns well within kWakeDeadline; a waiter that was never woken sleeps
// until its own, longer time-out and is still asleep at that deadline.
constexpr auto kWakeDeadline = std::chrono::seconds(10);
constexpr uint32_t kWaiterTimeoutMs = 20000;

template <class T>
bool WokenInTime(std::future<T>& waiter) {
    return waiter.wait_for(kWakeDeadline) == std::future_status::ready;
}

// Catches a lost wake-up in Wait: Set comes only once the waiter is asleep in the wait, the
// one moment where a Set that does not notify leaves it sleeping.
TEST(ManualResetEventTest, WaitWakesWhenSetWhileItSleeps) {
    ManualResetEvent event;
    auto waiter = std::async(std::launch::async, [&] { return event.Wait(kWaiterTimeoutMs); });
    ASSERT_TRUE(WaitUntil([&] { return event.BlockedWaiters() == 1; }));
    event.Set();
    ASSERT_TRUE(WokenInTime(waiter)) << "Set did not wake the waiter";
    EXPECT_TRUE(waiter.get());
    EXPECT_EQ(event.BlockedWaiters(), 0u);
}

// The same for WaitAny, which sleeps on its own waiter rather than on the event.
TEST(ManualResetEventTest, WaitAnyWakesWhenSetWhileItSleeps) {
    ManualResetEvent stop, work;
    auto waiter = std::async(std::launch::async, [&] {
        return ManualResetEvent::WaitAny({&stop, &work}, kWaiterTimeoutMs);
    });
    ASSERT_TRUE(WaitUntil([&] { return work.BlockedWaiters() == 1; }));
    EXPECT_EQ(stop.BlockedWaiters(), 1u);  // one sleeper, watching both
    work.Set();
    ASSERT_TRUE(WokenInTime(waiter)) << "Set did not wake WaitAny";
    EXPECT_EQ(waiter.get(), 1);
    EXPECT_EQ(stop.BlockedWaiters(), 0u);
}

// Many WaitAny callers asleep on overlapping event sets, and Wait callers: one Set must wake
// every one of them.
TEST(ManualResetEventTest, OneSetReleasesAllWaiters) {
    constexpr size_t kWaitAnyCallers = 6;
    constexpr size_t kWaitCallers = 2;
    ManualResetEvent shared, other;
    std::vector<std::future<int>> waiters;
    for (size_t i = 0; i < kWaitAnyCallers; ++i) {
        auto waitAny = [&] { return ManualResetEvent::WaitAny({&other, &shared}, kWaiterTimeoutMs); };
        waiters.push_back(std::async(std::launch::async, waitAny));
    }
    auto wait = [&] { return shared.Wait(kWaiterTimeoutMs) ? 1 : -1; };
    for (size_t i = 0; i < kWaitCallers; ++i) waiters.push_back(std::async(std::launch::async, wait));
    ASSERT_TRUE(WaitUntil([&] { return shared.BlockedWaiters() == kWaitAnyCallers + kWaitCallers; }));
    shared.Set();
    for (auto& waiter : waiters) {
        ASSERT_TRUE(WokenInTime(waiter)) << "a waiter slept on";
        EXPECT_EQ(waiter.get(), 1);
    }
}

// A waiter that left WaitAny must not be poked afterwards (use after scope under ASan).
TEST(ManualResetEventTest, SetAfterWaitAnyTimedOutIsHarmless) {
    ManualResetEvent event;
    EXPECT_EQ(ManualResetEvent::WaitAny({&event}, 1), kWaitTimeout);
    event.Set();
    EXPECT_EQ(ManualResetEvent::WaitAny({&event}, 0), 0);
}

}  // namespace
}  // namespace QVO::BASE
