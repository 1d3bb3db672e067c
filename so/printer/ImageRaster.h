// Image files to the printer's 1-bit raster: header reading and decoding (PNG in ImagePng.h,
// stb_image for BMP, JPEG and GIF, into one RGB buffer), the size rule, nearest-neighbour
// scaling and error-diffusion halftoning.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace QVO::Printer::Image {

// The Width argument that keeps the image's own width.
inline constexpr int32_t kWidthAsIs = -11;
// Raster widths and heights are whole bytes of dots.
inline constexpr int32_t kGranularity = 8;

// What decoding may cost. A header beyond these is refused before any pixel memory is taken:
// a small file can announce gigabytes (a decompression bomb).
inline constexpr int64_t kMaxFileBytes = int64_t{64} << 20;
inline constexpr int32_t kMaxSide = 16384;
inline constexpr int64_t kMaxPixels = int64_t{24} << 20;

// True when a header announcing that size may be decoded.
constexpr bool WithinLimits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

enum class Status {
    Ok,
    NotFound,      // missing, unreadable or not a regular file
    NotDecodable,  // not an image the decoder reads, or damaged
    TooLarge,      // the file or the size its header announces is beyond the limits above
};

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// The decoded picture: width x height pixels of three bytes (R, G, B), rows top first, in
// the one block the decoder filled (malloc'd, as the decoder allocates).
struct RgbImage {
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t, Free> rgb;

    // A white picture of that size for images made in memory; empty when it cannot be had.
    static RgbImage Blank(int32_t width, int32_t height);
    uint8_t* Pixel(int32_t x, int32_t y) const {
        return rgb.get() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    }
};

// The size an image gets on the printer for a Width in dots (kWidthAsIs keeps its own):
// scale = widthDots / image width; the unrounded width and height are what the halftoning
// covers, the rounded ones (up to whole bytes) what the raster holds.
struct Scaled {
    float scale = 1.0f;
    int32_t dotsWide = 0;
    int32_t dotsHigh = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Reads only the header. Never allocates for the pixels.
Status ReadSize(const std::string& path, Size& size);
// Decodes the whole file as RGB, after checking its header against the limits.
Status Decode(const std::string& path, RgbImage& image);
Status DecodeMemory(std::span<const uint8_t> bytes, RgbImage& image);

// The size rule. False when the width is neither kWidthAsIs nor positive, or the result
// does not fit the raster's counts (it is then far beyond any printable area).
bool ScaleTo(Size image, int32_t widthDots, Scaled& out);

// Scales and halftones `image` into `raster`: (out.width / 8) x out.height bytes, the most
// significant bit the leftmost dot, 1 black; dots outside dotsWide x dotsHigh stay white.
void Halftone(const RgbImage& image, const Scaled& out, std::vector<uint8_t>& raster);

// The grey value of one pixel (0 black .. 255 white), as the halftoning weighs it.
int32_t Grey(uint8_t r, uint8_t g, uint8_t b);
// Grey for each pixel of `rgb` (three bytes a pixel) into `greys` (one a pixel), the way
// Halftone works them out: the same values, in fixed point.
void GreyValues(std::span<const uint8_t> rgb, std::span<int32_t> greys);

}  // namespace QVO::Printer::Image
