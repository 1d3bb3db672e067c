// poll-based waits with EINTR retries and deadlines.
#include "so/io/PosixWait.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace QVO::IO {

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int WaitReady(int fd, short events, int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pfd{fd, events, 0};
        int rc = ::poll(&pfd, 1, RemainingMs(deadline));
        if (rc > 0) return pfd.revents;
        if (rc == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

ssize_t ReadWithin(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs > 0 ? totalMs : 0);
    size_t got = 0;
    int waitMs = totalMs;
    while (got < count) {
        int ready = WaitReady(fd, POLLIN, waitMs);
        if (ready < 0) return got > 0 ? static_cast<ssize_t>(got) : -1;
        if (ready == 0) break;
        ssize_t n = ::read(fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            if (intervalMs <= 0) break;
            int left = RemainingMs(deadline);
            waitMs = intervalMs < left ? intervalMs : left;
            if (waitMs == 0) break;
            continue;
        }
        if (n == 0) break;  // end of file: nothing more will come
        if (errno == EINTR || errno == EAGAIN) {
            // Readiness without data: wait again, within what is left of the time. A
            // driver without poll support (the parallel port's) always reports ready, so
            // step a millisecond rather than spin.
            if (errno == EAGAIN) SleepMs(1);
            int left = RemainingMs(deadline);
            waitMs = got == 0 || intervalMs > left ? left : intervalMs;
            if (waitMs == 0) break;
            continue;
        }
        return got > 0 ? static_cast<ssize_t>(got) : -1;
    }
    return static_cast<ssize_t>(got);
}

WriteOutcome WriteWithin(int fd, const uint8_t* data, size_t count, int timeoutMs, bool isSocket) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    WriteOutcome out;
    bool waitedReady = false;
    while (out.written < count) {
        ssize_t n = isSocket ? ::send(fd, data + out.written, count - out.written, MSG_NOSIGNAL | MSG_DONTWAIT)
                             : ::write(fd, data + out.written, count - out.written);
        if (n > 0) {
            out.written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            out.error = errno;
            return out;
        }
        if (waitedReady) SleepMs(1);  // ready yet refused: a driver without poll support
        int left = RemainingMs(deadline);
        if (left == 0) return out;  // time is up
        int ready = WaitReady(fd, POLLOUT, left);
        if (ready < 0) {
            out.error = errno;
            return out;
        }
        if (ready == 0) return out;  // time is up
        waitedReady = true;
        // POLLERR/POLLHUP: the next write reports the error itself.
    }
    return out;
}

}  // namespace QVO::IO
