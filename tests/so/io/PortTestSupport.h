// Test peers for the port tests: pseudo-terminal pairs, temporary directories, a slowly
// draining printer, and the descriptor count.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/PosixWait.h"
#include "platform/posix/UniqueFd.h"
#include "platform/sync/Mutex.h"
#include "tests/support/WaitUntil.h"

namespace QVO::IO::Peers {

using Platform::UniqueFd;

inline constexpr int kPeerDeadlineMs = 5000;

// A temporary directory removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-io-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteTextFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A pseudo-terminal: the test holds the master and plays the printer on it.
class PtyPair {
public:
    PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (master_.isValid() && ::grantpt(master_.get()) == 0 && ::unlockpt(master_.get()) == 0)
            slavePath_ = ::ptsname(master_.get());
    }
    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

    // Opens the slave once in raw mode and keeps it open, so the line keeps those
    // settings for a port that sets none itself (parallel, USB node).
    void HoldSlaveRaw() {
        heldSlave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios tio{};
        ::tcgetattr(heldSlave_.get(), &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(heldSlave_.get(), TCSANOW, &tio);
    }

    void Send(const std::vector<uint8_t>& bytes) const { (void)!::write(master_.get(), bytes.data(), bytes.size()); }

    // Reads until `count` bytes came or the deadline passed.
    std::vector<uint8_t> Receive(size_t count, int deadlineMs = kPeerDeadlineMs) const {
        return ReceiveFrom(master_.get(), count, deadlineMs);
    }

    // True when bytes are waiting for the printer side right now.
    bool HasPending() const {
        pollfd pfd{master_.get(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
    }

    static std::vector<uint8_t> ReceiveFrom(int fd, size_t count, int deadlineMs) {
        std::vector<uint8_t> got;
        const auto deadline = Platform::Clock::now() + std::chrono::milliseconds(deadlineMs);
        while (got.size() < count) {
            const int left = Platform::RemainingMs(deadline);
            if (left <= 0 || Platform::WaitReady(fd, POLLIN, left) <= 0) break;
            uint8_t buf[512];
            ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

private:
    UniqueFd master_;
    UniqueFd heldSlave_;
    std::string slavePath_;
};

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Waits for `condition` up to the peers' deadline.
template <typename Condition>
bool WaitUntil(Condition condition, int deadlineMs = kPeerDeadlineMs) {
    return Test::WaitUntil(condition, std::chrono::milliseconds(deadlineMs));
}

// A printer that takes its bytes slowly: a thread reads up to `piece` bytes, then rests
// `restMs`, until stopped or the link ends. It can stop taking bytes altogether (a jammed
// printer) and start again. Thread-safe; the thread is joined by Stop or the destructor.
class SlowReader {
public:
    SlowReader(int fd, size_t piece, int restMs) : fd_(fd), piece_(piece), restMs_(restMs) {
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowReader() { Stop(); }
    SlowReader(const SlowReader&) = delete;
    SlowReader& operator=(const SlowReader&) = delete;

    void Stop() {
        {
            Platform::MutexLock lock(mutex_);
            stop_ = true;
        }
        wake_.NotifyAll();
        if (thread_.joinable()) thread_.join();
    }
    void SetTaking(bool taking) {
        {
            Platform::MutexLock lock(mutex_);
            taking_ = taking;
        }
        wake_.NotifyAll();
    }
    size_t Received() const {
        Platform::MutexLock lock(mutex_);
        return received_.size();
    }
    std::vector<uint8_t> Bytes() const {
        Platform::MutexLock lock(mutex_);
        return received_;
    }

private:
    void Run() {
        std::vector<uint8_t> buffer(piece_);
        for (;;) {
            {
                Platform::MutexLock lock(mutex_);
                // Rest between pieces; while not taking bytes, stay put until told otherwise.
                const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(restMs_);
                while (!stop_ && std::chrono::steady_clock::now() < until) wake_.WaitUntil(lock, until);
                while (!stop_ && !taking_) wake_.Wait(lock);
                if (stop_) return;
            }
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, restMs_) <= 0) continue;
            ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n <= 0) return;  // the link ended
            Platform::MutexLock lock(mutex_);
            received_.insert(received_.end(), buffer.begin(), buffer.begin() + n);
        }
    }

    const int fd_;
    const size_t piece_;
    const int restMs_;
    mutable Platform::Mutex mutex_;
    Platform::CondVar wake_;
    bool stop_ QUVO_GUARDED_BY(mutex_) = false;
    bool taking_ QUVO_GUARDED_BY(mutex_) = true;
    std::vector<uint8_t> received_ QUVO_GUARDED_BY(mutex_);
    std::thread thread_;
};

// A listening socket on 127.0.0.1, playing a network printer: an ephemeral port, or
// `port` (taken over again after an earlier listener there went away).
class LoopbackPrinter {
public:
    explicit LoopbackPrinter(int receiveBuffer = 0, uint16_t port = 0)
        : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        int on = 1;
        ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (receiveBuffer > 0)
            ::setsockopt(listener_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_.get(), 4);
        socklen_t len = sizeof addr;
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }

    uint16_t port() const { return port_; }

    // The next connection, waited for with a deadline.
    UniqueFd Accept() {
        if (WaitUntil([&] { return HasPendingConnection(); }))
            return UniqueFd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return UniqueFd();
    }
    bool HasPendingConnection() const {
        pollfd pfd{listener_.get(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) > 0;
    }

private:
    UniqueFd listener_;
    uint16_t port_ = 0;
};

// Everything the connection delivers until the peer closes it.
inline std::string ReadUntilClosed(int fd) {
    std::string all;
    for (;;) {
        auto chunk = PtyPair::ReceiveFrom(fd, 4096, kPeerDeadlineMs);
        if (chunk.empty()) return all;
        all.append(chunk.begin(), chunk.end());
    }
}

// A port number nobody listens on: bound once, then released.
inline uint16_t UnusedPort() { return LoopbackPrinter().port(); }

// Descriptors this process has open: a port that leaks one, or keeps one while closed,
// changes the count.
inline size_t OpenDescriptorCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

}  // namespace QVO::IO::Peers
