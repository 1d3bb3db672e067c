// Base command set: bit images, downloaded images, buffered and stored (NV) graphics.
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdBytes.h"

namespace QVO::Printer {

using namespace CmdBytes;

namespace {
constexpr uint8_t kGraphicsM = 0x30;
constexpr uint8_t kFnCapacity = 0;
constexpr uint8_t kFnCapacityRemaining = 3;
constexpr uint8_t kFnListKeys = 64;
constexpr uint8_t kFnDeleteAll = 65;
constexpr uint8_t kFnDelete = 66;
constexpr uint8_t kFnDefine = 67;
constexpr uint8_t kFnPrint = 69;
constexpr uint8_t kFnStoreRaster = 112;

bool ValidKeyCode(int32_t kc) { return InRange(kc, 32, 126); }
}  // namespace

bool CCmdHelperBase::RasterPlaneSize(int32_t width, int32_t height, size_t& planeSize) {
    if (!InRange(width, 0, 0xFFFF) || !InRange(height, 0, 0xFFFF)) return false;
    planeSize = static_cast<size_t>(height) * ((static_cast<size_t>(width) + 7) / 8);
    return true;
}

void CCmdHelperBase::AppendPlane(PrinterBuffer& target, std::span<const uint8_t> data, size_t offset,
                                 size_t planeSize) {
    const size_t available = offset < data.size() ? std::min(data.size() - offset, planeSize) : 0;
    target.Append(data.data() + offset, available);
    for (size_t i = available; i < planeSize; ++i) target.Append(uint8_t{0});
}

bool CCmdHelperBase::SelectBitImageMode(PrinterBuffer& target, int32_t m, int32_t n, std::span<const uint8_t> data) {
    if (!OneOf(m, {0, 1, 32, 33}) || !InRange(n, 1, 2047)) return false;
    const size_t expected = static_cast<size_t>(n) * (m >= 32 ? 3 : 1);
    if (data.size() != expected) return false;
    Put(target, {ESC, '*', Byte(m), Low(n), High(n)});
    target.Append(data);
    return true;
}

// Header of a stored raster definition; the caller appends the raster itself. Rows are whole
// bytes, so the announced length counts (width + 7) / 8 bytes per row.
void CCmdHelperBase::BeginNvRasterGraphics(PrinterBuffer& target, bool twoColour, int32_t width, int32_t height,
                                           int32_t kc1, int32_t kc2) {
    const int64_t length = static_cast<int64_t>(height) * ((static_cast<int64_t>(width) + 7) / 8) + 11;
    Put(target, {GS, '8', 'L'});
    Put32(target, static_cast<uint32_t>(length));
    Put(target, {kGraphicsM, 'C', kGraphicsM, Byte(kc1), Byte(kc2), 0x01, Low(width), High(width), Low(height),
                 High(height), twoColour ? uint8_t{0x32} : uint8_t{0x31}});
}

// Header of a raster for the print buffer; the caller appends dataLength raster bytes.
void CCmdHelperBase::BeginBufferGraphics(PrinterBuffer& target, int32_t dataLength, int32_t width, int32_t height) {
    Put(target, {GS, '8', 'L'});
    Put32(target, static_cast<uint32_t>(static_cast<int64_t>(dataLength) + 10));
    Put(target, {kGraphicsM, 'p', kGraphicsM, 0x01, 0x01, 0x31, Low(width), High(width), Low(height), High(height)});
}

void CCmdHelperBase::PrintBufferGraphics(PrinterBuffer& target) {
    Put(target, {GS, '8', 'L', 0x02, 0x00, 0x00, 0x00, kGraphicsM, 0x02});
}

void CCmdHelperBase::RequestNvGraphicsCapacity(PrinterBuffer& target, bool totalCapacity) {
    AppendFramed32(target, {kGraphicsM, totalCapacity ? kFnCapacity : kFnCapacityRemaining}, {});
}

// Stored images are numbered by two decimal digits as their key code.
void CCmdHelperBase::PrintNvGraphicsByNumber(PrinterBuffer& target, int32_t number) {
    const uint8_t n = Byte(number);
    Put(target, {GS, '(', 'L', 0x06, 0x00, kGraphicsM, 'E', static_cast<uint8_t>('0' + n / 10),
                 static_cast<uint8_t>('0' + n % 10), 0x01, 0x01});
}

void CCmdHelperBase::PrintNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, int32_t x, int32_t y) {
    const uint8_t data[] = {Byte(kc1), Byte(kc2), Byte(x), Byte(y)};
    AppendFramed32(target, {kGraphicsM, kFnPrint}, data);
}

void CCmdHelperBase::ListNvGraphicsKeys(PrinterBuffer& target) {
    const uint8_t kc[] = {'K', 'C'};
    AppendFramed32(target, {kGraphicsM, kFnListKeys}, kc);
}

void CCmdHelperBase::DeleteAllNvGraphics(PrinterBuffer& target) {
    const uint8_t clr[] = {'C', 'L', 'R'};
    AppendFramed32(target, {kGraphicsM, kFnDeleteAll}, clr);
}

bool CCmdHelperBase::DeleteNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2) {
    if (!ValidKeyCode(kc1) || !ValidKeyCode(kc2)) return false;
    const uint8_t data[] = {Byte(kc1), Byte(kc2)};
    AppendFramed32(target, {kGraphicsM, kFnDelete}, data);
    return true;
}

// Colour planes follow each other in data; a short image is padded with blank rows so the
// length field always matches what follows it. A size beyond its 16-bit field sends nothing.
void CCmdHelperBase::DefineNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, bool twoColour, int32_t width,
                                      int32_t height, std::span<const uint8_t> data) {
    size_t planeSize = 0;
    if (!RasterPlaneSize(width, height, planeSize)) return;
    const int colours = twoColour ? 2 : 1;
    block_.Clear();
    // a (tone, always 48) kc1 kc2 b xL xH yL yH: without the tone byte the printer reads the
    // key as tone and first key byte and stores nothing.
    Put(block_, {kGraphicsM, Byte(kc1), Byte(kc2), static_cast<uint8_t>(colours), Low(width), High(width), Low(height),
                 High(height)});
    for (int colour = 0; colour < colours; ++colour) {
        block_.Append(static_cast<uint8_t>(0x31 + colour));
        AppendPlane(block_, data, planeSize * static_cast<size_t>(colour), planeSize);
    }
    AppendFramed32(target, {kGraphicsM, kFnDefine}, block_.Bytes());
}

// A one-colour raster for the print buffer, sent as one block with its data inside; a size
// beyond its 16-bit field sends nothing.
void CCmdHelperBase::StoreWrappedGraphics(PrinterBuffer& target, int32_t width, int32_t height,
                                          std::span<const uint8_t> data) {
    size_t planeSize = 0;
    if (!RasterPlaneSize(width, height, planeSize)) return;
    block_.Clear();
    Put(block_, {kGraphicsM, 0x01, 0x01, 0x31, Low(width), High(width), Low(height), High(height)});
    AppendPlane(block_, data, 0, planeSize);
    AppendFramed32(target, {kGraphicsM, kFnStoreRaster}, block_.Bytes());
}

// x and y count 8-dot units and travel as single bytes, so they must fit one; a cut value
// would announce less data than follows and the printer would print the rest as text.
bool CCmdHelperBase::DefineDownloadedImage(PrinterBuffer& target, int32_t x, int32_t y, std::span<const uint8_t> data) {
    if (!InRange(x, 1, 255) || !InRange(y, 1, 255)) return false;
    if (data.size() != static_cast<size_t>(x) * static_cast<size_t>(y) * 8) return false;
    Put(target, {GS, '*', Byte(x), Byte(y)});
    target.Append(data);
    return true;
}

bool CCmdHelperBase::PrintDownloadedImage(PrinterBuffer& target, int32_t m) {
    if (!InRange(m, 0, 3) && !InRange(m, 48, 51)) return false;
    Put(target, {GS, '/', Byte(m)});
    return true;
}

}  // namespace QVO::Printer
