// Fuzz target for image files: whatever bytes arrive as an image are decoded within the size
// limits, scaled and halftoned, or refused; never a crash or an allocation beyond the limits.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "so/printer/ImageRaster.h"

namespace Image = QVO::Printer::Image;

// The engine refuses objects longer than this before it halftones them; so does the target.
constexpr int32_t kLongestObject = 2048;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image::RgbImage image;
    if (Image::DecodeMemory(std::span<const uint8_t>(data, size), image) != Image::Status::Ok) return 0;
    // Print widths the way the engine asks for them: as is, and a receipt's width.
    for (int32_t widthDots : {Image::kWidthAsIs, 576}) {
        Image::Scaled scaled;
        if (!Image::ScaleTo({image.width, image.height}, widthDots, scaled)) continue;
        if (scaled.width > kLongestObject || scaled.height > kLongestObject) continue;
        std::vector<uint8_t> raster;
        Image::Halftone(image, scaled, raster);
    }
    return 0;
}
