// The virtual printer's graphics: bit, raster, downloaded and NV images, barcodes, 2D symbols.
#include "sim/VirtualPrinter.h"

#include "sim/EscPosCodes.h"

#include <algorithm>
#include <optional>

namespace QVO::Sim {

using namespace EscPos;

namespace {

constexpr int kLastHriPosition = 3;  // none, above, below, both
constexpr int kLastHriFont = 1;      // A, B
constexpr int kMinModuleWidth = 1, kMaxModuleWidth = 6;
constexpr int kLastScaleSelector = 3;  // GS / n: both doublings
constexpr int kDoubled = 2;            // a scale byte that doubles (GS ( L store and print)

// Header lengths of the GS ( L / GS 8 L bodies after m fn.
constexpr size_t kStoreHeader = 8;     // a bx by c xL xH yL yH
constexpr size_t kNvDefineHeader = 9;  // a kc1 kc2 b xL xH yL yH c
constexpr size_t kNvPrintBody = 4;     // kc1 kc2 x y
constexpr size_t kNvKeyBytes = 2;      // kc1 kc2

int ScaleX(int selector) { return (selector & ScaleBits::kDoubleWidth) ? 2 : 1; }
int ScaleY(int selector) { return (selector & ScaleBits::kDoubleHeight) ? 2 : 1; }
int ScaleByte(uint8_t byte) { return byte == kDoubled ? 2 : 1; }  // GS ( L: 1 normal, 2 doubled

int Word16(const std::vector<uint8_t>& d, size_t at) { return d[at] | (d[at + 1] << 8); }
int NvKey(uint8_t kc1, uint8_t kc2) { return (kc1 << 8) | kc2; }

size_t RasterBytes(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return size_t(height) * ((size_t(width) + 7) / 8);
}

// Rows of (width + 7) / 8 bytes from `at` on, most significant bit leftmost. The caller
// makes sure the bytes hold every row.
MonoImage RasterImage(const std::vector<uint8_t>& bytes, size_t at, int width, int height) {
    MonoImage img;
    if (width <= 0 || height <= 0) return img;
    img.width = width;
    img.height = height;
    img.dots.assign(size_t(width) * size_t(height), 0);
    const size_t rowBytes = (size_t(width) + 7) / 8;
    // Unpacked a byte at a time: large jobs are mostly images, and this runs for each one.
    for (int y = 0; y < height; ++y) {
        const size_t rowStart = at + size_t(y) * rowBytes;
        if (rowStart >= bytes.size()) break;
        const size_t available = std::min(rowBytes, bytes.size() - rowStart);
        uint8_t* row = img.dots.data() + size_t(y) * size_t(width);
        for (size_t b = 0; b < available; ++b) {
            const uint8_t value = bytes[rowStart + b];
            if (value == 0) continue;
            const size_t firstDot = b * 8;
            const size_t dots = std::min<size_t>(8, size_t(width) - firstDot);
            for (size_t bit = 0; bit < dots; ++bit) row[firstDot + bit] = (value >> (7 - bit)) & 1;
        }
    }
    return img;
}

// Columns of `columnBytes` bytes each, top dot in the most significant bit.
MonoImage ColumnImage(const std::vector<uint8_t>& bytes, int columns, int columnBytes) {
    MonoImage img;
    if (columns <= 0 || columnBytes <= 0) return img;
    img.width = columns;
    img.height = columnBytes * 8;
    img.dots.assign(size_t(img.width) * size_t(img.height), 0);
    for (int x = 0; x < columns; ++x)
        for (int y = 0; y < img.height; ++y) {
            const size_t i = size_t(x) * size_t(columnBytes) + size_t(y) / 8;
            if (i < bytes.size() && (bytes[i] & (0x80 >> (y % 8))))
                img.dots[size_t(y) * size_t(img.width) + size_t(x)] = 1;
        }
    return img;
}

// GS ( k store: the data after the m byte.
std::vector<uint8_t> SymbolData(const std::vector<uint8_t>& body) {
    return std::vector<uint8_t>(body.size() > 1 ? body.begin() + 1 : body.end(), body.end());
}

}  // namespace

bool VirtualPrinter::ApplyImageLocked(const Command& cmd) {
    const auto& a = cmd.args;
    switch (cmd.op) {
        case Op::BitImage: {
            const int mode = a[0];
            const bool tall = mode == BitImageMode::kSingle24 || mode == BitImageMode::kDouble24;
            const MonoImage img = ColumnImage(cmd.data, a[1], tall ? 3 : 1);
            // Single density doubles the dots across; 8-dot modes triple them down.
            const bool single = mode == BitImageMode::kSingle8 || mode == BitImageMode::kSingle24;
            paper_->InlineImage(img, state_, single ? 2 : 1, tall ? 1 : 3);
            return true;
        }
        case Op::RasterImage: {
            const int scale = SelectorValue(a[0]);
            paper_->BlockImage(RasterImage(cmd.data, 0, a[1] * 8, a[2]), state_, ScaleX(scale), ScaleY(scale));
            return true;
        }
        case Op::DefineDownloaded:  // x × 8 columns of y bytes each
            state_.downloadedImage = ColumnImage(cmd.data, a[0] * 8, a[1]);
            return true;
        case Op::PrintDownloaded: {
            const int scale = SelectorValue(a[0]);
            if (!state_.downloadedImage.empty() && scale <= kLastScaleSelector)
                paper_->BlockImage(state_.downloadedImage, state_, ScaleX(scale), ScaleY(scale));
            return true;
        }
        case Op::PrintNvImage:
            PrintNvImageLocked(a[0], std::to_string(a[0]), ScaleX(a[1]), ScaleY(a[1]));
            return true;
        case Op::DefineNvImages:
            DefineNvImagesLocked(cmd);
            return true;
        default:
            return false;
    }
}

void VirtualPrinter::PrintNvImageLocked(int key, const std::string& name, int scaleX, int scaleY) {
    const auto it = state_.nvImages.find(key);
    if (it == state_.nvImages.end()) return NoteLocked("nv_image_missing", name);
    paper_->BlockImage(it->second, state_, scaleX, scaleY);
}

// FS q n [xL xH yL yH d...]n: images numbered from 1, replacing all defined before.
void VirtualPrinter::DefineNvImagesLocked(const Command& cmd) {
    size_t at = 0;
    for (int i = 0; i < cmd.args[0]; ++i) {
        const int x = cmd.args[size_t(1 + 2 * i)], y = cmd.args[size_t(2 + 2 * i)];
        const size_t len = NvImageBytes(identity_.framed, size_t(x), size_t(y));
        if (identity_.framed) {
            state_.nvImages[i + 1] = RasterImage(cmd.data, at, x, y);
        } else {
            const auto from = cmd.data.begin() + long(at);
            state_.nvImages[i + 1] = ColumnImage(std::vector<uint8_t>(from, from + long(len)), x * 8, y);
        }
        at += len;
    }
}

bool VirtualPrinter::ApplyBarcodeLocked(const Command& cmd) {
    const int value = cmd.args.empty() ? 0 : cmd.args[0];
    BarcodeSettings& barcode = state_.barcode;
    switch (cmd.op) {
        case Op::Barcode:
            if (!paper_->Barcode(value, cmd.data, state_)) NoteLocked("barcode_not_printed", std::to_string(value));
            return true;
        case Op::BarcodeHeight:
            if (value >= 1) barcode.height = value;
            return true;
        case Op::ModuleWidth:
            if (value >= kMinModuleWidth && value <= kMaxModuleWidth) barcode.moduleWidth = value;
            return true;
        case Op::HriPosition:
            if (SelectorValue(value) <= kLastHriPosition) barcode.hriPosition = SelectorValue(value);
            return true;
        case Op::HriFont:
            if (SelectorValue(value) <= kLastHriFont) barcode.hriFont = SelectorValue(value);
            return true;
        default:
            return false;
    }
}

bool VirtualPrinter::ApplyGraphicsLocked(const Command& cmd) {
    const auto& d = cmd.data;
    switch (cmd.op) {
        case Op::StoreBufferGraphics:
            StoreBufferGraphicsLocked(d);
            return true;
        case Op::PrintBufferGraphics:
            if (state_.bufferGraphics.empty()) return true;
            paper_->BlockImage(state_.bufferGraphics, state_, bufferScaleX_, bufferScaleY_);
            state_.bufferGraphics = MonoImage{};
            return true;
        case Op::NvDefine:
            DefineNvGraphicsLocked(d);
            return true;
        case Op::NvPrint:
            if (d.size() >= kNvPrintBody)
                PrintNvImageLocked(NvKey(d[0], d[1]), std::string{char(d[0]), char(d[1])}, ScaleByte(d[2]),
                                   ScaleByte(d[3]));
            return true;
        case Op::NvDeleteAll:
            state_.nvImages.clear();
            return true;
        case Op::NvDelete:
            if (d.size() >= kNvKeyBytes) state_.nvImages.erase(NvKey(d[0], d[1]));
            return true;
        default:
            return false;
    }
}

// The raster after a GS ( L header, none when the data is shorter than the header's size
// says: the size must not make the printer allocate and draw more than the host sent (a
// header of 65535 × 65535 would be four gigabytes).
std::optional<MonoImage> VirtualPrinter::HeaderRasterLocked(const std::vector<uint8_t>& body, size_t header) {
    const int width = Word16(body, 4), height = Word16(body, 6);
    if (body.size() - header >= RasterBytes(width, height)) return RasterImage(body, header, width, height);
    NoteLocked("graphics_data_short", std::to_string(width) + "x" + std::to_string(height));
    return std::nullopt;
}

// a bx by c xL xH yL yH data: replaces what the buffer held.
void VirtualPrinter::StoreBufferGraphicsLocked(const std::vector<uint8_t>& body) {
    if (body.size() < kStoreHeader) return;
    state_.bufferGraphics = HeaderRasterLocked(body, kStoreHeader).value_or(MonoImage{});
    bufferScaleX_ = ScaleByte(body[1]);
    bufferScaleY_ = ScaleByte(body[2]);
}

// a kc1 kc2 b xL xH yL yH c data: an image refused leaves the key as it was.
void VirtualPrinter::DefineNvGraphicsLocked(const std::vector<uint8_t>& body) {
    if (body.size() < kNvDefineHeader) return;
    if (auto image = HeaderRasterLocked(body, kNvDefineHeader))
        state_.nvImages[NvKey(body[1], body[2])] = std::move(*image);
}

bool VirtualPrinter::ApplySymbolLocked(const Command& cmd) {
    const auto& d = cmd.data;
    const int value = d.empty() ? 0 : d[0];
    Pdf417Settings& pdf = state_.pdf417;
    QrSettings& qr = state_.qr;
    switch (cmd.op) {
        case Op::Pdf417Columns:
            pdf.columns = value;
            return true;
        case Op::Pdf417Rows:
            pdf.rows = value;
            return true;
        case Op::Pdf417ModuleWidth:
            pdf.moduleWidth = value;
            return true;
        case Op::Pdf417RowHeight:
            pdf.rowHeight = value;
            return true;
        case Op::Pdf417ErrorLevel:
            if (d.size() >= 2) {
                pdf.errorMode = d[0];
                pdf.errorValue = d[1];
            }
            return true;
        case Op::Pdf417Options:
            pdf.truncated = value == Symbol::kPdf417Truncated;
            return true;
        case Op::Pdf417Store:
            pdf.data = SymbolData(d);
            return true;
        case Op::Pdf417Print:
            if (!paper_->Pdf417(state_)) NoteLocked("pdf417_not_printed", "");
            return true;
        case Op::QrModel:
            qr.model = value;
            return true;
        case Op::QrModuleSize:
            qr.moduleSize = value;
            return true;
        case Op::QrErrorLevel:
            qr.errorLevel = value;
            return true;
        case Op::QrStore:
            qr.data = SymbolData(d);
            return true;
        case Op::QrPrint:
            if (!paper_->Qr(state_)) NoteLocked("qr_not_printed", "");
            return true;
        default:
            return false;
    }
}

}  // namespace QVO::Sim
