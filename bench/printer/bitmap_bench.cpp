// Image conversion speed: a 512-dot-wide logo and a 576 x 1000 receipt picture, from the PNG
// file to the raster commands (decode, scale, halftone, pack), and each stage on its own.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
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

// A picture with what logos have: flat areas, hard edges and a soft gradient.
std::vector<uint8_t> Picture(int width, int height) {
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

// The PNG file of a picture, written once per size into the temporary folder.
std::string PngFile(int width, int height) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quvo-bench-" + std::to_string(::getpid()) + "-" +
                                                   std::to_string(width) + "x" + std::to_string(height) + ".png"))
            .string();
    if (!std::filesystem::exists(path)) {
        const auto rgb = Picture(width, height);
        stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3);
    }
    return path;
}

struct Case {
    int width;
    int height;
};
constexpr Case kLogo{512, 256};
constexpr Case kReceipt{576, 1000};

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

// The whole conversion: file to raster commands.
void BM_WholeConversion(benchmark::State& state, Case c) {
    const std::string path = PngFile(c.width, c.height);
    QVO::Printer::PrinterBuffer out(c.width * c.height / 8 + 64);
    for (auto _ : state) {
        Convert(path, c.width, out);
        benchmark::DoNotOptimize(out.Data());
    }
    state.counters["bytes"] = double(out.Size());
}

void BM_Decode(benchmark::State& state, Case c) {
    const std::string path = PngFile(c.width, c.height);
    for (auto _ : state) {
        Image::RgbImage image;
        benchmark::DoNotOptimize(Image::Decode(path, image));
    }
}

// Scale, halftone and pack after decoding.
void BM_ScaleHalftonePack(benchmark::State& state, Case c) {
    Image::RgbImage image;
    if (Image::Decode(PngFile(c.width, c.height), image) != Image::Status::Ok) std::abort();
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

}  // namespace

BENCHMARK_MAIN();
