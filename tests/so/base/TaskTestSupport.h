// Test helpers for the worker threads: fast timings, recording tasks.
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sync/Mutex.h"
#include "so/base/ManualResetEvent.h"
#include "so/base/TaskInterfaces.h"
#include "so/base/TaskThreadControl.h"
#include "tests/support/WaitUntil.h"

namespace QVO::BASE::test {

using QVO::Test::WaitUntil;

// Thrown by a task that fails with something other than a std::exception.
struct NonStandardFailure {
    int code;
};

// Short polling steps so the suite stays fast; the protocol is the same.
inline TaskThreadTiming FastTiming() {
    TaskThreadTiming timing;
    timing.taskDelayMs = 1;
    timing.workWaitMs = 1;
    timing.idleWaitMs = 2;
    timing.suspendSettleMs = 1;
    timing.suspendAckTimeoutMs = 5000;
    return timing;
}

// Ordered record of which task ids ran, shared between the tasks of one test.
class RunLog {
public:
    void Add(int id) {
        Platform::MutexLock lock(mutex_);
        ids_.push_back(id);
    }
    std::vector<int> Ids() const {
        Platform::MutexLock lock(mutex_);
        return ids_;
    }
    size_t Count() const {
        Platform::MutexLock lock(mutex_);
        return ids_.size();
    }

private:
    mutable Platform::Mutex mutex_;
    std::vector<int> ids_ QUVO_GUARDED_BY(mutex_);
};

// What a test task does when it executes; defaults: log its id and finish.
struct TaskBehaviour {
    int notFinishedRuns = 0;                 // return 0 this many times first
    bool throws = false;                     // a std::runtime_error "task <id> failed"
    bool throwsNonStandard = false;          // a NonStandardFailure
    const ManualResetEvent* gate = nullptr;  // if set, Execute waits for it
    ManualResetEvent* started = nullptr;     // if set, Execute signals it on entry
    std::function<void()> during;            // runs inside Execute

    TaskBehaviour Unfinished(int runs) const {
        auto b = *this;
        b.notFinishedRuns = runs;
        return b;
    }
    TaskBehaviour Throwing() const {
        auto b = *this;
        b.throws = true;
        return b;
    }
    TaskBehaviour ThrowingNonStandard() const {
        auto b = *this;
        b.throwsNonStandard = true;
        return b;
    }
    TaskBehaviour Gated(const ManualResetEvent* g, ManualResetEvent* s) const {
        auto b = *this;
        b.gate = g;
        b.started = s;
        return b;
    }
    TaskBehaviour During(std::function<void()> f) const {
        auto b = *this;
        b.during = std::move(f);
        return b;
    }
};

class RecordingTask final : public ITaskBase {
public:
    RecordingTask(int id, RunLog& log, TaskBehaviour behaviour = {})
        : id_(id), log_(log), behaviour_(std::move(behaviour)) {}

    int32_t Execute() override {
        running_ = 1;
        if (behaviour_.started) behaviour_.started->Set();
        if (behaviour_.gate) behaviour_.gate->Wait(kInfinite);
        if (behaviour_.during) behaviour_.during();
        log_.Add(id_);
        executions_++;
        running_ = 0;
        if (behaviour_.throws) throw std::runtime_error("task " + std::to_string(id_) + " failed");
        if (behaviour_.throwsNonStandard) throw NonStandardFailure{id_};
        return executions_ > behaviour_.notFinishedRuns ? 1 : 0;
    }
    void Cancel() override { cancelled_ = 1; }
    int32_t GetID() override { return id_; }
    int32_t IsRunning() override { return running_.load(); }
    int32_t IsCancelled() override { return cancelled_.load(); }
    int Executions() const { return executions_.load(); }

private:
    const int id_;
    RunLog& log_;
    const TaskBehaviour behaviour_;
    std::atomic<int> executions_{0};
    std::atomic<int32_t> running_{0};
    std::atomic<int32_t> cancelled_{0};
};

}  // namespace QVO::BASE::test
