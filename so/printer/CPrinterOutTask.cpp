// CPrinterOutTask: the copy into a private heap and the locked write.
#include "so/printer/CPrinterOutTask.h"

#include <cstring>
#include <new>

#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/OutputHeaps.h"

namespace QVO::Printer {

namespace {
// The output and its process-ID request, one after the other in one block of the heap chosen
// by their size.
HeapBlock CopyToHeap(OutputHeaps& heaps, std::span<const uint8_t> bytes, std::span<const uint8_t> request) {
    const auto copy = [&](std::pmr::memory_resource* heap) {
        HeapBlock data(heap, bytes.size() + request.size());
        if (!bytes.empty()) std::memcpy(data.data(), bytes.data(), bytes.size());
        if (!request.empty()) std::memcpy(data.data() + bytes.size(), request.data(), request.size());
        return data;
    };
    std::pmr::memory_resource* heap = heaps.For(bytes.size() + request.size());
    try {
        return copy(heap);
    } catch (const std::bad_alloc&) {
        if (heap == heaps.Large()) throw;
        return copy(heaps.Large());  // small heap full
    }
}
}  // namespace

std::shared_ptr<CPrinterOutTask> CPrinterOutTask::Create(int32_t outputId, std::shared_ptr<CPrinterPort> port,
                                                         std::shared_ptr<CPrinterEventObject> events,
                                                         std::shared_ptr<OutputHeaps> heaps,
                                                         std::span<const uint8_t> bytes,
                                                         std::span<const uint8_t> request, uint32_t processId) {
    HeapBlock data = CopyToHeap(*heaps, bytes, request);
    return std::make_shared<CPrinterOutTask>(outputId, std::move(port), std::move(events), std::move(heaps),
                                             std::move(data), request.empty() ? 0 : processId);
}

CPrinterOutTask::CPrinterOutTask(int32_t outputId, std::shared_ptr<CPrinterPort> port,
                                 std::shared_ptr<CPrinterEventObject> events, std::shared_ptr<OutputHeaps> heaps,
                                 HeapBlock data, uint32_t processId)
    : outputId_(outputId),
      port_(std::move(port)),
      events_(std::move(events)),
      heaps_(std::move(heaps)),
      data_(std::move(data)),
      processId_(processId) {}

// 1: written (or nothing to write); 0: not written, the bytes are still here for a retry.
int32_t CPrinterOutTask::Execute() {
    if (data_.empty() || cancelled_.load() != 0) return 1;
    if (!port_->TimedLock(kOutputLockTimeoutMs)) return 0;
    PortLockHolder held(*port_, std::adopt_lock);
    running_.store(1);
    const int32_t written = port_->WriteLocked(data_.data(), 0, static_cast<int32_t>(data_.size()));
    running_.store(0);
    return written != 0 ? 1 : 0;
}

void CPrinterOutTask::RaiseComplete() {
    if (outputId_ != kNoOutputId && events_) events_->OutputComplete(outputId_);
}

}  // namespace QVO::Printer
