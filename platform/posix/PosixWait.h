// The one EINTR-safe wait on a descriptor, and the deadline arithmetic that goes with it.
#pragma once

#include <poll.h>

#include <chrono>

namespace QVO::Platform {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, never negative.
int RemainingMs(Clock::time_point deadline);

void SleepMs(int ms);

// Waits until `fd` reports one of `events` (or an error/hang-up) or `timeoutMs` passes
// (negative: no limit). Returns the poll revents, 0 on time-out, -1 on error (errno set).
// EINTR waits again for the time that is left.
int WaitReady(int fd, short events, int timeoutMs);

// The same over several descriptors; `fds` revents are filled in. Returns the number of
// ready descriptors, 0 on time-out, -1 on error (errno set).
int WaitAnyReady(::pollfd* fds, unsigned count, int timeoutMs);

}  // namespace QVO::Platform
