// Test helpers for the worker threads: deadline waits, fast timings, recording tasks.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "so/base/ManualResetEvent.h"
#include "so/base/TaskInterfaces.h"
#include "so/base/TaskThreadControl.h"

namespace QVO::BASE::test {

// Waits for a condition with a deadline; false when it never came.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

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
        std::lock_guard lock(m_mutex);
        m_ids.push_back(id);
    }
    std::vector<int> Ids() const {
        std::lock_guard lock(m_mutex);
        return m_ids;
    }
    size_t Count() const {
        std::lock_guard lock(m_mutex);
        return m_ids.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<int> m_ids;
};

// What a test task does when it executes; defaults: log its id and finish.
struct TaskBehaviour {
    int notFinishedRuns = 0;                  // return 0 this many times first
    bool throws = false;
    const ManualResetEvent* gate = nullptr;   // if set, Execute waits for it
    ManualResetEvent* started = nullptr;      // if set, Execute signals it on entry
    std::function<void()> during;             // runs inside Execute

    TaskBehaviour Unfinished(int runs) const { auto b = *this; b.notFinishedRuns = runs; return b; }
    TaskBehaviour Throwing() const { auto b = *this; b.throws = true; return b; }
    TaskBehaviour Gated(const ManualResetEvent* g, ManualResetEvent* s) const {
        auto b = *this;
        b.gate = g;
        b.started = s;
        return b;
    }
    TaskBehaviour During(std::function<void()> f) const { auto b = *this; b.during = std::move(f); return b; }
};

class RecordingTask : public ITaskBase {
public:
    RecordingTask(int id, RunLog& log, TaskBehaviour behaviour = {})
        : m_id(id), m_log(log), m_behaviour(std::move(behaviour)) {}

    int32_t Execute() override {
        m_running = 1;
        if (m_behaviour.started) m_behaviour.started->Set();
        if (m_behaviour.gate) m_behaviour.gate->Wait(kInfinite);
        if (m_behaviour.during) m_behaviour.during();
        m_log.Add(m_id);
        m_executions++;
        m_running = 0;
        if (m_behaviour.throws) throw std::runtime_error("task " + std::to_string(m_id) + " failed");
        return m_executions > m_behaviour.notFinishedRuns ? 1 : 0;
    }
    void Cancel() override { m_cancelled = 1; }
    int32_t GetID() override { return m_id; }
    int32_t IsRunning() override { return m_running.load(); }
    int32_t IsCancelled() override { return m_cancelled.load(); }
    int Executions() const { return m_executions.load(); }

private:
    const int m_id;
    RunLog& m_log;
    const TaskBehaviour m_behaviour;
    std::atomic<int> m_executions{0};
    std::atomic<int32_t> m_running{0};
    std::atomic<int32_t> m_cancelled{0};
};

} // namespace QVO::BASE::test
