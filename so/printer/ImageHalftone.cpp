// Decoded pictures to the printer's 1-bit raster: nearest-neighbour scaling, grey values,
// error-diffusion halftoning and packing. The vector path (ImageHalftoneWavefront.cpp) does
// sixteen rows at a time; this file holds the portable path, two rows at a time, which gives the
// same bytes and serves builds without it and widths beyond it.
#include "so/printer/ImageRaster.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "so/printer/ImageHalftoneKernels.h"

namespace QVO::Printer::Image {

namespace {

using namespace Kernels;

// The luminance weights.
constexpr float kWeightRed = 0.29891f;
constexpr float kWeightGreen = 0.58661f;
constexpr float kWeightBlue = 0.11448f;

// Gamma 1: the luminance as it stands, scaled back to 0..255 and truncated.
int32_t GreyOfWeighted(float weighted) {
    const float luminance = (weighted * 255.0f / 255.0f + 255.0f - 255.0f) / 255.0f;
    return static_cast<int32_t>(255.0f * luminance);
}

// One raster row's diffusion state: the error carried right, and the two terms of the row
// below that wait for the next dot's share.
struct RowState {
    int32_t carry = 0;
    int32_t triple = 0;
    int32_t pending = 0;
};

// One dot of error diffusion (5/16 right, 7/16 below, 3/16 below-left, 1/16 below-right as
// the next row reads them). `errors` holds, at x and beyond, what the row above left for this
// row, and below x what this row leaves for the next; errors[-1] is a spare slot. The error
// terms are full ints: 7 x 127 does not fit a byte, and a wrapped term turns a strong error
// into its opposite. No branch depends on the dot: mid greys would mispredict every other one.
inline void DiffuseDot(RowState& s, const uint8_t* greys, int32_t* errors, uint8_t* dots, size_t x) {
    const int32_t v = greys[x] + ((errors[x] + s.carry) >> kErrorShift);
    const int32_t black = v < kThreshold ? 1 : 0;
    const int32_t e = v - (kWhite & (black - 1));  // v when black, else v - 255
    errors[x - 1] = s.pending + e;
    s.pending = kWeightBelow * e + s.triple;
    s.triple = kWeightBelowRight * e;
    s.carry = kWeightRight * e;
    dots[x] = static_cast<uint8_t>(black);
}

// The lower row runs this many dots behind the upper one (at least one is needed): every error
// term it reads is then complete, and in one step the two rows touch different slots. Each
// dot depends on the one before it, so one row at a time leaves the processor waiting; two
// rows interleaved keep it busy (the halftoning takes about 40% less time).
constexpr size_t kLag = 2;

void DiffuseTwoRows(const uint8_t* upper, const uint8_t* lower, int32_t* errors, uint8_t* upperDots, uint8_t* lowerDots,
                    size_t n) {
    RowState a, b;
    size_t x = 0;
    for (; x < std::min(n, kLag); ++x) DiffuseDot(a, upper, errors, upperDots, x);
    for (; x < n; ++x) {
        DiffuseDot(a, upper, errors, upperDots, x);
        DiffuseDot(b, lower, errors, lowerDots, x - kLag);
    }
    errors[n - 1] = a.pending;
    for (x = n > kLag ? n - kLag : 0; x < n; ++x) DiffuseDot(b, lower, errors, lowerDots, x);
    errors[n - 1] = b.pending;
}

void DiffuseRow(const uint8_t* greys, int32_t* errors, uint8_t* dots, size_t n) {
    RowState s;
    for (size_t x = 0; x < n; ++x) DiffuseDot(s, greys, errors, dots, x);
    errors[n - 1] = s.pending;
}

void PackRow(const uint8_t* dots, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; i += kGranularity) {
        uint64_t eight = 0;
        std::memcpy(&eight, dots + i, sizeof eight);
        out[i / kGranularity] = PackEight(eight);
    }
}

// The working rows of one halftoning: source columns, grey rows (three, so that the two in
// use and the last one made are never overwritten), the error row and the dot rows.
class Halftoner {
public:
    Halftoner(const RgbImage& image, const Scaled& out, size_t wide)
        : image_(image),
          scale_(out.scale),
          n_(wide),
          offsets_(SourceOffsets(image.width, out.scale, wide)),
          errors_(wide + 1, 0) {
        for (auto& g : greys_) g.resize(n_);
        // Whole bytes of dots: the packing reads eight at a time; past the width they stay white.
        const size_t padded = (n_ + kGranularity - 1) / kGranularity * kGranularity;
        for (auto& d : dots_) d.assign(padded, 0);
    }

    void Run(int32_t high, uint8_t* raster, size_t rowBytes) {
        int32_t y = 0;
        int32_t* errors = errors_.data() + 1;
        for (; y + 1 < high; y += 2) {
            const uint8_t* upper = GreysOf(y);
            const uint8_t* lower = GreysOf(y + 1);
            DiffuseTwoRows(upper, lower, errors, dots_[0].data(), dots_[1].data(), n_);
            PackRow(dots_[0].data(), n_, raster + size_t(y) * rowBytes);
            PackRow(dots_[1].data(), n_, raster + size_t(y + 1) * rowBytes);
        }
        if (y < high) {
            DiffuseRow(GreysOf(y), errors, dots_[0].data(), n_);
            PackRow(dots_[0].data(), n_, raster + size_t(y) * rowBytes);
        }
    }

private:
    // Enlarged images repeat source rows: their grey values are worked out once.
    const uint8_t* GreysOf(int32_t y) {
        const int32_t sy = SourceIndex(y, scale_, image_.height);
        if (sy == lastSource_) return greys_[last_].data();
        last_ = (last_ + 1) % greys_.size();
        lastSource_ = sy;
        const uint8_t* row = image_.rgb.get() + size_t(sy) * size_t(image_.width) * kRgb;
        const uint8_t* end = image_.rgb.get() + size_t(image_.height) * size_t(image_.width) * kRgb;
        GreyRow(row, offsets_.data(), n_, end, greys_[last_].data());
        return greys_[last_].data();
    }

    const RgbImage& image_;
    float scale_;
    size_t n_;
    std::vector<uint32_t> offsets_;
    std::array<std::vector<uint8_t>, 3> greys_;
    size_t last_ = 0;
    int32_t lastSource_ = -1;
    std::vector<int32_t> errors_;
    std::array<std::vector<uint8_t>, 2> dots_;
};

// GreyValues works through the pixels this many at a time.
constexpr size_t kGreyChunk = 512;

}  // namespace

int32_t Grey(uint8_t r, uint8_t g, uint8_t b) {
    return GreyOfWeighted(kWeightRed * static_cast<float>(r) + kWeightGreen * static_cast<float>(g) +
                          kWeightBlue * static_cast<float>(b));
}

void GreyValues(std::span<const uint8_t> rgb, std::span<int32_t> greys) {
    const size_t n = std::min(rgb.size() / kRgb, greys.size());
    std::array<uint8_t, kGreyChunk> chunk;
    const uint8_t* end = rgb.data() + n * kRgb;
    for (size_t first = 0; first < n; first += kGreyChunk) {
        const size_t count = std::min(kGreyChunk, n - first);
        GreyRow(rgb.data() + first * kRgb, nullptr, count, end, chunk.data());
        std::copy_n(chunk.begin(), count, greys.begin() + static_cast<std::ptrdiff_t>(first));
    }
}

void Halftone(const RgbImage& image, const Scaled& out, std::vector<uint8_t>& raster) {
    const size_t rowBytes = static_cast<size_t>(out.width / kGranularity);
    raster.assign(rowBytes * static_cast<size_t>(std::max(out.height, 0)), 0);
    const int32_t wide = std::min(out.dotsWide, out.width);
    const int32_t high = std::min(out.dotsHigh, out.height);
    if (wide <= 0 || high <= 0 || image.width <= 0 || image.height <= 0 || out.scale <= 0.0f) return;
    if (!image.rgb) return;
    if (HalftoneWavefront(image, out.scale, static_cast<size_t>(wide), high, raster.data(), rowBytes)) return;
    Halftoner(image, out, static_cast<size_t>(wide)).Run(high, raster.data(), rowBytes);
}

}  // namespace QVO::Printer::Image
