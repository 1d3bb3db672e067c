// Barcodes in the engine: Code 128 code sets, PrintBarCode's checks in their order, the
// sizes chosen for each kind of symbol, and the bytes that place them.
#include <string>
#include <vector>

#include "constants/OposConstants.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;

class BarcodeEngine : public FormatEngine {
public:
    // An 80 mm model: 576-dot lines, a 936-dot page area.
    BarcodeEngine() : FormatEngine(L"QP-T80A") {}
    using CPrinterBase::convert_bar_code_code128;
    using CPrinterBase::convert_bar_code_code128_Parsed;
    using CPrinterBase::FitPDF417;
    using CPrinterBase::MeasureQRCode;

    std::string Code128(const std::string& text, bool parsed = false, int32_t* result = nullptr) {
        PrinterBuffer data;
        data.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        const int32_t r = parsed ? convert_bar_code_code128_Parsed(data) : convert_bar_code_code128(data);
        if (result != nullptr) *result = r;
        return Bytes(data);
    }
    int32_t Barcode(PrinterBuffer& out, PrinterBuffer& data, int32_t symbology, int32_t height, int32_t width,
                    int32_t alignment, int32_t textPosition) {
        return FormatBarcode(out, data, symbology, height, width, alignment, textPosition);
    }
    // The symbol's commands as the printer decodes them; "refused" when FormatBarcode fails.
    std::string Symbol(const std::string& bytes, int32_t symbology, int32_t height, int32_t width,
                       int32_t alignment = PTR_BC_CENTER, int32_t textPosition = PTR_BC_TEXT_BELOW) {
        PrinterBuffer data, out;
        data.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (FormatBarcode(out, data, symbology, height, width, alignment, textPosition) != 0) {
            return out.IsEmpty() ? "refused" : "refused, but wrote " + Trace(out);
        }
        return Trace(out);
    }
    int32_t Print(const std::wstring& data, int32_t symbology, int32_t height = 100, int32_t width = 2,
                  int32_t alignment = PTR_BC_CENTER, int32_t textPosition = PTR_BC_TEXT_BELOW) {
        int32_t rc = -1;
        PrintBarCode(PTR_S_RECEIPT, data, symbology, height, width, alignment, textPosition, &rc);
        return rc;
    }
};

std::string Pairs(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// Automatic code sets: digit runs packed into code set C where that is shorter, code set A
// only for control characters, and a '{' in the data doubled so the printer does not read a
// code-set selection into it.
TEST(BarcodeCode128, ChoosesCodeSetsAsThePrinterNotationNeeds) {
    BarcodeEngine e;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"12345678", "{C" + Pairs({12, 34, 56, 78})},
        {"1234567", "{C" + Pairs({12, 34, 56}) + "{B7"},
        {"AB12", "{BAB12"},
        {"12AB", "{B12AB"},
        {"ab1234", "{Bab{C" + Pairs({12, 34})},
        {"AB\tC", "{AAB\tC"},
        {"ab\x01", "{Bab{A\x01"},
        {"X123456Y", "{BX{C" + Pairs({12, 34, 56}) + "{BY"},
        {"a{b", "{Ba{{b"},
    };
    for (const auto& [input, expected] : cases) {
        int32_t result = 0;
        EXPECT_EQ(e.Code128(input, false, &result), expected) << input;
        EXPECT_EQ(result, 1) << input;
    }
    // Data beyond 232 bytes is dropped before conversion.
    EXPECT_EQ(e.Code128(std::string(300, 'A')), "{B" + std::string(232, 'A'));
}

TEST(BarcodeCode128, ParsedDataKeepsTheApplicationsCodeSets) {
    BarcodeEngine e;
    int32_t result = 0;
    EXPECT_EQ(e.Code128("{C1234AB", true, &result), "{C" + Pairs({12, 34}) + "{BAB");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(e.Code128("{AAB{C5678", true), "{AAB{C" + Pairs({56, 78}));
    EXPECT_EQ(e.Code128("AB", true), "{BAB");
    EXPECT_EQ(e.Code128("{{C12", true), "{B{{C12") << "an escaped brace is not a selection";
    e.Code128("A", true, &result);
    EXPECT_EQ(result, 0) << "fewer than two bytes";
}

// Argument checks come before the paper check, and every refusal names OPOS_E_ILLEGAL.
TEST(BarcodePrint, ArgumentChecksInTheirOrder) {
    BarcodeEngine e;
    const std::wstring ean = L"4901234567894";
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, -1), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 100, -1), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 937), OPOS_E_ILLEGAL) << "taller than the page area";
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 100, 2, 0), OPOS_E_ILLEGAL) << "alignment 0";
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 100, 2, 576), OPOS_E_ILLEGAL) << "starts beyond the line";
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 100, 2, PTR_BC_CENTER, 0), OPOS_E_ILLEGAL) << "text position 0";
    // Valid arguments reach the paper check (the engine has read no status yet: empty).
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13, 936, 2, 575), OPOS_E_EXTENDED);
    EXPECT_EQ(e.ResultCodeExtended(), kExtReceiptEmpty);

    // Asynchronously the paper is not checked: data and symbology are, and a good request
    // goes on to the output path (closed here: no port).
    e.SetAsyncMode(1);
    EXPECT_EQ(e.Print(L"", PTR_BCS_JAN13), OPOS_E_ILLEGAL) << "no data";
    for (int32_t symbology : {100, PTR_BCS_TF, 111, 119, PTR_BCS_RSS14, PTR_BCS_RSS_EXPANDED, 202, 503, 506})
        EXPECT_EQ(e.Print(ean, symbology), OPOS_E_ILLEGAL) << symbology;
    EXPECT_EQ(e.Print(L"{A", PTR_BCS_Code128_Parsed), OPOS_E_CLOSED);
    EXPECT_EQ(e.Print(L"A", PTR_BCS_Code128_Parsed), OPOS_E_ILLEGAL) << "parsed data under two bytes";
    EXPECT_EQ(e.Print(std::wstring(256, L'A'), PTR_BCS_QRCODE), OPOS_E_ILLEGAL) << "2D data of 256 bytes";
    EXPECT_EQ(e.Print(ean, PTR_BCS_JAN13), OPOS_E_CLOSED);
    EXPECT_EQ(e.Print(std::wstring(255, L'A'), PTR_BCS_QRCODE, 500), OPOS_E_CLOSED);
}

// The module width fitted to a width in dots, or taken as it is up to 6; the height in one byte.
TEST(BarcodeSize, LinearModuleWidthAndHeight) {
    BarcodeEngine e;
    EXPECT_EQ(e.Symbol("ABCDEFGHIJ", PTR_BCS_Code39, 80, 3),
              "ESC J 0 | ESC a 1 | GS w 3 | GS h 80 | GS H 2 | GS f 0 | ESC a 1 | GS k 69 [10]");
    // 4 x 95 = 380 dots fit in 400, 5 x 95 do not.
    EXPECT_EQ(e.Symbol("490123456789", PTR_BCS_JAN13, 60, 400, PTR_BC_LEFT, PTR_BC_TEXT_NONE),
              "ESC J 0 | ESC a 0 | GS w 4 | GS h 60 | GS H 0 | GS f 0 | ESC a 0 | GS k 67 [12]");
    // An explicit position is a left margin; the justification byte is not sent.
    EXPECT_EQ(e.Symbol("12345", PTR_BCS_ITF, 50, 2, 40, PTR_BC_TEXT_ABOVE),
              "ESC J 0 | GS L 40 | GS w 2 | GS h 50 | GS H 1 | GS f 0 | GS k 70 [5]");
}

// GS h carries one byte: a 300-dot request would wrap to 44 dots. The tallest height is sent.
TEST(BarcodeSize, LinearHeightAbove255IsClampedNotWrapped) {
    BarcodeEngine e;
    EXPECT_EQ(e.Symbol("ABC", PTR_BCS_Code93, 300, 2),
              "ESC J 0 | ESC a 1 | GS w 2 | GS h 255 | GS H 2 | GS f 0 | ESC a 1 | GS k 72 [3]");
}

// The QR model follows the data length (model 2 above 250 bytes, and always for 504/505);
// the module size follows the requested height.
TEST(BarcodeSize, QrModelAndModuleSize) {
    BarcodeEngine e;
    // GS ( k pL pH cn=49 fn=65 n1 n2: n1 is the model.
    const auto model = [&](const std::string& data, int32_t symbology) {
        PrinterBuffer in, out;
        in.Append(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        if (e.Barcode(out, in, symbology, 400, 0, PTR_BC_CENTER, PTR_BC_TEXT_NONE) != 0) return -1;
        const std::string bytes = Bytes(out);
        const size_t at = bytes.find(std::string("\x1d(k\x04\x00\x31\x41", 7));
        return at == std::string::npos ? 0 : bytes[at + 7] - '0';
    };
    EXPECT_EQ(model(std::string(250, 'a'), PTR_BCS_QRCODE), 1);
    EXPECT_EQ(model(std::string(251, 'a'), PTR_BCS_QRCODE), 2);
    EXPECT_EQ(model("a", 504), 2);
    EXPECT_EQ(model("a", 505), 2);
    // "HELLO" is a 21-module version 1 symbol: 210 dots give 10-dot modules.
    int32_t width = 0, error = -1;
    const std::string hello = "HELLO";
    EXPECT_EQ(e.MeasureQRCode(reinterpret_cast<const uint8_t*>(hello.data()), 5, 210, &width, &error), 10);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(width, 210);
    EXPECT_EQ(e.Symbol(hello, PTR_BCS_QRCODE, 210, 0),
              "ESC J 0 | ESC a 1 | GS ( k 49 65 [2] | GS ( k 49 67 [1] | GS ( k 49 69 [1] | GS ( k 49 80 [6] | "
              "GS ( k 49 81 [1]");
}

// The printer stores QR data as bytes: data that is not UTF-8 text (a code-page 437 "é",
// binary) must be measured as such, not refused.
TEST(BarcodeSize, QrAcceptsDataThatIsNotUtf8) {
    BarcodeEngine e;
    const std::string binary = "caf\x82 \xff\xfe\x01";
    int32_t width = 0, error = -1;
    EXPECT_GT(
        e.MeasureQRCode(reinterpret_cast<const uint8_t*>(binary.data()), int32_t(binary.size()), 300, &width, &error),
        0);
    EXPECT_EQ(error, 0);
    EXPECT_NE(e.Symbol(binary, PTR_BCS_QRCODE, 300, 0).find("GS ( k 49 80 [9]"), std::string::npos);
    EXPECT_NE(e.Symbol(binary, PTR_BCS_PDF417, 200, 400).find("GS ( k 48 80 [9]"), std::string::npos);
}

// PDF417 needs a module width of at least 2: 186 dots is the narrowest request that passes.
TEST(BarcodeSize, Pdf417NarrowestWidth) {
    BarcodeEngine e;
    EXPECT_EQ(e.Symbol("PDF", PTR_BCS_PDF417, 300, 185), "refused");
    int32_t columns = 0, module = 0, rowHeight = 0, width = 0, error = -1;
    e.FitPDF417(reinterpret_cast<const uint8_t*>("PDF"), 3, 300, 186, &columns, &module, &rowHeight, &width, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(columns, 1);
    EXPECT_EQ(module, 2);
    EXPECT_GE(rowHeight, 1);
    const std::string trace = e.Symbol("PDF", PTR_BCS_PDF417, 300, 186);
    EXPECT_EQ(trace,
              "ESC J 0 | ESC a 1 | GS ( k 48 67 [1] | GS ( k 48 65 [1] | GS ( k 48 68 [1] | GS ( k 48 69 [2] | "
              "GS ( k 48 80 [4] | GS ( k 48 81 [1]");
}

}  // namespace
}  // namespace QVO::Printer::Test
