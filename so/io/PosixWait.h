// Deadline-bounded waits, reads and writes on non-blocking descriptors.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace QVO::IO {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, never negative.
int RemainingMs(Clock::time_point deadline);

void SleepMs(int ms);

// Waits until `fd` reports one of `events` (or an error/hang-up) or `timeoutMs` passes.
// Returns the poll revents, 0 on time-out, -1 on error (errno set). EINTR waits again for
// the time that is left.
int WaitReady(int fd, short events, int timeoutMs);

// Reads up to `count` bytes the way a serial line's read time-outs work: waits up to
// `totalMs` for data; after a byte arrived it waits for more only while the gap stays
// under `intervalMs` (0: no follow-up) and the total lasts. End of file stops at once.
// Returns the byte count (0: nothing came) or -1 on a failed read (errno set).
ssize_t ReadWithin(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs);

struct WriteOutcome {
    size_t written = 0;  // bytes handed to the kernel
    int error = 0;       // errno of a failed write, 0 when it only ran out of time
};

// Writes until all `count` bytes are out, the time-out passes or a write fails. A short
// count with error 0 means the peer did not take the rest in time; the caller treats
// the whole write as failed because it cannot know what the printer made of a part.
// `isSocket` sends with MSG_NOSIGNAL so a closed peer is an error, not a signal.
WriteOutcome WriteWithin(int fd, const uint8_t* data, size_t count, int timeoutMs, bool isSocket);

}  // namespace QVO::IO
