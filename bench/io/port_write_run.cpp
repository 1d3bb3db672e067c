// One timed 5 MB write through a TCPIPPort to the virtual printer, per link rate: how long a
// large print takes on a slow printer, and that the write completes instead of timing out.
//
//   port_write_run [--bytes N] [--write-timeout MS] [RATE...]
//
// Defaults: 5000000 bytes; 500000 and 11520 B/s; the port's own write time-out (the settings'
// 1000 ms: the write fails only after three of them in a row in which the printer took
// nothing). Measured: 5 011 443 bytes at 500 000 B/s in 10.0 s, at 11 520 B/s in 434 s.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "so/io/PortFactory.h"
#include "so/io/SystemPort.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kDefaultBytes = 5'000'000;
constexpr uint32_t kDefaultRates[] = {500'000, 11'520};
constexpr int kRasterWidthBytes = 72;  // 576 dots, 80 mm paper
constexpr int kRasterRows = 2400;      // one image: 172 800 bytes of raster data
constexpr char kEndMarker[] = "END OF RUN";

// Raster images (GS v 0) until at least `bytes`, then a marker line the printer traces once
// it has taken everything before it.
std::vector<uint8_t> PrintJob(size_t bytes) {
    std::vector<uint8_t> job;
    job.reserve(bytes + 4096);
    for (int image = 0; job.size() < bytes; ++image) {
        const uint8_t header[] = {
            0x1D, 0x76, 0x30, 0x00, kRasterWidthBytes, 0, uint8_t(kRasterRows & 0xFF), uint8_t(kRasterRows >> 8)};
        job.insert(job.end(), header, header + sizeof header);
        for (int row = 0; row < kRasterRows; ++row)
            for (int col = 0; col < kRasterWidthBytes; ++col)
                job.push_back(((row / 8 + col + image) % 3) == 0 ? 0xAA : 0x00);
    }
    job.insert(job.end(), kEndMarker, kEndMarker + std::strlen(kEndMarker));
    job.push_back('\n');
    return job;
}

bool Delivered(const QVO::Sim::VirtualPrinter& printer) {
    const std::string marker = std::string("text \"") + kEndMarker + "\"";
    const std::vector<std::string> trace = printer.Trace();
    return std::find(trace.begin(), trace.end(), marker) != trace.end();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Returns false when the write failed or the printer never got everything.
bool RunAt(uint32_t rate, const std::vector<uint8_t>& job, const std::string& lockDir, int writeTimeoutMs) {
    QVO::Sim::VirtualPrinter printer(QVO::Sim::PrinterIdentity::ForModel("TM-T88IV"));
    printer.SetRate(rate);
    QVO::Sim::TcpServer server(printer, 0);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "virtual printer did not start: %s\n", error.c_str());
        return false;
    }
    QVO::IO::ParsedPortSettings parsed =
        QVO::IO::ParsePortSettings(L"TCP/IP", (L"127.0.0.1," + std::to_wstring(server.Port())).c_str());
    if (!parsed) {
        std::fprintf(stderr, "settings refused: %s\n", parsed.message.c_str());
        return false;
    }
    QVO::IO::PortEnvironment env = QVO::IO::PortEnvironment::FromProcess();
    env.lockDir = lockDir;
    auto port = QVO::IO::CreatePort(*parsed.settings, env);
    if (writeTimeoutMs >= 0) {
        auto& system = dynamic_cast<QVO::IO::CSystemPort&>(*port);
        QVO::IO::PortTimings timings = system.GetTimings();
        timings.writeTimeoutMs = writeTimeoutMs;
        system.SetTimings(timings);
    }
    if (!port->Open()) {
        std::fprintf(stderr, "open failed (%d): %ls\n", port->GetLastErrorCode(), port->GetLastErrorText());
        return false;
    }

    const Clock::time_point start = Clock::now();
    const int32_t written = port->Write(job.data(), 0, static_cast<int32_t>(job.size()));
    const Clock::time_point writeDone = Clock::now();
    if (!written) {
        std::printf("%8u B/s  %9zu bytes  write FAILED after %.2f s (%d): %ls\n", rate, job.size(),
                    Seconds(writeDone - start), port->GetLastErrorCode(), port->GetLastErrorText());
        return false;
    }
    // Write returns once the kernel has the last bytes; the printer has them a little later.
    const Clock::time_point giveUp = writeDone + std::chrono::seconds(60);
    while (!Delivered(printer) && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Clock::time_point delivered = Clock::now();
    const bool complete = Delivered(printer);
    std::printf("%8u B/s  %9zu bytes  write returned after %8.2f s, printer had all of it after %8.2f s (%.0f B/s)%s\n",
                rate, job.size(), Seconds(writeDone - start), Seconds(delivered - start),
                job.size() / Seconds(delivered - start), complete ? "" : "  INCOMPLETE");
    port->Close();
    server.Stop();
    return complete;
}

}  // namespace

int main(int argc, char** argv) {
    size_t bytes = kDefaultBytes;
    int writeTimeoutMs = -1;  // the settings' own
    std::vector<uint32_t> rates;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bytes") && i + 1 < argc)
            bytes = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--write-timeout") && i + 1 < argc)
            writeTimeoutMs = std::atoi(argv[++i]);
        else
            rates.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (rates.empty()) rates.assign(std::begin(kDefaultRates), std::end(kDefaultRates));

    // A lock directory of the run's own, removed at the end.
    std::string lockDir = (std::filesystem::temp_directory_path() / "quvo-bench-XXXXXX").string();
    if (::mkdtemp(lockDir.data()) == nullptr) return 1;
    const std::vector<uint8_t> job = PrintJob(bytes);
    bool ok = true;
    for (uint32_t rate : rates) ok = RunAt(rate, job, lockDir, writeTimeoutMs) && ok;
    std::error_code ec;
    std::filesystem::remove_all(lockDir, ec);
    return ok ? 0 : 1;
}
