// Tests of the manual-reset event: it stays set, times out, and wakes wait-for-any callers.
#include "so/base/ManualResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace QVO::BASE {
namespace {

// Catches an event that resets itself on wake (auto reset) or ignores Reset.
TEST(ManualResetEventTest, StaysSignalledUntilReset) {
    ManualResetEvent event("ThreadResume");
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(kInfinite));   // a second waiter still sees it
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
        {{}, kWaitTimeout},
        {{0}, 0},
        {{2}, 2},
        {{1, 2}, 1},
        {{0, 1, 2}, 0},
    };
    for (const Case& c : cases) {
        ManualResetEvent a, b, d;
        ManualResetEvent* all[] = {&a, &b, &d};
        for (int index : c.set) all[index]->Set();
        EXPECT_EQ(ManualResetEvent::WaitAny({&a, &b, &d}, 1), c.expected) << "set count " << c.set.size();
    }
}

// Catches a lost wake-up: the Set comes from another thread while WaitAny is blocked.
TEST(ManualResetEventTest, WaitAnyWakesOnSetFromAnotherThread) {
    for (int round = 0; round < 50; ++round) {
        ManualResetEvent stop, work;
        std::thread setter([&] { work.Set(); });
        EXPECT_EQ(ManualResetEvent::WaitAny({&stop, &work}, kInfinite), 1);
        setter.join();
    }
}

// A waiter that left WaitAny must not be poked afterwards (use after scope under ASan).
TEST(ManualResetEventTest, SetAfterWaitAnyTimedOutIsHarmless) {
    ManualResetEvent event;
    EXPECT_EQ(ManualResetEvent::WaitAny({&event}, 1), kWaitTimeout);
    event.Set();
    EXPECT_EQ(ManualResetEvent::WaitAny({&event}, 0), 0);
}

// Many threads wait on overlapping event sets; one Set must release every one of them.
TEST(ManualResetEventTest, OneSetReleasesAllWaiters) {
    ManualResetEvent shared, other;
    std::vector<std::thread> waiters;
    std::atomic<int> released{0};
    for (int i = 0; i < 8; ++i) {
        waiters.emplace_back([&] {
            if (ManualResetEvent::WaitAny({&other, &shared}, kInfinite) == 1) released++;
        });
    }
    shared.Set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released.load(), 8);
}

} // namespace
} // namespace QVO::BASE
