// Deadline-bounded reads and writes on non-blocking descriptors, built on the shared poll wait.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace QVO::IO {

// Reads up to `count` bytes the way a serial line's read time-outs work: waits up to
// `totalMs` for data; after a byte arrived it waits for more only while the gap stays
// under `intervalMs` (0: no follow-up) and the total lasts. End of file stops at once.
// Returns the byte count (0: nothing came) or -1 on a failed read (errno set).
ssize_t ReadWithin(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs);

struct WriteOutcome {
    size_t written = 0;  // bytes handed to the kernel
    int error = 0;       // errno of a failed write, 0 when the peer stopped taking bytes
};

// Writes until all `count` bytes are out, a write fails, or `stallMs` pass in which the
// descriptor takes no byte. Every byte taken starts the wait anew: a slow but steady peer
// is never cut off, a stopped one is after `stallMs`. A short count with error 0 means the
// peer stopped taking bytes; the caller treats the whole write as failed because it cannot
// know what the printer made of a part. `isSocket` sends with MSG_NOSIGNAL so a closed
// peer is an error, not a signal.
WriteOutcome WriteWithin(int fd, const uint8_t* data, size_t count, int stallMs, bool isSocket);

}  // namespace QVO::IO
