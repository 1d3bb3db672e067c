// Connecting, writing with reconnects, and reading on a network printer's socket.
#include "so/io/TCPIPPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>

#include "so/io/ErrorText.h"
#include "so/io/PosixWait.h"
#include "platform/text/TextConv.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;
namespace {

constexpr int kMaxWriteAttempts = 3;
constexpr int kMaxReadsStarted = 5;
constexpr size_t kReadPiece = 128;
constexpr int kSendBufferBytes = 4096;

void SetIntOption(int fd, int level, int name, int value) { ::setsockopt(fd, level, name, &value, sizeof value); }

void SetTimeOption(int fd, int name, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, name, &tv, sizeof tv);
}

}  // namespace

TCPIPPort::TCPIPPort(const TCPIPPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings), abortEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    devicePath_ = WideToUtf8(ownSettings_.GetSettingsString());
}

TCPIPPort::~TCPIPPort() {
    if (open_) Close();
    CloseSocket();
}

void TCPIPPort::CreateSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        createError_ = errno;
        return;
    }
    createError_ = 0;
    fd_.reset(fd);
    SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetTimeOption(fd, SO_RCVTIMEO, ownSettings_.GetReadTimeout());
    SetTimeOption(fd, SO_SNDTIMEO, ownSettings_.GetWriteTimeout());
    linger noLinger{0, 0};  // close returns at once; unsent bytes still go out
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    SetIntOption(fd, SOL_SOCKET, SO_SNDBUF, kSendBufferBytes);
}

void TCPIPPort::CloseSocket() {
    connected_ = 0;
    if (!fd_.isValid()) return;
    ::shutdown(fd_.get(), SHUT_RDWR);
    fd_.reset();
}

int TCPIPPort::ConnectOnce() {
    if (!fd_.isValid()) return createError_ != 0 ? createError_ : EBADF;
    if (!remoteValid_) return EINVAL;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return errno;

    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&remote_), sizeof remote_) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    // Bounded, so that a printer that is switched off does not hold the caller for the
    // minutes the system would otherwise try.
    int ready = WaitReady(fd_.get(), POLLOUT, timings_.connectTimeoutMs);
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
}

bool TCPIPPort::ConnectSocket() {
    if (!fd_.isValid()) CreateSocket();
    int error = ConnectOnce();
    if (error != 0) {
        CloseSocket();
        CreateSocket();
        error = ConnectOnce();
    }
    if (error != 0) {
        SetPortError(kPortConnectError, FormatPortError(kConnectFailText, error));
        RecordSystemError(error);
        CloseSocket();
        return false;
    }
    connected_ = 1;
    return true;
}

bool TCPIPPort::TakeEndpointLock() {
    // One port per printer address across processes: a second user would interleave its
    // output with ours. Without a usable lock directory we go on unlocked rather than
    // refuse to print.
    // The name comes from the parsed address, not the configured text: every spelling of
    // one address shares one lock, and no text can steer the file elsewhere. An address
    // that does not parse cannot connect, so it needs no lock.
    if (!remoteValid_) return true;
    char address[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &remote_.sin_addr, address, sizeof address) == nullptr) return true;
    ::mkdir(env_.lockDir.c_str(), 0755);
    std::string name = env_.lockDir + "/tcp-" + address + "-" + std::to_string(ownSettings_.GetTcpPort()) + ".lock";
    int fd = ::open(name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return true;
    UniqueFd lock(fd);
    int rc;
    do {
        rc = ::flock(lock.get(), LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 && errno == EWOULDBLOCK) return false;
    endpointLock_ = std::move(lock);
    return true;
}

int32_t TCPIPPort::Open() {
    if (open_) Close();
    ClearSystemError();
    remote_ = sockaddr_in{};
    remote_.sin_family = AF_INET;
    remote_.sin_port = htons(ownSettings_.GetTcpPort());
    remoteValid_ = ::inet_aton(ownSettings_.GetAddress(), &remote_.sin_addr) != 0;

    if (!TakeEndpointLock()) {
        SetPortError(kPortConnectError, FormatPortError(kConnectFailText, EBUSY));
        RecordSystemError(EBUSY);
        return 0;
    }
    CreateSocket();
    if (ConnectSocket()) open_ = 1;
    else endpointLock_.reset();
    return open_;
}

int32_t TCPIPPort::Close() {
    ClearSystemError();
    CloseSocket();
    endpointLock_.reset();
    open_ = 0;
    return 1;
}

bool TCPIPPort::PeerHasClosed() const {
    int ready = WaitReady(fd_.get(), POLLIN | POLLRDHUP, 0);
    return ready > 0 && (ready & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

int32_t TCPIPPort::Write(const uint8_t* data, int32_t offset, int32_t length) {
    const int timeout = EffectiveWriteTimeout();
    ClearSystemError();
    int32_t cancel = cancel_;
    if (length == 0) return 0;
    if (!CheckTransferArgs(data, offset, length)) return 0;

    // Only an open port reconnects: after Close the printer may belong to someone else.
    if (!open_) {
        RecordSystemError(ENOTCONN);
        return 0;
    }

    const uint8_t* next = data + offset;
    size_t remaining = static_cast<size_t>(length);
    int attempts = 0;
    int reconnects = 0;
    while (cancel == 0 && remaining > 0 && attempts < kMaxWriteAttempts) {
        int error = 0;
        WriteOutcome out;
        if (!fd_.isValid()) error = ENOTCONN;
        else if (PeerHasClosed()) error = ECONNRESET;
        else {
            out = WriteWithin(fd_.get(), next, remaining, timeout, true);
            if (out.written == 0) error = out.error;
        }
        if (error != 0) {
            // Reconnecting does not use up an attempt, but it is bounded: a printer that
            // accepts and drops every connection must not keep the writer here for ever.
            if (reconnects < timings_.maxReconnectsPerWrite && ConnectSocket()) {
                ++reconnects;
                lastErrorText_.clear();
                continue;
            }
            SetPortError(kPortConnectError, FormatPortError(kWriteReconnectFailText, error));
            RecordSystemError(error);
            return 0;
        }
        if (out.written == remaining) return 1;
        ++attempts;
        next += out.written;
        remaining -= out.written;
        cancel = cancel_;
    }
    if (remaining > 0) RecordSystemError(ETIMEDOUT);
    return 0;
}

int32_t TCPIPPort::Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) {
    const int timeout = EffectiveReadTimeout();
    ClearSystemError();
    bytesRead = 0;
    if (!CheckTransferArgs(buffer, offset, length)) return 0;
    if (!fd_.isValid()) {
        RecordSystemError(ENOTCONN);
        return 0;
    }
    uint8_t* dest = buffer + offset;
    size_t remaining = static_cast<size_t>(length);
    int started = 0;
    while (cancel_ == 0 && remaining > 0 && started < kMaxReadsStarted) {
        ++started;
        ssize_t n = ReadWithin(fd_.get(), dest, remaining < kReadPiece ? remaining : kReadPiece, timeout, 0);
        if (n < 0) RecordSystemError(errno);
        if (n > 0) {
            bytesRead += static_cast<int32_t>(n);
            if (!waitAll || bytesRead == length) return 1;
            ++started;  // a partial read costs a second one
            dest += n;
            remaining -= static_cast<size_t>(n);
        } else if (!waitAll) {
            return 0;
        }
    }
    return 0;
}

int32_t TCPIPPort::ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t) {
    ClearSystemError();
    bytesRead = 0;
    if (!CheckTransferArgs(buffer, offset, length)) return 0;
    if (!fd_.isValid()) {
        RecordSystemError(ENOTCONN);
        return 0;
    }
    ssize_t n;
    do {
        n = ::recv(fd_.get(), buffer + offset, static_cast<size_t>(length), MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        RecordSystemError(n < 0 ? errno : ECONNRESET);
        return 0;
    }
    bytesRead = static_cast<int32_t>(n);
    return 1;
}

// Waits without a time limit until data comes or AbortRead is called. Reads at most
// `length` bytes, the size of the caller's buffer.
int32_t TCPIPPort::ReadWithCallback(uint8_t* buffer, int32_t length, PortReadCallback callback) {
    if (!CheckTransferArgs(buffer, 0, length) || !fd_.isValid() || !abortEvent_.isValid()) return 0;
    const size_t count = static_cast<size_t>(length) < kReadPiece ? static_cast<size_t>(length) : kReadPiece;
    for (;;) {
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {abortEvent_.get(), POLLIN, 0}};
        int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return 0;
        if (fds[1].revents != 0) {
            uint64_t drained;
            (void)!::read(abortEvent_.get(), &drained, sizeof drained);
            return 0;
        }
        ssize_t n = ::recv(fd_.get(), buffer, count, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return 0;
        if (n >= length && callback) callback(buffer, static_cast<uint32_t>(n));
        return 1;
    }
}

void TCPIPPort::AbortRead() {
    uint64_t one = 1;
    if (abortEvent_.isValid()) (void)!::write(abortEvent_.get(), &one, sizeof one);
}

}  // namespace QVO::IO
