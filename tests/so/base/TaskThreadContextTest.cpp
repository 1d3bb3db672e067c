// Tests of the output-worker generation: control states, task order and reruns, failure,
// idle action, clearing, stopping in every state, and independence of two workers.
#include "so/base/CTaskThreadContext.h"

#include <gtest/gtest.h>

#include <future>

#include "tests/so/base/TaskTestSupport.h"

namespace QVO::BASE {
namespace {

using test::FastTiming;
using test::RecordingTask;
using test::RunLog;
using test::TaskBehaviour;
using test::WaitUntil;

std::shared_ptr<RecordingTask> MakeTask(int id, RunLog& log, TaskBehaviour behaviour = {}) {
    return std::make_shared<RecordingTask>(id, log, std::move(behaviour));
}

// Counts idle calls and signals each one.
struct CountingIdle final : ITask2 {
    void Run() override {
        calls++;
        ran.Set();
        if (throws) throw std::runtime_error("idle poll failed");
    }
    std::atomic<int> calls{0};
    ManualResetEvent ran;
    bool throws = false;
};

// Lets a test see that a suspend request is out before it lets a task finish.
class WatchedContext : public CTaskThreadContext {
public:
    using CTaskThreadContext::CTaskThreadContext;
    ~WatchedContext() override { Stop(); }  // the worker calls into this class until stopped
    bool SuspendRequested() const { return suspendRequest_.IsSet(); }
};

// A worker never started must not be created by Start before Init.
TEST(TaskThreadContextTest, StartBeforeInitIsRejected) {
    CTaskThreadContext context(FastTiming());
    EXPECT_EQ(context.Start(), kTaskE_UNEXPECTED);
    EXPECT_FALSE(context.HasThread());
    EXPECT_EQ(context.GetState(), TaskThreadState::New);
    EXPECT_EQ(context.Resume(), kTaskE_UNEXPECTED);  // Resume without a thread is a Start
    EXPECT_FALSE(context.HasThread());
}

// Walks the whole state sequence and checks the state and the thread at each step.
TEST(TaskThreadContextTest, ControlSequenceStates) {
    CTaskThreadContext context(FastTiming());
    int owner = 0;
    EXPECT_EQ(context.Init(&owner), 0);
    EXPECT_EQ(context.GetParameter(), &owner);
    EXPECT_EQ(context.GetState(), TaskThreadState::Initialised);
    context.Suspend();  // no thread yet: nothing happens
    EXPECT_EQ(context.GetState(), TaskThreadState::Initialised);

    EXPECT_EQ(context.Start(), 0);
    EXPECT_EQ(context.GetState(), TaskThreadState::Running);
    EXPECT_TRUE(context.HasThread());
    EXPECT_EQ(context.Init(&owner), kTaskE_UNEXPECTED);  // not while the worker lives

    context.Suspend();
    EXPECT_EQ(context.GetState(), TaskThreadState::Suspended);
    EXPECT_EQ(context.Resume(), 0);
    EXPECT_EQ(context.GetState(), TaskThreadState::Running);

    EXPECT_EQ(context.Stop(), 0);
    EXPECT_EQ(context.GetState(), TaskThreadState::Stopped);
    EXPECT_FALSE(context.HasThread());
    EXPECT_TRUE(context.StopAcknowledged().IsSet());

    // A stopped worker starts again on a new thread and runs work.
    RunLog log;
    EXPECT_EQ(context.Start(), 0);
    EXPECT_TRUE(context.HasThread());
    context.PushBack(MakeTask(1, log));
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
    EXPECT_STREQ(TaskThreadStateName(context.GetState()), "running");
}

// Tasks run one at a time in queue order; PushFront jumps the queue.
TEST(TaskThreadContextTest, TasksRunInQueueOrder) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    for (int id = 1; id <= 10; ++id) context.PushBack(MakeTask(id, log));
    context.PushFront(MakeTask(0, log));
    EXPECT_EQ(context.GetTaskCount(), 11);
    context.Start();
    EXPECT_TRUE(WaitUntil([&] { return context.IsEmpty() && log.Count() == 11; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// A task that is not finished stays at the front and runs again before the next one.
TEST(TaskThreadContextTest, UnfinishedTaskRunsAgainBeforeTheNext) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    auto slow = MakeTask(1, log, TaskBehaviour{}.Unfinished(3));
    context.PushBack(slow);
    context.PushBack(MakeTask(2, log));
    context.Start();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 5; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{1, 1, 1, 1, 2}));
    EXPECT_EQ(slow->Executions(), 4);
}

// Driven without a thread: the result of RunOne and what stays queued.
TEST(TaskThreadContextTest, RunOneResultsAndQueue) {
    CTaskThreadContext context(FastTiming());
    RunLog log;
    EXPECT_EQ(context.RunOne(), 1);  // empty queue: nothing to run
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.Unfinished(1)));
    EXPECT_EQ(context.RunOne(), 0);
    EXPECT_EQ(context.GetTaskCount(), 1);
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_TRUE(context.IsEmpty());
}

// After a task throws, nothing later runs and the failure is recorded, not fatal; something
// thrown that is not a std::exception is recorded as such.
TEST(TaskThreadContextTest, ThrowingTaskStopsLaterTasks) {
    struct Case {
        TaskBehaviour behaviour;
        const char* recorded;
    };
    const Case cases[] = {
        {TaskBehaviour{}.Throwing(), "task 1 failed"},
        {TaskBehaviour{}.ThrowingNonStandard(), "non-standard exception from a task"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        CTaskThreadContext context(FastTiming());
        RunLog log;
        context.PushBack(MakeTask(1, log, c.behaviour));
        context.PushBack(MakeTask(2, log));
        EXPECT_EQ(context.RunOne(), 0);
        EXPECT_TRUE(context.HasTaskFailed());
        EXPECT_EQ(context.GetLastError(), c.recorded);
        EXPECT_EQ(context.RunOne(), 1);
        EXPECT_EQ(context.RunOne(), 1);
        EXPECT_EQ(log.Ids(), (std::vector<int>{1}));
        EXPECT_EQ(context.GetTaskCount(), 2);  // tasks stay queued
    }
}

// The same failure on the worker thread: the worker keeps looping (it still suspends).
TEST(TaskThreadContextTest, WorkerSurvivesThrowingTask) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.Throwing()));
    context.PushBack(MakeTask(2, log));
    context.Start();
    EXPECT_TRUE(WaitUntil([&] { return context.HasTaskFailed(); }));
    context.Suspend();
    EXPECT_EQ(context.GetState(), TaskThreadState::Suspended);
    EXPECT_EQ(log.Ids(), (std::vector<int>{1}));
    EXPECT_FALSE(context.StopAcknowledged().IsSet());
}

// A RunOne override that throws: recorded as it was thrown, and the worker goes on.
class FailingFirstRunOne : public CTaskThreadContext {
public:
    using CTaskThreadContext::CTaskThreadContext;
    ~FailingFirstRunOne() override { Stop(); }
    int32_t RunOne() override {
        if (++calls == 1) throw test::NonStandardFailure{7};
        return CTaskThreadContext::RunOne();
    }
    std::atomic<int> calls{0};
};

TEST(TaskThreadContextTest, ThrowingRunOneIsRecordedAndTheWorkerGoesOn) {
    FailingFirstRunOne context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    context.PushBack(MakeTask(1, log));
    context.Start();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
    EXPECT_EQ(context.GetLastError(), "non-standard exception from RunOne");
    EXPECT_FALSE(context.StopAcknowledged().IsSet());
}

// An urgent task pushed to the front while another runs must not be dropped in its place.
TEST(TaskThreadContextTest, UrgentTaskQueuedDuringExecuteIsKept) {
    CTaskThreadContext context(FastTiming());
    RunLog log;
    auto urgent = MakeTask(9, log);
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.During([&] { context.PushFront(urgent); })));
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_EQ(context.GetTaskCount(), 1);
    EXPECT_EQ(context.RunOne(), 1);
    EXPECT_EQ(log.Ids(), (std::vector<int>{1, 9}));
    EXPECT_TRUE(context.IsEmpty());
}

TEST(TaskThreadContextTest, CancelFrontCancelsOnlyTheFront) {
    CTaskThreadContext context(FastTiming());
    RunLog log;
    context.CancelFront();  // empty: nothing to do
    auto first = MakeTask(1, log);
    auto second = MakeTask(2, log);
    context.PushBack(first);
    context.PushBack(second);
    context.CancelFront();
    EXPECT_EQ(first->IsCancelled(), 1);
    EXPECT_EQ(second->IsCancelled(), 0);
}

// The idle action runs while the queue is empty, and not while idle is disabled.
TEST(TaskThreadContextTest, IdleActionRunsWhenQueueIsEmpty) {
    CTaskThreadContext context(FastTiming());
    auto idle = std::make_shared<CountingIdle>();
    context.SetIdleTask(idle);
    context.DisableIdle();
    context.OnIdle();
    EXPECT_EQ(idle->calls.load(), 0);
    context.EnableIdle();
    context.Init(nullptr);
    context.Start();
    EXPECT_TRUE(idle->ran.Wait(10000));
    EXPECT_GE(idle->calls.load(), 1);
}

// The real steps (100 ms before a task, 300 ms idle rounds): work and idle both happen.
TEST(TaskThreadContextTest, DefaultTimingRunsTasksAndIdle) {
    CTaskThreadContext context;
    auto idle = std::make_shared<CountingIdle>();
    context.SetIdleTask(idle);
    context.Init(nullptr);
    context.Start();
    EXPECT_TRUE(idle->ran.Wait(10000));
    RunLog log;
    context.PushBack(MakeTask(1, log));
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
}

// An idle action that throws ends the loop: recorded, acknowledged as stopped, no crash.
TEST(TaskThreadContextTest, ThrowingIdleActionEndsLoopVisibly) {
    CTaskThreadContext context(FastTiming());
    auto idle = std::make_shared<CountingIdle>();
    idle->throws = true;
    context.SetIdleTask(idle);
    context.Init(nullptr);
    context.Start();
    EXPECT_TRUE(context.StopAcknowledged().Wait(10000));
    EXPECT_EQ(context.GetLastError(), "idle poll failed");
}

// Suspend waits for the task in progress: the acknowledgement comes only between tasks.
TEST(TaskThreadContextTest, SuspendWaitsForRunningTask) {
    WatchedContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    ManualResetEvent gate, started;
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.Gated(&gate, &started)));
    context.PushBack(MakeTask(2, log));
    context.Start();
    ASSERT_TRUE(started.Wait(10000));
    auto suspended = std::async(std::launch::async, [&] {
        context.Suspend();
        return log.Count();  // what had run when Suspend returned
    });
    ASSERT_TRUE(WaitUntil([&] { return context.SuspendRequested(); }));
    gate.Set();
    EXPECT_EQ(suspended.get(), 1u);
    EXPECT_EQ(context.GetState(), TaskThreadState::Suspended);
    context.Resume();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 2; }));
}

// Stop while a task runs: the task completes, the worker leaves, later tasks stay queued.
TEST(TaskThreadContextTest, StopWhileTaskRuns) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    ManualResetEvent gate, started;
    auto running = MakeTask(1, log, TaskBehaviour{}.Gated(&gate, &started));
    context.PushBack(running);
    context.PushBack(MakeTask(2, log));
    context.Start();
    ASSERT_TRUE(started.Wait(10000));
    auto stopped = std::async(std::launch::async, [&] { return context.Stop(); });
    ASSERT_TRUE(WaitUntil([&] { return context.GetState() == TaskThreadState::Stopped; }));
    gate.Set();
    EXPECT_EQ(stopped.get(), 0);
    EXPECT_EQ(running->Executions(), 1);
    EXPECT_EQ(context.GetState(), TaskThreadState::Stopped);
    EXPECT_FALSE(context.HasThread());
    EXPECT_TRUE(context.StopAcknowledged().IsSet());
    EXPECT_EQ(log.Ids(), (std::vector<int>{1}));
    EXPECT_EQ(context.GetTaskCount(), 1);
}

// A task that resumes its own worker while the owner stops it must not cancel the stop
// (the owner would wait for the join for ever).
TEST(TaskThreadContextTest, StopWinsOverResumeFromTheWorker) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    ManualResetEvent gate, started;
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.Gated(&gate, &started).During([&] { context.Resume(); })));
    context.Start();
    ASSERT_TRUE(started.Wait(10000));
    auto stopped = std::async(std::launch::async, [&] { return context.Stop(); });
    ASSERT_TRUE(WaitUntil([&] { return context.GetState() == TaskThreadState::Stopped; }));
    gate.Set();
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(context.HasThread());
    EXPECT_EQ(context.GetState(), TaskThreadState::Stopped);
    EXPECT_TRUE(context.StopAcknowledged().IsSet());
}

// A Stop that overtakes a pending Suspend ends it at once and its stopped state stands.
TEST(TaskThreadContextTest, StopDuringSuspendKeepsStoppedState) {
    WatchedContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    ManualResetEvent gate, started;
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.Gated(&gate, &started)));
    context.Start();
    ASSERT_TRUE(started.Wait(10000));
    auto suspended = std::async(std::launch::async, [&] { context.Suspend(); });
    ASSERT_TRUE(WaitUntil([&] { return context.SuspendRequested(); }));
    auto stopped = std::async(std::launch::async, [&] { return context.Stop(); });
    ASSERT_TRUE(WaitUntil([&] { return context.GetState() == TaskThreadState::Stopped; }));
    gate.Set();
    stopped.get();
    suspended.get();
    EXPECT_EQ(context.GetState(), TaskThreadState::Stopped);
    EXPECT_FALSE(context.HasThread());
}

// Stop in states where no thread exists changes nothing.
TEST(TaskThreadContextTest, StopWithoutThreadIsHarmless) {
    CTaskThreadContext fresh(FastTiming());
    EXPECT_EQ(fresh.Stop(), 0);
    EXPECT_EQ(fresh.GetState(), TaskThreadState::New);
    CTaskThreadContext initialised(FastTiming());
    initialised.Init(nullptr);
    EXPECT_EQ(initialised.Stop(), 0);
    EXPECT_EQ(initialised.GetState(), TaskThreadState::Initialised);
    EXPECT_EQ(initialised.Stop(), 0);
}

// A task may stop its own worker; the worker leaves after it and a later Start runs again.
TEST(TaskThreadContextTest, TaskStopsItsOwnWorker) {
    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    RunLog log;
    context.PushBack(MakeTask(1, log, TaskBehaviour{}.During([&] { context.Stop(); })));
    context.Start();
    EXPECT_TRUE(context.StopAcknowledged().Wait(10000));
    EXPECT_EQ(context.GetState(), TaskThreadState::Stopped);
    EXPECT_EQ(context.Start(), 0);  // joins the old worker first
    context.PushBack(MakeTask(2, log));
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 2; }));
}

// Destroying a running worker with queued tasks stops it and frees every task.
TEST(TaskThreadContextTest, DestroyWithoutStop) {
    RunLog log;
    std::weak_ptr<RecordingTask> queued;
    ManualResetEvent started, gate;
    {
        CTaskThreadContext context(FastTiming());
        context.Init(nullptr);
        auto task = MakeTask(2, log);
        queued = task;
        gate.Set();
        context.PushBack(MakeTask(1, log, TaskBehaviour{}.Unfinished(1000000).Gated(&gate, &started)));
        context.PushBack(task);
        context.Start();
        ASSERT_TRUE(started.Wait(10000));
    }
    EXPECT_TRUE(queued.expired());
}

// ClearTasks: empty queue leaves everything alone; otherwise the queue is emptied unrun and
// the worker runs afterwards (started if it never was).
TEST(TaskThreadContextTest, ClearTasks) {
    RunLog log;
    CTaskThreadContext idleOne(FastTiming());
    idleOne.Init(nullptr);
    idleOne.ClearTasks();
    EXPECT_FALSE(idleOne.HasThread());
    EXPECT_EQ(idleOne.GetState(), TaskThreadState::Initialised);

    CTaskThreadContext context(FastTiming());
    context.Init(nullptr);
    context.Start();
    context.Suspend();
    for (int id = 1; id <= 5; ++id) context.PushBack(MakeTask(id, log));
    context.ClearTasks();
    EXPECT_TRUE(context.IsEmpty());
    EXPECT_EQ(context.GetState(), TaskThreadState::Running);
    context.PushBack(MakeTask(6, log));
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{6}));

    CTaskThreadContext neverStarted(FastTiming());
    neverStarted.Init(nullptr);
    neverStarted.PushBack(MakeTask(7, log));
    neverStarted.ClearTasks();
    EXPECT_TRUE(neverStarted.HasThread());
    EXPECT_EQ(neverStarted.GetState(), TaskThreadState::Running);
}

// Suspending one worker leaves another (with the same event names) running.
TEST(TaskThreadContextTest, TwoContextsDoNotInterfere) {
    CTaskThreadContext first(FastTiming());
    CTaskThreadContext second(FastTiming());
    first.Init(nullptr);
    second.Init(nullptr);
    first.Start();
    second.Start();
    first.Suspend();
    EXPECT_EQ(first.GetState(), TaskThreadState::Suspended);
    RunLog log;
    second.PushBack(MakeTask(2, log));
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
    EXPECT_EQ(second.GetState(), TaskThreadState::Running);
    first.PushBack(MakeTask(1, log));
    second.Stop();
    EXPECT_TRUE(first.HasThread());
    first.Resume();
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 2; }));
    EXPECT_EQ(log.Ids(), (std::vector<int>{2, 1}));
}

// Several producers queue while the worker drains: every task runs once, in each
// producer's order.
TEST(TaskThreadContextTest, StressProducersWhileWorkerDrains) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 250;
    TaskThreadTiming timing = FastTiming();
    timing.taskDelayMs = 0;
    CTaskThreadContext context(timing);
    context.Init(nullptr);
    context.Start();
    RunLog log;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) context.PushBack(MakeTask(p * kPerProducer + i, log));
        });
    }
    for (auto& producer : producers) producer.join();
    ASSERT_TRUE(WaitUntil([&] { return log.Count() == kProducers * kPerProducer; }, std::chrono::seconds(30)));
    std::vector<int> lastSeen(kProducers, -1);
    for (int id : log.Ids()) {
        EXPECT_GT(id, lastSeen[id / kPerProducer]);
        lastSeen[id / kPerProducer] = id;
    }
    EXPECT_TRUE(context.IsEmpty());
}

}  // namespace
}  // namespace QVO::BASE
