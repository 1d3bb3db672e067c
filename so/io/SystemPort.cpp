// Open, close, write and the read passes shared by the device ports.
#include "so/io/SystemPort.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <limits>

#include "platform/posix/PosixWait.h"
#include "so/io/ErrorText.h"
#include "so/io/ExclusiveLock.h"
#include "so/io/TimedTransfer.h"

namespace QVO::IO {

using Platform::RemainingMs;
using Platform::SleepMs;
using Platform::UniqueFd;

namespace {

constexpr int kMaxReadPasses = 5;
constexpr size_t kReadPiece = 128;  // the printers' receive side is read in small pieces
constexpr int kNoWaitMs = 0;        // take what the line holds now

// A time-out computed from a per-byte allowance, kept within what a wait can take: a long
// write at a slow rate must wait long, not wrap round to no wait at all.
int ClampedMs(int64_t ms) {
    if (ms < 0) return 0;
    return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(ms);
}

}  // namespace

CSystemPort::CSystemPort(IPortSettings* settings, const PortEnvironment& env) : settings_(settings), env_(env) {}

CSystemPort::~CSystemPort() = default;

int32_t CSystemPort::TestOpen() {
    int32_t opened = Open();
    Close();
    return opened;
}

UniqueFd CSystemPort::OpenExclusive(const std::string& path, int extraFlags, int access) {
    int fd;
    do {
        fd = ::open(path.c_str(), access | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | extraFlags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        RecordSystemError(errno);
        return UniqueFd();
    }
    UniqueFd owned(fd);
    if (int error = LockExclusive(owned.get())) {
        RecordSystemError(error);
        return UniqueFd();
    }
    return owned;
}

int32_t CSystemPort::Open() {
    if (IsOpen()) Close();
    ClearSystemError();
    ClearPortError();
    if (devicePath_.empty()) {
        RecordSystemError(ENOENT);
        return 0;
    }
    UniqueFd fd = OpenExclusive(devicePath_);
    if (!fd.isValid()) return 0;
    AdoptDescriptor(std::move(fd));
    readable_ = true;
    byteWise_ = false;
    SetupPort();
    return IsOpen();
}

int32_t CSystemPort::Close() {
    ClearSystemError();
    CloseDescriptor();
    return 1;
}

int CSystemPort::EffectiveWriteTimeout() const {
    return timings_.writeTimeoutMs >= 0 ? timings_.writeTimeoutMs : settings_->GetWriteTimeout();
}

int CSystemPort::EffectiveReadTimeout() const {
    return timings_.readTimeoutMs >= 0 ? timings_.readTimeoutMs : settings_->GetReadTimeout();
}

void CSystemPort::SetPortError(int32_t code, const std::wstring& text) {
    lastErrorCode_ = code;
    lastErrorText_ = text.substr(0, kErrorTextChars - 1);
}

bool CSystemPort::CheckTransferArgs(const void* buffer, int32_t offset, int32_t length) {
    if (buffer != nullptr && offset >= 0 && length > 0) return true;
    RecordSystemError(EINVAL);
    return false;
}

int32_t CSystemPort::FailWrite(const std::wstring& text, int systemError) {
    SetPortError(kPortWriteError, text);
    RecordSystemError(systemError);
    return 0;
}

int CSystemPort::WriteStallLimit(int32_t length) const {
    const LineTimeouts& line = timings_.line;
    // A line without write time-outs would block for ever; the write time-out bounds it.
    if (overlapped_ || (line.writeTotalConstantMs <= 0 && line.writeTotalMultiplierMs <= 0))
        return EffectiveWriteTimeout();
    return ClampedMs(int64_t{line.writeTotalConstantMs} + int64_t{line.writeTotalMultiplierMs} * length);
}

// A write succeeds only when every byte went out: the caller cannot resend a part without
// printing it twice, so a short write is reported as a failed one. The time limit is how
// long the device may take no byte at all; a slow device that keeps taking bytes is waited
// for however long the whole write takes.
int32_t CSystemPort::Write(const uint8_t* data, int32_t offset, int32_t length) {
    ClearSystemError();
    ClearPortError();
    if (length == 0) return 0;
    if (cancel_ != 0) return FailWrite(L"Write cancelled", ECANCELED);
    if (!CheckTransferArgs(data, offset, length)) return FailWrite(L"Write refused: no data to write", EINVAL);
    const int fd = WriteFd();
    if (fd < 0) return FailWrite(L"Write failed: the port is not open", EBADF);
    const int stallMs = WriteStallLimit(length);
    const size_t total = static_cast<size_t>(length);
    WriteOutcome out = WriteWithin(fd, data + offset, total, stallMs, false);
    if (out.written == total) return 1;
    if (out.error != 0)
        return FailWrite(WithBytesSent(FormatPortError(L"Write failed", out.error), out.written, total), out.error);
    return FailWrite(
        WithBytesSent(L"Write timed out: the printer took no data for " + std::to_wstring(stallMs) + L" ms",
                      out.written, total),
        ETIMEDOUT);
}

int CSystemPort::LineReadTotal(size_t count) const {
    return ClampedMs(int64_t{timings_.line.readTotalConstantMs} +
                     int64_t{timings_.line.readTotalMultiplierMs} * static_cast<int64_t>(count));
}

int CSystemPort::ReplyWaitMs(size_t count) const {
    const int total = LineReadTotal(count);
    const int answerWithin = timings_.line.answerWithinMs;
    return byteWise_ && answerWithin > 0 && answerWithin < total ? answerWithin : total;
}

ssize_t CSystemPort::TimedRead(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs) {
    return ReadWithin(fd, buffer, count, totalMs, intervalMs);
}

// Once a reply has begun only the gaps are waited for: a reply that has ended costs one
// interval, not the whole read total per missing byte.
ssize_t CSystemPort::ReadLine(uint8_t* dest, size_t count, int firstByteMs) {
    const Platform::Clock::time_point deadline =
        Platform::Clock::now() + std::chrono::milliseconds(LineReadTotal(count));
    const int fd = ReadFd();
    size_t got = 0;
    while (got < count) {
        const int waitMs = got == 0 ? firstByteMs : std::min(timings_.line.readIntervalMs, RemainingMs(deadline));
        const ssize_t n = TimedRead(fd, dest + got, byteWise_ ? 1 : count - got, std::max(waitMs, 0), 0);
        if (n < 0) {
            RecordSystemError(errno);
            if (got == 0) return -1;
        }
        if (n <= 0) break;
        got += static_cast<size_t>(n);
        if (!byteWise_ && timings_.line.readIntervalMs <= 0) break;  // no follow-up wanted
    }
    return static_cast<ssize_t>(got);
}

bool CSystemPort::ReadPass(uint8_t* dest, size_t count, int passWaitMs, int pass, size_t& got) {
    got = 0;
    const int fd = ReadFd();
    if (fd < 0) {
        RecordSystemError(EBADF);
        return false;
    }
    const int backoffMs = timings_.backoffStepMs * pass;
    if (overlapped_) {
        ssize_t n = TimedRead(fd, dest, count, passWaitMs, 0);
        if (n < 0) RecordSystemError(errno);
        if (n <= 0) return false;
        got = static_cast<size_t>(n);
        return true;
    }
    const ssize_t n = ReadLine(dest, count, ReplyWaitMs(count));
    if (n > 0) got = static_cast<size_t>(n);
    if (got < count) SleepMs(backoffMs);
    // A byte-wise pass needs a byte; a line read that timed out still succeeded, with what it got.
    return byteWise_ ? got > 0 : n >= 0;
}

int32_t CSystemPort::Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) {
    const int passWaitMs = waitAll ? timings_.passWaitAllMs : timings_.passWaitMs;
    ClearSystemError();
    bytesRead = 0;
    if (!readable_ || cancel_ != 0) return 0;
    if (!CheckTransferArgs(buffer, offset, length)) return 0;

    uint8_t* dest = buffer + offset;
    size_t remaining = static_cast<size_t>(length);
    for (int pass = 1; pass <= kMaxReadPasses; ++pass) {
        size_t got = 0;
        bool ok = ReadPass(dest, remaining < kReadPiece ? remaining : kReadPiece, passWaitMs, pass, got);
        if (ok) {
            bytesRead += static_cast<int32_t>(got);
            dest += got;
            remaining -= got;
            if (!waitAll) return got > 0 ? 1 : 0;
            if (remaining == 0) return 1;
        } else {
            if (!waitAll) return 0;
            SleepMs(timings_.failedPassPauseMs);
        }
        if (cancel_ != 0) return 0;
    }
    return 0;
}

int32_t CSystemPort::ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t) {
    ClearSystemError();
    bytesRead = 0;
    if (!readable_) return 0;
    if (!CheckTransferArgs(buffer, offset, length)) return 0;
    const int fd = ReadFd();
    if (fd < 0) {
        RecordSystemError(EBADF);
        return 0;
    }
    uint8_t* dest = buffer + offset;
    if (overlapped_) {
        ssize_t n = TimedRead(fd, dest, static_cast<size_t>(length), timings_.passWaitMs, 0);
        if (n < 0) RecordSystemError(errno);
        if (n <= 0) return 0;
        bytesRead = static_cast<int32_t>(n);
        return 1;
    }
    // What is waiting, and the rest of a reply that has begun; nothing is waited for.
    const ssize_t n = ReadLine(dest, static_cast<size_t>(length), kNoWaitMs);
    if (n < 0) return 0;
    bytesRead = static_cast<int32_t>(n);
    return byteWise_ && n == 0 ? 0 : 1;
}

int32_t CSystemPort::ReadWithCallback(uint8_t*, int32_t, PortReadCallback) { return 0; }

// Nothing in the system reads asynchronously; this takes what is already waiting and
// completes at once, so a caller still gets its callback.
int32_t CSystemPort::BeginAsyncRead(uint8_t* buffer, int32_t offset, int32_t length) {
    if (!CheckTransferArgs(buffer, offset, length) || !readable_) return 0;
    asyncBuffer_ = buffer + offset;
    ssize_t n = TimedRead(ReadFd(), asyncBuffer_, static_cast<size_t>(length), kNoWaitMs, 0);
    if (n < 0) {
        RecordSystemError(errno);
        return 0;
    }
    OnAsyncReadComplete(static_cast<uint32_t>(n));
    return 1;
}

void CSystemPort::OnAsyncReadComplete(uint32_t bytes) {
    if (readNotify_ != 0 && readCallback_ && asyncBuffer_ != nullptr) readCallback_(asyncBuffer_, bytes);
}

int32_t CSystemPort::GetCancel(int32_t& cancel) {
    cancel = cancel_;
    return 0;
}

int32_t CSystemPort::SetCancel(int32_t cancel) {
    cancel_ = cancel;
    return 0;
}

int32_t CSystemPort::LoadCommState() {
    if (!IsOpen()) return 0;
    lineState_ = termios{};
    if (::tcgetattr(fd_.get(), &lineState_) == 0) return 1;
    RecordSystemError(errno);
    return 0;
}

int32_t CSystemPort::ApplyCommState() {
    if (!IsOpen()) return 0;
    int rc;
    do {
        rc = ::tcsetattr(fd_.get(), TCSANOW, &lineState_);
    } while (rc < 0 && errno == EINTR);
    if (rc != 0) {
        RecordSystemError(errno);
        return 0;
    }
    // Read back what the driver accepted, as the line now stands.
    return LoadCommState();
}

}  // namespace QVO::IO
