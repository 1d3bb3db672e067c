// Measured runs of the printer engine against the virtual printer: a large asynchronous job
// beside a plain socket write of the same bytes, a job on a slow link, and the CPU time and
// memory an enabled idle engine costs.
//
//   engine_run [--repeat N] [--idle-seconds S] [--skip-slow]
//
// (a) 1 MB asynchronous job on loopback TCP beside the port alone and plain sockets; (b) a
// 200 KB job at 11 520 B/s on TCP and serial; (c) an enabled idle engine's CPU time and
// resident memory; (d) claim time and synchronous print time per port while polls run.
//
// Defaults: 5 repetitions of the 1 MB comparison (medians reported), 10 s per idle run; the
// slow-link runs take about a minute. Nothing here is a pass/fail check on time: the exit
// code says only whether every job reached the printer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/printer/EngineRunSupport.h"
#include "so/io/PortFactory.h"

namespace {

using namespace QVO::Bench;
namespace IO = QVO::IO;
namespace BASE = QVO::BASE;

constexpr size_t kLargeJobBytes = 1'000'000;
constexpr size_t kSlowJobBytes = 200'000;
constexpr uint32_t kSlowLinkRate = 11'520;
constexpr int kDefaultRepeat = 5;
constexpr int kDefaultIdleSeconds = 10;
// The send buffer the TCP/IP port asks for (so/io/TCPIPPort.cpp); 0 leaves the system's.
constexpr int kPortSendBufferBytes = 4096;
constexpr int kSystemSendBuffer = 0;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The job written to a fresh network printer by a non-blocking send loop, with the send buffer
// asked for (0: the system's, which grows by itself): seconds until the printer had it all
// (negative on failure) and the longest time the socket took no byte.
struct SocketResult {
    double delivered = -1;
    double longestStall = 0;
};

SocketResult SocketJob(const std::vector<uint8_t>& job, int number, uint32_t rate, int sendBuffer) {
    SocketResult result;
    BenchPrinter p;
    if (!p.StartTcp()) return result;
    p.printer.SetRate(rate);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(p.tcpPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0) return result;
    if (sendBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return result;
    }
    const Clock::time_point start = Clock::now();
    Clock::time_point progress = start;
    size_t sent = 0;
    while (sent < job.size()) {
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, 1000);
        const ssize_t n = ::send(fd, job.data() + sent, job.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        if (n <= 0) continue;
        sent += static_cast<size_t>(n);
        result.longestStall = std::max(result.longestStall, Seconds(Clock::now() - progress));
        progress = Clock::now();
    }
    Clock::time_point done;
    if (sent == job.size() && WaitDelivered(p.printer, done, number)) result.delivered = Seconds(done - start);
    ::close(fd);
    return result;
}

// The job written by the TCP/IP port itself, without the engine: seconds until the printer
// had it all, negative on failure.
double PortJob(const std::vector<uint8_t>& job, int number, const RunDirs& dirs) {
    BenchPrinter p;
    if (!p.StartTcp()) return -1;
    IO::ParsedPortSettings parsed =
        IO::ParsePortSettings(L"TCP/IP", (L"127.0.0.1," + std::to_wstring(p.tcpPort)).c_str());
    if (!parsed) return -1;
    std::unique_ptr<IO::IPort> port = IO::CreatePort(*parsed.settings, dirs.env);
    if (port->Open() == 0) return -1;
    const Clock::time_point start = Clock::now();
    Clock::time_point done;
    const bool written = port->Write(job.data(), 0, static_cast<int32_t>(job.size())) != 0;
    const bool delivered = written && WaitDelivered(p.printer, done, number);
    port->Close();
    return delivered ? Seconds(done - start) : -1;
}

// The engine is opened once and sends one job per repetition, as an application that keeps
// its printer open does; its first job, right after the engine opened, is reported apart.
bool LargeJob(int repeat, const RunDirs& dirs) {
    LiveEngine live;
    if (const std::string failure = live.Open(LinkKind::TcpIp, dirs); !failure.empty()) {
        std::printf("(a) 1 MB job: FAILED (%s)\n", failure.c_str());
        return false;
    }
    std::vector<double> complete, delivered, portAlone, socket, smallSocket;
    JobTimes first;
    size_t jobBytes = 0;
    for (int i = 0; i <= repeat; ++i) {
        const std::vector<uint8_t> job = PrintJob(kLargeJobBytes, i + 1);
        jobBytes = job.size();
        const JobTimes e = live.Run(job, i + 1);
        if (i == 0) {
            first = e;
            if (!e.failure.empty()) break;
            continue;
        }
        portAlone.push_back(PortJob(job, i + 1, dirs));
        const SocketResult s = SocketJob(job, i + 1, 0, kSystemSendBuffer);
        const SocketResult small = SocketJob(job, i + 1, 0, kPortSendBufferBytes);
        if (!e.failure.empty() || portAlone.back() < 0 || s.delivered < 0 || small.delivered < 0) {
            std::printf("(a) 1 MB job: FAILED (%s)\n", e.failure.empty() ? "socket" : e.failure.c_str());
            return false;
        }
        complete.push_back(e.complete);
        delivered.push_back(e.delivered);
        socket.push_back(s.delivered);
        smallSocket.push_back(small.delivered);
    }
    if (!first.failure.empty()) {
        std::printf("(a) 1 MB job: FAILED (%s)\n", first.failure.c_str());
        return false;
    }
    const double e = Median(delivered), s = Median(socket);
    std::printf(
        "(a) %zu bytes, loopback TCP, no rate limit, median of %d runs (the output worker writes a queued "
        "output at once)\n",
        jobBytes, repeat);
    std::printf("    engine, its first job after opening:   %8.3f s  %8.1f MB/s to the printer, %.3f s to complete\n",
                first.delivered, jobBytes / first.delivered / 1e6, first.complete);
    // Complete means confirmed by the printer; a run that stopped looking once the printer had
    // everything records no completion time (negative).
    std::printf("    engine: hand-over to output complete   %8.3f s\n", Median(complete));
    std::printf("    engine: hand-over to printer has all   %8.3f s  %8.1f MB/s\n", e, jobBytes / e / 1e6);
    const double port = Median(portAlone);
    std::printf("    TCP/IP port's Write, no engine         %8.3f s  %8.1f MB/s\n", port, jobBytes / port / 1e6);
    std::printf("    plain socket write loop, same          %8.3f s  %8.1f MB/s\n", s, jobBytes / s / 1e6);
    const double small = Median(smallSocket);
    std::printf("    plain socket, SO_SNDBUF %d            %8.3f s  %8.1f MB/s\n", kPortSendBufferBytes, small,
                jobBytes / small / 1e6);
    std::printf("    engine throughput / socket's           %8.2f\n", s / e);
    std::printf("    engine throughput / same send buffer's %8.2f\n", small / e);
    std::printf("    engine throughput / port's             %8.2f\n", port / e);
    return true;
}

void PrintRate(const char* what, size_t bytes, double seconds) {
    const double rate = bytes / seconds;
    std::printf("    %-30s %7.2f s  %6.0f B/s = %5.1f %% of the link rate\n", what, seconds, rate,
                100.0 * rate / kSlowLinkRate);
}

bool SlowJob(const RunDirs& dirs) {
    const std::vector<uint8_t> job = PrintJob(kSlowJobBytes);
    std::printf("(b) %zu bytes at a link rate of %u B/s\n", job.size(), kSlowLinkRate);
    bool ok = true;
    for (LinkKind kind : {LinkKind::TcpIp, LinkKind::Serial}) {
        const JobTimes e = EngineJob(job, kSlowLinkRate, kind, dirs);
        const std::string what = std::string("engine, ") + LinkName(kind);
        if (e.failure.empty()) {
            PrintRate(what.c_str(), job.size(), e.delivered);
        } else {
            std::printf("    %-30s FAILED after %.2f s: %s\n", what.c_str(), e.delivered, e.failure.c_str());
            ok = false;
        }
    }
    for (int sendBuffer : {kSystemSendBuffer, kPortSendBufferBytes}) {
        const SocketResult s = SocketJob(job, 0, kSlowLinkRate, sendBuffer);
        const std::string what = sendBuffer == 0 ? "plain socket, TCP/IP" : "plain socket, SO_SNDBUF 4096";
        if (s.delivered < 0) return false;
        PrintRate(what.c_str(), job.size(), s.delivered);
        std::printf("    %-30s longest time the socket took no byte: %.2f s\n", "", s.longestStall);
    }
    return ok;
}

// ---------------------------------------------------------------- synchronous prints

constexpr int kSyncPrints = 10;
// Long enough for the worker to be inside a status poll when the next print comes.
constexpr auto kBetweenPrints = std::chrono::milliseconds(150);

// Claim time and the median time a synchronous print takes while the status poll runs, per
// port (the poll and the print share the port lock).
bool SyncPrints(const RunDirs& dirs) {
    std::printf(
        "(d) TM-T88IV, product timing: claim, and synchronous prints while the status poll runs "
        "(%d prints)\n",
        kSyncPrints);
    bool ok = true;
    for (LinkKind kind : {LinkKind::TcpIp, LinkKind::Serial, LinkKind::Parallel, LinkKind::Usb}) {
        BenchPrinter p;
        CountingSink sink;
        if (!p.Start(kind, dirs)) return false;
        const Clock::time_point start = Clock::now();
        std::unique_ptr<BenchEngine> engine =
            EnabledEngine(L"TM-T88IV", PortType(kind), p.SettingsText(kind), dirs.env, sink);
        if (!engine) return false;
        const double claimAndEnable = Seconds(Clock::now() - start);
        std::vector<double> prints;
        for (int i = 0; i < kSyncPrints; ++i) {
            std::this_thread::sleep_for(kBetweenPrints);
            PrinterBuffer line;
            const std::string text = "print " + std::to_string(i) + "\n";
            line.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
            const Clock::time_point t0 = Clock::now();
            ok = engine->Output(line) == 0 && ok;
            prints.push_back(Seconds(Clock::now() - t0));
        }
        double total = 0;
        for (double t : prints) total += t;
        std::printf("    %-16s open+claim+enable %6.3f s   print mean %6.1f ms, longest %6.1f ms, ASB %s\n",
                    LinkName(kind), claimAndEnable, 1000 * total / kSyncPrints,
                    1000 * *std::max_element(prints.begin(), prints.end()), engine->IsAsbInUse() ? "on" : "off");
        CloseEngine(*engine);
    }
    return ok;
}

// ---------------------------------------------------------------- idle engine

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A virtual network printer in a child process, so this process's CPU time is the engine's
// alone. The child serves until `stopWrite` is closed; its port comes back in `port`.
pid_t StartPrinterProcess(int& stopWrite, uint16_t& port) {
    int portPipe[2], stopPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(portPipe[0]);
        ::close(stopPipe[1]);
        {
            BenchPrinter p;
            const uint16_t served = p.StartTcp() ? p.tcpPort : 0;
            [[maybe_unused]] ssize_t ignored = ::write(portPipe[1], &served, sizeof served);
            char byte;
            while (::read(stopPipe[0], &byte, 1) > 0) {}
        }
        ::_exit(0);
    }
    ::close(portPipe[1]);
    ::close(stopPipe[0]);
    port = 0;
    if (pid < 0 || ::read(portPipe[0], &port, sizeof port) != sizeof port) port = 0;
    ::close(portPipe[0]);
    stopWrite = stopPipe[1];
    return pid;
}

bool IdleEngine(const std::wstring& model, const char* path, int seconds, const RunDirs& dirs) {
    int stop = -1;
    uint16_t port = 0;
    const pid_t child = StartPrinterProcess(stop, port);
    if (child < 0 || port == 0) return false;
    const long baseKiB = ResidentKiB();
    bool ok = false;
    {
        CountingSink sink;
        std::unique_ptr<BenchEngine> engine =
            EnabledEngine(model, L"TCP/IP", L"127.0.0.1," + std::to_wstring(port), dirs.env, sink);
        if (engine) {
            const long enabledKiB = ResidentKiB();
            const double cpu0 = CpuSeconds();
            const Clock::time_point t0 = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(seconds));  // the measured idle period
            const double wall = Seconds(Clock::now() - t0), cpu = CpuSeconds() - cpu0;
            const long endKiB = ResidentKiB();
            std::printf(
                "(c) idle %-8ls on TCP/IP (%s), %.1f s: CPU %.3f s = %.2f %% of one core, %d polls "
                "(%.1f/s); resident +%ld KiB after enable, +%ld KiB at the end (baseline %ld KiB)\n",
                model.c_str(), path, wall, cpu, 100.0 * cpu / wall, sink.Polls(), sink.Polls() / wall,
                enabledKiB - baseKiB, endKiB - baseKiB, baseKiB);
            CloseEngine(*engine);
            ok = true;
        }
    }
    ::close(stop);
    int status = 0;
    ::waitpid(child, &status, 0);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = kDefaultRepeat, idleSeconds = kDefaultIdleSeconds;
    bool slow = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--idle-seconds") && i + 1 < argc)
            idleSeconds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--skip-slow"))
            slow = false;
    }
    RunDirs dirs;
    if (!dirs.Create()) return 1;
    // The idle runs first, while this process has no other thread to fork beside.
    bool ok = IdleEngine(L"TM-T88IV", "automatic status back", idleSeconds, dirs);
    ok = IdleEngine(L"QP-T58A", "GS r requests", idleSeconds, dirs) && ok;
    ok = LargeJob(repeat, dirs) && ok;
    ok = SyncPrints(dirs) && ok;
    if (slow) ok = SlowJob(dirs) && ok;
    return ok ? 0 : 1;
}
