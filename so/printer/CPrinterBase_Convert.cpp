// CPrinterBase, text conversion: application text to bytes through the character set or the
// BinaryConversion encodings, before the escape-sequence interpreter sees it.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/text/TextConv.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
// BinaryConversion values.
constexpr int32_t kConversionNone = 0;
constexpr int32_t kConversionNibble = 1;
constexpr int32_t kConversionDecimal = 2;
constexpr int32_t kNibbleGroup = 2;
constexpr int32_t kDecimalGroup = 3;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kBackspace = 0x08;
}  // namespace

// The printer has no table of its own for these character sets; their text goes out in the
// code page whose table the printer selects for them.
int32_t CPrinterBase::ConversionCodePage(int32_t characterSet) {
    switch (characterSet) {
        case 720:
        case 864:
            return 1256;
        case 850:
        case 858:
            return 1252;
        // ASCII: the printer's table for it is 437, a superset.
        case 998:
            return 437;
        // The system ANSI code page (its table is selected; a model without one prints the
        // text in runs, CPrinterBase_Unicode.cpp).
        case 999:
            return Platform::Text::SystemAnsiCodePage();
        default:
            return characterSet;
    }
}

std::string CPrinterBase::ConvertedText(std::wstring_view text, int32_t* codePage) const {
    if (binaryConversion_ != kConversionNone) {
        if (codePage != nullptr) *codePage = 0;
        return Platform::Text::WideToCodePage(text, Platform::Text::SystemAnsiCodePage());
    }
    if (UsesUnicodeRuns()) {
        // The interpreter picks each character's table; the output starts in the set's own.
        if (codePage != nullptr) *codePage = characterSet_;
        return UnicodeRunText(text);
    }
    const int32_t used = ConversionCodePage(characterSet_);
    if (codePage != nullptr) *codePage = used;
    return Platform::Text::WideToCodePage(text, used);
}

int32_t CPrinterBase::BStr2Char(std::wstring_view text, uint8_t* output, int32_t outputSize, int32_t* codePage) {
    const std::string bytes = ConvertedText(text, codePage);
    const auto count = static_cast<int32_t>(bytes.size());
    if (output != nullptr && outputSize > 0) std::memcpy(output, bytes.data(), std::min(count, outputSize));
    return count;
}

void CPrinterBase::DataBinaryConversion2(PrinterBuffer& target, const uint8_t* bytes) {
    const size_t length = std::strlen(reinterpret_cast<const char*>(bytes));
    switch (binaryConversion_) {
        case kConversionNone:
            target.Append(bytes, length);
            break;
        // Each character carries four bits: its low nibble (the high one of the first of a pair).
        case kConversionNibble:
            for (size_t i = 0; i + kNibbleGroup <= length; i += kNibbleGroup)
                target.Append(static_cast<uint8_t>((bytes[i] << 4) | static_cast<uint8_t>(bytes[i + 1] - '0')));
            break;
        // Three characters per byte, its decimal value; ESC and BS stand for 0 (some
        // applications pad with them).
        case kConversionDecimal:
            for (size_t i = 0; i + kDecimalGroup <= length; i += kDecimalGroup) {
                int32_t value = 0;
                for (size_t k = 0; k < kDecimalGroup; ++k) {
                    uint8_t c = bytes[i + k];
                    if (c == kEsc || c == kBackspace) c = '0';
                    if (c < '0' || c > '9') break;
                    value = value * 10 + (c - '0');
                }
                target.Append(static_cast<uint8_t>(value));
            }
            break;
        default:
            break;
    }
}

// One conversion, not one for the size and one for the bytes: the text is converted whole
// and handed on NUL-terminated, as the two-call form would.
void CPrinterBase::DataBinaryConversion(PrinterBuffer& target, std::wstring_view text, int32_t* codePage) {
    const std::string bytes = ConvertedText(text, codePage);
    if (bytes.empty()) return;
    DataBinaryConversion2(target, reinterpret_cast<const uint8_t*>(bytes.c_str()));
}

}  // namespace QVO::Printer
