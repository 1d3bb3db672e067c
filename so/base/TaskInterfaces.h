// Task interfaces run by the worker threads: idle action, queued task, second-generation task.
#pragma once

#include <atomic>
#include <cstdint>

namespace QVO::BASE {

// The worker's idle action (the output worker polls the printer status with it).
// Held by std::shared_ptr, which deletes through the concrete type, so the interface keeps
// exactly its one operation in its table.
// Thread safety: Run is called on the worker thread only.
struct ITask2 {
    virtual void Run() = 0;

protected:
    ~ITask2() = default;
};

// A task queued on a CTaskThreadContext, operations in their fixed order.
// Held by std::shared_ptr (see ITask2). Thread safety: Execute runs on the worker thread;
// Cancel and the queries may be called from any thread and must be safe for that.
struct ITaskBase {
    // Does the work; non-zero when the task is finished, 0 to be run again.
    virtual int32_t Execute() = 0;
    virtual void Cancel() = 0;
    virtual int32_t GetID() = 0;
    virtual int32_t IsRunning() = 0;
    virtual int32_t IsCancelled() = 0;

protected:
    ~ITaskBase() = default;
};

// A task queued on a CTaskContextBase. The queue owns it and deletes it through the virtual
// destructor once it has run, was cancelled, or is cleared.
// Thread safety: Execute and OnSuccess run on the worker thread; the flags may be read and
// set from any thread.
class CTaskBase {
public:
    CTaskBase() = default;
    virtual ~CTaskBase() = default;
    CTaskBase(const CTaskBase&) = delete;
    CTaskBase& operator=(const CTaskBase&) = delete;

    // Does the work; non-zero on success. A 0 stops the queue from running later tasks.
    virtual int32_t Execute() = 0;
    // Runs after a successful Execute of a task that was not cancelled meanwhile.
    virtual void OnSuccess() {}

    void Cancel() { cancelled_.store(1); }
    bool IsCancelled() const { return cancelled_.load() != 0; }
    bool IsRunning() const { return running_.load() != 0; }
    void SetRunning(bool running) { running_.store(running ? 1 : 0); }

private:
    std::atomic<int32_t> cancelled_{0};
    std::atomic<int32_t> running_{0};
};

}  // namespace QVO::BASE
