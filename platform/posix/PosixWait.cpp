// poll-based waits with EINTR retries and deadlines.
#include "platform/posix/PosixWait.h"

#include <poll.h>

#include <cerrno>
#include <thread>

namespace QVO::Platform {

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int WaitAnyReady(::pollfd* fds, unsigned count, int timeoutMs) {
    const bool forever = timeoutMs < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        int rc = ::poll(fds, count, forever ? -1 : RemainingMs(deadline));
        if (rc >= 0) return rc;
        if (errno != EINTR) return -1;
    }
}

int WaitReady(int fd, short events, int timeoutMs) {
    ::pollfd pfd{fd, events, 0};
    int rc = WaitAnyReady(&pfd, 1, timeoutMs);
    return rc > 0 ? pfd.revents : rc;
}

}  // namespace QVO::Platform
