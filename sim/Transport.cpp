// Serving loop shared by every link, and the TCP, pseudo-terminal and file-pair servers.
#include "sim/Transport.h"

#include "platform/posix/PosixWait.h"
#include "sim/VirtualPrinter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace QVO::Sim {

namespace {

using QVO::Platform::Clock;
using QVO::Platform::MutexLock;
using QVO::Platform::UniqueFd;
using QVO::Platform::WaitAnyReady;
using QVO::Platform::WaitReady;

constexpr int kTickMs = 20;         // how often the loop wakes for timers and the link rate
constexpr int kWriteStallMs = 500;  // a host that stops reading loses replies after this
constexpr int kWritePollMs = 10;    // how long a full link is given before the next try
constexpr int kListenBacklog = 4;
// What a network printer buffers on its side of the connection.
constexpr int kPrinterReceiveBufferBytes = 8192;
constexpr double kBurstsPerSecond = 20;  // a token bucket holds at most 1/20 s of the rate

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Writes all of data unless the peer is gone or stalls; a partial write means the rest of
// the reply is lost, as on a line nobody listens to.
bool WriteAll(int fd, const uint8_t* data, size_t size) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteStallMs);
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Clock::now() >= deadline) return true;  // dropped, link still up
            WaitReady(fd, POLLOUT, kWritePollMs);
            continue;
        }
        return false;
    }
    return true;
}

// True once the owner asked the serving thread to stop.
bool StopRequested(int stopFd) { return WaitReady(stopFd, POLLIN, 0) > 0; }

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

}  // namespace

LinkServer::LinkServer(VirtualPrinter& printer) : printer_(printer) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stopPipe_[0].reset(fds[0]);
        stopPipe_[1].reset(fds[1]);
    }
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        finishedPipe_[0].reset(fds[0]);
        finishedPipe_[1].reset(fds[1]);
    }
}

LinkServer::~LinkServer() { Stop(); }

bool LinkServer::Start(std::string* error) {
    if (thread_.joinable()) return true;
    if (!stopPipe_[0].isValid() || !finishedPipe_[0].isValid()) return Fail(error, "cannot create pipes");
    if (!Open(error)) return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void LinkServer::Stop() {
    if (!thread_.joinable()) return;
    const char b = 1;
    [[maybe_unused]] auto ignored = ::write(stopPipe_[1].get(), &b, 1);
    thread_.join();
}

void LinkServer::Run() {
    for (;;) {
        Connection conn;
        if (!Accept(conn, stopPipe_[0].get())) break;
        const bool keepServing = Serve(conn);
        if (!keepServing || singleShot_) break;
    }
    finished_ = true;
    const char b = 1;
    [[maybe_unused]] auto ignored = ::write(finishedPipe_[1].get(), &b, 1);
}

// Token buckets per direction, so bytes trickle at the printer's link rate (0: unlimited).
// A bucket holds at most 1/20 s worth, never less than one byte.
struct LinkServer::Throttle {
    uint32_t rate = 0;
    double readTokens = 0, writeTokens = 0;
    Clock::time_point last = Clock::now();

    void Refill(uint32_t bytesPerSecond) {
        rate = bytesPerSecond;
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - last).count();
        last = now;
        const double burst = std::max(1.0, rate / kBurstsPerSecond);
        readTokens = rate ? std::min(burst, readTokens + rate * seconds) : 0;
        writeTokens = rate ? std::min(burst, writeTokens + rate * seconds) : 0;
    }
    bool MayRead() const { return rate == 0 || readTokens >= 1; }
    size_t ReadLimit(size_t max) const { return rate ? std::min(max, size_t(readTokens)) : max; }
    void Read(size_t bytes) {
        if (rate) readTokens -= double(bytes);
    }
};

bool LinkServer::WriteReplies(int fd, Throttle& throttle, bool limited) {
    uint8_t buf[4096];
    if (!backChannel_) {
        while (printer_.TakeReplies(buf, sizeof buf) > 0) {}
        return true;
    }
    for (;;) {
        size_t max = sizeof buf;
        if (limited) max = std::min(max, size_t(std::max(0.0, throttle.writeTokens)));
        if (max == 0) return true;
        const size_t n = printer_.TakeReplies(buf, max);
        if (n == 0) return true;
        if (limited) throttle.writeTokens -= double(n);
        if (!WriteAll(fd, buf, n)) return false;
    }
}

LinkServer::ReadResult LinkServer::ReadFromHost(const Connection& conn, Throttle& throttle) {
    uint8_t buf[4096];
    const ssize_t n = ::read(conn.readFd, buf, throttle.ReadLimit(sizeof buf));
    if (n > 0) {
        throttle.Read(size_t(n));
        printer_.Receive(buf, size_t(n));
        return ReadResult::GoOn;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return ReadResult::GoOn;
    if (FollowsEof() && !singleShot_) return ReadResult::AtEof;  // the file may grow
    if (EndsAtEof() || FollowsEof()) {
        printer_.EndOfStream();
        WriteReplies(conn.ReplyFd(), throttle, false);
        return ReadResult::Over;
    }
    return ReadResult::AtEof;  // a pty with no host: wait for one
}

bool LinkServer::Serve(Connection& conn) {
    const uint64_t generation = printer_.ConnectionGeneration();
    Throttle throttle;
    bool atEof = false;
    for (;;) {
        throttle.Refill(printer_.BytesPerSecond());
        const bool mayRead = !atEof && throttle.MayRead() && printer_.AcceptsInput();
        pollfd fds[3] = {{stopPipe_[0].get(), POLLIN, 0},
                         {printer_.NotifyFd(), POLLIN, 0},
                         {conn.readFd, short(mayRead ? POLLIN : 0), 0}};
        if (WaitAnyReady(fds, 3, kTickMs) < 0 || fds[0].revents) return false;
        printer_.Tick();
        if (printer_.ConnectionGeneration() != generation) {
            Renew();  // dropped or power-cycled: this connection is over
            return true;
        }
        atEof = false;  // a followed file is looked at again every tick
        // Again after the wait: a rate set while it lasted governs the bytes that ended it.
        throttle.Refill(printer_.BytesPerSecond());
        if (mayRead && throttle.MayRead() && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ReadResult result = ReadFromHost(conn, throttle);
            if (result == ReadResult::Over) return true;
            atEof = result == ReadResult::AtEof;
        }
        printer_.ClearNotify();
        if (!WriteReplies(conn.ReplyFd(), throttle, throttle.rate != 0)) {
            printer_.EndOfStream();
            return true;
        }
    }
}

// ---------------------------------------------------------------- TCP

bool TcpServer::Open(std::string* error) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_.isValid()) return Fail(error, Errno("socket"));
    const int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // A printer's receive buffer is a few kilobytes. With the kernel's default (128 KiB) a slow
    // link reopens its window only after tens of kilobytes have drained, so a sender sees
    // seconds without progress, which no real printer causes. Set on the listener, the
    // connections inherit it (and the window scale it implies).
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &kPrinterReceiveBufferBytes,
                 sizeof kPrinterReceiveBufferBytes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from outside the machine
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) return Fail(error, Errno("bind"));
    if (::listen(listener_.get(), kListenBacklog) < 0) return Fail(error, Errno("listen"));
    socklen_t len = sizeof addr;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    return true;
}

bool TcpServer::Accept(Connection& conn, int stopFd) {
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        if (WaitAnyReady(fds, 2, -1) < 0) return false;
        if (fds[0].revents) return false;
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        conn.owned.reset(fd);
        conn.readFd = fd;
        return true;
    }
}

// ---------------------------------------------------------------- pseudo-terminal

bool PtyServer::OpenPty(std::string* error) {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.isValid() || ::grantpt(master.get()) < 0 || ::unlockpt(master.get()) < 0)
        return Fail(error, Errno("posix_openpt"));
    char name[128];
    if (::ptsname_r(master.get(), name, sizeof name) != 0) return Fail(error, Errno("ptsname"));
    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.isValid()) return Fail(error, Errno("open slave"));
    termios tio{};
    ::tcgetattr(slave.get(), &tio);
    ::cfmakeraw(&tio);  // no echo, no line editing: the bytes are the printer's
    ::tcsetattr(slave.get(), TCSANOW, &tio);
    SetNonBlocking(master.get());
    if (!linkPath_.empty()) {
        // Replace the symlink atomically so a host never finds it missing.
        const std::string tmp = linkPath_ + ".tmp";
        ::unlink(tmp.c_str());
        if (::symlink(name, tmp.c_str()) < 0 || ::rename(tmp.c_str(), linkPath_.c_str()) < 0)
            return Fail(error, Errno(("link " + linkPath_).c_str()));
    }
    master_ = std::move(master);
    slaveHold_ = std::move(slave);
    MutexLock lock(pathMutex_);
    slavePath_ = name;
    return true;
}

bool PtyServer::Open(std::string* error) { return OpenPty(error); }

std::string PtyServer::SlavePath() const {
    MutexLock lock(pathMutex_);
    return slavePath_;
}

bool PtyServer::Accept(Connection& conn, int stopFd) {
    if (StopRequested(stopFd) || !master_.isValid()) return false;
    conn.readFd = master_.get();  // the master stays with the server between connections
    return true;
}

void PtyServer::Renew() {
    std::string error;
    if (!OpenPty(&error)) std::fprintf(stderr, "quvo sim: cannot renew the pty: %s\n", error.c_str());
}

// ---------------------------------------------------------------- file pair

bool FilePairServer::Open(std::string* error) {
    outFile_.reset(::open(outPath_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!outFile_.isValid()) return Fail(error, Errno(outPath_.c_str()));
    inFile_.reset(::open(inPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!inFile_.isValid()) return Fail(error, Errno(inPath_.c_str()));
    return true;
}

bool FilePairServer::Accept(Connection& conn, int stopFd) {
    if (StopRequested(stopFd)) return false;
    // The files stay with the server: the read position carries over a drop.
    conn.readFd = outFile_.get();
    conn.writeFd = inFile_.get();
    return true;
}

}  // namespace QVO::Sim
