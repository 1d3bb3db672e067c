// Feeds arbitrary barcode requests through the engine's barcode formatting: every symbology
// number around the supported ones, heights, widths, alignments and HRI positions from the
// input, the data as raw bytes (Code 128 code sets, QR and PDF417 trial encoding included).
//
// Input: bytes 0-5 choose symbology, height, width, alignment, HRI position and map mode; the
// rest is the data. Checks: the answer is 0 or 106; a refusal appends nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CTM_T88IV.h"

namespace {

using QVO::Printer::CPrinterBase;
using QVO::Printer::PrinterBuffer;

class FuzzEngine : public QVO::Printer::CTM_T88IV {
public:
    explicit FuzzEngine(const std::wstring& model) : CTM_T88IV(model) { SetProperty_Open(); }
    int32_t Barcode(PrinterBuffer& out, PrinterBuffer& data, int32_t symbology, int32_t height, int32_t width,
                    int32_t alignment, int32_t textPosition) {
        return FormatBarcode(out, data, symbology, height, width, alignment, textPosition);
    }
};

constexpr size_t kHeaderBytes = 6;
// Symbologies 101 to 131 and 201 to 206 (one-dimensional and two-dimensional), and a few outside.
constexpr int32_t kFirstLinear = 96;
constexpr int32_t kFirstTwoDimensional = 196;
// Alignments: left, centre, right and positions in dots.
constexpr int32_t kAlignments[] = {
    QVO::Opos::PTR_BC_LEFT, QVO::Opos::PTR_BC_CENTER, QVO::Opos::PTR_BC_RIGHT, 0, 7, 300, 600};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return 0;
    static FuzzEngine wide(L"QP-T80A");
    static FuzzEngine narrow(L"QP-T58A");
    FuzzEngine& engine = (data[5] & 0x80) != 0 ? narrow : wide;
    const int32_t symbology =
        (data[0] & 0x80) != 0 ? kFirstTwoDimensional + (data[0] & 0x0F) : kFirstLinear + (data[0] & 0x3F);
    const int32_t height = data[1] * 4;
    const int32_t width = data[2];
    const int32_t alignment = kAlignments[data[3] % (sizeof kAlignments / sizeof kAlignments[0])];
    const int32_t textPosition = QVO::Opos::PTR_BC_TEXT_NONE - (data[4] % 4);
    PrinterBuffer barcodeData, out;
    barcodeData.Append(data + kHeaderBytes, size - kHeaderBytes);
    const int32_t rc = engine.Barcode(out, barcodeData, symbology, height, width, alignment, textPosition);
    Check(rc == QVO::Opos::OPOS_SUCCESS || rc == QVO::Opos::OPOS_E_ILLEGAL);
    if (rc != QVO::Opos::OPOS_SUCCESS) Check(out.IsEmpty());
    return 0;
}
