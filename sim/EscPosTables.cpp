// The decoder's vocabulary: which selector bytes are which command, and how bytes read.
#include "sim/EscPosTables.h"

#include "sim/EscPosCodes.h"

#include <cstdio>

namespace QVO::Sim::EscPosTables {

using namespace EscPos;

namespace {

constexpr FixedForm kEscForms[] = {
    {FF, "", Op::PrintPage},
    {' ', "b", Op::CharSpacing},
    {'!', "b", Op::PrintModes},
    {'$', "w", Op::AbsolutePosition},
    {'%', "b", Op::UserChars},
    {'-', "b", Op::Underline},
    {'2', "", Op::DefaultLineSpacing},
    {'3', "b", Op::LineSpacing},
    {'=', "b", Op::SelectPeripheral},
    {'?', "b", Op::CancelUserChar},
    {'@', "", Op::Initialize},
    {'E', "b", Op::Emphasis},
    {'G', "b", Op::DoubleStrike},
    {'J', "b", Op::FeedUnits},
    {'L', "", Op::PageMode},
    {'M', "b", Op::Font},
    {'R', "b", Op::InternationalSet},
    {'S', "", Op::StandardMode},
    {'T', "b", Op::PageDirection},
    {'V', "b", Op::Rotate90},
    {'W', "wwww", Op::PageArea},
    {'\\', "w", Op::RelativePosition},
    {'a', "b", Op::Justify},
    {'c', "bb", Op::PanelSensors},
    {'d', "b", Op::FeedLines},
    {'i', "", Op::CutFullLegacy},
    {'m', "", Op::CutPartialLegacy},
    {'p', "bbb", Op::Pulse},
    {'r', "b", Op::Color},
    {'t', "b", Op::CodeTable},
    {'{', "b", Op::UpsideDown},
};

constexpr FixedForm kGsForms[] = {
    {'!', "b", Op::CharSize},        {'$', "w", Op::AbsoluteVerticalPosition},
    {'/', "b", Op::PrintDownloaded}, {':', "", Op::Macro},
    {'B', "b", Op::Reverse},         {'E', "b", Op::PrintDensity},
    {'H', "b", Op::HriPosition},     {'I', "b", Op::PrinterInfo},
    {'L', "w", Op::LeftMargin},      {'P', "bb", Op::MotionUnits},
    {'W', "w", Op::PrintAreaWidth},  {'\\', "w", Op::RelativeVerticalPosition},
    {'^', "bbb", Op::ExecuteMacro},  {'a', "b", Op::AsbEnable},
    {'b', "b", Op::Smoothing},       {'f', "b", Op::HriFont},
    {'g', "bbw", Op::Maintenance},   {'h', "b", Op::BarcodeHeight},
    {'r', "b", Op::TransmitStatus},  {'w', "b", Op::ModuleWidth},
};

constexpr FixedForm kFsForms[] = {
    {'!', "b", Op::KanjiModes},     {'&', "", Op::KanjiOn},        {'.', "", Op::KanjiOff},
    {'-', "b", Op::KanjiUnderline}, {'C', "b", Op::KanjiCode},     {'S', "bb", Op::KanjiSpacing},
    {'W', "b", Op::KanjiQuad},      {'p', "bb", Op::PrintNvImage},
};

template <size_t N>
const FixedForm* FindForm(const FixedForm (&table)[N], uint8_t selector) {
    for (const auto& form : table)
        if (form.selector == selector) return &form;
    return nullptr;
}

Op Pdf417Op(int fn) {
    switch (fn) {
        case Symbol::kPdf417Columns:
            return Op::Pdf417Columns;
        case Symbol::kPdf417Rows:
            return Op::Pdf417Rows;
        case Symbol::kPdf417ModuleWidth:
            return Op::Pdf417ModuleWidth;
        case Symbol::kPdf417RowHeight:
            return Op::Pdf417RowHeight;
        case Symbol::kPdf417ErrorLevel:
            return Op::Pdf417ErrorLevel;
        case Symbol::kPdf417Options:
            return Op::Pdf417Options;
        case Symbol::kStore:
            return Op::Pdf417Store;
        case Symbol::kPrint:
            return Op::Pdf417Print;
        case Symbol::kSize:
            return Op::Pdf417Size;
        default:
            return Op::Symbol;
    }
}

Op QrOp(int fn) {
    switch (fn) {
        case Symbol::kQrModel:
            return Op::QrModel;
        case Symbol::kQrModuleSize:
            return Op::QrModuleSize;
        case Symbol::kQrErrorLevel:
            return Op::QrErrorLevel;
        case Symbol::kStore:
            return Op::QrStore;
        case Symbol::kPrint:
            return Op::QrPrint;
        case Symbol::kSize:
            return Op::QrSize;
        default:
            return Op::Symbol;
    }
}

}  // namespace

const FixedForm* FindFixedForm(uint8_t lead, uint8_t selector) {
    switch (lead) {
        case ESC:
            return FindForm(kEscForms, selector);
        case GS:
            return FindForm(kGsForms, selector);
        case FS:
            return FindForm(kFsForms, selector);
        default:
            return nullptr;
    }
}

std::string LeadName(uint8_t lead) {
    switch (lead) {
        case ESC:
            return "ESC";
        case GS:
            return "GS";
        case FS:
            return "FS";
        case DLE:
            return "DLE";
        default:
            return "";
    }
}

std::string SelectorName(uint8_t byte) {
    constexpr uint8_t kDelete = 0x7F;
    if (byte > kFirstPrintable && byte < kDelete) return std::string(1, char(byte));
    static const char* kCtl[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
                                 "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                 "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (byte < kFirstPrintable) return kCtl[byte];
    if (byte == kFirstPrintable) return "SP";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    return hex;
}

Op ControlOp(uint8_t byte) {
    switch (byte) {
        case HT:
            return Op::HorizontalTab;
        case LF:
            return Op::LineFeed;
        case FF:
            return Op::FormFeed;
        case CR:
            return Op::CarriageReturn;
        case CAN:
            return Op::Cancel;
        case NUL:
            return Op::Nul;
        default:
            return Op::Control;
    }
}

Op GsParenOp(uint8_t selector) {
    switch (selector) {
        case 'E':
            return Op::UserSetup;
        case 'K':
            return Op::PrintControl;
        case 'N':
            return Op::CharacterColor;
        case 'H':
            return Op::ProcessIdRequest;
        default:
            return Op::Extended;
    }
}

Op SymbolOp(int cn, int fn) {
    if (cn == Symbol::kPdf417) return Pdf417Op(fn);
    if (cn == Symbol::kQr) return QrOp(fn);
    return Op::Symbol;
}

Op GraphicsOp(int fn) {
    if (fn >= 0 && fn <= GraphicsFn::kLastBinaryForm) fn += '0';
    switch (fn) {
        case GraphicsFn::kNvCapacity:
            return Op::NvCapacity;
        case GraphicsFn::kPrintBuffer:
            return Op::PrintBufferGraphics;
        case GraphicsFn::kBufferCapacity:
            return Op::GraphicsCapacity;
        case GraphicsFn::kNvListKeys:
            return Op::NvListKeys;
        case GraphicsFn::kNvDeleteAll:
            return Op::NvDeleteAll;
        case GraphicsFn::kNvDelete:
            return Op::NvDelete;
        case GraphicsFn::kNvDefineRaster:
            return Op::NvDefine;
        case GraphicsFn::kNvPrint:
            return Op::NvPrint;
        case GraphicsFn::kStoreRaster:
            return Op::StoreBufferGraphics;
        case GraphicsFn::kStoreColumn:
            return Op::StoreBufferGraphicsColumn;
        default:
            return Op::Graphics;
    }
}

}  // namespace QVO::Sim::EscPosTables
