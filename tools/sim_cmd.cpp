// `quvo sim`: runs the virtual printer on a TCP port, a pty, a fake USB node or a file pair.
#include "tools/Command.h"

#include "platform/posix/PosixWait.h"
#include "sim/ControlChannel.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace QVO::Sim;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

constexpr const char* kUsageHead =
    "Usage: quvo sim [OPTIONS]\n"
    "Runs a virtual ESC/POS receipt printer until SIGINT/SIGTERM (or, with --once, until the\n"
    "first connection or input ends). Prints the link it serves on the first line of output.\n"
    "Exit status: 0 done, 1 failure (link, log or picture), 2 bad command line.\n\n"
    "Link (one of; default --tcp 9100):\n"
    "  --tcp PORT            loopback TCP (127.0.0.1 only; 0 picks a free port)\n"
    "  --pty                 pseudo-terminal (a serial line); prints the slave path\n"
    "  --parallel            with --pty: the line is a parallel port\n"
    "  --link PATH           with --pty: keep a symlink to the slave at PATH\n"
    "  --usb DIR             fake USB printer: DIR/sys/... and DIR/dev/usb/lp0\n"
    "  --usb-id VID:PID      USB IDs in hex (default 04b8:0202)\n"
    "  --file OUT,IN         read what the host writes to OUT, append replies to IN\n"
    "Printer:\n"
    "  --model NAME          the model played (default TM-T88IV); see the list below\n"
    "  --rate N              link speed in bytes per second (0 = unlimited)\n"
    "  --drawer-auto-close MS  the drawer closes MS ms after it was opened\n"
    "Output and control:\n"
    "  --log FILE            decoded commands as JSON lines\n"
    "  --png FILE            picture of the paper, written when the run ends\n"
    "  --control PATH        Unix socket taking lines such as 'cover open', 'status'\n"
    "  --once                stop after the first TCP connection, or the end of the --file\n"
    "                        input (a pty or USB line has no end: stop it with a signal)\n"
    "  --help                this text\n"
    "Models (an output-only model answers nothing over --parallel or --usb):\n";

void PrintUsage(FILE* out) {
    std::fputs(kUsageHead, out);
    std::fputs(PrinterIdentity::ModelListText().c_str(), out);
}

void PrintKnownModels(FILE* out) {
    std::fputs("quvo sim: known models:", out);
    for (const std::string& name : PrinterIdentity::ModelNames()) std::fprintf(out, " %s", name.c_str());
    std::fputs("\n", out);
}

struct Options {
    std::string model = "TM-T88IV";
    std::string link;
    enum class Kind { Tcp, Pty, Usb, File } kind = Kind::Tcp;
    int transports = 0;
    uint16_t port = 9100;
    std::string usbDir;
    uint16_t vid = 0x04b8, pid = 0x0202;
    std::string fileOut, fileIn;
    std::string log, png, control;
    long rate = 0;
    long drawerAutoClose = -1;
    bool once = false;
    bool parallel = false;
    PrinterIdentity identity;
};

bool ParseNumber(const char* text, long min, long max, long& out, int base = 10) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, base);
    return *text && *end == 0 && errno == 0 && out >= min && out <= max;
}

// Returns kExitOk to run, kExitUsage for a bad command line, -1 after --help.
int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        long n = 0;
        if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return -1;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--pty") {
            o.kind = Options::Kind::Pty;
            ++o.transports;
        } else if (a == "--parallel") {
            o.parallel = true;
        } else if (a == "--tcp" && value(v) && ParseNumber(v, 0, 65535, n)) {
            o.kind = Options::Kind::Tcp;
            o.port = uint16_t(n);
            ++o.transports;
        } else if (a == "--usb" && value(v)) {
            o.kind = Options::Kind::Usb;
            o.usbDir = v;
            ++o.transports;
        } else if (a == "--usb-id" && value(v)) {
            const std::string s = v;
            const size_t colon = s.find(':');
            long vid = 0, pid = 0;
            if (colon == std::string::npos || !ParseNumber(s.substr(0, colon).c_str(), 0, 0xFFFF, vid, 16) ||
                !ParseNumber(s.substr(colon + 1).c_str(), 0, 0xFFFF, pid, 16)) {
                std::fprintf(stderr, "quvo sim: --usb-id wants VID:PID in hex, got '%s'\n", v);
                return kExitUsage;
            }
            o.vid = uint16_t(vid);
            o.pid = uint16_t(pid);
        } else if (a == "--file" && value(v)) {
            const std::string s = v;
            const size_t comma = s.find(',');
            if (comma == std::string::npos || comma == 0 || comma + 1 == s.size()) {
                std::fprintf(stderr, "quvo sim: --file wants OUT,IN, got '%s'\n", v);
                return kExitUsage;
            }
            o.kind = Options::Kind::File;
            o.fileOut = s.substr(0, comma);
            o.fileIn = s.substr(comma + 1);
            ++o.transports;
        } else if (a == "--link" && value(v)) {
            o.link = v;
        } else if (a == "--model" && value(v)) {
            o.model = v;
        } else if (a == "--log" && value(v)) {
            o.log = v;
        } else if (a == "--png" && value(v)) {
            o.png = v;
        } else if (a == "--control" && value(v)) {
            o.control = v;
        } else if (a == "--rate" && value(v) && ParseNumber(v, 0, 100000000, n)) {
            o.rate = n;
        } else if (a == "--drawer-auto-close" && value(v) && ParseNumber(v, 0, 3600000, n)) {
            o.drawerAutoClose = n;
        } else {
            std::fprintf(stderr, "quvo sim: bad option '%s'\n", a.c_str());
            PrintUsage(stderr);
            return kExitUsage;
        }
    }
    if (o.transports > 1) {
        std::fprintf(stderr, "quvo sim: choose one of --tcp, --pty, --usb, --file\n");
        return kExitUsage;
    }
    if ((!o.link.empty() || o.parallel) && o.kind != Options::Kind::Pty) {
        std::fprintf(stderr, "quvo sim: --link and --parallel go with --pty\n");
        return kExitUsage;
    }
    std::optional<PrinterIdentity> identity = PrinterIdentity::FindModel(o.model);
    if (!identity) {
        std::fprintf(stderr, "quvo sim: unknown model '%s'\n", o.model.c_str());
        PrintKnownModels(stderr);
        return kExitUsage;
    }
    o.identity = std::move(*identity);
    return kExitOk;
}

LinkType LinkOf(const Options& o) {
    switch (o.kind) {
        case Options::Kind::Tcp:
            return LinkType::Network;
        case Options::Kind::Pty:
            return o.parallel ? LinkType::Parallel : LinkType::Serial;
        case Options::Kind::Usb:
            return LinkType::Usb;
        case Options::Kind::File:
            return LinkType::File;
    }
    return LinkType::Serial;
}

std::unique_ptr<LinkServer> MakeServer(const Options& o, VirtualPrinter& printer) {
    switch (o.kind) {
        case Options::Kind::Tcp:
            return std::make_unique<TcpServer>(printer, o.port);
        case Options::Kind::Pty:
            return std::make_unique<PtyServer>(printer, o.link);
        case Options::Kind::Usb:
            return std::make_unique<UsbServer>(printer, o.usbDir, o.vid, o.pid);
        case Options::Kind::File:
            return std::make_unique<FilePairServer>(printer, o.fileOut, o.fileIn);
    }
    return nullptr;
}

void AnnounceLink(const Options& o, LinkServer& server) {
    switch (o.kind) {
        case Options::Kind::Tcp:
            std::printf("tcp 127.0.0.1:%u\n", static_cast<TcpServer&>(server).Port());
            break;
        case Options::Kind::Pty:
        case Options::Kind::Usb:
            std::printf("pty %s\n", static_cast<PtyServer&>(server).SlavePath().c_str());
            break;
        case Options::Kind::File:
            std::printf("file %s,%s\n", o.fileOut.c_str(), o.fileIn.c_str());
            break;
    }
    std::fflush(stdout);  // scripts wait for this line before they connect
}

// Blocks until SIGINT/SIGTERM or the server finished; the signals are blocked by the caller.
void WaitForEnd(LinkServer& server, int sigFd) {
    pollfd fds[2] = {{sigFd, POLLIN, 0}, {server.FinishedFd(), POLLIN, 0}};
    QVO::Platform::WaitAnyReady(fds, 2, -1);
}

// The picture is written when the run ends, which may be hours later: find out now whether
// it can be. An existing file is opened for writing as it stands; a new one is created and
// removed again. Returns 0 or the errno that would stop the write.
int PictureWritable(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) ::unlink(path.c_str());
    }
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

int RunSim(int argc, char** argv) {
    Options o;
    const int parsed = ParseOptions(argc, argv, o);
    if (parsed < 0) return kExitOk;
    if (parsed != kExitOk) return parsed;
    if (!o.png.empty()) {
        if (const int error = PictureWritable(o.png)) {
            std::fprintf(stderr, "quvo sim: cannot write the picture %s: %s\n", o.png.c_str(), std::strerror(error));
            return kExitFailure;
        }
    }

    // Signals go to a descriptor so the end of the run is handled on this thread, and the
    // serving threads (started after this) inherit the mask.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    const int sigFd = ::signalfd(-1, &mask, SFD_CLOEXEC);

    VirtualPrinter printer(o.identity);
    printer.SetRate(uint32_t(o.rate));
    printer.SetDrawerAutoClose(int(o.drawerAutoClose));
    if (!o.log.empty() && !printer.OpenLog(o.log)) {
        std::fprintf(stderr, "quvo sim: cannot write the log %s: %s\n", o.log.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    auto server = MakeServer(o, printer);
    server->set_singleShot(o.once);
    server->set_backChannel(o.identity.AnswersOn(LinkOf(o)));
    std::string error;
    if (!server->Start(&error)) {
        std::fprintf(stderr, "quvo sim: %s\n", error.c_str());
        return kExitFailure;
    }
    std::unique_ptr<ControlServer> control;
    if (!o.control.empty()) {
        control = std::make_unique<ControlServer>(printer, o.control);
        if (!control->Start(&error)) {
            std::fprintf(stderr, "quvo sim: %s\n", error.c_str());
            return kExitFailure;
        }
    }
    AnnounceLink(o, *server);
    WaitForEnd(*server, sigFd);
    if (control) control->Stop();
    server->Stop();
    printer.EndOfStream();
    ::close(sigFd);
    if (!o.png.empty() && !printer.WritePng(o.png)) {
        std::fprintf(stderr, "quvo sim: cannot write %s\n", o.png.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

QVO::Tools::CommandRegistration registration{"sim", "run the virtual receipt printer", &RunSim};

}  // namespace
