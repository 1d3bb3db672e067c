// Tests of the event-thread generation: owned tasks, failure and cancel handling, clearing
// while a task runs, unacknowledged suspend, and the lifetime link between thread and queue.
#include "so/base/CTaskThreadBase2.h"

#include <gtest/gtest.h>

#include "tests/so/base/TaskTestSupport.h"

namespace QVO::BASE {
namespace {

using test::FastTiming;
using test::RunLog;
using test::WaitUntil;

// Counts live tasks so tests see that the queue deletes what it owns.
struct Tally {
    std::atomic<int> alive{0};
    std::atomic<int> afterSuccess{0};
};

class EventTask : public CTaskBase {
public:
    EventTask(int id, RunLog& log, Tally& tally, int32_t result = 1)
        : id_(id), log_(log), tally_(tally), result_(result) {
        tally_.alive++;
    }
    ~EventTask() override { tally_.alive--; }
    int32_t Execute() override {
        if (started) started->Set();
        if (gate) gate->Wait(kInfinite);
        if (during) during();
        log_.Add(id_);
        if (throws) throw std::runtime_error("event task failed");
        if (throwsNonStandard) throw test::NonStandardFailure{id_};
        return result_;
    }
    void OnSuccess() override { tally_.afterSuccess++; }

    ManualResetEvent* started = nullptr;
    const ManualResetEvent* gate = nullptr;
    std::function<void()> during;
    bool throws = false;
    bool throwsNonStandard = false;

private:
    const int id_;
    RunLog& log_;
    Tally& tally_;
    const int32_t result_;
};

// Shows where the worker sleeps.
class WatchedThread : public CTaskThreadBase2 {
public:
    using CTaskThreadBase2::CTaskThreadBase2;
    ~WatchedThread() override { Stop(); }
    // True while the worker sleeps until a resume (or stop), as a suspended worker does.
    bool AsleepUntilResume() const { return resume_.BlockedWaiters() == 1; }
};

TEST(TaskThreadBase2Test, StartBeforeAttachIsRejected) {
    CTaskThreadBase2 thread(FastTiming());
    EXPECT_EQ(thread.Start(), kTaskE_UNEXPECTED);
    EXPECT_FALSE(thread.HasThread());
    CTaskContextBase context;
    EXPECT_EQ(thread.Attach(&context), 0);
    EXPECT_EQ(thread.GetState(), TaskThreadState::Initialised);
    EXPECT_EQ(context.GetThread(), &thread);
    EXPECT_EQ(thread.GetContext(), &context);
    EXPECT_EQ(thread.Start(), 0);
    EXPECT_EQ(thread.Attach(&context), kTaskE_UNEXPECTED);  // not under a running worker
}

// RunOne without a thread: success runs the follow-up and deletes; failure stops the queue.
TEST(TaskThreadBase2Test, RunOneOutcomes) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    EXPECT_EQ(context.RunOne(), 1);  // empty
    context.PushBack(std::make_unique<EventTask>(1, log, tally));
    context.PushBack(std::make_unique<EventTask>(2, log, tally, 0));
    context.PushBack(std::make_unique<EventTask>(3, log, tally));
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_EQ(tally.afterSuccess.load(), 1);
    EXPECT_EQ(tally.alive.load(), 2);
    EXPECT_EQ(context.RunOne(), 0);  // failed: removed, deleted, and nothing later runs
    EXPECT_TRUE(context.StopRunning().IsSet());
    EXPECT_EQ(tally.alive.load(), 1);
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_EQ(log.Ids(), (std::vector<int>{1, 2}));
    EXPECT_EQ(context.GetTaskCount(), 1);
}

// A throwing task counts as failed: it is removed (not fired again on every pass), recorded,
// and stops the queue. Something thrown that is not a std::exception is recorded as such.
TEST(TaskThreadBase2Test, ThrowingTaskIsRemovedAndRecorded) {
    for (const bool standard : {true, false}) {
        SCOPED_TRACE(standard ? "std::exception" : "non-standard");
        RunLog log;
        Tally tally;
        CTaskContextBase context;
        auto task = std::make_unique<EventTask>(1, log, tally);
        (standard ? task->throws : task->throwsNonStandard) = true;
        context.PushBack(std::move(task));
        EXPECT_EQ(context.RunOne(), 0);
        EXPECT_TRUE(context.IsEmpty());
        EXPECT_TRUE(context.StopRunning().IsSet());
        EXPECT_EQ(tally.alive.load(), 0);
        const char* recorded = standard ? "event task failed" : "non-standard exception from a task";
        EXPECT_EQ(context.GetLastError(), recorded);
        EXPECT_EQ(tally.afterSuccess.load(), 0);
    }
}

// Cancelled while it ran: no follow-up, removed, queue keeps running later tasks.
// With abandon set, the task ran but stays where it was.
TEST(TaskThreadBase2Test, CancelAndAbandon) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    auto task = std::make_unique<EventTask>(1, log, tally, 0);
    task->during = [&] { context.CancelFront(); };
    context.PushBack(std::move(task));
    EXPECT_EQ(context.RunOne(), 0);
    EXPECT_FALSE(context.StopRunning().IsSet());
    EXPECT_TRUE(context.IsEmpty());

    context.PushBack(std::make_unique<EventTask>(2, log, tally));
    context.Abandon().Set();
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_EQ(context.GetTaskCount(), 1);
    EXPECT_EQ(tally.afterSuccess.load(), 0);
    EXPECT_EQ(log.Ids(), (std::vector<int>{1, 2}));
}

TEST(TaskThreadBase2Test, FlagOperations) {
    CTaskContextBase context;
    EXPECT_FALSE(context.IsFlagSet());
    context.SetFlag();
    EXPECT_TRUE(context.IsFlagSet());
    context.ClearFlag();
    EXPECT_FALSE(context.IsFlagSet());
}

// The worker fires tasks in queue order and deletes each one.
TEST(TaskThreadBase2Test, WorkerRunsTasksInOrder) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    CTaskThreadBase2 thread(FastTiming());
    thread.Attach(&context);
    for (int id = 1; id <= 5; ++id) context.PushBack(std::make_unique<EventTask>(id, log, tally));
    context.PushFront(std::make_unique<EventTask>(0, log, tally));
    thread.Start();
    EXPECT_TRUE(WaitUntil([&] { return tally.alive.load() == 0; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(tally.afterSuccess.load(), 6);
}

// ClearTasks while a task runs: the running one is cancelled and freed only after Execute.
TEST(TaskThreadBase2Test, ClearTasksWhileOneRuns) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    CTaskThreadBase2 thread(FastTiming());
    thread.Attach(&context);
    ManualResetEvent started, gate;
    auto running = std::make_unique<EventTask>(1, log, tally);
    running->started = &started;
    running->gate = &gate;
    context.PushBack(std::move(running));
    for (int id = 2; id <= 4; ++id) context.PushBack(std::make_unique<EventTask>(id, log, tally));
    thread.Start();
    ASSERT_TRUE(started.Wait(10000));
    context.ClearTasks();
    EXPECT_EQ(tally.alive.load(), 1);  // only the running task is still alive
    EXPECT_TRUE(context.IsEmpty());
    gate.Set();
    EXPECT_TRUE(WaitUntil([&] { return tally.alive.load() == 0; }));
    EXPECT_EQ(tally.afterSuccess.load(), 0);  // it was cancelled
    EXPECT_EQ(log.Ids(), (std::vector<int>{1}));
}

// A suspend that is not acknowledged stops the thread; the state still reads suspended.
TEST(TaskThreadBase2Test, UnacknowledgedSuspendStopsThread) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    TaskThreadTiming timing = FastTiming();
    timing.suspendAckTimeoutMs = 20;
    CTaskThreadBase2 thread(timing);
    thread.Attach(&context);
    ManualResetEvent started, gate;
    auto stuck = std::make_unique<EventTask>(1, log, tally);
    stuck->started = &started;
    stuck->gate = &gate;
    context.PushBack(std::move(stuck));
    context.PushBack(std::make_unique<EventTask>(2, log, tally));
    thread.Start();
    ASSERT_TRUE(started.Wait(10000));
    thread.Suspend();
    EXPECT_EQ(thread.GetState(), TaskThreadState::Suspended);
    EXPECT_FALSE(thread.HasThread());
    gate.Set();
    EXPECT_TRUE(thread.StopAcknowledged().Wait(10000));
    EXPECT_EQ(log.Ids(), (std::vector<int>{1}));
    // Resume starts a fresh thread (after the old one is joined) and the rest is fired.
    thread.Resume();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 2; }));
}

// Catches a suspended worker that keeps firing events: events queued while it is suspended
// wait for Resume, then go in order. The check comes once the worker sleeps in its suspended
// wait, or has fired something (the fault), so it does not depend on the worker's speed.
TEST(TaskThreadBase2Test, SuspendHoldsEventsUntilResume) {
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    WatchedThread thread(FastTiming());
    thread.Attach(&context);
    thread.Start();
    thread.Suspend();
    ASSERT_EQ(thread.GetState(), TaskThreadState::Suspended);
    EXPECT_TRUE(thread.HasThread());
    for (int id = 1; id <= 3; ++id) context.PushBack(std::make_unique<EventTask>(id, log, tally));
    ASSERT_TRUE(WaitUntil([&] { return thread.AsleepUntilResume() || log.Count() > 0; }));
    EXPECT_EQ(log.Count(), 0u) << "a suspended worker fired events";
    EXPECT_EQ(context.GetTaskCount(), 3);
    thread.Resume();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 3; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{1, 2, 3}));
}

// Whichever of the pair goes first, the other is left without a dangling link.
TEST(TaskThreadBase2Test, LifetimeLinkBothWays) {
    RunLog log;
    Tally tally;
    {
        CTaskThreadBase2 thread(FastTiming());
        {
            CTaskContextBase context;
            thread.Attach(&context);
            thread.Start();
            context.PushBack(std::make_unique<EventTask>(1, log, tally));
        }  // the queue stops the thread before it goes
        EXPECT_FALSE(thread.HasThread());
        EXPECT_EQ(thread.GetContext(), nullptr);
    }
    {
        CTaskContextBase context;
        {
            CTaskThreadBase2 thread(FastTiming());
            thread.Attach(&context);
            thread.Start();
        }
        EXPECT_EQ(context.GetThread(), nullptr);
        context.PushBack(std::make_unique<EventTask>(2, log, tally));
    }
    EXPECT_EQ(tally.alive.load(), 0);
}

// Producers on several threads (as the engine's workers are) while the event thread fires.
TEST(TaskThreadBase2Test, StressProducersWhileThreadFires) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 200;
    TaskThreadTiming timing = FastTiming();
    timing.taskDelayMs = 0;
    RunLog log;
    Tally tally;
    CTaskContextBase context;
    CTaskThreadBase2 thread(timing);
    thread.Attach(&context);
    thread.Start();
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i)
                context.PushBack(std::make_unique<EventTask>(p * kPerProducer + i, log, tally));
        });
    }
    for (auto& producer : producers) producer.join();
    ASSERT_TRUE(WaitUntil([&] { return log.Count() == kProducers * kPerProducer; }, std::chrono::seconds(30)));
    std::vector<int> lastSeen(kProducers, -1);
    for (int id : log.Ids()) {
        EXPECT_GT(id, lastSeen[id / kPerProducer]);
        lastSeen[id / kPerProducer] = id;
    }
    EXPECT_TRUE(WaitUntil([&] { return tally.alive.load() == 0; }));
}

}  // namespace
}  // namespace QVO::BASE
