// quvo.POSPrinter: the POSPrinter control object's methods and named properties, with bytes
// accepted by PrintNormal and PrintImmediate.
#include "python/DeviceBinding.h"

#include "opos/PosPrinterControl.h"

namespace QVO::Python {

namespace {

using Ptr = Opos::CPosPrinterControl;

class Printer final : public Device {
public:
    Printer() : Device(std::make_unique<Ptr>()) {}
    Ptr& Ctl() { return static_cast<Ptr&>(Control()); }
};

// BinaryConversion's nibble form: each byte as two characters '0'..'?' carrying four bits.
constexpr int32_t kNibbleConversion = 1;
constexpr wchar_t kNibbleBase = L'0';
constexpr int kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0x0F;

std::wstring NibbleText(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        text.push_back(wchar_t(kNibbleBase + (b >> kNibbleBits)));
        text.push_back(wchar_t(kNibbleBase + (b & kNibbleMask)));
    }
    return text;
}

// Bytes are printed as they stand, whatever the CharacterSet: they travel in BinaryConversion's
// nibble form, and the application's BinaryConversion is put back afterwards. Putting it back
// is a property change that resets ResultCode, so the print's own result is what ResultCode
// and ResultCodeExtended show until the next call.
int32_t PrintBytes(Printer& p, int32_t station, const std::string& bytes, bool immediate) {
    Ptr& printer = p.Ctl();
    p.ForgetResult();
    const int32_t previous = printer.GetBinaryConversion();
    if (previous != kNibbleConversion) {
        if (const int32_t rc = printer.SetBinaryConversion(kNibbleConversion); rc != Opos::OPOS_SUCCESS) return rc;
    }
    const std::wstring text = NibbleText(bytes);
    const int32_t rc = immediate ? printer.PrintImmediate(station, text) : printer.PrintNormal(station, text);
    const int32_t extended = printer.GetResultCodeExtended();
    if (previous != kNibbleConversion) printer.SetBinaryConversion(previous);
    if (rc != Opos::OPOS_SUCCESS) p.ShowResult(rc, extended);
    return rc;
}

void BindPrintBytes(PyClass<Printer>& cls, const char* name, bool immediate) {
    cls.def(
        name,
        [immediate](Printer& p, int32_t station, const py::bytes& data) {
            const std::string bytes = data;
            py::gil_scoped_release unlocked;
            return PrintBytes(p, station, bytes, immediate);
        },
        py::arg("station"), py::arg("data"), "bytes: sent as they stand, whatever CharacterSet says");
}

void BindMethods(PyClass<Printer>& cls) {
    using P = Printer;
    BindPrintBytes(cls, "PrintNormal", false);
    BindPrintBytes(cls, "PrintImmediate", true);
    Method<P>(cls, "PrintNormal", &Ptr::PrintNormal);
    Method<P>(cls, "PrintImmediate", &Ptr::PrintImmediate);
    Method<P>(cls, "PrintTwoNormal", &Ptr::PrintTwoNormal);
    Method<P>(cls, "ClearOutput", &Ptr::ClearOutput);
    Method<P>(cls, "BeginInsertion", &Ptr::BeginInsertion);
    Method<P>(cls, "BeginRemoval", &Ptr::BeginRemoval);
    Method<P>(cls, "EndInsertion", &Ptr::EndInsertion);
    Method<P>(cls, "EndRemoval", &Ptr::EndRemoval);
    Method<P>(cls, "CutPaper", &Ptr::CutPaper);
    Method<P>(cls, "PrintBarCode", &Ptr::PrintBarCode);
    Method<P>(cls, "PrintBitmap", &Ptr::PrintBitmap);
    Method<P>(cls, "RotatePrint", &Ptr::RotatePrint);
    Method<P>(cls, "SetBitmap", &Ptr::SetBitmap);
    Method<P>(cls, "SetLogo", &Ptr::SetLogo);
    Method<P>(cls, "TransactionPrint", &Ptr::TransactionPrint);
    Method<P>(cls, "ValidateData", &Ptr::ValidateData);
    Method<P>(cls, "ChangePrintSide", &Ptr::ChangePrintSide);
    Method<P>(cls, "MarkFeed", &Ptr::MarkFeed);
    Method<P>(cls, "ClearPrintArea", &Ptr::ClearPrintArea);
    Method<P>(cls, "PageModePrint", &Ptr::PageModePrint);
    Method<P>(cls, "PrintMemoryBitmap", &Ptr::PrintMemoryBitmap);
    Method<P>(cls, "DrawRuledLine", &Ptr::DrawRuledLine);
    Method<P>(cls, "PrintLine", &Ptr::PrintLine);
    Method<P>(cls, "PrintCurveText", &Ptr::PrintCurveText);
}

void BindProperties(PyClass<Printer>& cls) {
    using P = Printer;
    ReadWrite<P>(cls, "AsyncMode", &Ptr::GetAsyncMode, &Ptr::SetAsyncMode);
    ReadWrite<P>(cls, "CharacterSet", &Ptr::GetCharacterSet, &Ptr::SetCharacterSet);
    ReadWrite<P>(cls, "FlagWhenIdle", &Ptr::GetFlagWhenIdle, &Ptr::SetFlagWhenIdle);
    ReadWrite<P>(cls, "MapMode", &Ptr::GetMapMode, &Ptr::SetMapMode);
    ReadWrite<P>(cls, "RecLetterQuality", &Ptr::GetRecLetterQuality, &Ptr::SetRecLetterQuality);
    ReadWrite<P>(cls, "RecLineChars", &Ptr::GetRecLineChars, &Ptr::SetRecLineChars);
    ReadWrite<P>(cls, "RecLineHeight", &Ptr::GetRecLineHeight, &Ptr::SetRecLineHeight);
    ReadWrite<P>(cls, "RecLineSpacing", &Ptr::GetRecLineSpacing, &Ptr::SetRecLineSpacing);
    ReadWrite<P>(cls, "RotateSpecial", &Ptr::GetRotateSpecial, &Ptr::SetRotateSpecial);
    ReadWrite<P>(cls, "PageModeStation", &Ptr::GetPageModeStation, &Ptr::SetPageModeStation);
    ReadWrite<P>(cls, "PageModePrintArea", &Ptr::GetPageModePrintArea, &Ptr::SetPageModePrintArea);
    ReadOnly<P>(cls, "CoverOpen", &Ptr::GetCoverOpen);
    ReadOnly<P>(cls, "ErrorStation", &Ptr::GetErrorStation);
    ReadOnly<P>(cls, "ErrorLevel", &Ptr::GetErrorLevel);
    ReadOnly<P>(cls, "ErrorString", &Ptr::GetErrorString);
    ReadOnly<P>(cls, "RecEmpty", &Ptr::GetRecEmpty);
    ReadOnly<P>(cls, "RecNearEnd", &Ptr::GetRecNearEnd);
    ReadOnly<P>(cls, "RecLineWidth", &Ptr::GetRecLineWidth);
    ReadOnly<P>(cls, "RecLinesToPaperCut", &Ptr::GetRecLinesToPaperCut);
    ReadOnly<P>(cls, "RecSidewaysMaxChars", &Ptr::GetRecSidewaysMaxChars);
    ReadOnly<P>(cls, "RecSidewaysMaxLines", &Ptr::GetRecSidewaysMaxLines);
    ReadOnly<P>(cls, "PageModeArea", &Ptr::GetPageModeArea);
    ReadOnly<P>(cls, "CharacterSetList", &Ptr::GetCharacterSetList);
    ReadOnly<P>(cls, "RecLineCharsList", &Ptr::GetRecLineCharsList);
    ReadOnly<P>(cls, "FontTypefaceList", &Ptr::GetFontTypefaceList);
    ReadOnly<P>(cls, "CapRecPresent", &Ptr::GetCapRecPresent);
    ReadOnly<P>(cls, "CapRecPapercut", &Ptr::GetCapRecPapercut);
    ReadOnly<P>(cls, "CapRecBarCode", &Ptr::GetCapRecBarCode);
    ReadOnly<P>(cls, "CapRecBitmap", &Ptr::GetCapRecBitmap);
    ReadOnly<P>(cls, "CapTransaction", &Ptr::GetCapTransaction);
    ReadOnly<P>(cls, "CapRecPageMode", &Ptr::GetCapRecPageMode);
}

}  // namespace

void BindPrinter(py::module_& module) {
    PyClass<Printer> cls(module, "POSPrinter",
                         "The POSPrinter control object. Methods return the OPOS ResultCode; text\n"
                         "arguments take str, PrintNormal and PrintImmediate also bytes.");
    cls.def(py::init<>());
    BindCommon<Printer>(cls);
    BindMethods(cls);
    BindProperties(cls);
}

}  // namespace QVO::Python
