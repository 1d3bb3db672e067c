// What the printer sends back, split by kind: process-ID answers, automatic status blocks and
// the rest (answers to status requests), so that no reader eats another reader's bytes.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/sync/Mutex.h"

namespace QVO::Printer {

// The ID of the request appended to synchronous sends ("FFFF"): nobody waits for its answer.
inline constexpr uint32_t kSynchronousProcessId = 0x46464646;

// The 4 request bytes of a queued output, derived from its output ID: printable (0x20..0x7E),
// the first byte never 'F' (so never the synchronous ID), distinct for 94 * 95^3 consecutive IDs.
uint32_t ProcessIdForOutput(int32_t outputId);

// An incremental splitter of the reply stream. Recognised, wherever they start:
//   - a process-ID answer: 37 22 d1 d2 d3 d4 00, each d in 0x20..0x7E;
//   - an automatic status block: 4 bytes, the first with bits 0x93 = 0x10, the others with
//     bits 0x90 clear.
// Any other byte is an answer to a status request. A message cut between two reads waits for
// its rest; a prefix that turns out to be no message gives its first byte to the others and
// the scan goes on from the next byte. Answers to synchronous sends are dropped.
//
// Shared by the engine's status readers (application and worker threads) and the output
// worker; feed it only with the port lock held, so bytes go in in the order they came.
// Thread-safe; its mutex is innermost (taken under the port lock, nothing taken under it).
class PrinterReplies {
public:
    using Clock = std::chrono::steady_clock;
    using AutoStatusBlock = std::array<uint8_t, 4>;

    void Feed(const uint8_t* data, size_t size);

    // The process-ID answers in arrival order, removed.
    std::vector<uint32_t> TakeProcessIds();
    // The oldest automatic status block, removed; false when none came.
    bool TakeAutoStatus(AutoStatusBlock& block);
    // True when the bytes held back could still become an automatic status block.
    bool AutoStatusStarted() const;
    // The newest other byte; the older ones are dropped with it. False when there is none.
    bool TakeLastOther(uint8_t& byte);
    // Forgets the other bytes (an exchange about to start must not take an old answer).
    void DropOthers();
    // When a byte last came in (the epoch when none came yet).
    Clock::time_point LastByteAt() const;

private:
    // Bounds: more than this many of a kind waiting means nobody reads them.
    static constexpr size_t kMaxProcessIds = 4096;
    static constexpr size_t kMaxAutoStatus = 16;
    static constexpr size_t kMaxOthers = 256;

    void ScanLocked() QUVO_REQUIRES(mutex_);
    // How many bytes at the front of pending_ make one message: 0 none, kNeedMore unknown yet.
    size_t MatchProcessIdLocked() const QUVO_REQUIRES(mutex_);
    size_t MatchAutoStatusLocked() const QUVO_REQUIRES(mutex_);
    void AddOtherLocked(uint8_t byte) QUVO_REQUIRES(mutex_);

    mutable Platform::Mutex mutex_;
    std::deque<uint8_t> pending_ QUVO_GUARDED_BY(mutex_);
    std::deque<uint32_t> processIds_ QUVO_GUARDED_BY(mutex_);
    std::deque<AutoStatusBlock> autoStatus_ QUVO_GUARDED_BY(mutex_);
    std::deque<uint8_t> others_ QUVO_GUARDED_BY(mutex_);
    std::atomic<Clock::rep> lastByteAt_{0};
};

}  // namespace QVO::Printer
