// CPrinterBase, bitmaps and logos: PrintBitmap, SetBitmap with its twenty slots and the one
// image downloaded into the printer, the stored-bitmap escape sequence, SetLogo, and the
// size checks. Files become rasters in ImageRaster.
#include <algorithm>
#include <string>
#include <vector>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "platform/text/TextConv.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/ImageRaster.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr int32_t kStandardSetup = 3;
constexpr int32_t kReceiptStation = PTR_S_RECEIPT;
// What GS * can hold: below this height, and below this many 8 x 8 blocks.
constexpr int32_t kDownloadHeightLimit = 384;
constexpr int32_t kDownloadBlockLimit = 1536;
// The longest object along the paper outside page mode.
constexpr int32_t kMaxObjectLength = 2048;
// SetLogo's answer to a Location other than top or bottom.
constexpr int32_t kExtBadLogoLocation = 301;
// The command bytes around a raster (GS 8 L headers and the print command).
constexpr int32_t kGraphicsCommandBytes = 32;

bool IsAlignmentCode(int32_t alignment) {
    return alignment == PTR_BM_LEFT || alignment == PTR_BM_CENTER || alignment == PTR_BM_RIGHT;
}

int32_t ResultFor(Image::Status status) {
    switch (status) {
        case Image::Status::Ok:
            return OPOS_SUCCESS;
        case Image::Status::NotFound:
            return OPOS_E_NOEXIST;
        case Image::Status::NotDecodable:
        case Image::Status::TooLarge:
            // Beyond what may be decoded is treated as not decodable: the size is refused before
            // the pixels are read, so it cannot be told apart from a damaged file.
            return OPOS_E_ILLEGAL;
    }
    return OPOS_E_ILLEGAL;
}
}  // namespace

int32_t CPrinterBase::AnswerBitmapCall(int32_t rc, int32_t* pRC) {
    *pRC = SetRC(rc);
    return 0;
}

void CPrinterBase::ResetBitmaps() {
    for (BitmapSlot& slot : bitmapSlots_) slot = BitmapSlot();
    downloadedBitmap_ = kNoBitmap;
}

int32_t CPrinterBase::GetBitmapInfo(const std::wstring& fileName, int32_t* width, int32_t* height, int32_t widthDots,
                                    int32_t) {
    *width = *height = 0;
    Image::Size size;
    if (Image::Status s = Image::ReadSize(Platform::Text::WideToUtf8(fileName), size); s != Image::Status::Ok)
        return ResultFor(s);
    Image::Scaled scaled;
    if (widthDots != Image::kWidthAsIs && widthDots <= 0) return OPOS_E_ILLEGAL;
    if (!Image::ScaleTo(size, widthDots, scaled)) return OPOS_EPTR_TOOBIG;
    *width = scaled.width;
    *height = scaled.height;
    return OPOS_SUCCESS;
}

int32_t CPrinterBase::GetBitmapData(const std::wstring& fileName, PrinterBuffer& raster, int32_t* width,
                                    int32_t* height, int32_t, int32_t widthDots) {
    *width = *height = 0;
    if (widthDots != Image::kWidthAsIs && widthDots <= 0) return OPOS_E_ILLEGAL;
    Image::RgbImage image;
    if (Image::Status s = Image::Decode(Platform::Text::WideToUtf8(fileName), image); s != Image::Status::Ok)
        return ResultFor(s);
    Image::Scaled scaled;
    if (!Image::ScaleTo({image.width, image.height}, widthDots, scaled)) return OPOS_EPTR_TOOBIG;
    std::vector<uint8_t> bits;
    Image::Halftone(image, scaled, bits);
    raster.Clear();
    if (!raster.Append(bits.data(), bits.size())) return OPOS_E_FAILURE;
    *width = scaled.width;
    *height = scaled.height;
    return OPOS_SUCCESS;
}

int32_t CPrinterBase::VerifyObjectSize(int32_t width, int32_t height, int32_t xPos, int32_t followsRotation) {
    const bool sideways = rotateRight_ || rotateLeft_;
    int64_t widthLimit = 0;
    int64_t heightLimit = 0;
    if (pageMode_) {
        const bool turned = sideways || pageSideways_;
        widthLimit = int64_t{turned ? PageAreaWidth() : PageAreaHeight()} - xPos;
        heightLimit = int64_t{turned ? PageAreaHeight() : PageAreaWidth()} - pageModeVerticalPosition_;
    } else if (sideways) {
        widthLimit = int64_t{kMaxObjectLength} - xPos;
        heightLimit = recLineWidth_;
    } else {
        widthLimit = int64_t{recLineWidth_} - xPos;
        heightLimit = kMaxObjectLength;
    }
    if (width > widthLimit || height > heightLimit) return 0;
    if (sideways && followsRotation != 0 && int64_t{linesHeight_} + height > recLineWidth_) return 0;
    return 1;
}

void CPrinterBase::BitmapPlacement(int32_t alignment, char* align, int32_t* xPos) {
    if (alignment <= 0) {
        *align = static_cast<char>(cmd_->JustificationForBitmapAlignment(alignment));
        *xPos = 0;
    } else {
        *align = kObjectAtPosition;
        *xPos = MapNumber2DOT_H(alignment);
    }
}

void CPrinterBase::AppendBufferGraphics(PrinterBuffer& out, const PrinterBuffer& raster, int32_t width,
                                        int32_t height) {
    cmd_->BeginBufferGraphics(out, static_cast<int32_t>(raster.Size()), width, height);
    out.Append(raster);
    cmd_->PrintBufferGraphics(out);
}

// The bound is the page-mode area across the paper: its width when printing turns sideways,
// else its height (the longer side, as an image may still be turned by the rotation).
int32_t CPrinterBase::CheckPrintBitmapArguments(int32_t widthDots, int32_t alignment) {
    if (widthDots < 0 && widthDots != Image::kWidthAsIs) return OPOS_E_ILLEGAL;
    const int64_t bound = IsInRotate90Mode() ? PageAreaWidth() : PageAreaHeight();
    if (widthDots > bound) return OPOS_E_ILLEGAL;
    if (alignment < 0 && !IsAlignmentCode(alignment)) return OPOS_E_ILLEGAL;
    const int32_t position = alignment > 0 ? MapNumber2DOT_H(alignment) : alignment;
    if (int64_t{widthDots} + position > bound) return OPOS_E_ILLEGAL;
    return OPOS_SUCCESS;
}

int32_t CPrinterBase::PrintBitmap(int32_t, const std::wstring& fileName, int32_t width, int32_t alignment,
                                  int32_t* pRC) {
    if (cmd_ == nullptr) return AnswerBitmapCall(OPOS_E_FAILURE, pRC);
    const bool collecting = IsDirectSend() == 0;
    if (!collecting && RefusedAsBusy(pRC)) return 0;
    // "As is" is a code, not a measure: it must not go through the MapMode conversion.
    const int32_t widthDots = width == Image::kWidthAsIs ? Image::kWidthAsIs : MapNumber2DOT_H(width);
    if (int32_t rc = CheckPrintBitmapArguments(widthDots, alignment); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);
    if (RefusedForPaper(pRC)) return 0;
    char align = 0;
    int32_t xPos = 0;
    BitmapPlacement(alignment, &align, &xPos);
    int32_t w = 0, h = 0;
    if (int32_t rc = GetBitmapInfo(fileName, &w, &h, widthDots, Image::kGranularity); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);
    if (VerifyObjectSize(w, h, xPos, 0) == 0) return AnswerBitmapCall(OPOS_EPTR_TOOBIG, pRC);

    PrinterBuffer raster;
    if (int32_t rc = GetBitmapData(fileName, raster, &w, &h, Image::kGranularity, widthDots); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);
    PrinterBuffer object(static_cast<int32_t>(raster.Size()) + kGraphicsCommandBytes);
    AppendBufferGraphics(object, raster, w, h);
    const int32_t follows = bitmapRotation_ ? 1 : 0;
    const bool direct = IsDirectSend() != 0 && CurrentPrinterBuffer() == nullptr;
    if (direct) {
        PrinterBuffer out(static_cast<int32_t>(object.Size()) + kGraphicsCommandBytes * 2);
        InitOutBufferWithPMControl(out, kStandardSetup);
        FormatObject(out, object, w, h, align, xPos, follows);
        return AnswerBitmapCall(Send(out, 0), pRC);
    }
    PrinterBuffer* target = nullptr;
    if ((rotateRight_ || rotateLeft_) && !bitmapRotation_)
        target = &rotationObjectBuffer_;
    else
        target = CurrentPrinterBuffer();
    if (target != nullptr) FormatObject(*target, object, w, h, align, xPos, follows);
    return AnswerBitmapCall(OPOS_SUCCESS, pRC);
}

int32_t CPrinterBase::CheckSetBitmapArguments(int32_t number, int32_t station, int32_t width, int32_t alignment) {
    if (width < 0 && width != Image::kWidthAsIs) return OPOS_E_ILLEGAL;
    if (width > 0 && MapNumber2DOT_H(width) > recLineWidth_) return OPOS_E_ILLEGAL;
    if (number < 1 || number > kBitmapSlotCount) return OPOS_E_ILLEGAL;
    if (alignment < 0 && !IsAlignmentCode(alignment)) return OPOS_E_ILLEGAL;
    if (alignment > 0 && MapNumber2DOT_H(alignment) > recLineWidth_) return OPOS_E_ILLEGAL;
    if (station != kReceiptStation) return OPOS_E_ILLEGAL;
    return OPOS_SUCCESS;
}

// GS * sent at once; the slot then prints with GS /. False when the printer did not take it
// (the model lacks the command, or the write failed): the image then stays in engine memory,
// as a slot marked downloaded would print nothing.
bool CPrinterBase::DownloadBitmap(BitmapSlot& slot, int32_t number, const PrinterBuffer& raster, int32_t width,
                                  int32_t height) {
    PrinterBuffer columns(static_cast<int32_t>(raster.Size()) + kGraphicsCommandBytes);
    ToColumnFormat(columns, raster.Bytes(), width, height);
    PrinterBuffer define(static_cast<int32_t>(columns.Size()) + kGraphicsCommandBytes);
    PrinterBuffer print;
    if (!cmd_->DefineDownloadedImage(define, width / Image::kGranularity, height / Image::kGranularity,
                                     columns.Bytes()) ||
        !cmd_->PrintDownloadedImage(print, 0))
        return false;
    if (DirectSend(define, 0, 0) != OPOS_SUCCESS) return false;
    slot.downloaded = true;
    downloadedBitmap_ = static_cast<uint8_t>(number - 1);
    slot.command = print;
    return true;
}

int32_t CPrinterBase::SetBitmap(int32_t number, int32_t station, const std::wstring& fileName, int32_t width,
                                int32_t alignment, int32_t* pRC) {
    if (cmd_ == nullptr) return AnswerBitmapCall(OPOS_E_FAILURE, pRC);
    if (int32_t rc = CheckSetBitmapArguments(number, station, width, alignment); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);
    const int32_t widthDots = width > 0 ? MapNumber2DOT_H(width) : width;
    int32_t w = 0, h = 0;
    if (int32_t rc = GetBitmapInfo(fileName, &w, &h, widthDots, Image::kGranularity); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);
    // A slot that could never print is refused before its raster is made: a narrow, tall file
    // would otherwise take memory by the gigabyte.
    const int32_t longest = std::max(kMaxObjectLength, PageAreaHeight());
    if (w > longest || h > longest) return AnswerBitmapCall(OPOS_EPTR_TOOBIG, pRC);
    PrinterBuffer raster;
    if (int32_t rc = GetBitmapData(fileName, raster, &w, &h, Image::kGranularity, widthDots); rc != OPOS_SUCCESS)
        return AnswerBitmapCall(rc, pRC);

    BitmapSlot& slot = bitmapSlots_[static_cast<size_t>(number - 1)];
    slot.downloaded = false;
    const bool mayDownload = (asyncMode_ == 0 || IsIdle() != 0) && downloadedBitmap_ == kNoBitmap &&
                             w < recLineWidth_ && h < kDownloadHeightLimit &&
                             (w / Image::kGranularity) * (h / Image::kGranularity) < kDownloadBlockLimit;
    if (!mayDownload || !DownloadBitmap(slot, number, raster, w, h)) {
        PrinterBuffer command(static_cast<int32_t>(raster.Size()) + kGraphicsCommandBytes);
        AppendBufferGraphics(command, raster, w, h);
        slot.command = std::move(command);
    }
    slot.alignment = alignment;
    slot.mark = static_cast<uint8_t>(number - 1);
    slot.fileName = fileName;
    slot.width = w;
    slot.height = h;
    slot.station = kReceiptStation;
    return AnswerBitmapCall(OPOS_SUCCESS, pRC);
}

bool CPrinterBase::IsBitmapStored(int32_t number) const {
    return number >= 1 && number <= kBitmapSlotCount &&
           bitmapSlots_[static_cast<size_t>(number - 1)].mark == static_cast<uint8_t>(number - 1);
}

bool CPrinterBase::FormatSettedBitmap(PrinterBuffer& target, int32_t number) {
    if (!IsBitmapStored(number) || cmd_ == nullptr) return false;
    const BitmapSlot& slot = bitmapSlots_[static_cast<size_t>(number - 1)];
    char align = 0;
    int32_t xPos = 0;
    BitmapPlacement(slot.alignment, &align, &xPos);
    const int32_t follows = bitmapRotation_ ? 1 : 0;
    if (VerifyObjectSize(slot.width, slot.height, xPos, follows) == 0) return false;
    FormatObject(target, slot.command, slot.width, slot.height, align, xPos, follows);
    return true;
}

int32_t CPrinterBase::SetLogo(int32_t location, const std::wstring& data, int32_t* pRC) {
    if (location != PTR_L_TOP && location != PTR_L_BOTTOM) return AnswerBitmapCall(kExtBadLogoLocation, pRC);
    if (cmd_ == nullptr) return AnswerBitmapCall(OPOS_E_FAILURE, pRC);
    const int32_t size = BStr2Char(data, nullptr, 0, nullptr);
    std::string bytes(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
    BStr2Char(data, reinterpret_cast<uint8_t*>(bytes.data()), size, nullptr);
    PrinterBuffer text;
    DataBinaryConversion2(text, reinterpret_cast<const uint8_t*>(bytes.data()));
    // Formatted apart and then stored, so a logo sequence inside the text reads the old logo.
    PrinterBuffer formatted;
    FormatStringToOutBuffer(formatted, text.Bytes(), false);
    (location == PTR_L_TOP ? topLogo_ : bottomLogo_) = formatted;
    return AnswerBitmapCall(OPOS_SUCCESS, pRC);
}

int32_t CPrinterBase::PrintMemoryBitmap(int32_t, const std::wstring&, int32_t, int32_t, int32_t, int32_t* pRC) {
    return AnswerBitmapCall(kExtUnsupported, pRC);
}

}  // namespace QVO::Printer
