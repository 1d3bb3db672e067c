// The fast PNG path: the chunks walked here, the compressed stream inflated at once with
// libdeflate, the rows unfiltered straight into the RGB output (or in place, then converted).
#include "so/printer/ImagePngFast.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "so/printer/ImagePng.h"
#include "so/printer/ImagePngUnfilter.h"

namespace QVO::Printer::Image::Png {

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr size_t kLengthBytes = 4;
constexpr size_t kTypeBytes = 4;
constexpr size_t kChunkFrame = kLengthBytes + kTypeBytes + 4;  // length, type, CRC
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr size_t kHeaderBytes = 13;
constexpr uint8_t kDepth = 8;
constexpr size_t kRgb = 3;
constexpr size_t kMaxPaletteEntries = 256;
// A block larger than the picture by more than this part of it is shrunk after decoding.
constexpr size_t kKeptTailFraction = 8;
// A chunk type whose first letter is lower case is ancillary: safe to skip.
constexpr uint8_t kAncillaryBit = 0x20;

enum Colour : uint8_t { kGrey = 0, kTrueColour = 2, kIndexed = 3, kGreyAlpha = 4, kTrueColourAlpha = 6 };

using Buffer = std::unique_ptr<uint8_t, RgbImage::Free>;

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t colour = 0;
    size_t channels = 0;
};

// What the chunk walk found: the header, the palette, and where the compressed data lies (in
// consecutive chunks from the first: counted, not listed, so that a file of many tiny chunks
// costs no memory here).
struct Layout {
    Header header;
    const uint8_t* palette = nullptr;
    size_t paletteEntries = 0;
    std::span<const uint8_t> firstData;
    size_t dataChunks = 0;
    size_t dataBytes = 0;
    bool dataClosed = false;  // a chunk other than image data came after image data
};

enum class Step { Next, End, Refuse };

uint32_t Big32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool TypeIs(const uint8_t* type, const char (&name)[kTypeBytes + 1]) {
    return std::memcmp(type, name, kTypeBytes) == 0;
}

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t Channels(uint8_t colour) {
    switch (colour) {
        case kGrey:
        case kIndexed:
            return 1;
        case kGreyAlpha:
            return 2;
        case kTrueColour:
            return 3;
        case kTrueColourAlpha:
            return 4;
        default:
            return 0;
    }
}

// Only the kinds this path reads: depth 8, the one compression and filter method, no interlacing.
bool ReadHeader(std::span<const uint8_t> data, Header& header) {
    if (data.size() != kHeaderBytes) return false;
    header.width = Big32(&data[0]);
    header.height = Big32(&data[4]);
    header.colour = data[9];
    header.channels = Channels(header.colour);
    const uint8_t depth = data[8], compression = data[10], filter = data[11], interlace = data[12];
    return depth == kDepth && header.channels != 0 && compression == 0 && filter == 0 && interlace == 0;
}

bool TakePalette(std::span<const uint8_t> data, Layout& layout) {
    const uint8_t colour = layout.header.colour;
    if (layout.palette != nullptr || layout.dataChunks != 0 || colour == kGrey || colour == kGreyAlpha) return false;
    if (data.empty() || data.size() % kRgb != 0 || data.size() / kRgb > kMaxPaletteEntries) return false;
    layout.palette = data.data();
    layout.paletteEntries = data.size() / kRgb;
    return true;
}

// Every chunk after the header.
Step Take(const uint8_t* type, std::span<const uint8_t> data, Layout& layout) {
    const bool isData = TypeIs(type, "IDAT");
    if (isData) {
        if (layout.dataClosed) return Step::Refuse;
        if (layout.dataChunks++ == 0) layout.firstData = data;
        layout.dataBytes += data.size();
        return Step::Next;
    }
    if (layout.dataChunks != 0) layout.dataClosed = true;
    if (TypeIs(type, "IEND")) return data.empty() && layout.dataChunks != 0 ? Step::End : Step::Refuse;
    if (TypeIs(type, "PLTE")) return TakePalette(data, layout) ? Step::Next : Step::Refuse;
    // Transparency leaves the RGB values alone, but its own rules are the general path's.
    if (TypeIs(type, "tRNS")) return Step::Refuse;
    // A second header, or a critical chunk this path does not know.
    if ((type[0] & kAncillaryBit) == 0) return Step::Refuse;
    return Step::Next;
}

// Walks the chunks up to the end chunk; every length is bounded by the file before use.
bool Walk(std::span<const uint8_t> bytes, Layout& layout) {
    size_t at = kSignatureBytes;
    for (bool first = true;; first = false) {
        if (bytes.size() - at < kChunkFrame) return false;
        const uint32_t length = Big32(&bytes[at]);
        if (length > kMaxChunkLength || length > bytes.size() - at - kChunkFrame) return false;
        const uint8_t* type = &bytes[at + kLengthBytes];
        const std::span<const uint8_t> data = bytes.subspan(at + kLengthBytes + kTypeBytes, length);
        if (!std::all_of(type, type + kTypeBytes, IsLetter)) return false;
        if (libdeflate_crc32(0, type, kTypeBytes + length) != Big32(type + kTypeBytes + length)) return false;
        if (first) {
            if (!TypeIs(type, "IHDR") || !ReadHeader(data, layout.header)) return false;
        } else if (const Step step = Take(type, data, layout); step != Step::Next) {
            return step == Step::End;
        }
        at += kChunkFrame + length;
    }
}

// Where the rows live in the one block the picture ends up in, so that a decode touches as
// little fresh memory as it can: the RGB rows from the start; the inflated rows at the end of
// the block (from the start, when they are the larger), so that writing RGB row y never
// reaches inflated row y + 1.
struct Plan {
    size_t rowBytes = 0;   // one inflated row without its filter byte
    size_t rgbBytes = 0;   // the picture
    size_t rowsAt = 0;     // offset of the inflated rows
    size_t rowsBytes = 0;  // the inflated rows with their filter bytes
    size_t total = 0;
};

Plan MakePlan(const Header& header) {
    Plan plan;
    plan.rowBytes = size_t(header.width) * header.channels;
    plan.rgbBytes = size_t(header.width) * header.height * kRgb;
    plan.rowsBytes = size_t(header.height) * (plan.rowBytes + 1);
    plan.total = std::max(plan.rgbBytes, plan.rowsBytes);
    plan.rowsAt = plan.total - plan.rowsBytes;
    return plan;
}

// The whole stream at once: it must inflate to exactly the rows announced and end with the
// data. Data in several chunks is joined in a block of its own, given back at once (kept
// apart from the picture's block, the two stay within what the allocator reuses).
bool Inflate(const Layout& layout, const Plan& plan, uint8_t* block) {
    std::span<const uint8_t> stream = layout.firstData;
    Buffer joined;
    if (layout.dataChunks > 1) {
        joined.reset(static_cast<uint8_t*>(std::malloc(std::max<size_t>(layout.dataBytes, 1))));
        if (!joined) return false;
        // The chunks follow each other, every length already checked by the walk.
        const uint8_t* chunk = layout.firstData.data() - kLengthBytes - kTypeBytes;
        size_t at = 0;
        for (size_t n = 0; n < layout.dataChunks; ++n) {
            const size_t length = Big32(chunk);
            std::memcpy(joined.get() + at, chunk + kLengthBytes + kTypeBytes, length);
            at += length;
            chunk += kChunkFrame + length;
        }
        stream = std::span<const uint8_t>(joined.get(), layout.dataBytes);
    }
    using Inflater = std::unique_ptr<libdeflate_decompressor, DecompressorFree>;
    const Inflater inflater(libdeflate_alloc_decompressor());
    if (!inflater) return false;
    size_t used = 0;
    return libdeflate_zlib_decompress_ex(inflater.get(), stream.data(), stream.size(), block + plan.rowsAt,
                                         plan.rowsBytes, &used, nullptr) == LIBDEFLATE_SUCCESS &&
           used == stream.size();
}

// One restored row as RGB; false for a palette index past the palette.
bool ToRgb(const Layout& layout, const uint8_t* row, uint8_t* out) {
    const size_t width = layout.header.width;
    switch (layout.header.colour) {
        case kTrueColourAlpha:
            for (size_t x = 0; x < width; ++x) std::memcpy(out + x * kRgb, row + x * 4, kRgb);
            return true;
        case kGrey:
        case kGreyAlpha: {
            const size_t step = layout.header.channels;
            for (size_t x = 0; x < width; ++x) std::memset(out + x * kRgb, row[x * step], kRgb);
            return true;
        }
        case kIndexed:
            for (size_t x = 0; x < width; ++x) {
                if (row[x] >= layout.paletteEntries) return false;
                std::memcpy(out + x * kRgb, layout.palette + size_t(row[x]) * kRgb, kRgb);
            }
            return true;
        default:
            return false;
    }
}

// RGB rows are restored straight into their place in the block, just before (or over the
// start of) where they were inflated: the unfiltering writes each pixel after reading it.
bool RgbRows(const Layout& layout, const Plan& plan, uint8_t* block) {
    const std::vector<uint8_t> zeros(plan.rowBytes);
    const uint8_t* prior = zeros.data();
    for (size_t y = 0; y < layout.header.height; ++y) {
        const uint8_t* row = block + plan.rowsAt + y * (plan.rowBytes + 1);
        uint8_t* out = block + y * plan.rowBytes;
        if (!UnfilterRow(row[0], row + 1, prior, out, plan.rowBytes, kRgb)) return false;
        prior = out;
    }
    return true;
}

// The other kinds are restored into two alternating scratch rows and converted from there.
bool ConvertedRows(const Layout& layout, const Plan& plan, uint8_t* block) {
    std::vector<uint8_t> scratch(2 * plan.rowBytes);
    uint8_t* current = scratch.data();
    uint8_t* prior = current + plan.rowBytes;  // zeros for the first row
    for (size_t y = 0; y < layout.header.height; ++y) {
        const uint8_t* row = block + plan.rowsAt + y * (plan.rowBytes + 1);
        if (!UnfilterRow(row[0], row + 1, prior, current, plan.rowBytes, layout.header.channels) ||
            !ToRgb(layout, current, block + y * size_t(layout.header.width) * kRgb))
            return false;
        std::swap(current, prior);
    }
    return true;
}

}  // namespace

bool DecodeFast(std::span<const uint8_t> bytes, RgbImage& image) {
    Layout layout;
    if (!HasSignature(bytes) || !Walk(bytes, layout)) return false;
    const Header& header = layout.header;
    if (!WithinLimits(header.width, header.height)) return false;
    if (header.colour == kIndexed && layout.palette == nullptr) return false;
    const Plan plan = MakePlan(header);
    Buffer block(static_cast<uint8_t*>(std::malloc(plan.total)));
    if (!block || !Inflate(layout, plan, block.get())) return false;
    if (!(header.colour == kTrueColour ? RgbRows : ConvertedRows)(layout, plan, block.get())) return false;
    // RGBA rows inflate to a third more than the picture: that tail goes back (should that
    // fail, the larger block serves). The filter bytes of RGB rows, one a row, stay: a block
    // that keeps its size is reused by the allocator for the next picture, not mapped afresh.
    if (plan.total - plan.rgbBytes > plan.rgbBytes / kKeptTailFraction) {
        if (void* smaller = std::realloc(block.get(), plan.rgbBytes)) {
            (void)block.release();
            block.reset(static_cast<uint8_t*>(smaller));
        }
    }
    image.rgb = std::move(block);
    image.width = int32_t(header.width);
    image.height = int32_t(header.height);
    return true;
}

}  // namespace QVO::Printer::Image::Png
