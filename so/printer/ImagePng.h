// PNG files decoded with libspng: about twice as fast as stb_image on photographs, and the
// same pixels for every PNG kind stb_image reads (depths, palettes, grey, alpha, interlacing).
#pragma once

#include <cstdint>
#include <span>

#include "so/printer/ImageRaster.h"

namespace QVO::Printer::Image::Png {

// True when the bytes open with the PNG signature.
bool HasSignature(std::span<const uint8_t> bytes);

// Decodes a whole PNG file held in memory as RGB (alpha dropped, no gamma: as stb_image does).
// The header (IHDR) is checked against the size limits before any pixel memory is taken:
// TooLarge then. NotDecodable when libspng refuses the file; the caller may try another
// decoder, since libspng is stricter than stb_image about some harmless faults (a palette
// longer than the bit depth allows). `image` is left as it was unless Ok.
Status Decode(std::span<const uint8_t> bytes, RgbImage& image);

}  // namespace QVO::Printer::Image::Png
