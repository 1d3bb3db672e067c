// The fast PNG path: 8-bit, non-interlaced files inflated whole with libdeflate and unfiltered
// with vector code, for the kinds photographs and logos come as.
#pragma once

#include <cstdint>
#include <span>

#include "so/printer/ImageRaster.h"

namespace QVO::Printer::Image::Png {

// Decodes the file to RGB if it is grey, RGB, palette, grey with alpha or RGBA at 8 bits,
// not interlaced, and entirely sound: the header first, every chunk within the file and its
// checksum right, no transparency chunk, the image data in consecutive chunks that inflate
// (checksum included) to exactly the rows the header announces and end there, known filters,
// palette indices within the palette, and an end chunk. The header is checked against the
// limits before any pixel memory is taken. False for anything else, with `image` unchanged:
// the caller then reads the file the general way, which decides what such a file gives.
// Stateless: safe from any thread.
bool DecodeFast(std::span<const uint8_t> bytes, RgbImage& image);

}  // namespace QVO::Printer::Image::Png
