// Image files to the printer's 1-bit raster: decoding with stb_image, the size rule, scaling
// and error-diffusion halftoning.
#include "so/printer/ImageRaster.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

// The decoder for the formats the service object accepts, compiled here once and kept to
// this file. Formats without a signature (TGA) are left out: with them any damaged file
// would be tried as one.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
// No thread-local state: the service object is a module that is loaded and unloaded, and the
// thread-local block a caller's thread gets from it would outlive the unload. The failure
// texts are not used, so nothing is written that two decoding threads could share.
#define STBI_NO_THREAD_LOCALS
#define STBI_NO_FAILURE_STRINGS
#define STBI_MALLOC std::malloc
#define STBI_REALLOC std::realloc
#define STBI_FREE std::free
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace QVO::Printer::Image {

static_assert(STBI_MAX_DIMENSIONS == kMaxSide, "the decoder's own limit is ours");

namespace {

constexpr int kRgb = 3;
constexpr int32_t kThreshold = 128;
constexpr int32_t kWhite = 255;
constexpr int32_t kErrorShift = 4;  // the four weights add up to 16
constexpr int32_t kWeightBelow = 7;
constexpr int32_t kWeightRight = 5;
constexpr int32_t kWeightBelowRight = 3;
// A packed byte of exactly this value goes out as kDleSubstitute: 0x10 is DLE, which some
// printers take as the start of a real-time command even inside image data.
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kDleSubstitute = 0x20;
// Beyond this the raster counts would pass the int range; no printable area comes near it.
constexpr int64_t kMaxScaledSide = int64_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool WithinLimits(int width, int height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           static_cast<int64_t>(width) * height <= kMaxPixels;
}

// Opened without blocking (a FIFO would wait for a writer) and checked to be a plain file of
// a size worth reading.
Status OpenImageFile(const std::string& path, FilePtr& file) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Status::NotFound;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::NotFound;
    }
    if (st.st_size > kMaxFileBytes) {
        ::close(fd);
        return Status::TooLarge;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
        return Status::NotFound;
    }
    file.reset(f);
    return Status::Ok;
}

// The decoder's block becomes the image as it is: no second copy of the pixels.
void Adopt(stbi_uc* pixels, int width, int height, RgbImage& image) {
    image.rgb.reset(pixels);
    image.width = width;
    image.height = height;
}

// The luminance weights, and each channel's weighted share worked out once: a table entry is
// the very product Grey forms, so the sum and everything after it come out the same.
constexpr float kWeightRed = 0.29891f;
constexpr float kWeightGreen = 0.58661f;
constexpr float kWeightBlue = 0.11448f;

struct ChannelShares {
    std::array<float, 256> red{}, green{}, blue{};
    ChannelShares() {
        for (size_t i = 0; i < red.size(); ++i) {
            red[i] = kWeightRed * static_cast<float>(i);
            green[i] = kWeightGreen * static_cast<float>(i);
            blue[i] = kWeightBlue * static_cast<float>(i);
        }
    }
};

const ChannelShares& Shares() {
    static const ChannelShares shares;
    return shares;
}

// Gamma 1: the luminance as it stands, scaled back to 0..255 and truncated.
int32_t GreyOfWeighted(float weighted) {
    const float luminance = (weighted * 255.0f / 255.0f + 255.0f - 255.0f) / 255.0f;
    return static_cast<int32_t>(255.0f * luminance);
}

// The grey values of the destination columns of one source row: the table look-ups first,
// then the arithmetic over the whole row, which the compiler can do several at a time.
void GreyRow(const uint8_t* row, std::span<const int32_t> sourceColumns, std::vector<float>& weighted,
             std::vector<int32_t>& greys) {
    const ChannelShares& t = Shares();
    const size_t n = sourceColumns.size();
    for (size_t x = 0; x < n; ++x) {
        const uint8_t* p = row + static_cast<size_t>(sourceColumns[x]) * kRgb;
        weighted[x] = t.red[p[0]] + t.green[p[1]] + t.blue[p[2]];
    }
    for (size_t x = 0; x < n; ++x) greys[x] = GreyOfWeighted(weighted[x]);
}

// One row of error diffusion (5/16 right, 7/16 below, 3/16 below-left, 1/16 below-right as
// the next row reads them). The error terms are full ints: 7 x 127 does not fit a byte, and a
// wrapped term turns a strong error into its opposite. Dots are packed a byte at a time,
// without branches on the dot itself (mid greys would mispredict every other one).
void DiffuseRow(std::span<const int32_t> greys, std::vector<int32_t>& errors, uint8_t* out) {
    int32_t carry = 0;
    int32_t triple = 0;
    const size_t n = greys.size();
    for (size_t start = 0; start < n; start += kGranularity) {
        const size_t end = std::min(n, start + kGranularity);
        uint32_t packed = 0;
        for (size_t x = start; x < end; ++x) {
            const int32_t v = greys[x] + ((errors[x] + carry) >> kErrorShift);
            const int32_t black = v < kThreshold ? 1 : 0;
            const int32_t e = v - (kWhite & (black - 1));  // v when black, else v - 255
            if (x > 0) errors[x - 1] += e;
            errors[x] = kWeightBelow * e + triple;
            carry = kWeightRight * e;
            triple = kWeightBelowRight * e;
            packed |= static_cast<uint32_t>(black) << (kGranularity - 1 - (x - start));
        }
        const auto byte = static_cast<uint8_t>(packed);
        out[start / kGranularity] = byte == kDle ? kDleSubstitute : byte;
    }
}

int32_t SourceIndex(int32_t destination, float scale, int32_t limit) {
    const auto index = static_cast<int64_t>(static_cast<float>(destination) / scale);
    return static_cast<int32_t>(std::clamp<int64_t>(index, 0, limit - 1));
}

}  // namespace

RgbImage RgbImage::Blank(int32_t width, int32_t height) {
    RgbImage image;
    if (!WithinLimits(width, height)) return image;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * kRgb;
    image.rgb.reset(static_cast<uint8_t*>(std::malloc(bytes)));
    if (!image.rgb) return image;
    std::fill_n(image.rgb.get(), bytes, uint8_t{0xFF});
    image.width = width;
    image.height = height;
    return image;
}

int32_t Grey(uint8_t r, uint8_t g, uint8_t b) {
    return GreyOfWeighted(kWeightRed * static_cast<float>(r) + kWeightGreen * static_cast<float>(g) +
                          kWeightBlue * static_cast<float>(b));
}

Status ReadSize(const std::string& path, Size& size) {
    FilePtr file;
    if (Status s = OpenImageFile(path, file); s != Status::Ok) return s;
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_file(file.get(), &w, &h, &components) == 0 || w <= 0 || h <= 0) return Status::NotDecodable;
    size = {w, h};
    return Status::Ok;
}

Status Decode(const std::string& path, RgbImage& image) {
    FilePtr file;
    if (Status s = OpenImageFile(path, file); s != Status::Ok) return s;
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_file(file.get(), &w, &h, &components) == 0) return Status::NotDecodable;
    if (!WithinLimits(w, h)) return Status::TooLarge;
    stbi_uc* pixels = stbi_load_from_file(file.get(), &w, &h, &components, kRgb);
    if (pixels == nullptr) return Status::NotDecodable;
    if (!WithinLimits(w, h)) {
        stbi_image_free(pixels);
        return Status::TooLarge;
    }
    Adopt(pixels, w, h, image);
    return Status::Ok;
}

Status DecodeMemory(std::span<const uint8_t> bytes, RgbImage& image) {
    if (bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return Status::TooLarge;
    const int length = static_cast<int>(bytes.size());
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_memory(bytes.data(), length, &w, &h, &components) == 0) return Status::NotDecodable;
    if (!WithinLimits(w, h)) return Status::TooLarge;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), length, &w, &h, &components, kRgb);
    if (pixels == nullptr) return Status::NotDecodable;
    if (!WithinLimits(w, h)) {
        stbi_image_free(pixels);
        return Status::TooLarge;
    }
    Adopt(pixels, w, h, image);
    return Status::Ok;
}

bool ScaleTo(Size image, int32_t widthDots, Scaled& out) {
    if (image.width <= 0 || image.height <= 0) return false;
    if (widthDots != kWidthAsIs && widthDots <= 0) return false;
    const bool asIs = widthDots == kWidthAsIs;
    const float scale = asIs ? 1.0f : static_cast<float>(widthDots) / static_cast<float>(image.width);
    const int32_t wide = asIs ? image.width : widthDots;
    const float high = std::trunc(static_cast<float>(image.height) * scale);
    if (!(high < static_cast<float>(kMaxScaledSide)) || wide > kMaxScaledSide) return false;
    out.scale = scale;
    out.dotsWide = wide;
    out.dotsHigh = static_cast<int32_t>(high);
    out.width = (wide + kGranularity - 1) / kGranularity * kGranularity;
    out.height = (out.dotsHigh + kGranularity - 1) / kGranularity * kGranularity;
    return true;
}

void Halftone(const RgbImage& image, const Scaled& out, std::vector<uint8_t>& raster) {
    const size_t rowBytes = static_cast<size_t>(out.width / kGranularity);
    raster.assign(rowBytes * static_cast<size_t>(std::max(out.height, 0)), 0);
    const int32_t wide = std::min(out.dotsWide, out.width);
    const int32_t high = std::min(out.dotsHigh, out.height);
    if (wide <= 0 || high <= 0 || image.width <= 0 || image.height <= 0 || out.scale <= 0.0f) return;
    if (!image.rgb) return;

    std::vector<int32_t> sourceColumns(static_cast<size_t>(wide));
    for (int32_t x = 0; x < wide; ++x) sourceColumns[static_cast<size_t>(x)] = SourceIndex(x, out.scale, image.width);
    std::vector<float> weighted(static_cast<size_t>(wide));
    std::vector<int32_t> greys(static_cast<size_t>(wide));
    std::vector<int32_t> errors(static_cast<size_t>(wide), 0);
    const size_t sourceRowBytes = static_cast<size_t>(image.width) * kRgb;
    int32_t greyRow = -1;
    for (int32_t y = 0; y < high; ++y) {
        const int32_t sy = SourceIndex(y, out.scale, image.height);
        // Enlarged images repeat source rows: their grey values are worked out once.
        if (sy != greyRow) {
            const uint8_t* row = image.rgb.get() + static_cast<size_t>(sy) * sourceRowBytes;
            GreyRow(row, sourceColumns, weighted, greys);
            greyRow = sy;
        }
        DiffuseRow(greys, errors, raster.data() + static_cast<size_t>(y) * rowBytes);
    }
}

}  // namespace QVO::Printer::Image
