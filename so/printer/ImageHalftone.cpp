// Decoded pictures to the printer's 1-bit raster: nearest-neighbour scaling, grey values,
// error-diffusion halftoning and packing, two raster rows at a time.
#include "so/printer/ImageRaster.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace QVO::Printer::Image {

namespace {

constexpr size_t kRgb = 3;
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

// The luminance weights.
constexpr float kWeightRed = 0.29891f;
constexpr float kWeightGreen = 0.58661f;
constexpr float kWeightBlue = 0.11448f;

// Gamma 1: the luminance as it stands, scaled back to 0..255 and truncated.
int32_t GreyOfWeighted(float weighted) {
    const float luminance = (weighted * 255.0f / 255.0f + 255.0f - 255.0f) / 255.0f;
    return static_cast<int32_t>(255.0f * luminance);
}

// The same grey value without floating point. With S = 29891 r + 58661 g + 11448 b, Grey is
// S / 100000 (rounded down) for every colour but a few whose S lies 1 to 3 below a multiple of
// 100000, where the float rounding above decides (the tests check all 2^24 colours). The
// tables hold each channel's share of S / 100000 in 32.32 fixed point, rounded down. A sum
// whose fraction is at or beyond the middle between 99996 and 99997 hundred-thousandths goes
// to the float formula; so would one that fell a unit or two short of a whole number, but the
// 3 units added to one table lift such sums to it (never past the next one), so that pure
// greys, whose S is a multiple of 100000, stay on the fast path.
constexpr uint64_t kShareScale = 100000;
constexpr uint64_t kFixedOne = uint64_t{1} << 32;
constexpr uint64_t kTableBias = 3;
constexpr uint32_t kNearWhole = static_cast<uint32_t>((uint64_t{99996} * kFixedOne + kFixedOne / 2) / kShareScale);

constexpr std::array<uint64_t, 256> ShareTable(uint64_t weight, uint64_t bias) {
    std::array<uint64_t, 256> table{};
    for (uint64_t i = 0; i < table.size(); ++i) table[i] = i * weight * kFixedOne / kShareScale + bias;
    return table;
}
constexpr std::array<uint64_t, 256> kRedShare = ShareTable(29891, 0);
constexpr std::array<uint64_t, 256> kGreenShare = ShareTable(58661, 0);
constexpr std::array<uint64_t, 256> kBlueShare = ShareTable(11448, kTableBias);

inline int32_t FastGrey(const uint8_t* p) {
    const uint64_t sum = kRedShare[p[0]] + kGreenShare[p[1]] + kBlueShare[p[2]];
    if (static_cast<uint32_t>(sum) >= kNearWhole) [[unlikely]]
        return Grey(p[0], p[1], p[2]);
    return static_cast<int32_t>(sum >> 32);
}

int32_t SourceIndex(int32_t destination, float scale, int32_t limit) {
    const auto index = static_cast<int64_t>(static_cast<float>(destination) / scale);
    return static_cast<int32_t>(std::clamp<int64_t>(index, 0, limit - 1));
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
inline void DiffuseDot(RowState& s, const int32_t* greys, int32_t* errors, uint8_t* dots, size_t x) {
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

void DiffuseTwoRows(const int32_t* upper, const int32_t* lower, int32_t* errors, uint8_t* upperDots, uint8_t* lowerDots,
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

void DiffuseRow(const int32_t* greys, int32_t* errors, uint8_t* dots, size_t n) {
    RowState s;
    for (size_t x = 0; x < n; ++x) DiffuseDot(s, greys, errors, dots, x);
    errors[n - 1] = s.pending;
}

// Eight dots (one byte each, 0 or 1, the leftmost first) to one raster byte, the leftmost the
// most significant bit: the multiplication moves byte i's bit to bit 63 - i and nothing else
// reaches the top byte.
constexpr uint64_t kGatherBits = 0x8040201008040201;

void PackRow(const uint8_t* dots, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; i += kGranularity) {
        uint64_t eight = 0;
        std::memcpy(&eight, dots + i, sizeof eight);
        const auto byte = static_cast<uint8_t>((eight * kGatherBits) >> 56);
        out[i / kGranularity] = byte == kDle ? kDleSubstitute : byte;
    }
}

// The working rows of one halftoning: source columns, grey rows (three, so that the two in
// use and the last one made are never overwritten), the error row and the dot rows.
class Halftoner {
public:
    Halftoner(const RgbImage& image, const Scaled& out, size_t wide)
        : image_(image), scale_(out.scale), n_(wide), offsets_(wide), errors_(wide + 1, 0) {
        for (size_t x = 0; x < n_; ++x)
            offsets_[x] = static_cast<uint32_t>(SourceIndex(int32_t(x), scale_, image.width)) * kRgb;
        for (auto& g : greys_) g.resize(n_);
        // Whole bytes of dots: the packing reads eight at a time; past the width they stay white.
        const size_t padded = (n_ + kGranularity - 1) / kGranularity * kGranularity;
        for (auto& d : dots_) d.assign(padded, 0);
    }

    void Run(int32_t high, uint8_t* raster, size_t rowBytes) {
        int32_t y = 0;
        int32_t* errors = errors_.data() + 1;
        for (; y + 1 < high; y += 2) {
            const int32_t* upper = GreysOf(y);
            const int32_t* lower = GreysOf(y + 1);
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
    const int32_t* GreysOf(int32_t y) {
        const int32_t sy = SourceIndex(y, scale_, image_.height);
        if (sy == lastSource_) return greys_[last_].data();
        last_ = (last_ + 1) % greys_.size();
        lastSource_ = sy;
        const uint8_t* row = image_.rgb.get() + size_t(sy) * size_t(image_.width) * kRgb;
        int32_t* out = greys_[last_].data();
        for (size_t x = 0; x < n_; ++x) out[x] = FastGrey(row + offsets_[x]);
        return out;
    }

    const RgbImage& image_;
    float scale_;
    size_t n_;
    std::vector<uint32_t> offsets_;
    std::array<std::vector<int32_t>, 3> greys_;
    size_t last_ = 0;
    int32_t lastSource_ = -1;
    std::vector<int32_t> errors_;
    std::array<std::vector<uint8_t>, 2> dots_;
};

}  // namespace

int32_t Grey(uint8_t r, uint8_t g, uint8_t b) {
    return GreyOfWeighted(kWeightRed * static_cast<float>(r) + kWeightGreen * static_cast<float>(g) +
                          kWeightBlue * static_cast<float>(b));
}

void GreyValues(std::span<const uint8_t> rgb, std::span<int32_t> greys) {
    const size_t n = std::min(rgb.size() / kRgb, greys.size());
    for (size_t i = 0; i < n; ++i) greys[i] = FastGrey(rgb.data() + i * kRgb);
}

void Halftone(const RgbImage& image, const Scaled& out, std::vector<uint8_t>& raster) {
    const size_t rowBytes = static_cast<size_t>(out.width / kGranularity);
    raster.assign(rowBytes * static_cast<size_t>(std::max(out.height, 0)), 0);
    const int32_t wide = std::min(out.dotsWide, out.width);
    const int32_t high = std::min(out.dotsHigh, out.height);
    if (wide <= 0 || high <= 0 || image.width <= 0 || image.height <= 0 || out.scale <= 0.0f) return;
    if (!image.rgb) return;
    Halftoner(image, out, static_cast<size_t>(wide)).Run(high, raster.data(), rowBytes);
}

}  // namespace QVO::Printer::Image
