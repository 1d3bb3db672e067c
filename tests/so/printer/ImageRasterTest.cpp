// The image module: the size rule, halftoning quality, the raster's byte rules, and files
// that must be refused (missing, damaged, or announcing sizes beyond the limits) without
// decoding them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "so/printer/ImageRaster.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace QVO::Printer::Image {

void PrintTo(Status s, std::ostream* os) {
    constexpr const char* kNames[] = {"Ok", "NotFound", "NotDecodable", "TooLarge"};
    *os << kNames[static_cast<int>(s)];
}

namespace {

RgbImage Filled(int32_t width, int32_t height, uint8_t grey) {
    RgbImage image = RgbImage::Blank(width, height);
    std::fill_n(image.rgb.get(), size_t(width) * size_t(height) * 3, grey);
    return image;
}

bool Dot(const std::vector<uint8_t>& raster, int32_t rowBytes, int32_t x, int32_t y) {
    return (raster[size_t(y) * size_t(rowBytes) + size_t(x / 8)] & (0x80 >> (x % 8))) != 0;
}

// Share of black dots in rows [top, top + rows) of an as-is halftone.
double BlackShare(const std::vector<uint8_t>& raster, int32_t width, int32_t top, int32_t rows) {
    int64_t black = 0;
    for (int32_t y = top; y < top + rows; ++y)
        for (int32_t x = 0; x < width; ++x) black += Dot(raster, width / 8, x, y) ? 1 : 0;
    return double(black) / double(int64_t(width) * rows);
}

std::vector<uint8_t> HalftoneAsIs(const RgbImage& image, Scaled& scaled) {
    EXPECT_TRUE(ScaleTo({image.width, image.height}, kWidthAsIs, scaled));
    std::vector<uint8_t> raster;
    Halftone(image, scaled, raster);
    return raster;
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-image-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    std::string dir_;
};

// A PNG header (signature, IHDR) announcing width x height RGB, with no pixel data at all.
std::vector<uint8_t> PngHeaderOnly(uint32_t width, uint32_t height) {
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
    for (uint8_t v : {8, 2, 0, 0, 0, 0, 0, 0, 0}) b.push_back(v);  // depth, RGB, methods, CRC
    return b;
}

// A BMP header announcing width x height at 24 bits, without the pixels.
std::vector<uint8_t> BmpHeaderOnly(int32_t width, int32_t height) {
    std::vector<uint8_t> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 54;
    b[14] = 40;
    for (int i = 0; i < 4; ++i) {
        b[size_t(18 + i)] = uint8_t(uint32_t(width) >> (8 * i));
        b[size_t(22 + i)] = uint8_t(uint32_t(height) >> (8 * i));
    }
    b[26] = 1;
    b[28] = 24;
    return b;
}

// An image 100 dots wide printed 203 dots wide: 208 after rounding, and its height is
// truncate(h x 2.03) rounded up to whole bytes; "as is" keeps its own width, rounded.
TEST(ImageRasterSize, ScalesByWidthAndRoundsToWholeBytes) {
    Scaled s;
    ASSERT_TRUE(ScaleTo({100, 50}, 203, s));
    EXPECT_EQ(s.dotsWide, 203);
    EXPECT_EQ(s.dotsHigh, 101);  // 50 x 2.03 = 101.5
    EXPECT_EQ(s.width, 208);
    EXPECT_EQ(s.height, 104);
    ASSERT_TRUE(ScaleTo({100, 50}, kWidthAsIs, s));
    EXPECT_EQ(s.width, 104);
    EXPECT_EQ(s.height, 56);
    EXPECT_FALSE(ScaleTo({100, 50}, 0, s));
    EXPECT_FALSE(ScaleTo({100, 50}, -3, s));
    // One column 16 384 rows high made 576 wide would pass the int range in raster bytes.
    EXPECT_FALSE(ScaleTo({1, 16384}, 576, s));
}

// Enlarging repeats source pixels (nearest neighbour): a 2 x 1 black-white image made 16 wide
// is eight black dots and eight white ones on every row.
TEST(ImageRasterSize, EnlargesByNearestNeighbour) {
    RgbImage image = Filled(2, 1, 0xFF);
    std::fill_n(image.Pixel(0, 0), 3, uint8_t{0});
    Scaled s;
    ASSERT_TRUE(ScaleTo({2, 1}, 16, s));
    std::vector<uint8_t> raster;
    Halftone(image, s, raster);
    ASSERT_EQ(raster.size(), 2u * 8u);
    for (int32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(raster[size_t(y) * 2], 0xFF) << "row " << y;
        EXPECT_EQ(raster[size_t(y) * 2 + 1], 0x00) << "row " << y;
    }
}

// 0x10 is DLE on the printer's line: a packed byte of exactly 00010000 goes out as 00100000;
// other values stay as they are.
TEST(ImageRasterBytes, DleByteIsSentAsTheNextDot) {
    RgbImage image = Filled(16, 1, 0xFF);
    std::fill_n(image.Pixel(3, 0), 3, uint8_t{0});   // 00010000
    std::fill_n(image.Pixel(12, 0), 3, uint8_t{0});  // 00001000
    Scaled s;
    const auto raster = HalftoneAsIs(image, s);
    ASSERT_EQ(raster.size(), 2u * 8u);
    EXPECT_EQ(raster[0], 0x20);
    EXPECT_EQ(raster[1], 0x08);
    // The rows added by rounding the height up are white.
    for (size_t i = 2; i < raster.size(); ++i) EXPECT_EQ(raster[i], 0) << i;
}

// A 50% grey patch prints with 50% +- 3% black dots.
TEST(ImageRasterHalftone, HalfGreyPrintsHalfTheDots) {
    const RgbImage image = Filled(256, 256, 128);
    Scaled s;
    const auto raster = HalftoneAsIs(image, s);
    EXPECT_NEAR(BlackShare(raster, 256, 0, 256), 0.5, 0.03);
}

// Catches error terms kept in 8-bit cells: on a ramp of grey bands the terms of the middle
// greys (7 x 64 and more) wrap around and the density stops following the grey level. Each
// band's black share must match its darkness and fall as the grey rises.
TEST(ImageRasterHalftone, GreyRampDensityFollowsTheGreyLevel) {
    constexpr int32_t kWidth = 256, kBand = 32, kBands = 16;
    RgbImage image = Filled(kWidth, kBand * kBands, 0);
    for (int32_t band = 0; band < kBands; ++band) {
        const auto grey = uint8_t(band * 17);  // 0, 17, ... 255
        std::fill_n(image.Pixel(0, band * kBand), size_t(kWidth) * kBand * 3, grey);
    }
    Scaled s;
    const auto raster = HalftoneAsIs(image, s);
    double previous = 1.0;
    for (int32_t band = 0; band < kBands; ++band) {
        const double expected = 1.0 - Grey(uint8_t(band * 17), uint8_t(band * 17), uint8_t(band * 17)) / 255.0;
        // The first rows of a band still carry the previous band's error: measure the rest.
        const double share = BlackShare(raster, kWidth, band * kBand + 4, kBand - 4);
        EXPECT_NEAR(share, expected, 0.03) << "band " << band << " grey " << band * 17;
        EXPECT_LE(share, previous + 0.005) << "band " << band;
        previous = share;
    }
}

TEST(ImageRasterHalftone, LuminanceWeighsGreenMost) {
    EXPECT_EQ(Grey(0, 0, 0), 0);
    EXPECT_GE(Grey(255, 255, 255), 254);
    EXPECT_EQ(Grey(255, 0, 0), 76);   // 0.29891 x 255
    EXPECT_EQ(Grey(0, 255, 0), 149);  // 0.58661 x 255
    EXPECT_EQ(Grey(0, 0, 255), 29);   // 0.11448 x 255
}

// Every format the service object accepts decodes to the same picture.
TEST_F(ImageFiles, DecodesBmpPngJpegAndGif) {
    constexpr int kW = 24, kH = 16;
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3, 0xFF);
    for (int x = 0; x < kW / 2; ++x)
        for (int y = 0; y < kH; ++y) std::fill_n(&rgb[(size_t(y) * kW + size_t(x)) * 3], 3, uint8_t{0});
    const std::string png = dir_ + "/a.png", bmp = dir_ + "/a.bmp", jpg = dir_ + "/a.jpg";
    ASSERT_NE(stbi_write_png(png.c_str(), kW, kH, 3, rgb.data(), kW * 3), 0);
    ASSERT_NE(stbi_write_bmp(bmp.c_str(), kW, kH, 3, rgb.data()), 0);
    ASSERT_NE(stbi_write_jpg(jpg.c_str(), kW, kH, 3, rgb.data(), 95), 0);
    for (const std::string& path : {png, bmp, jpg}) {
        Size size;
        ASSERT_EQ(ReadSize(path, size), Status::Ok) << path;
        EXPECT_EQ(size.width, kW);
        EXPECT_EQ(size.height, kH);
        RgbImage image;
        ASSERT_EQ(Decode(path, image), Status::Ok) << path;
        EXPECT_LT(Grey(image.Pixel(2, 8)[0], image.Pixel(2, 8)[1], image.Pixel(2, 8)[2]), 40) << path;
        EXPECT_GT(Grey(image.Pixel(20, 8)[0], image.Pixel(20, 8)[1], image.Pixel(20, 8)[2]), 215) << path;
    }
    // GIF: 2 x 1, palette white/black, pixels black then white.
    const std::string gif =
        Write("a.gif", {'G', 'I',  'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0,   0,
                        0,   0x2C, 0,   0,   0,   0,   2, 0, 1, 0, 0,    2, 2, 0x0C, 0x0A, 0,    0x3B});
    RgbImage image;
    ASSERT_EQ(Decode(gif, image), Status::Ok);
    ASSERT_EQ(image.width, 2);
    EXPECT_EQ(image.Pixel(0, 0)[0], 0);
    EXPECT_EQ(image.Pixel(1, 0)[0], 0xFF);
}

// Headers that announce more than may be decoded are refused from the header alone: the
// answer is TooLarge, not a failed decode after the pixel memory was taken.
TEST_F(ImageFiles, HugeDeclaredSizesAreRefusedBeforeDecoding) {
    const std::string png = Write("bomb.png", PngHeaderOnly(16000, 16000));
    Size size;
    ASSERT_EQ(ReadSize(png, size), Status::Ok);
    EXPECT_EQ(size.width, 16000);
    RgbImage image;
    EXPECT_EQ(Decode(png, image), Status::TooLarge);
    EXPECT_EQ(Decode(Write("bomb.bmp", BmpHeaderOnly(16000, 9000)), image), Status::TooLarge);
    // Beyond the side limit even the header is not taken.
    EXPECT_EQ(Decode(Write("wide.png", PngHeaderOnly(100000, 1)), image), Status::NotDecodable);
    // A file larger than any image worth printing is not read at all (sparse: no disk used).
    const std::string big = dir_ + "/big.png";
    std::ofstream(big).put('x');
    std::filesystem::resize_file(big, uint64_t(kMaxFileBytes) + 1);
    EXPECT_EQ(ReadSize(big, size), Status::TooLarge);
    EXPECT_EQ(Decode(big, image), Status::TooLarge);
    const std::vector<uint8_t> bytes = PngHeaderOnly(16000, 16000);
    EXPECT_EQ(DecodeMemory(bytes, image), Status::TooLarge);
}

TEST_F(ImageFiles, DamagedMissingAndSpecialFilesAreRefused) {
    RgbImage image;
    Size size;
    EXPECT_EQ(Decode(dir_ + "/missing.png", image), Status::NotFound);
    EXPECT_EQ(ReadSize(dir_, size), Status::NotFound) << "a folder";
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Decode(fifo, image), Status::NotFound) << "a FIFO is refused without waiting for a writer";
    EXPECT_EQ(Decode(Write("empty.png", {}), image), Status::NotDecodable);
    EXPECT_EQ(Decode(Write("text.bmp", {'h', 'e', 'l', 'l', 'o'}), image), Status::NotDecodable);
    // A valid header with its pixel data cut off.
    std::vector<uint8_t> rgb(64 * 64 * 3, 0x80);
    const std::string png = dir_ + "/cut.png";
    ASSERT_NE(stbi_write_png(png.c_str(), 64, 64, 3, rgb.data(), 64 * 3), 0);
    const auto full = std::filesystem::file_size(png);
    std::filesystem::resize_file(png, full / 2);
    EXPECT_EQ(Decode(png, image), Status::NotDecodable);
}

}  // namespace
}  // namespace QVO::Printer::Image
