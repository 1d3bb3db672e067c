// PNG decoding with libspng: every PNG kind gives the pixels stb_image gave for it, files
// libspng refuses for harmless faults still decode, and headers beyond the limits are refused
// before decoding.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "so/printer/ImagePng.h"
#include "so/printer/ImageRaster.h"
#include "tests/so/printer/PngTestWriter.h"
#include "tests/so/printer/StbPngReference.h"

namespace QVO::Printer::Image {

void PrintTo(Status s, std::ostream* os);

namespace {

using TestPng::Bytes;
using TestPng::Chunk;
using TestPng::Put32;
using TestPng::Stored;

struct Kind {
    uint8_t colour;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    uint8_t depth;
    bool interlaced;
};

int Channels(uint8_t colour) { return colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1; }

// Scanlines (filter byte 0) of one pass: samples packed MSB first at depths below 8.
void Scanlines(Bytes& raw, const Kind& k, const std::vector<uint16_t>& samples, int32_t width, int32_t x0, int32_t y0,
               int32_t dx, int32_t dy, int32_t height) {
    const int ch = Channels(k.colour);
    for (int32_t y = y0; y < height; y += dy) {
        if (x0 >= width) return;
        raw.push_back(0);
        uint32_t acc = 0, bits = 0;
        for (int32_t x = x0; x < width; x += dx)
            for (int c = 0; c < ch; ++c) {
                const uint16_t v = samples[(size_t(y) * size_t(width) + size_t(x)) * size_t(ch) + size_t(c)];
                if (k.depth == 16) {
                    raw.push_back(uint8_t(v >> 8));
                    raw.push_back(uint8_t(v));
                    continue;
                }
                acc = (acc << k.depth) | v;
                bits += k.depth;
                if (bits == 8) raw.push_back(uint8_t(acc)), acc = 0, bits = 0;
            }
        if (bits > 0) raw.push_back(uint8_t(acc << (8 - bits)));
    }
}

// A PNG of the kind with samples from a fixed seed; `extra` chunks go before the data.
Bytes MakePng(const Kind& k, int32_t width, int32_t height, uint32_t seed, const Bytes& extra = {},
              size_t paletteEntries = 0, bool badDataCrc = false) {
    const size_t maxSample = (size_t{1} << k.depth) - 1;
    const size_t entries = paletteEntries != 0 ? paletteEntries : std::min<size_t>(maxSample + 1, 16);
    std::vector<uint16_t> samples(size_t(width) * size_t(height) * size_t(Channels(k.colour)));
    for (uint16_t& s : samples) {
        seed = seed * 1664525u + 1013904223u;
        s = uint16_t((seed >> 8) % ((k.colour == 3 ? std::min(entries, maxSample + 1) - 1 : maxSample) + 1));
    }
    Bytes raw;
    static constexpr std::array<std::array<int32_t, 4>, 7> kAdam7 = {
        {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
    if (k.interlaced) {
        for (const auto& p : kAdam7) Scanlines(raw, k, samples, width, p[0], p[1], p[2], p[3], height);
    } else {
        Scanlines(raw, k, samples, width, 0, 0, 1, 1, height);
    }
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    Put32(ihdr, uint32_t(width));
    Put32(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {k.depth, k.colour, 0, 0, uint8_t(k.interlaced ? 1 : 0)});
    Chunk(png, "IHDR", ihdr);
    if (k.colour == 3) {
        Bytes plte;
        for (size_t i = 0; i < entries * 3; ++i) plte.push_back(uint8_t(i * 53 + 7));
        Chunk(png, "PLTE", plte);
    }
    png.insert(png.end(), extra.begin(), extra.end());
    Chunk(png, "IDAT", Stored(raw), badDataCrc);
    Chunk(png, "IEND", {});
    return png;
}

Bytes ExtraChunk(const char* type, const Bytes& data) {
    Bytes b;
    Chunk(b, type, data);
    return b;
}

// The pixels stb_image makes of the file, as RGB.
Bytes StbPixels(const Bytes& png, int& width, int& height) {
    int components = 0;
    stbi_uc* p = stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &components, 3);
    if (p == nullptr) return {};
    Bytes out(p, p + size_t(width) * size_t(height) * 3);
    stbi_image_free(p);
    return out;
}

void ExpectSamePixels(const Bytes& png, const RgbImage& image, const std::string& what) {
    int w = 0, h = 0;
    const Bytes want = StbPixels(png, w, h);
    ASSERT_FALSE(want.empty()) << what << ": the reference decoder refused it";
    ASSERT_EQ(image.width, w) << what;
    ASSERT_EQ(image.height, h) << what;
    const Bytes got(image.rgb.get(), image.rgb.get() + want.size());
    EXPECT_EQ(got, want) << what;
}

std::string Name(const Kind& k, int32_t w, int32_t h) {
    return "colour " + std::to_string(k.colour) + " depth " + std::to_string(k.depth) +
           (k.interlaced ? " interlaced " : " ") + std::to_string(w) + "x" + std::to_string(h);
}

// Every colour type at every depth it allows, plain and interlaced, at sizes that leave
// partial bytes and empty interlace passes: libspng decodes each, to stb_image's pixels.
TEST(ImagePng, EveryKindDecodesToTheSamePixelsAsBefore) {
    const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> depths = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    const std::array<std::array<int32_t, 2>, 3> sizes = {{{13, 7}, {1, 1}, {33, 20}}};
    uint32_t seed = 1;
    for (const auto& [colour, list] : depths)
        for (uint8_t depth : list)
            for (bool interlaced : {false, true})
                for (const auto& [w, h] : sizes) {
                    const Kind k{colour, depth, interlaced};
                    const Bytes png = MakePng(k, w, h, ++seed);
                    RgbImage image;
                    ASSERT_EQ(Png::Decode(png, image), Status::Ok) << Name(k, w, h);
                    ExpectSamePixels(png, image, Name(k, w, h));
                }
    // Transparency, gamma and significant-bits chunks change nothing: alpha is dropped and
    // no gamma is applied, as before.
    const Kind rgb{2, 8, false}, grey{0, 8, false}, palette{3, 8, false};
    const std::vector<std::pair<Kind, Bytes>> extras = {
        {rgb, ExtraChunk("tRNS", {0, 1, 0, 2, 0, 3})},
        {palette, ExtraChunk("tRNS", {0, 64, 128, 255})},
        {rgb, ExtraChunk("gAMA", {0, 1, 0x86, 0xA0})},
        {rgb, ExtraChunk("sBIT", {5, 6, 5})},
        {grey, ExtraChunk("sBIT", {3})},
    };
    for (const auto& [k, extra] : extras) {
        const Bytes png = MakePng(k, 9, 5, ++seed, extra);
        RgbImage image;
        ASSERT_EQ(Png::Decode(png, image), Status::Ok) << Name(k, 9, 5) << " with extra chunk";
        ExpectSamePixels(png, image, Name(k, 9, 5) + " with extra chunk");
    }
}

// libspng refuses a palette longer than the depth allows, which stb_image read: such a file,
// which printed before, still prints. A damaged chunk checksum never stopped a picture either.
TEST(ImagePng, FilesLibspngRefusesStillDecode) {
    const Bytes longPalette = MakePng({3, 1, false}, 13, 7, 3, {}, 16);
    RgbImage image;
    EXPECT_EQ(Png::Decode(longPalette, image), Status::NotDecodable);
    EXPECT_FALSE(image.rgb);
    ASSERT_EQ(DecodeMemory(longPalette, image), Status::Ok);
    ExpectSamePixels(longPalette, image, "long palette");

    const Bytes badCrc = MakePng({2, 8, false}, 13, 7, 4, {}, 0, true);
    RgbImage other;
    ASSERT_EQ(DecodeMemory(badCrc, other), Status::Ok);
    ExpectSamePixels(badCrc, other, "bad checksum");
}

// A header announcing more than may be decoded is refused by the PNG path itself (no pixel
// memory taken: the file holds no pixel data at all), and damaged data is not taken as a
// picture by either decoder.
TEST(ImagePng, HeadersBeyondTheLimitsAndDamagedDataAreRefused) {
    auto headerOnly = [](uint32_t w, uint32_t h) {
        Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        Bytes ihdr;
        Put32(ihdr, w);
        Put32(ihdr, h);
        ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
        Chunk(png, "IHDR", ihdr);
        return png;
    };
    RgbImage image;
    EXPECT_EQ(Png::Decode(headerOnly(16000, 16000), image), Status::TooLarge);
    EXPECT_EQ(Png::Decode(headerOnly(16384, 1537), image), Status::TooLarge);   // just past 24 Mpixels
    EXPECT_EQ(Png::Decode(headerOnly(16385, 1), image), Status::NotDecodable);  // past the side limit
    EXPECT_EQ(Png::Decode(headerOnly(0, 5), image), Status::NotDecodable);
    EXPECT_FALSE(image.rgb);

    Bytes cut = MakePng({2, 8, false}, 64, 64, 5);
    cut.resize(cut.size() / 2);
    EXPECT_EQ(Png::Decode(cut, image), Status::NotDecodable);
    EXPECT_EQ(DecodeMemory(cut, image), Status::NotDecodable);
    EXPECT_FALSE(image.rgb);
    EXPECT_FALSE(Png::HasSignature(std::span<const uint8_t>(cut.data(), 7)));
    EXPECT_TRUE(Png::HasSignature(cut));
}

}  // namespace
}  // namespace QVO::Printer::Image
