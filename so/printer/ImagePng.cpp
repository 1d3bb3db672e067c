// PNG decoding: the fast path for the common kinds, libspng for the rest, with the size limits
// applied to the header before decoding.
#include "so/printer/ImagePng.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "so/printer/ImagePngFast.h"

namespace QVO::Printer::Image::Png {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Metadata chunks (text, colour profiles) are not used; what libspng keeps of them, inflated
// text included, is bounded so that a small file cannot make it take much memory. libspng
// wants the limit on one chunk no larger than the limit on all; a file beyond them is left
// to stb_image.
constexpr size_t kChunkMemoryLimit = size_t{8} << 20;

struct ContextFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

// The compressed stream's own checksum (Adler-32) is not checked, as stb_image never checked
// it: about 4% of the decoding time. A damaged stream still fails on its structure or length.
Context OpenContext(std::span<const uint8_t> bytes) {
    Context ctx(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32));
    if (!ctx) return ctx;
    if (spng_set_image_limits(ctx.get(), uint32_t(kMaxSide), uint32_t(kMaxSide)) != 0 ||
        spng_set_chunk_limits(ctx.get(), kChunkMemoryLimit, kChunkMemoryLimit) != 0 ||
        spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0)
        ctx.reset();
    return ctx;
}

}  // namespace

bool HasSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

Status Decode(std::span<const uint8_t> bytes, RgbImage& image) {
    // Anything the fast path does not take, damaged files included, is decided here as before.
    if (DecodeFast(bytes, image)) return Status::Ok;
    Context ctx = OpenContext(bytes);
    if (!ctx) return Status::NotDecodable;
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0) return Status::NotDecodable;
    if (!WithinLimits(ihdr.width, ihdr.height)) return Status::TooLarge;
    size_t length = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &length) != 0 ||
        length != size_t{ihdr.width} * ihdr.height * 3)
        return Status::NotDecodable;
    std::unique_ptr<uint8_t, RgbImage::Free> pixels(static_cast<uint8_t*>(std::malloc(length)));
    if (!pixels) return Status::NotDecodable;
    if (spng_decode_image(ctx.get(), pixels.get(), length, SPNG_FMT_RGB8, 0) != 0) return Status::NotDecodable;
    image.rgb.reset(pixels.release());
    image.width = int32_t(ihdr.width);
    image.height = int32_t(ihdr.height);
    return Status::Ok;
}

}  // namespace QVO::Printer::Image::Png
