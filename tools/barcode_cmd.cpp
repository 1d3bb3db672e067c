// `quvo barcode`: prints a barcode or 2D symbol on a receipt printer through the POSPrinter
// control object (open, claim, enable, PrintBarCode, then back).
#include "tools/Command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <strings.h>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "opos/PosPrinterControl.h"
#include "platform/text/TextConv.h"
#include "tools/DeviceSession.h"

namespace {

namespace Opos = QVO::Opos;
using QVO::Tools::DeviceSession;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo barcode DEVICE DATA --symbology NAME [--height DOTS] [--width N]\n"
    "                    [--align left|center|right|DOTS] [--hri none|above|below]\n"
    "DEVICE is a printer's logical name or device entry name; DATA the text the symbol carries.\n"
    "--symbology  upca, upce, ean8, ean13, itf, codabar, code39, code93, code128,\n"
    "             code128parsed (DATA holds its own {A {B {C code sets), gs1-128, pdf417, qr.\n"
    "--height     the symbol's height in dots (default 100; one-dimensional symbols print at\n"
    "             most 255 dots tall; a QR Code's modules are sized to fill it).\n"
    "--width      one-dimensional: a module width 1-6, or a larger width in dots to fill;\n"
    "             PDF417: the width in dots (default 400). QR Code ignores it.\n"
    "--align      center (the default), left, right, or a distance in dots from the left edge.\n"
    "--hri        where the human-readable text goes: below (the default), above or none.\n"
    "Exit status: 0 printed, 1 failed (the printer's result codes on stderr), 2 bad command line.\n";

constexpr int32_t kClaimTimeoutMs = 1000;
constexpr int32_t kDefaultHeight = 100;
constexpr int32_t kDefaultModuleWidth = 2;
constexpr int32_t kDefaultPdf417Width = 400;
constexpr long kMaxDots = 65535;

struct Symbology {
    const char* name;
    int32_t value;
};

const Symbology kSymbologies[] = {
    {"upca", Opos::PTR_BCS_UPCA},       {"upce", Opos::PTR_BCS_UPCE},
    {"ean8", Opos::PTR_BCS_EAN8},       {"jan8", Opos::PTR_BCS_JAN8},
    {"ean13", Opos::PTR_BCS_EAN13},     {"jan13", Opos::PTR_BCS_JAN13},
    {"itf", Opos::PTR_BCS_ITF},         {"codabar", Opos::PTR_BCS_Codabar},
    {"code39", Opos::PTR_BCS_Code39},   {"code93", Opos::PTR_BCS_Code93},
    {"code128", Opos::PTR_BCS_Code128}, {"code128parsed", Opos::PTR_BCS_Code128_Parsed},
    {"gs1-128", Opos::PTR_BCS_EAN128},  {"ean128", Opos::PTR_BCS_EAN128},
    {"pdf417", Opos::PTR_BCS_PDF417},   {"qr", Opos::PTR_BCS_QRCODE},
    {"qrcode", Opos::PTR_BCS_QRCODE},
};

struct Options {
    std::string device;
    std::string data;
    bool haveData = false;
    const char* symbologyName = nullptr;
    int32_t symbology = 0;
    int32_t height = kDefaultHeight;
    int32_t width = -1;  // by symbology unless given
    int32_t alignment = Opos::PTR_BC_CENTER;
    int32_t textPosition = Opos::PTR_BC_TEXT_BELOW;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "quvo barcode: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

bool ParseDots(const char* text, long low, int32_t& out) { return QVO::Tools::ParseDecimal(text, low, kMaxDots, out); }

bool ParseSymbology(const char* text, Options& o) {
    for (const Symbology& s : kSymbologies) {
        if (!strcasecmp(text, s.name)) {
            o.symbology = s.value;
            o.symbologyName = s.name;
            return true;
        }
    }
    return false;
}

bool ParseAlignment(const char* text, int32_t& out) {
    if (!std::strcmp(text, "left"))
        out = Opos::PTR_BC_LEFT;
    else if (!std::strcmp(text, "center") || !std::strcmp(text, "centre"))
        out = Opos::PTR_BC_CENTER;
    else if (!std::strcmp(text, "right"))
        out = Opos::PTR_BC_RIGHT;
    else
        return ParseDots(text, 1, out);
    return true;
}

bool ParseHri(const char* text, int32_t& out) {
    if (!std::strcmp(text, "none"))
        out = Opos::PTR_BC_TEXT_NONE;
    else if (!std::strcmp(text, "above"))
        out = Opos::PTR_BC_TEXT_ABOVE;
    else if (!std::strcmp(text, "below"))
        out = Opos::PTR_BC_TEXT_BELOW;
    else
        return false;
    return true;
}

bool ParseValue(const std::string& option, const char* value, Options& o) {
    if (option == "--symbology") return ParseSymbology(value, o);
    if (option == "--height") return ParseDots(value, 1, o.height);
    if (option == "--width") return ParseDots(value, 1, o.width);
    if (option == "--align") return ParseAlignment(value, o.alignment);
    return ParseHri(value, o.textPosition);
}

bool TakesValue(const char* arg) {
    for (const char* option : {"--symbology", "--height", "--width", "--align", "--hri"})
        if (!std::strcmp(arg, option)) return true;
    return false;
}

// kExitOk when the options parse, or when help was asked for (then `done` is set).
int ParseOptions(int argc, char** argv, Options& o, bool& done) {
    done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            std::fputs(kUsage, stdout);
            done = true;
            return kExitOk;
        }
        if (TakesValue(arg)) {
            if (i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
            const char* value = argv[++i];
            if (!ParseValue(arg, value, o)) return Usage(std::string("bad value '") + value + "' for " + arg);
        } else if (arg[0] == '-' && arg[1] == '-') {
            return Usage(std::string("unknown option '") + arg + "'");
        } else if (o.device.empty() && arg[0]) {
            o.device = arg;
        } else if (!o.haveData) {
            o.data = arg;
            o.haveData = true;
        } else {
            return Usage(std::string("unexpected argument '") + arg + "'");
        }
    }
    if (o.device.empty()) return Usage("missing DEVICE");
    if (!o.haveData || o.data.empty()) return Usage("missing DATA");
    if (o.symbology == 0) return Usage("missing --symbology");
    if (o.width < 0) o.width = o.symbology == Opos::PTR_BCS_PDF417 ? kDefaultPdf417Width : kDefaultModuleWidth;
    return kExitOk;
}

bool PrintTheBarcode(DeviceSession& session, Opos::CPosPrinterControl& printer, const Options& o) {
    // Heights, widths and positions are given in dots whatever the device was left in.
    if (!session.Step("MapMode", printer.SetPropertyNumber(Opos::PIDXPtr_MapMode, Opos::PTR_MM_DOTS))) return false;
    const int32_t rc = printer.PrintBarCode(Opos::PTR_S_RECEIPT, QVO::Platform::Text::Utf8ToWide(o.data), o.symbology,
                                            o.height, o.width, o.alignment, o.textPosition);
    if (rc == Opos::OPOS_SUCCESS) {
        std::printf("Printed %s \"%s\" on %s\n", o.symbologyName, o.data.c_str(), o.device.c_str());
        return true;
    }
    if (rc == Opos::OPOS_E_ILLEGAL)
        session.Error("the printer cannot print \"" + o.data + "\" as " + o.symbologyName +
                      " (or the height, width or alignment does not fit the paper)");
    else
        session.Step("PrintBarCode", rc);
    return false;
}

int RunBarcode(int argc, char** argv) {
    Options o;
    bool done = false;
    if (int rc = ParseOptions(argc, argv, o, done); rc != kExitOk || done) return rc;
    auto control = std::make_unique<Opos::CPosPrinterControl>();
    Opos::CPosPrinterControl& printer = *control;
    DeviceSession session("barcode", std::move(control));
    return session.Run(o.device, kClaimTimeoutMs, [&] { return PrintTheBarcode(session, printer, o); });
}

const QVO::Tools::CommandRegistration registration{"barcode", "print a barcode or QR Code on a receipt printer",
                                                   &RunBarcode};

}  // namespace
