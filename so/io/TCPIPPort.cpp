// Resolving, locking and connecting, writing with reconnects, and reading on a network printer's socket.
#include "so/io/TCPIPPort.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>

#include "platform/posix/PosixWait.h"
#include "platform/text/TextConv.h"
#include "so/io/ErrorText.h"
#include "so/io/TimedTransfer.h"

namespace QVO::IO {

using namespace QVO::Platform::Text;
using Platform::UniqueFd;
using Platform::WaitAnyReady;
using Platform::WaitReady;

namespace {

constexpr int kConnectAttempts = 2;
constexpr int kMaxWriteAttempts = 3;  // write time-outs in a row without a byte taken
constexpr int kMaxReadsStarted = 5;
constexpr size_t kReadPiece = 128;
constexpr int kSendBufferBytes = 4096;

void SetIntOption(int fd, int level, int name, int value) { ::setsockopt(fd, level, name, &value, sizeof value); }

void SetTimeOption(int fd, int name, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, name, &tv, sizeof tv);
}

// Letters, digits, '-' and '.', not starting with a separator: what may go to the
// resolver. Anything else is refused before a lookup is made.
bool IsHostName(const char* text) {
    if (*text == '\0' || *text == '-' || *text == '.') return false;
    for (const char* c = text; *c != '\0'; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '-' && *c != '.') return false;
    return true;
}

}  // namespace

TCPIPPort::TCPIPPort(const TCPIPPortSettings& settings, const PortEnvironment& env)
    : CSystemPort(&ownSettings_, env), ownSettings_(settings), abortEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    SetDevicePath(WideToUtf8(ownSettings_.GetSettingsString()));
}

TCPIPPort::~TCPIPPort() { Close(); }

std::wstring TCPIPPort::EndpointText() const {
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &remote_.sin_addr, address, sizeof address);
    return Utf8ToWide(address) + L":" + std::to_wstring(ntohs(remote_.sin_port));
}

bool TCPIPPort::ResolveRemote() {
    remote_ = sockaddr_in{};
    remote_.sin_family = AF_INET;
    remote_.sin_port = htons(ownSettings_.GetTcpPort());
    const char* address = ownSettings_.GetAddress();
    const std::wstring what = L"Cannot connect to the printer: the address \"" + AnsiToWide(address) + L"\"";
    if (::inet_aton(address, &remote_.sin_addr) != 0) return true;
    if (!IsHostName(address)) {
        SetPortError(kPortConnectError, PortErrorText(what, L"is neither an IPv4 address nor a host name"));
        RecordSystemError(EINVAL);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;  // the printer's socket is IPv4
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(address, nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        const int error = rc == EAI_SYSTEM ? errno : EADDRNOTAVAIL;
        SetPortError(kPortConnectError,
                     PortErrorText(what + L" does not resolve to an IPv4 address", Utf8ToWide(::gai_strerror(rc))));
        RecordSystemError(error);
        return false;
    }
    remote_.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

bool TCPIPPort::TakeEndpointLock() {
    // One port per printer across users and processes: a second one would interleave its
    // output with ours. The name comes from the resolved address, not the configured text:
    // every spelling of one printer shares one lock, and no text can steer the file
    // elsewhere. No lock, no open: printing unlocked would lose that guarantee silently.
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &remote_.sin_addr, address, sizeof address);
    const std::string name = std::string("tcp-") + address + "-" + std::to_string(ownSettings_.GetTcpPort()) + ".lock";
    std::string failedStep;
    const int error = endpointLock_.Acquire(Environment().lockDir, name, failedStep);
    if (error == 0) return true;
    if (error == EBUSY)
        SetPortError(kPortLockError, L"The printer at " + EndpointText() + L" is in use by another port");
    else
        SetPortError(
            kPortLockError,
            FormatPortError(L"Cannot lock the printer at " + EndpointText() + L": " + Utf8ToWide(failedStep), error));
    RecordSystemError(error);
    return false;
}

UniqueFd TCPIPPort::NewSocket(int& error) const {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!fd.isValid()) {
        error = errno;
        return fd;
    }
    SetIntOption(fd.get(), IPPROTO_TCP, TCP_NODELAY, 1);
    SetTimeOption(fd.get(), SO_RCVTIMEO, ownSettings_.GetReadTimeout());
    SetTimeOption(fd.get(), SO_SNDTIMEO, ownSettings_.GetWriteTimeout());
    linger noLinger{0, 0};  // close returns at once; unsent bytes still go out
    ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
    SetIntOption(fd.get(), SOL_SOCKET, SO_SNDBUF, kSendBufferBytes);
    return fd;
}

int TCPIPPort::ConnectOnce(int fd) const {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote_), sizeof remote_) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    // Bounded, so that a printer that is switched off does not hold the caller for the
    // minutes the system would otherwise try.
    int ready = WaitReady(fd, POLLOUT, GetTimings().connectTimeoutMs);
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
}

bool TCPIPPort::ConnectSocket() {
    int error = 0;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        UniqueFd socket = NewSocket(error);
        if (!socket.isValid()) break;
        error = ConnectOnce(socket.get());
        if (error == 0) {
            AdoptDescriptor(std::move(socket));
            connected_ = true;
            return true;
        }
    }
    SetPortError(kPortConnectError, FormatPortError(L"Cannot connect to the printer at " + EndpointText(), error));
    RecordSystemError(error);
    return false;
}

bool TCPIPPort::Reconnect() {
    connected_ = false;
    if (IsOpen()) ::shutdown(Descriptor(), SHUT_RDWR);
    return ConnectSocket();
}

int32_t TCPIPPort::Open() {
    if (IsOpen()) Close();
    ClearSystemError();
    ClearPortError();
    if (!ResolveRemote() || !TakeEndpointLock()) return 0;
    if (!ConnectSocket()) {
        endpointLock_.Release();
        return 0;
    }
    return 1;
}

int32_t TCPIPPort::Close() {
    ClearSystemError();
    connected_ = false;
    if (IsOpen()) ::shutdown(Descriptor(), SHUT_RDWR);
    CloseDescriptor();
    endpointLock_.Release();
    return 1;
}

bool TCPIPPort::PeerHasClosed() const {
    int ready = WaitReady(Descriptor(), POLLIN | POLLRDHUP, 0);
    return ready > 0 && (ready & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

int32_t TCPIPPort::Write(const uint8_t* data, int32_t offset, int32_t length) {
    const int window = EffectiveWriteTimeout();
    ClearSystemError();
    ClearPortError();
    if (length == 0) return 0;
    if (!CheckTransferArgs(data, offset, length)) return FailWrite(L"Write refused: no data to write", EINVAL);
    // Only an open port reconnects: after Close the printer may belong to someone else.
    if (!IsOpen()) return FailWrite(L"Write failed: the port is not open", ENOTCONN);

    const size_t total = static_cast<size_t>(length);
    size_t sent = 0;
    int stalls = 0;
    int reconnects = 0;
    while (sent < total) {
        if (Cancelled()) return FailWrite(WithBytesSent(L"Write cancelled", sent, total), ECANCELED);
        int error = 0;
        WriteOutcome out;
        if (!connected_)
            error = ENOTCONN;
        else if (PeerHasClosed())
            error = ECONNRESET;
        else {
            out = WriteWithin(Descriptor(), data + offset + sent, total - sent, window, true);
            if (out.written == 0) error = out.error;
        }
        if (error != 0) {
            // Reconnecting does not use up an attempt, but it is bounded: a printer that
            // accepts and drops every connection must not keep the writer here for ever.
            if (reconnects < GetTimings().maxReconnectsPerWrite && Reconnect()) {
                ++reconnects;
                ClearPortError();
                continue;
            }
            SetPortError(kPortConnectError,
                         WithBytesSent(FormatPortError(L"Write failed and reconnecting failed", error), sent, total));
            RecordSystemError(error);
            return 0;
        }
        sent += out.written;
        if (sent == total) return 1;
        if (out.error != 0) continue;  // the next round finds the connection broken
        // The window ended with the printer taking nothing. Bytes it took before show it
        // is alive, so only windows in a row count.
        stalls = out.written > 0 ? 1 : stalls + 1;
        if (stalls >= kMaxWriteAttempts)
            return FailWrite(WithBytesSent(L"Write timed out: the printer took no data for " +
                                               std::to_wstring(stalls * window) + L" ms",
                                           sent, total),
                             ETIMEDOUT);
    }
    return 1;
}

int32_t TCPIPPort::Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) {
    const int timeout = EffectiveReadTimeout();
    ClearSystemError();
    bytesRead = 0;
    if (!CheckTransferArgs(buffer, offset, length)) return 0;
    if (!IsOpen()) {
        RecordSystemError(ENOTCONN);
        return 0;
    }
    uint8_t* dest = buffer + offset;
    size_t remaining = static_cast<size_t>(length);
    int started = 0;
    while (!Cancelled() && remaining > 0 && started < kMaxReadsStarted) {
        ++started;
        ssize_t n = ReadWithin(Descriptor(), dest, remaining < kReadPiece ? remaining : kReadPiece, timeout, 0);
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
    if (!IsOpen()) {
        RecordSystemError(ENOTCONN);
        return 0;
    }
    ssize_t n;
    do {
        n = ::recv(Descriptor(), buffer + offset, static_cast<size_t>(length), MSG_DONTWAIT);
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
    if (!CheckTransferArgs(buffer, 0, length) || !IsOpen() || !abortEvent_.isValid()) return 0;
    const size_t count = static_cast<size_t>(length) < kReadPiece ? static_cast<size_t>(length) : kReadPiece;
    uint64_t drained;
    // An abort signalled while no read was waiting was meant for no read: drop it.
    (void)!::read(abortEvent_.get(), &drained, sizeof drained);
    for (;;) {
        pollfd fds[2] = {{Descriptor(), POLLIN, 0}, {abortEvent_.get(), POLLIN, 0}};
        if (WaitAnyReady(fds, 2, -1) < 0) return 0;
        if (fds[1].revents != 0) {
            (void)!::read(abortEvent_.get(), &drained, sizeof drained);
            return 0;
        }
        ssize_t n = ::recv(Descriptor(), buffer, count, MSG_DONTWAIT);
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
