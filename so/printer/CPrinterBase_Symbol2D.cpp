// CPrinterBase, QR Code and PDF417 sizing: zint trial-encodes the data so that the engine knows
// the symbol's size in modules; the printer encodes and prints the symbol itself.
#include <zint.h>

#include <algorithm>
#include <memory>

#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
constexpr int32_t kQrLevelL = 1;
constexpr int32_t kPdf417Level = 1;
constexpr int32_t kPdf417MaxColumns = 30;
constexpr int32_t kPdf417TrialColumns = 3;
constexpr int32_t kPdf417QuietDots = 83;
constexpr int32_t kPdf417ModulesPerColumn = 17;
constexpr int32_t kPdf417FixedModules = 69;
constexpr int32_t kPdf417MarginDots = 14;
constexpr int32_t kPdf417MinModuleWidth = 2;
constexpr int32_t kPdf417WidestTotal = 596;
constexpr int32_t kPdf417MinColumnsAfterWidening = 3;
// zint's own code for a symbol it could not make when we could not even create one.
constexpr int32_t kNoSymbol = ZINT_ERROR_MEMORY;

struct SymbolDeleter {
    void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};
using SymbolPtr = std::unique_ptr<zint_symbol, SymbolDeleter>;

// The bytes exactly as GS ( k stores them (byte mode): any data the printer can encode is
// measured, whether or not it is valid UTF-8 text.
int32_t Encode(zint_symbol* s, int32_t symbology, int32_t option1, int32_t option2, const uint8_t* data,
               int32_t length) {
    ZBarcode_Clear(s);
    s->symbology = symbology;
    s->input_mode = DATA_MODE;
    s->option_1 = option1;
    s->option_2 = option2;
    const int result = ZBarcode_Encode(s, data, length);
    return result >= ZINT_ERROR ? result : 0;
}

// The data columns zint chose: read back where it reports them, else from the symbol's width
// (start, stop and the two row indicators take 69 modules, each data column 17).
int32_t DataColumns(const zint_symbol* s) {
    if (s->option_2 > 0) return s->option_2;
    return std::max((s->width - kPdf417FixedModules) / kPdf417ModulesPerColumn, 0);
}

int32_t CeilDiv(int32_t a, int32_t b) { return b > 0 ? (a + b - 1) / b : 0; }

int32_t RowHeight(int32_t h, int32_t codewords, int32_t columns, int32_t moduleWidth) {
    const int32_t rows = CeilDiv(codewords, columns);
    return rows > 0 && moduleWidth > 0 ? (h / rows) / moduleWidth : 0;
}
}  // namespace

int32_t CPrinterBase::MeasureQRCode(const uint8_t* data, int32_t length, int32_t heightDots, int32_t* symbolWidth,
                                    int32_t* error) {
    *symbolWidth = 0;
    SymbolPtr s(ZBarcode_Create());
    if (!s) {
        *error = kNoSymbol;
        return 0;
    }
    *error = Encode(s.get(), BARCODE_QRCODE, kQrLevelL, 0, data, length);
    if (*error != 0 || s->width <= 0) return 0;
    const int32_t moduleSize = heightDots / s->width;
    *symbolWidth = moduleSize * s->width;
    return moduleSize;
}

// Fits the widest module that leaves room for the columns, then widens the symbol when the
// rows would be less than one dot high.
void CPrinterBase::FitPDF417(const uint8_t* data, int32_t length, int32_t heightDots, int32_t widthDots,
                             int32_t* columns, int32_t* moduleWidth, int32_t* rowHeight, int32_t* symbolWidth,
                             int32_t* error) {
    *columns = *moduleWidth = *rowHeight = *symbolWidth = 0;
    SymbolPtr s(ZBarcode_Create());
    if (!s) {
        *error = kNoSymbol;
        return;
    }
    int32_t c = std::min((widthDots / 2 - kPdf417QuietDots) / kPdf417ModulesPerColumn, kPdf417TrialColumns);
    *error = Encode(s.get(), BARCODE_PDF417, kPdf417Level, std::max(c, 0), data, length);
    if (*error != 0) return;
    const int32_t codewords = s->rows * DataColumns(s.get());
    const int32_t w = widthDots - kPdf417MarginDots;
    const int32_t h = heightDots - kPdf417MarginDots;
    c = std::max(c, 1);
    int32_t module = std::max(w / (kPdf417ModulesPerColumn * c + kPdf417FixedModules), 1);
    int32_t rows = RowHeight(h, codewords, c, module);
    *error = ZINT_ERROR_INVALID_OPTION;
    if (module < kPdf417MinModuleWidth) return;
    if (rows < 1) {
        int32_t total = kPdf417ModulesPerColumn * c + kPdf417FixedModules;
        while (rows < 1 && module >= kPdf417MinModuleWidth + 1 && total < kPdf417WidestTotal) {
            total += kPdf417ModulesPerColumn;
            ++c;
            module = w / total;
            rows = RowHeight(h, codewords, c, module);
        }
        if (module < kPdf417MinModuleWidth || c > kPdf417MaxColumns || c < kPdf417MinColumnsAfterWidening) return;
        *error = Encode(s.get(), BARCODE_PDF417, kPdf417Level, c, data, length);
        if (*error != 0) return;
        *error = ZINT_ERROR_INVALID_OPTION;
        if (rows < 1) return;
    }
    *error = 0;
    *columns = c;
    *moduleWidth = w / (kPdf417ModulesPerColumn * c + kPdf417FixedModules);
    *rowHeight = RowHeight(h, codewords, c, *moduleWidth);
    *symbolWidth = s->width * *moduleWidth;
}

}  // namespace QVO::Printer
