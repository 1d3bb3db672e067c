// Text control of a running virtual printer: the line grammar and the Unix-socket server.
#include "sim/ControlChannel.h"

#include "platform/posix/PosixWait.h"
#include "sim/VirtualPrinter.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace QVO::Sim {

namespace {

using QVO::Platform::UniqueFd;
using QVO::Platform::WaitAnyReady;

constexpr size_t kMaxLine = 4096;  // no control line is longer: a client that sends one is not ours
constexpr int kListenBacklog = 4;
constexpr long long kMaxRate = 100000000;             // bytes per second
constexpr long long kMaxDrawerAutoCloseMs = 3600000;  // an hour

constexpr const char* kHelp =
    "commands: cover open|close, paper normal|near-end|empty, drawer open|close, "
    "drawer-auto-close MS|off, drawer-level high|low, offline on|off, mute on|off, rate N, "
    "drop, power-cycle, status";

// on/off words; -1 when the word is neither.
int SwitchWord(const std::string& word) {
    if (word == "on" || word == "open" || word == "1" || word == "true" || word == "yes") return 1;
    if (word == "off" || word == "close" || word == "closed" || word == "0" || word == "false" || word == "no")
        return 0;
    return -1;
}

}  // namespace

std::string ExecuteControlLine(VirtualPrinter& printer, const std::string& line) {
    std::istringstream in(line);
    std::string verb, arg, extra;
    in >> verb >> arg >> extra;
    if (verb.empty()) return "error: empty command";
    if (!extra.empty()) return "error: too many words; " + std::string(kHelp);
    const int on = SwitchWord(arg);
    if (verb == "status" && arg.empty()) return printer.StatusText();
    if (verb == "help") return kHelp;
    if (verb == "drop" && arg.empty()) return printer.Drop(), "ok";
    if ((verb == "power-cycle" || verb == "power") && arg.empty()) return printer.PowerCycle(), "ok";
    if (verb == "cover" && on >= 0) return printer.SetCoverOpen(on), "ok";
    if (verb == "drawer" && on >= 0) return printer.SetDrawerOpen(on), "ok";
    if (verb == "offline" && on >= 0) return printer.SetOffline(on), "ok";
    if (verb == "mute" && on >= 0) return printer.SetMute(on), "ok";
    if (verb == "paper") {
        if (arg == "normal" || arg == "ok") return printer.SetPaper(PaperLevel::Normal), "ok";
        if (arg == "near-end" || arg == "near" || arg == "low") return printer.SetPaper(PaperLevel::NearEnd), "ok";
        if (arg == "empty" || arg == "out" || arg == "end") return printer.SetPaper(PaperLevel::Empty), "ok";
    }
    if (verb == "drawer-level" && (arg == "high" || arg == "low"))
        return printer.SetDrawerOpenLevel(arg == "high"), "ok";
    auto number = [&arg](long long max, long long& out) {
        char* end = nullptr;
        errno = 0;
        out = std::strtoll(arg.c_str(), &end, 10);
        return !arg.empty() && *end == 0 && errno == 0 && out >= 0 && out <= max;
    };
    long long n = 0;
    if (verb == "rate" && number(kMaxRate, n)) return printer.SetRate(uint32_t(n)), "ok";
    if (verb == "drawer-auto-close") {
        if (on == 0) return printer.SetDrawerAutoClose(-1), "ok";
        if (number(kMaxDrawerAutoCloseMs, n)) return printer.SetDrawerAutoClose(int(n)), "ok";
    }
    return "error: cannot do '" + line + "'; " + kHelp;
}

ControlServer::ControlServer(VirtualPrinter& printer, std::string path) : printer_(printer), path_(std::move(path)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        stopPipe_[0].reset(fds[0]);
        stopPipe_[1].reset(fds[1]);
    }
}

ControlServer::~ControlServer() { Stop(); }

bool ControlServer::Start(std::string* error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.size() >= sizeof addr.sun_path) {
        if (error) *error = "control path too long: " + path_;
        return false;
    }
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ::unlink(path_.c_str());  // a socket left by an earlier run
    if (!listener_.isValid() || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        ::listen(listener_.get(), kListenBacklog) < 0) {
        if (error) *error = "control socket " + path_ + ": " + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void ControlServer::Stop() {
    if (!thread_.joinable()) return;
    const char b = 1;
    [[maybe_unused]] auto ignored = ::write(stopPipe_[1].get(), &b, 1);
    thread_.join();
    ::unlink(path_.c_str());
}

void ControlServer::Run() {
    for (;;) {
        pollfd fds[2] = {{stopPipe_[0].get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        if (WaitAnyReady(fds, 2, -1) < 0 || fds[0].revents) return;
        UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.isValid()) ServeClient(client.get());
    }
}

void ControlServer::ServeClient(int fd) {
    std::string pending;
    char buf[512];
    for (;;) {
        pollfd fds[2] = {{stopPipe_[0].get(), POLLIN, 0}, {fd, POLLIN, 0}};
        if (WaitAnyReady(fds, 2, -1) < 0 || fds[0].revents) return;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return;
        pending.append(buf, size_t(n));
        if (pending.size() > kMaxLine) return;
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::string answer = ExecuteControlLine(printer_, line) + "\n";
            if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return;
        }
    }
}

}  // namespace QVO::Sim
