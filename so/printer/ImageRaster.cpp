// Image files to pictures: reading the file, the header check, decoding (libspng for PNG,
// stb_image for the other formats) and the size rule. The halftoning is in ImageHalftone.cpp.
#include "so/printer/ImageRaster.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "so/printer/ImagePng.h"

// The decoder for the formats the service object accepts (and for PNG files libspng refuses),
// compiled here once and kept to this file. Formats without a signature (TGA) are left out:
// with them any damaged file would be tried as one.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
// No thread-local state: the service object is a module that is loaded and unloaded, and the
// thread-local block a caller's thread gets from it would outlive the unload. The failure
// texts are not used, so nothing is written that two decoding threads could share.
#define STBI_NO_THREAD_LOCALS
#define STBI_NO_FAILURE_STRINGS
#define STBI_MALLOC std::malloc
#define STBI_REALLOC std::realloc
#define STBI_FREE std::free
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace QVO::Printer::Image {

static_assert(STBI_MAX_DIMENSIONS == kMaxSide, "the decoder's own limit is ours");

namespace {

constexpr int kRgb = 3;
// Beyond this the raster counts would pass the int range; no printable area comes near it.
constexpr int64_t kMaxScaledSide = int64_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opened without blocking (a FIFO would wait for a writer) and checked to be a plain file of
// a size worth reading.
Status OpenImageFile(const std::string& path, FilePtr& file) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Status::NotFound;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::NotFound;
    }
    if (st.st_size > kMaxFileBytes) {
        ::close(fd);
        return Status::TooLarge;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (f == nullptr) {
        ::close(fd);
        return Status::NotFound;
    }
    file.reset(f);
    return Status::Ok;
}

// The whole file, from its start; its size was checked at open. A file cut meanwhile is
// decoded as it now is, which the decoders refuse as damaged.
bool ReadWhole(std::FILE* file, std::unique_ptr<uint8_t[]>& bytes, size_t& length) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || st.st_size < 0 || st.st_size > kMaxFileBytes) return false;
    std::rewind(file);
    bytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(st.st_size));
    length = std::fread(bytes.get(), 1, static_cast<size_t>(st.st_size), file);
    return !std::ferror(file);
}

// The decoder's block becomes the image as it is: no second copy of the pixels.
void Adopt(stbi_uc* pixels, int width, int height, RgbImage& image) {
    image.rgb.reset(pixels);
    image.width = width;
    image.height = height;
}

}  // namespace

RgbImage RgbImage::Blank(int32_t width, int32_t height) {
    RgbImage image;
    if (!WithinLimits(width, height)) return image;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * kRgb;
    image.rgb.reset(static_cast<uint8_t*>(std::malloc(bytes)));
    if (!image.rgb) return image;
    std::fill_n(image.rgb.get(), bytes, uint8_t{0xFF});
    image.width = width;
    image.height = height;
    return image;
}

Status ReadSize(const std::string& path, Size& size) {
    FilePtr file;
    if (Status s = OpenImageFile(path, file); s != Status::Ok) return s;
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_file(file.get(), &w, &h, &components) == 0 || w <= 0 || h <= 0) return Status::NotDecodable;
    size = {w, h};
    return Status::Ok;
}

Status Decode(const std::string& path, RgbImage& image) {
    FilePtr file;
    if (Status s = OpenImageFile(path, file); s != Status::Ok) return s;
    // The header first: a file announcing more than may be decoded is refused unread.
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_file(file.get(), &w, &h, &components) == 0) return Status::NotDecodable;
    if (!WithinLimits(w, h)) return Status::TooLarge;
    std::unique_ptr<uint8_t[]> bytes;
    size_t length = 0;
    if (!ReadWhole(file.get(), bytes, length)) return Status::NotFound;
    return DecodeMemory(std::span<const uint8_t>(bytes.get(), length), image);
}

Status DecodeMemory(std::span<const uint8_t> bytes, RgbImage& image) {
    if (bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return Status::TooLarge;
    const int length = static_cast<int>(bytes.size());
    int w = 0, h = 0, components = 0;
    if (stbi_info_from_memory(bytes.data(), length, &w, &h, &components) == 0) return Status::NotDecodable;
    if (!WithinLimits(w, h)) return Status::TooLarge;
    // libspng first for PNG; a file it refuses is read by stb_image as before, so that no
    // picture that printed stops printing.
    if (Png::HasSignature(bytes)) {
        if (Status s = Png::Decode(bytes, image); s != Status::NotDecodable) return s;
    }
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), length, &w, &h, &components, kRgb);
    if (pixels == nullptr) return Status::NotDecodable;
    if (!WithinLimits(w, h)) {
        stbi_image_free(pixels);
        return Status::TooLarge;
    }
    Adopt(pixels, w, h, image);
    return Status::Ok;
}

bool ScaleTo(Size image, int32_t widthDots, Scaled& out) {
    if (image.width <= 0 || image.height <= 0) return false;
    if (widthDots != kWidthAsIs && widthDots <= 0) return false;
    const bool asIs = widthDots == kWidthAsIs;
    const float scale = asIs ? 1.0f : static_cast<float>(widthDots) / static_cast<float>(image.width);
    const int32_t wide = asIs ? image.width : widthDots;
    const float high = std::trunc(static_cast<float>(image.height) * scale);
    if (!(high < static_cast<float>(kMaxScaledSide)) || wide > kMaxScaledSide) return false;
    out.scale = scale;
    out.dotsWide = wide;
    out.dotsHigh = static_cast<int32_t>(high);
    out.width = (wide + kGranularity - 1) / kGranularity * kGranularity;
    out.height = (out.dotsHigh + kGranularity - 1) / kGranularity * kGranularity;
    return true;
}

}  // namespace QVO::Printer::Image
