// Image conversion speed: a 512-dot-wide logo and a 576 x 1000 photo-like receipt picture, from
// the PNG file to the raster commands (decode, scale, halftone, pack), each stage on its own,
// and then the same file through Pillow (open, grey, error diffusion to 1 bit, pack) side by side.
// Goals: the whole conversion of the picture under 10 ms, the steps after decoding under 1 ms.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "so/cmd/CCmdHelperBase.h"
#include "so/printer/ImageRaster.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

namespace Image = QVO::Printer::Image;

// Debian's interpreter: the one that has Pillow (python3-pil).
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kPillowScript = QUVO_PILLOW_SCRIPT;
constexpr int kDefaultSideBySideRuns = 50;

struct Case {
    int width;
    int height;
};
constexpr Case kLogo{512, 256};
constexpr Case kReceipt{576, 1000};

std::string logoPath;
std::string receiptPath;

// A picture with what logos have: flat areas, hard edges and a soft gradient.
std::vector<uint8_t> LogoPicture(int width, int height) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            const double r = std::hypot(x - width / 2.0, y - height / 2.0);
            const bool ring = std::fmod(r, 40.0) < 12.0;
            p[0] = ring ? 20 : uint8_t(255 * x / width);
            p[1] = ring ? 40 : uint8_t(255 * y / height);
            p[2] = ring ? 90 : 200;
        }
    return rgb;
}

std::string TempPath(const char* what, Case c) {
    return (std::filesystem::temp_directory_path() /
            ("quvo-bench-" + std::to_string(::getpid()) + "-" + what + "-" + std::to_string(c.width) + "x" +
             std::to_string(c.height) + ".png"))
        .string();
}

// Paths go to the shell in single quotes; a quote inside one is closed, escaped and reopened.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

bool RunPillow(const std::string& arguments, std::string& output) {
    const std::string command = Quoted(kPython) + " " + Quoted(kPillowScript) + " " + arguments + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[256];
    output.clear();
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    return ::pclose(pipe) == 0;
}

bool PillowAvailable() {
    return ::access(kPython, X_OK) == 0 && std::system((Quoted(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

// The logo is written by stb; the receipt picture is the photo-like one Pillow saves with its
// default compression, as most pictures are made, or the logo pattern when Pillow is missing.
bool PrepareFiles(bool pillow) {
    logoPath = TempPath("logo", kLogo);
    const auto logo = LogoPicture(kLogo.width, kLogo.height);
    if (stbi_write_png(logoPath.c_str(), kLogo.width, kLogo.height, 3, logo.data(), kLogo.width * 3) == 0) return false;
    receiptPath = TempPath("receipt", kReceipt);
    std::string ignored;
    if (pillow) {
        return RunPillow("make " + Quoted(receiptPath) + " " + std::to_string(kReceipt.width) + " " +
                             std::to_string(kReceipt.height),
                         ignored);
    }
    std::printf("receipt picture: Pillow missing, using the stb-written logo pattern instead\n");
    const auto rgb = LogoPicture(kReceipt.width, kReceipt.height);
    return stbi_write_png(receiptPath.c_str(), kReceipt.width, kReceipt.height, 3, rgb.data(), kReceipt.width * 3) != 0;
}

void Convert(const std::string& path, int32_t widthDots, QVO::Printer::PrinterBuffer& out) {
    Image::RgbImage image;
    if (Image::Decode(path, image) != Image::Status::Ok) std::abort();
    Image::Scaled scaled;
    if (!Image::ScaleTo({image.width, image.height}, widthDots, scaled)) std::abort();
    std::vector<uint8_t> raster;
    Image::Halftone(image, scaled, raster);
    QVO::Printer::CCmdHelperBase cmd;
    out.Clear();
    cmd.BeginBufferGraphics(out, int32_t(raster.size()), scaled.width, scaled.height);
    out.Append(raster.data(), raster.size());
    cmd.PrintBufferGraphics(out);
}

const std::string& PathOf(Case c) { return c.width == kLogo.width ? logoPath : receiptPath; }

// The whole conversion: file to raster commands.
void BM_WholeConversion(benchmark::State& state, Case c) {
    QVO::Printer::PrinterBuffer out(c.width * c.height / 8 + 64);
    for (auto _ : state) {
        Convert(PathOf(c), c.width, out);
        benchmark::DoNotOptimize(out.Data());
    }
    state.counters["bytes"] = double(out.Size());
}

void BM_Decode(benchmark::State& state, Case c) {
    for (auto _ : state) {
        Image::RgbImage image;
        benchmark::DoNotOptimize(Image::Decode(PathOf(c), image));
    }
}

// Scale, halftone and pack after decoding.
void BM_ScaleHalftonePack(benchmark::State& state, Case c) {
    Image::RgbImage image;
    if (Image::Decode(PathOf(c), image) != Image::Status::Ok) std::abort();
    Image::Scaled scaled;
    Image::ScaleTo({image.width, image.height}, c.width, scaled);
    std::vector<uint8_t> raster;
    for (auto _ : state) {
        Image::Halftone(image, scaled, raster);
        benchmark::DoNotOptimize(raster.data());
    }
}

BENCHMARK_CAPTURE(BM_WholeConversion, logo_512x256, kLogo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, logo_512x256, kLogo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScaleHalftonePack, logo_512x256, kLogo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeConversion, receipt_576x1000, kReceipt)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, receipt_576x1000, kReceipt)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScaleHalftonePack, receipt_576x1000, kReceipt)->Unit(benchmark::kMillisecond);

// Milliseconds on the wall clock and of this thread's CPU time: the machine may be shared, and
// the CPU time is what a busy machine disturbs least.
struct Times {
    double wall = 0;
    double cpu = 0;
};

double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> samples) {
    std::nth_element(samples.begin(), samples.begin() + long(samples.size() / 2), samples.end());
    return samples[samples.size() / 2];
}

// Medians of `runs` timings of `step`.
template <typename Step>
Times MedianMs(int runs, Step step) {
    std::vector<double> wall, cpu;
    step();  // warm the file cache
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double startCpu = ThreadCpuMs();
        step();
        cpu.push_back(ThreadCpuMs() - startCpu);
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return {Median(wall), Median(cpu)};
}

struct Stages {
    double decode = 0, grey = 0, dither = 0, pack = 0, total = 0;
};

// Pillow's medians, wall clock and CPU time, from the script's two lines.
bool TimePillow(int runs, Stages& wall, Stages& cpu) {
    std::string out;
    if (!RunPillow("time " + Quoted(receiptPath) + " " + std::to_string(runs), out)) return false;
    const char* kLine = "pillow_%*[a-z]_ms decode %lf grey %lf dither %lf pack %lf total %lf bytes %*d\n";
    const size_t second = out.find('\n') + 1;
    return std::sscanf(out.c_str(), kLine, &wall.decode, &wall.grey, &wall.dither, &wall.pack, &wall.total) == 5 &&
           std::sscanf(out.c_str() + second, kLine, &cpu.decode, &cpu.grey, &cpu.dither, &cpu.pack, &cpu.total) == 5;
}

void PrintRows(const char* clock, double decode, double after, double total, const Stages* pillow) {
    std::printf("  %-5s QUVO (file to raster commands)    %8.3f   %12.3f   %7.3f\n", clock, decode, after, total);
    if (pillow == nullptr) return;
    const double pillowAfter = pillow->grey + pillow->dither + pillow->pack;
    std::printf(
        "  %-5s Pillow (open, L, 1, tobytes)      %8.3f   %12.3f   %7.3f   (grey %.3f, dither %.3f, pack %.3f)\n",
        clock, pillow->decode, pillowAfter, pillow->total, pillow->grey, pillow->dither, pillow->pack);
    std::printf("  %-5s Pillow / QUVO                     %8.2f   %12.2f   %7.2f\n", clock, pillow->decode / decode,
                pillowAfter / after, pillow->total / total);
}

// Our stages and Pillow's on the same file, medians of the same number of runs.
void SideBySide(int runs, bool pillow) {
    Image::RgbImage image;
    if (Image::Decode(receiptPath, image) != Image::Status::Ok) std::abort();
    Image::Scaled scaled;
    Image::ScaleTo({image.width, image.height}, kReceipt.width, scaled);
    std::vector<uint8_t> raster;
    QVO::Printer::PrinterBuffer out(kReceipt.width * kReceipt.height / 8 + 64);
    const Times decode = MedianMs(runs, [&] {
        Image::RgbImage again;
        benchmark::DoNotOptimize(Image::Decode(receiptPath, again));
    });
    const Times after = MedianMs(runs, [&] { Image::Halftone(image, scaled, raster); });
    const Times total = MedianMs(runs, [&] { Convert(receiptPath, kReceipt.width, out); });
    std::printf("\nreceipt_576x1000, median of %d runs (ms)      decode   after-decode     whole\n", runs);
    Stages pillowWall, pillowCpu;
    const bool havePillow = pillow && TimePillow(runs, pillowWall, pillowCpu);
    PrintRows("wall", decode.wall, after.wall, total.wall, havePillow ? &pillowWall : nullptr);
    PrintRows("cpu", decode.cpu, after.cpu, total.cpu, havePillow ? &pillowCpu : nullptr);
    if (!pillow)
        std::printf("  Pillow: skipped (%s or its PIL module is missing)\n", kPython);
    else if (!havePillow)
        std::printf("  Pillow: skipped (%s did not run)\n", kPillowScript);
}

// Takes --side_by_side_runs=N out of the arguments.
int SideBySideRuns(int& argc, char** argv) {
    constexpr const char* kFlag = "--side_by_side_runs=";
    int runs = kDefaultSideBySideRuns;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0)
            runs = std::max(1, std::atoi(argv[i] + std::strlen(kFlag)));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return runs;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = SideBySideRuns(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const bool pillow = PillowAvailable();
    if (!PrepareFiles(pillow)) {
        std::fprintf(stderr, "bitmap_bench: cannot write the test pictures\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    SideBySide(runs, pillow);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(logoPath, ignored);
    std::filesystem::remove(receiptPath, ignored);
    return 0;
}
