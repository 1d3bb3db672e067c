// PNG files decoded to the same pixels stb_image gives for every PNG kind it reads (depths,
// palettes, grey, alpha, interlacing): 8-bit non-interlaced files through the fast path
// (ImagePngFast.h), the others, and any file it does not take, through libspng.
#pragma once

#include <cstdint>
#include <span>

#include "so/printer/ImageRaster.h"

namespace QVO::Printer::Image::Png {

// True when the bytes open with the PNG signature.
bool HasSignature(std::span<const uint8_t> bytes);

// Decodes a whole PNG file held in memory as RGB (alpha dropped, no gamma: as stb_image does).
// The header (IHDR) is checked against the size limits before any pixel memory is taken:
// TooLarge then. NotDecodable when neither the fast path nor libspng takes the file; the
// caller may try another decoder, since libspng is stricter than stb_image about some
// harmless faults (a palette longer than the bit depth allows). `image` is left as it was
// unless Ok.
Status Decode(std::span<const uint8_t> bytes, RgbImage& image);

}  // namespace QVO::Printer::Image::Png
