// The fast PNG path: every kind it takes, under every row filter, at awkward sizes and with the
// compressed data cut into chunks at odd places, gives stb_image's pixels; damaged and hostile
// files are left to the general path and end as they did before it existed.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "so/printer/ImagePng.h"
#include "so/printer/ImagePngFast.h"
#include "so/printer/ImageRaster.h"
#include "tests/so/printer/PngTestWriter.h"
#include "tests/so/printer/StbPngReference.h"

namespace QVO::Printer::Image {

void PrintTo(Status s, std::ostream* os);

namespace {

using TestPng::Bytes;
using TestPng::Chunk;
using TestPng::Put32;

struct FastKind {
    uint8_t colour;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    size_t channels;
};
constexpr std::array<FastKind, 5> kFastKinds = {{{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}}};
constexpr size_t kPaletteEntries = 37;
constexpr int kMixedFilters = -1;  // row y gets filter y % 5
constexpr int kFilterCount = 5;

// Samples that give the predictors work: full-range noise, a narrow range (ties between the
// Paeth candidates everywhere, as its rows come in pairs) and smooth ramps, two rows of each
// in turn.
Bytes Samples(size_t width, size_t height, size_t channels, uint8_t colour, uint32_t seed) {
    Bytes out(width * height * channels);
    for (size_t y = 0; y < height; ++y)
        for (size_t i = 0; i < width * channels; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t noise = seed >> 8;
            const size_t mode = (y / 2) % 3;
            uint32_t v = mode == 0 ? noise : mode == 1 ? 250 + noise % 4 : i * 7 + y * 3 + noise % 3;
            if (colour == 3) v %= kPaletteEntries;
            out[y * width * channels + i] = uint8_t(v);
        }
    return out;
}

uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The rows with a filter byte each, filtered as an encoder would.
Bytes Filtered(const Bytes& samples, size_t rowBytes, size_t bpp, int filter) {
    Bytes out;
    const size_t rows = samples.size() / rowBytes;
    for (size_t y = 0; y < rows; ++y) {
        const int f = filter == kMixedFilters ? int(y % kFilterCount) : filter;
        out.push_back(uint8_t(f));
        for (size_t i = 0; i < rowBytes; ++i) {
            const int x = samples[y * rowBytes + i];
            const int a = i >= bpp ? samples[y * rowBytes + i - bpp] : 0;
            const int b = y > 0 ? samples[(y - 1) * rowBytes + i] : 0;
            const int c = y > 0 && i >= bpp ? samples[(y - 1) * rowBytes + i - bpp] : 0;
            const int predictors[kFilterCount] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
            out.push_back(uint8_t(x - predictors[f]));
        }
    }
    return out;
}

Bytes Compressed(const Bytes& raw) {
    struct Free {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    const std::unique_ptr<libdeflate_compressor, Free> c(libdeflate_alloc_compressor(6));
    Bytes z(libdeflate_zlib_compress_bound(c.get(), raw.size()));
    z.resize(libdeflate_zlib_compress(c.get(), raw.data(), raw.size(), z.data(), z.size()));
    return z;
}

Bytes Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, uint8_t interlace = 0) {
    Bytes ihdr;
    Put32(ihdr, width);
    Put32(ihdr, height);
    ihdr.insert(ihdr.end(), {depth, colour, 0, 0, interlace});
    return ihdr;
}

Bytes Signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }

Bytes Palette() {
    Bytes plte;
    for (size_t i = 0; i < kPaletteEntries * 3; ++i) plte.push_back(uint8_t(i * 71 + 13));
    return plte;
}

// A file of the kind around the zlib stream, its data in chunks of `split` bytes (0: one).
Bytes FileOf(const FastKind& k, size_t width, size_t height, const Bytes& zlib, size_t split = 0) {
    Bytes png = Signature();
    Chunk(png, "IHDR", Header(uint32_t(width), uint32_t(height), 8, k.colour));
    if (k.colour == 3) Chunk(png, "PLTE", Palette());
    const size_t step = split == 0 ? zlib.size() : split;
    for (size_t at = 0; at < zlib.size(); at += step)
        Chunk(png, "IDAT", Bytes(zlib.begin() + long(at), zlib.begin() + long(std::min(zlib.size(), at + step))));
    Chunk(png, "IEND", {});
    return png;
}

Bytes StbPixels(const Bytes& png) {
    int w = 0, h = 0, components = 0;
    stbi_uc* p = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &components, 3);
    if (p == nullptr) return {};
    Bytes out(p, p + size_t(w) * size_t(h) * 3);
    stbi_image_free(p);
    return out;
}

Bytes PixelsOf(const RgbImage& image) {
    return Bytes(image.rgb.get(), image.rgb.get() + size_t(image.width) * size_t(image.height) * 3);
}

std::string Name(const FastKind& k, size_t w, size_t h, int filter, size_t split, bool compressed) {
    return "colour " + std::to_string(k.colour) + " " + std::to_string(w) + "x" + std::to_string(h) + " filter " +
           (filter == kMixedFilters ? std::string("mixed") : std::to_string(filter)) + " split " +
           std::to_string(split) + (compressed ? " compressed" : " stored");
}

// Every kind the fast path takes, each filter on every row and all five mixed, at widths of
// one to a few pixels, odd widths, a single row, stored or compressed, in one chunk or cut at
// odd places: taken by the fast path, to stb_image's pixels. Catches a wrong predictor (Paeth
// ties, Average rounding), a wrong pixel size, a row edge read or written wrong, the alpha or
// grey conversion, and the joining of the data chunks.
TEST(ImagePngFast, EveryKindAndFilterGivesTheReferencePixels) {
    const std::array<std::array<size_t, 2>, 8> sizes = {
        {{1, 1}, {2, 3}, {3, 2}, {5, 4}, {13, 7}, {33, 20}, {71, 1}, {1, 17}}};
    uint32_t seed = 7;
    for (const FastKind& k : kFastKinds)
        for (int filter = kMixedFilters; filter < kFilterCount; ++filter)
            for (const auto& [w, h] : sizes) {
                const Bytes raw =
                    Filtered(Samples(w, h, k.channels, k.colour, ++seed), w * k.channels, k.channels, filter);
                for (bool compressed : {false, true})
                    for (size_t split : {size_t{0}, size_t{1}, size_t{7}, size_t{100}}) {
                        const Bytes png = FileOf(k, w, h, compressed ? Compressed(raw) : TestPng::Stored(raw), split);
                        const std::string what = Name(k, w, h, filter, split, compressed);
                        const Bytes want = StbPixels(png);
                        ASSERT_FALSE(want.empty()) << what << ": the reference decoder refused it";
                        RgbImage image;
                        ASSERT_TRUE(Png::DecodeFast(png, image)) << what;
                        ASSERT_EQ(image.width, int32_t(w)) << what;
                        ASSERT_EQ(image.height, int32_t(h)) << what;
                        ASSERT_EQ(PixelsOf(image), want) << what;
                    }
            }
}

// A larger picture: wide rows (the 16-byte blocks of Up and their tails) and many rows, each
// filter in turn; the fast path's picture is also what Png::Decode gives.
TEST(ImagePngFast, WidePicturesDecodeThroughTheFastPath) {
    const FastKind rgb = kFastKinds[1], rgba = kFastKinds[4];
    for (const FastKind& k : {rgb, rgba}) {
        const size_t w = 301, h = 64;
        const Bytes png = FileOf(
            k, w, h,
            Compressed(Filtered(Samples(w, h, k.channels, k.colour, 99), w * k.channels, k.channels, kMixedFilters)),
            4093);
        RgbImage fast, image;
        ASSERT_TRUE(Png::DecodeFast(png, fast));
        EXPECT_EQ(PixelsOf(fast), StbPixels(png)) << "colour " << int(k.colour);
        ASSERT_EQ(Png::Decode(png, image), Status::Ok);
        EXPECT_EQ(PixelsOf(image), PixelsOf(fast)) << "colour " << int(k.colour);
    }
}

// A file the fast path must leave alone, and what the general path has always made of it.
struct Hostile {
    std::string name;
    Bytes file;
    Status fromPng;     // Png::Decode: libspng's answer
    Status fromMemory;  // DecodeMemory: stb_image's after a libspng refusal
};

constexpr size_t kWidth = 21, kHeight = 9;
constexpr size_t kFirstData = 33;  // signature and header chunk
constexpr size_t kPiece = 100;     // the data chunks' size

Bytes ChunkOf(const char* type, const Bytes& data, bool badCrc = false) {
    Bytes b;
    Chunk(b, type, data, badCrc);
    return b;
}

// An RGB file around the stream, the data in chunks of kPiece bytes; `between` goes after the
// first of them, `before` ahead of them all.
Bytes RgbFile(const Bytes& zlib, const Bytes& before = {}, const Bytes& between = {}, bool end = true) {
    Bytes png = Signature();
    Chunk(png, "IHDR", Header(kWidth, kHeight, 8, 2));
    png.insert(png.end(), before.begin(), before.end());
    for (size_t at = 0; at < zlib.size(); at += kPiece) {
        Chunk(png, "IDAT", Bytes(zlib.begin() + long(at), zlib.begin() + long(std::min(zlib.size(), at + kPiece))));
        if (at == 0) png.insert(png.end(), between.begin(), between.end());
    }
    if (end) Chunk(png, "IEND", {});
    return png;
}

Bytes Rows() { return Filtered(Samples(kWidth, kHeight, 3, 2, 5), kWidth * 3, 3, kMixedFilters); }

// Damage to the chunk structure and to the checksums.
void AddChunkDamage(std::vector<Hostile>& out, const Bytes& zlib) {
    const Bytes good = RgbFile(zlib);
    Bytes pastEnd = good;
    pastEnd[kFirstData + 2] = 0xFF;
    out.push_back({"length past the end", pastEnd, Status::NotDecodable, Status::NotDecodable});
    Bytes huge = good;
    huge[kFirstData] = 0x80;
    out.push_back({"length over 2^31-1", huge, Status::NotDecodable, Status::NotDecodable});
    out.push_back({"file cut in the data", Bytes(good.begin(), good.begin() + long(good.size() / 2)),
                   Status::NotDecodable, Status::NotDecodable});
    Bytes badCrc = good;
    badCrc[kFirstData + 8 + kPiece] ^= 1;
    out.push_back({"data chunk with a wrong checksum", badCrc, Status::NotDecodable, Status::Ok});
    out.push_back({"text chunk with a wrong checksum", RgbFile(zlib, ChunkOf("tEXt", {'a', 0, 'b'}, true)), Status::Ok,
                   Status::Ok});
    out.push_back({"text chunk between data chunks", RgbFile(zlib, {}, ChunkOf("tEXt", {'a', 0, 'b'})),
                   Status::NotDecodable, Status::Ok});
    out.push_back({"no end chunk", RgbFile(zlib, {}, {}, false), Status::Ok, Status::Ok});
    out.push_back({"transparency", RgbFile(zlib, ChunkOf("tRNS", {0, 1, 0, 2, 0, 3})), Status::Ok, Status::Ok});
    out.push_back(
        {"unknown critical chunk", RgbFile(zlib, ChunkOf("QUVO", {1})), Status::NotDecodable, Status::NotDecodable});
    Bytes early = Signature();
    Chunk(early, "IDAT", zlib);
    Chunk(early, "IHDR", Header(kWidth, kHeight, 8, 2));
    Chunk(early, "IEND", {});
    out.push_back({"data before the header", early, Status::NotDecodable, Status::NotDecodable});
}

// Damage to the compressed stream and to what it holds.
void AddDataDamage(std::vector<Hostile>& out, const Bytes& rows, const Bytes& zlib) {
    Bytes more = rows;
    more.insert(more.end(), 1 + kWidth * 3, 0);
    out.push_back({"a row too many", RgbFile(Compressed(more)), Status::Ok, Status::Ok});
    out.push_back({"a byte too few", RgbFile(Compressed(Bytes(rows.begin(), rows.end() - 1))), Status::NotDecodable,
                   Status::NotDecodable});
    Bytes badFilter = rows;
    badFilter[4 * (1 + kWidth * 3)] = 5;
    out.push_back({"unknown filter", RgbFile(Compressed(badFilter)), Status::NotDecodable, Status::NotDecodable});
    Bytes badAdler = zlib;
    badAdler.back() ^= 1;
    out.push_back({"wrong stream checksum", RgbFile(badAdler), Status::Ok, Status::Ok});
    Bytes trailing = zlib;
    trailing.insert(trailing.end(), {1, 2, 3});
    out.push_back({"bytes after the stream", RgbFile(trailing), Status::Ok, Status::Ok});
}

// Headers beyond the limits and palette pictures the fast path does not take.
void AddHeaderDamage(std::vector<Hostile>& out, const Bytes& zlib) {
    Bytes large = Signature();
    Chunk(large, "IHDR", Header(16000, 16000, 8, 2));
    Chunk(large, "IDAT", zlib);
    Chunk(large, "IEND", {});
    out.push_back({"header beyond the limits", large, Status::TooLarge, Status::TooLarge});
    // Just past the pixel limit, with every row there (blank rows inflate a thousandfold).
    const uint32_t wide = uint32_t(kMaxSide), high = uint32_t(kMaxPixels / kMaxSide + 1);
    Bytes pastLimit = Signature();
    Chunk(pastLimit, "IHDR", Header(wide, high, 8, 0));
    Chunk(pastLimit, "IDAT", Compressed(Bytes(size_t(high) * (wide + 1), 0)));
    Chunk(pastLimit, "IEND", {});
    out.push_back({"header past the pixel limit, data complete", pastLimit, Status::TooLarge, Status::TooLarge});
    Bytes noPalette = Signature();
    Chunk(noPalette, "IHDR", Header(kWidth, kHeight, 8, 3));
    Chunk(noPalette, "IDAT", zlib);
    Chunk(noPalette, "IEND", {});
    out.push_back({"palette picture without a palette", noPalette, Status::NotDecodable, Status::NotDecodable});
    Bytes pastPalette = Signature();
    Chunk(pastPalette, "IHDR", Header(kWidth, kHeight, 8, 3));
    Chunk(pastPalette, "PLTE", Palette());
    Chunk(pastPalette, "IDAT", Compressed(Filtered(Bytes(kWidth * kHeight, kPaletteEntries), kWidth, 1, 0)));
    Chunk(pastPalette, "IEND", {});
    out.push_back({"palette index past the palette", pastPalette, Status::Ok, Status::Ok});
}

// Damaged and hostile files: the fast path takes none of them (no crash, `image` untouched),
// and Png::Decode and DecodeMemory give what they gave before the fast path existed; where
// that is a picture, it is the sound file's picture. Catches a fast path that decodes past a
// fault (a checksum, a length, the stream's end) or answers for the general path.
TEST(ImagePngFast, HostileFilesAreLeftToTheGeneralPath) {
    const Bytes rows = Rows();
    const Bytes zlib = Compressed(rows);
    const Bytes reference = StbPixels(RgbFile(zlib));
    ASSERT_EQ(reference.size(), kWidth * kHeight * 3);
    RgbImage sound;
    ASSERT_TRUE(Png::DecodeFast(RgbFile(zlib), sound));
    std::vector<Hostile> files;
    AddChunkDamage(files, zlib);
    AddDataDamage(files, rows, zlib);
    AddHeaderDamage(files, zlib);
    for (const Hostile& h : files) {
        RgbImage image;
        EXPECT_FALSE(Png::DecodeFast(h.file, image)) << h.name;
        EXPECT_FALSE(image.rgb) << h.name;
        RgbImage viaPng, viaMemory;
        EXPECT_EQ(Png::Decode(h.file, viaPng), h.fromPng) << h.name;
        EXPECT_EQ(DecodeMemory(h.file, viaMemory), h.fromMemory) << h.name;
        const bool samePicture = h.name != "palette index past the palette";
        if (h.fromPng == Status::Ok && samePicture) {
            EXPECT_EQ(PixelsOf(viaPng), reference) << h.name;
        }
        if (h.fromMemory == Status::Ok && samePicture) {
            EXPECT_EQ(PixelsOf(viaMemory), reference) << h.name;
        }
    }
}

}  // namespace
}  // namespace QVO::Printer::Image
