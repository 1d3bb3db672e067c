// Feeds arbitrary application text (UTF-16 units, escape sequences and all) through the engine's
// conversion and escape-sequence interpreter, under every BinaryConversion, several character
// sets (997 and 999 among them), validate-only or not, on an 80 mm and a 58 mm model.
//
// Input: byte 0 chooses the settings, the rest is UTF-16LE text (an odd last byte is dropped).
// Checks: the answer is 0, 106 or 111; text without escape sequences under a plain code page
// reaches the output byte for byte (tabs and form feeds dropped).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "constants/OposConstants.h"
#include "so/printer/CTM_T88IV.h"

namespace {

using QVO::Printer::CPrinterBase;
using QVO::Printer::PrinterBuffer;

class FuzzEngine : public QVO::Printer::CTM_T88IV {
public:
    explicit FuzzEngine(const std::wstring& model) : CTM_T88IV(model) { SetProperty_Open(); }
    using CPrinterBase::DataBinaryConversion;
    using CPrinterBase::FormatStringToOutBuffer;
    using CPrinterBase::SetCharacterSet;
    void SetBinaryConversion(int32_t value) { SetBinaryConversionValue(value); }
};

constexpr int32_t kCharacterSets[] = {437, 850, 866, 932, 997, 998, 999, 255};
constexpr uint8_t kEsc = 0x1B;

void Check(bool condition) {
    if (!condition) std::abort();
}

// Text with no escape, under a plain page and no BinaryConversion, must come out unchanged.
void CheckPlainText(const PrinterBuffer& in, const PrinterBuffer& out) {
    std::string expected;
    for (const uint8_t b : in.Bytes()) {
        if (b == kEsc) return;
        if (b != '\t' && b != '\f') expected += static_cast<char>(b);
    }
    Check(std::string(out.begin(), out.end()) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static FuzzEngine wide(L"QP-T80A");
    static FuzzEngine narrow(L"QP-T58A");
    const uint8_t settings = data[0];
    FuzzEngine& engine = (settings & 0x80) != 0 ? narrow : wide;
    const bool validate = (settings & 0x40) != 0;
    const int32_t conversion = (settings >> 3) & 0x03;  // 3: not a BinaryConversion value
    const int32_t characterSet = kCharacterSets[settings & 0x07];
    engine.SetCharacterSet(characterSet);
    engine.SetBinaryConversion(conversion);

    std::wstring text;
    for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    PrinterBuffer in, out;
    int32_t codePage = 0;
    engine.DataBinaryConversion(in, text, &codePage);
    const int32_t rc = engine.FormatStringToOutBuffer(out, in.Bytes(), validate);
    Check(rc == QVO::Opos::OPOS_SUCCESS || rc == QVO::Opos::OPOS_E_ILLEGAL || rc == QVO::Opos::OPOS_E_FAILURE);
    if (!validate && conversion == 0 && characterSet == 437) CheckPlainText(in, out);
    return 0;
}
