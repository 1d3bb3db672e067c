// Reads and writes bounded by time, on the shared EINTR-safe poll wait.
#include "so/io/TimedTransfer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/PosixWait.h"

namespace QVO::IO {

using Platform::Clock;
using Platform::RemainingMs;
using Platform::SleepMs;
using Platform::WaitReady;

namespace {

Clock::time_point DeadlineIn(int ms) { return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0); }

}  // namespace

ssize_t ReadWithin(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs) {
    const Clock::time_point deadline = DeadlineIn(totalMs);
    size_t got = 0;
    int waitMs = totalMs > 0 ? totalMs : 0;
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

WriteOutcome WriteWithin(int fd, const uint8_t* data, size_t count, int stallMs, bool isSocket) {
    Clock::time_point deadline = DeadlineIn(stallMs);
    WriteOutcome out;
    bool waitedReady = false;
    while (out.written < count) {
        ssize_t n = isSocket ? ::send(fd, data + out.written, count - out.written, MSG_NOSIGNAL | MSG_DONTWAIT)
                             : ::write(fd, data + out.written, count - out.written);
        if (n > 0) {
            out.written += static_cast<size_t>(n);
            deadline = DeadlineIn(stallMs);  // progress: the peer is alive, the wait starts again
            waitedReady = false;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            out.error = errno;
            return out;
        }
        if (waitedReady) SleepMs(1);  // ready yet refused: a driver without poll support
        int left = RemainingMs(deadline);
        if (left == 0) return out;  // no byte taken for the whole wait
        int ready = WaitReady(fd, POLLOUT, left);
        if (ready < 0) {
            out.error = errno;
            return out;
        }
        if (ready == 0) return out;  // no byte taken for the whole wait
        waitedReady = true;
        // POLLERR/POLLHUP: the next write reports the error itself.
    }
    return out;
}

}  // namespace QVO::IO
