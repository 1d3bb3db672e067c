// One queued asynchronous output: a private copy of the bytes, the ID it was given and, where
// the printer confirms outputs, the process ID its request carries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <span>

#include "so/base/TaskInterfaces.h"
#include "so/printer/OutputHeaps.h"

namespace QVO::Printer {

class CPrinterPort;
class CPrinterEventObject;

inline constexpr int32_t kNoOutputId = -1;
// Longest wait for the port lock before an output counts as not written.
inline constexpr int32_t kOutputLockTimeoutMs = 10000;

// Written by the output worker; Cancel and the queries may come from any thread.
// Execute writes the bytes (all of them again on every call: a retry after a partial write
// sends the whole output, so part of it may print twice) and reports 1 only when all went
// out; a task that was not written stays where it is. Execute raises no event: the worker
// decides when the output is complete (see CPrinterTaskThreadContext) and calls RaiseComplete.
class CPrinterOutTask : public BASE::ITaskBase {
public:
    // Copies `bytes` and then `request` from the heaps: small outputs from the small heap (the
    // large one when the small is full), large outputs from the large heap. `processId` is the
    // ID `request` asks the printer to answer with (0: no request, nothing to wait for).
    // The task keeps the heaps alive until its copy is given back.
    static std::shared_ptr<CPrinterOutTask> Create(int32_t outputId, std::shared_ptr<CPrinterPort> port,
                                                   std::shared_ptr<CPrinterEventObject> events,
                                                   std::shared_ptr<OutputHeaps> heaps, std::span<const uint8_t> bytes,
                                                   std::span<const uint8_t> request = {}, uint32_t processId = 0);

    CPrinterOutTask(int32_t outputId, std::shared_ptr<CPrinterPort> port, std::shared_ptr<CPrinterEventObject> events,
                    std::shared_ptr<OutputHeaps> heaps, HeapBlock data, uint32_t processId = 0);
    virtual ~CPrinterOutTask() = default;

    int32_t Execute() override;
    // The OutputComplete event for this output (none for kNoOutputId).
    void RaiseComplete();
    // True when the printer confirms this output with a process-ID answer.
    bool AwaitsAnswer() const { return processId_ != 0; }
    uint32_t ProcessId() const { return processId_; }
    void Cancel() override { cancelled_.store(1); }
    int32_t GetID() override { return outputId_; }
    int32_t IsRunning() override { return running_.load(); }
    int32_t IsCancelled() override { return cancelled_.load(); }

    std::size_t Size() const { return data_.size(); }
    const std::pmr::memory_resource* Heap() const { return data_.resource(); }

private:
    const int32_t outputId_;
    const std::shared_ptr<CPrinterPort> port_;
    const std::shared_ptr<CPrinterEventObject> events_;
    // Declared before the data: members go in reverse order, so the copy is given back first.
    const std::shared_ptr<OutputHeaps> heaps_;
    const HeapBlock data_;
    const uint32_t processId_;
    std::atomic<int32_t> running_{0};
    std::atomic<int32_t> cancelled_{0};
};

}  // namespace QVO::Printer
