// The fixed-point and vector grey values and the many-rows-at-a-time halftoning give exactly
// the bytes of the plain float formula and the one-row-at-a-time diffusion they replace, kept
// here as the reference: every colour, and pictures scaled up, down and as they are, at widths
// and heights that are and are not whole bytes or whole groups of rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "so/printer/ImageRaster.h"

namespace QVO::Printer::Image {
namespace {

// The reference: the float luminance through per-channel tables, and error diffusion one dot
// at a time with a branch for the first column.
namespace Reference {

struct Shares {
    std::array<float, 256> red{}, green{}, blue{};
    Shares() {
        for (size_t i = 0; i < 256; ++i) {
            red[i] = 0.29891f * static_cast<float>(i);
            green[i] = 0.58661f * static_cast<float>(i);
            blue[i] = 0.11448f * static_cast<float>(i);
        }
    }
};
const Shares kShares;

int32_t Grey(const uint8_t* p) {
    const float weighted = kShares.red[p[0]] + kShares.green[p[1]] + kShares.blue[p[2]];
    const float luminance = (weighted * 255.0f / 255.0f + 255.0f - 255.0f) / 255.0f;
    return static_cast<int32_t>(255.0f * luminance);
}

int32_t SourceIndex(int32_t destination, float scale, int32_t limit) {
    const auto index = static_cast<int64_t>(static_cast<float>(destination) / scale);
    return static_cast<int32_t>(std::clamp<int64_t>(index, 0, limit - 1));
}

std::vector<uint8_t> Halftone(const RgbImage& image, const Scaled& out) {
    const size_t rowBytes = size_t(out.width / 8);
    std::vector<uint8_t> raster(rowBytes * size_t(out.height), 0);
    const int32_t wide = std::min(out.dotsWide, out.width), high = std::min(out.dotsHigh, out.height);
    std::vector<int32_t> errors(size_t(wide), 0);
    for (int32_t y = 0; y < high; ++y) {
        const int32_t sy = SourceIndex(y, out.scale, image.height);
        int32_t carry = 0, triple = 0;
        for (int32_t x = 0; x < wide; ++x) {
            const int32_t g = Grey(image.Pixel(SourceIndex(x, out.scale, image.width), sy));
            const int32_t v = g + ((errors[size_t(x)] + carry) >> 4);
            const bool black = v < 128;
            const int32_t e = black ? v : v - 255;
            if (x > 0) errors[size_t(x - 1)] += e;
            errors[size_t(x)] = 7 * e + triple;
            carry = 5 * e;
            triple = 3 * e;
            if (black) raster[size_t(y) * rowBytes + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        }
        for (size_t i = 0; i < rowBytes; ++i) {
            uint8_t& byte = raster[size_t(y) * rowBytes + i];
            if (byte == 0x10) byte = 0x20;
        }
    }
    return raster;
}

}  // namespace Reference

// Gradients, rings, hard edges and noise from a fixed seed: every grey level and plenty of
// error carried across dots and rows.
RgbImage Photo(int32_t width, int32_t height, uint32_t seed) {
    RgbImage image = RgbImage::Blank(width, height);
    uint32_t state = seed;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int32_t noise = int32_t(state >> 27) - 16;
            const double ring = std::sin(std::hypot(x - width / 3.0, y - height / 2.0) / 6.0);
            uint8_t* p = image.Pixel(x, y);
            p[0] = uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / height - noise, 0, 255));
            p[2] = uint8_t(std::clamp(int32_t(128 + 100 * ring) + noise, 0, 255));
            if ((x / 17 + y / 11) % 7 == 0) std::fill_n(p, 3, uint8_t((x * 7 + y * 3) % 256));  // flat greys
        }
    return image;
}

// Every colour whose grey value the fixed point cannot settle alone (its exact weighted sum
// lies just below a whole number), in a picture: these take the float formula.
RgbImage NearWholeColours() {
    std::vector<std::array<uint8_t, 3>> colours;
    for (uint32_t r = 0; r < 256; ++r)
        for (uint32_t g = 0; g < 256; ++g)
            for (uint32_t b = 0; b < 256; ++b)
                if ((29891 * r + 58661 * g + 11448 * b) % 100000 >= 99990)
                    colours.push_back({uint8_t(r), uint8_t(g), uint8_t(b)});
    const int32_t width = 61;
    const auto height = int32_t((colours.size() + width - 1) / width);
    RgbImage image = RgbImage::Blank(width, height);
    for (size_t i = 0; i < colours.size(); ++i)
        std::copy(colours[i].begin(), colours[i].end(), image.Pixel(int32_t(i % width), int32_t(i / width)));
    return image;
}

TEST(ImageRasterSameOutput, EveryColourHasTheReferenceGrey) {
    std::vector<uint8_t> rgb(size_t{65536} * 3);  // one red level, every green and blue
    std::vector<int32_t> greys(65536);
    int64_t mismatches = 0;
    for (uint32_t r = 0; r < 256; ++r) {
        for (uint32_t gb = 0; gb < 65536; ++gb) {
            rgb[gb * 3] = uint8_t(r);
            rgb[gb * 3 + 1] = uint8_t(gb >> 8);
            rgb[gb * 3 + 2] = uint8_t(gb);
        }
        GreyValues(rgb, greys);
        for (uint32_t gb = 0; gb < 65536; ++gb) {
            const int32_t expected = Reference::Grey(&rgb[gb * 3]);
            if (greys[gb] != expected && mismatches++ < 5)
                ADD_FAILURE() << "rgb " << r << "," << (gb >> 8) << "," << (gb & 0xFF) << ": " << greys[gb]
                              << ", the reference " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(Grey(0, 255, 0), Reference::Grey(std::array<uint8_t, 3>{0, 255, 0}.data()));
}

struct Case {
    const char* name;
    RgbImage image;
};

// Where a raster first differs from the reference, as "row y byte i: got vs want".
std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want, int32_t rowBytes) {
    if (got.size() != want.size()) return "sizes " + std::to_string(got.size()) + " vs " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i])
            return "row " + std::to_string(i / size_t(rowBytes)) + " byte " + std::to_string(i % size_t(rowBytes)) +
                   ": " + std::to_string(got[i]) + " vs " + std::to_string(want[i]);
    return "same";
}

TEST(ImageRasterSameOutput, HalftoneMatchesTheReferenceAtEverySize) {
    std::vector<Case> cases;
    cases.push_back({"photo 300x217", Photo(300, 217, 1)});
    cases.push_back({"photo 576x40", Photo(576, 40, 2)});
    cases.push_back({"photo 1x9", Photo(1, 9, 3)});
    cases.push_back({"photo 37x1", Photo(37, 1, 4)});
    cases.push_back({"photo 2x2", Photo(2, 2, 5)});
    cases.push_back({"near-whole colours", NearWholeColours()});
    // As is, down, up, to widths that are not whole bytes, and to one and two dots.
    const int32_t widths[] = {kWidthAsIs, 576, 203, 100, 13, 9, 3, 2, 1, 1000};
    int checked = 0;
    for (const Case& c : cases) {
        for (int32_t width : widths) {
            Scaled s;
            if (!ScaleTo({c.image.width, c.image.height}, width, s)) continue;
            if (int64_t(s.width) * s.height > int64_t{4} << 20) continue;
            std::vector<uint8_t> raster;
            Halftone(c.image, s, raster);
            const std::vector<uint8_t> want = Reference::Halftone(c.image, s);
            EXPECT_EQ(FirstDifference(raster, want, s.width / 8), "same")
                << c.name << " at width " << width << " (" << s.dotsWide << " x " << s.dotsHigh << " dots)";
            ++checked;
        }
    }
    EXPECT_GE(checked, 50);
}

// The fast paths run many raster rows at a time, each a few dots behind the one above, and
// read pixels four bytes at a time: every width and height around those units, enlargements
// whose repeated source rows straddle groups of rows, pictures whose last pixel ends the
// pixel memory (under the address sanitizer a read past it fails), and a width beyond the
// vector path, which the portable path takes.
TEST(ImageRasterSameOutput, HalftoneMatchesTheReferenceAtTheEdgesOfTheFastPaths) {
    int checked = 0;
    const auto check = [&checked](const RgbImage& image, int32_t width, const std::string& name) {
        Scaled s;
        ASSERT_TRUE(ScaleTo({image.width, image.height}, width, s)) << name;
        std::vector<uint8_t> raster;
        Halftone(image, s, raster);
        EXPECT_EQ(FirstDifference(raster, Reference::Halftone(image, s), s.width / 8), "same")
            << name << " at width " << width << " (" << s.dotsWide << " x " << s.dotsHigh << " dots)";
        ++checked;
    };
    for (int32_t w = 1; w <= 20; ++w)
        for (int32_t h = 1; h <= 25; ++h) check(Photo(w, h, uint32_t(w * 31 + h)), kWidthAsIs, "small");
    // Three, five and seven source rows enlarged: rows repeat two to eleven times.
    for (int32_t h : {3, 5, 7})
        for (int32_t width : {8, 12, 17, 24, 31, 40, 77}) check(Photo(7, h, uint32_t(h)), width, "enlarged");
    for (int32_t h : {7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 32, 33})
        check(Photo(576, h, uint32_t(h)), kWidthAsIs, "rows");
    check(Photo(16384, 3, 6), kWidthAsIs, "widest");
    check(Photo(400, 1, 7), 16390, "wider than the vector path");
    EXPECT_EQ(checked, 20 * 25 + 3 * 7 + 12 + 2);
}

// Grey values of runs of 1 to 40 pixels that end their memory, with colours that take the float
// formula at every position of the vector groups: the same values as the reference.
TEST(ImageRasterSameOutput, GreyValuesAtEveryRunLength) {
    const RgbImage nearWhole = NearWholeColours();
    std::vector<const uint8_t*> floatDecides;  // where the float rounding differs from S / 100000
    for (int32_t y = 0; y < nearWhole.height && floatDecides.size() < 40; ++y)
        for (int32_t x = 0; x < nearWhole.width && floatDecides.size() < 40; ++x) {
            const uint8_t* p = nearWhole.Pixel(x, y);
            if (Reference::Grey(p) != int32_t((29891 * p[0] + 58661 * p[1] + 11448 * p[2]) / 100000))
                floatDecides.push_back(p);
        }
    ASSERT_EQ(floatDecides.size(), 40u);
    const RgbImage photo = Photo(40, 1, 8);
    for (size_t n = 1; n <= 40; ++n) {
        std::vector<uint8_t> rgb(n * 3);
        for (size_t i = 0; i < n; ++i)
            std::copy_n(i % 3 == n % 3 ? floatDecides[i] : photo.Pixel(int32_t(i), 0), 3, &rgb[i * 3]);
        std::vector<int32_t> greys(n, -1);
        GreyValues(rgb, greys);
        for (size_t i = 0; i < n; ++i)
            EXPECT_EQ(greys[i], Reference::Grey(&rgb[i * 3])) << "pixel " << i << " of " << n;
    }
}

}  // namespace
}  // namespace QVO::Printer::Image
