// The halftoning's inner pieces shared by the portable path (ImageHalftone.cpp) and the vector
// path (ImageHalftoneWavefront.cpp): the diffusion constants, the exact grey value of a pixel
// and a row of them, and the sixteen-rows-at-a-time halftoner. Internal to the image module.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "so/printer/ImageRaster.h"

namespace QVO::Printer::Image::Kernels {

inline constexpr size_t kRgb = 3;
inline constexpr int32_t kThreshold = 128;
inline constexpr int32_t kWhite = 255;
inline constexpr int32_t kErrorShift = 4;  // the four weights add up to 16
inline constexpr int32_t kWeightBelow = 7;
inline constexpr int32_t kWeightRight = 5;
inline constexpr int32_t kWeightBelowRight = 3;
// A packed byte of exactly this value goes out as kDleSubstitute: 0x10 is DLE, which some
// printers take as the start of a real-time command even inside image data.
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kDleSubstitute = 0x20;

// Eight dots (one byte each, 0 or 1, the leftmost first) to one raster byte, the leftmost the
// most significant bit: the multiplication moves byte i's bit to bit 63 - i and nothing else
// reaches the top byte.
inline constexpr uint64_t kGatherBits = 0x8040201008040201;
inline constexpr uint64_t kLowBitOfEachByte = 0x0101010101010101;

inline uint8_t PackEight(uint64_t dots) {
    const auto byte = static_cast<uint8_t>((dots * kGatherBits) >> 56);
    return byte == kDle ? kDleSubstitute : byte;
}

// The grey value of a pixel without floating point. With S = 29891 r + 58661 g + 11448 b, Grey
// is S / 100000 (rounded down) for every colour but a few whose S lies 1 to 3 below a multiple
// of 100000, where the float rounding of Grey decides (the tests check all 2^24 colours). The
// tables hold each channel's share of S / 100000 in 32.32 fixed point, rounded down. A sum
// whose fraction is at or beyond the middle between 99996 and 99997 hundred-thousandths goes
// to the float formula; so would one that fell a unit or two short of a whole number, but the
// 3 units added to one table lift such sums to it (never past the next one), so that pure
// greys, whose S is a multiple of 100000, stay on the fast path.
inline constexpr int32_t kShareRed = 29891;
inline constexpr int32_t kShareGreen = 58661;
inline constexpr int32_t kShareBlue = 11448;
inline constexpr int32_t kShareScale = 100000;
// Colours whose S lies this close below a multiple of kShareScale take the float formula.
inline constexpr int32_t kNearWholeGap = 3;

inline constexpr uint64_t kFixedOne = uint64_t{1} << 32;
inline constexpr uint64_t kTableBias = 3;
inline constexpr uint32_t kNearWhole =
    static_cast<uint32_t>((uint64_t{kShareScale - kNearWholeGap - 1} * kFixedOne + kFixedOne / 2) / kShareScale);

constexpr std::array<uint64_t, 256> ShareTable(uint64_t weight, uint64_t bias) {
    std::array<uint64_t, 256> table{};
    for (uint64_t i = 0; i < table.size(); ++i) table[i] = i * weight * kFixedOne / kShareScale + bias;
    return table;
}
inline constexpr std::array<uint64_t, 256> kRedShare = ShareTable(kShareRed, 0);
inline constexpr std::array<uint64_t, 256> kGreenShare = ShareTable(kShareGreen, 0);
inline constexpr std::array<uint64_t, 256> kBlueShare = ShareTable(kShareBlue, kTableBias);

inline int32_t FastGrey(const uint8_t* p) {
    const uint64_t sum = kRedShare[p[0]] + kGreenShare[p[1]] + kBlueShare[p[2]];
    if (static_cast<uint32_t>(sum) >= kNearWhole) [[unlikely]]
        return Grey(p[0], p[1], p[2]);
    return static_cast<int32_t>(sum >> 32);
}

inline int32_t SourceIndex(int32_t destination, float scale, int32_t limit) {
    const auto index = static_cast<int64_t>(static_cast<float>(destination) / scale);
    return static_cast<int32_t>(std::clamp<int64_t>(index, 0, limit - 1));
}

// Where each of the n destination columns takes its pixel: the byte offset of its source column
// in a row (nearest neighbour).
inline std::vector<uint32_t> SourceOffsets(int32_t imageWidth, float scale, size_t n) {
    std::vector<uint32_t> offsets(n);
    for (size_t x = 0; x < n; ++x)
        offsets[x] = static_cast<uint32_t>(SourceIndex(int32_t(x), scale, imageWidth)) * kRgb;
    return offsets;
}

// The grey values of n pixels, pixel i at base + offsets[i] (offsets never decrease), or at
// base + 3i without offsets, into out[0..n). `end` is the end of the pixel memory: the vector
// path reads beyond a pixel's three bytes and takes the last pixels one at a time where such a
// read would pass it.
void GreyRow(const uint8_t* base, const uint32_t* offsets, size_t n, const uint8_t* end, uint8_t* out);

// Halftones as Halftone does, sixteen raster rows at a time in vector registers; false (and
// nothing written) where this build or the width does not allow it.
bool HalftoneWavefront(const RgbImage& image, float scale, size_t wide, int32_t high, uint8_t* raster, size_t rowBytes);

}  // namespace QVO::Printer::Image::Kernels
