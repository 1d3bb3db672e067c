// `quvo bitmap`: prints an image file on a receipt printer through the POSPrinter control
// object (open, claim, enable, PrintBitmap, then back).
#include "tools/Command.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

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
    "Usage: quvo bitmap DEVICE FILE [--width DOTS|asis] [--align left|center|right|DOTS]\n"
    "DEVICE is a printer's logical name or device entry name; FILE a BMP, PNG, JPEG or GIF image.\n"
    "--width  the printed width in dots (the image is scaled, keeping its proportions);\n"
    "         asis (the default) prints it at its own width, one pixel a dot.\n"
    "--align  left (the default), center, right, or a distance in dots from the left edge.\n"
    "Exit status: 0 printed, 1 failed (the printer's result codes on stderr), 2 bad command line.\n";

constexpr int32_t kClaimTimeoutMs = 1000;
constexpr int32_t kWidthAsIs = -11;
constexpr long kMaxDots = 65535;

struct Options {
    std::string device;
    std::string file;
    int32_t width = kWidthAsIs;
    int32_t alignment = Opos::PTR_BM_LEFT;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "quvo bitmap: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

bool ParseDots(const char* text, long low, int32_t& out) { return QVO::Tools::ParseDecimal(text, low, kMaxDots, out); }

bool ParseWidth(const char* text, int32_t& out) {
    if (!std::strcmp(text, "asis")) {
        out = kWidthAsIs;
        return true;
    }
    return ParseDots(text, 1, out);
}

bool ParseAlignment(const char* text, int32_t& out) {
    if (!std::strcmp(text, "left"))
        out = Opos::PTR_BM_LEFT;
    else if (!std::strcmp(text, "center") || !std::strcmp(text, "centre"))
        out = Opos::PTR_BM_CENTER;
    else if (!std::strcmp(text, "right"))
        out = Opos::PTR_BM_RIGHT;
    else
        return ParseDots(text, 0, out);
    return true;
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
        const bool width = !std::strcmp(arg, "--width");
        if (width || !std::strcmp(arg, "--align")) {
            if (i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
            const char* value = argv[++i];
            if (width ? !ParseWidth(value, o.width) : !ParseAlignment(value, o.alignment))
                return Usage(std::string("bad value '") + value + "' for " + arg);
        } else if (arg[0] == '-' && arg[1]) {
            return Usage(std::string("unknown option '") + arg + "'");
        } else if (o.device.empty() && arg[0]) {
            o.device = arg;
        } else if (o.file.empty() && arg[0]) {
            o.file = arg;
        } else {
            return Usage(std::string("unexpected argument '") + arg + "'");
        }
    }
    if (o.device.empty()) return Usage("missing DEVICE");
    if (o.file.empty()) return Usage("missing FILE");
    return kExitOk;
}

bool PrintTheBitmap(DeviceSession& session, Opos::CPosPrinterControl& printer, const Options& o) {
    // The service object reads the file in this process; an absolute name keeps messages plain.
    std::error_code ignored;
    const std::string path = std::filesystem::absolute(o.file, ignored).string();
    // Widths and positions are given in dots whatever the device was left in.
    if (!session.Step("MapMode", printer.SetPropertyNumber(Opos::PIDXPtr_MapMode, Opos::PTR_MM_DOTS))) return false;
    const int32_t rc =
        printer.PrintBitmap(Opos::PTR_S_RECEIPT, QVO::Platform::Text::Utf8ToWide(path), o.width, o.alignment);
    if (rc == Opos::OPOS_SUCCESS) {
        std::printf("Printed %s on %s\n", path.c_str(), o.device.c_str());
        return true;
    }
    if (rc == Opos::OPOS_E_NOEXIST)
        session.Error("cannot read " + path);
    else if (rc == Opos::OPOS_E_ILLEGAL)
        session.Error(path + " is not an image the printer can take (or a bad width or alignment)");
    else if (rc == Opos::OPOS_E_EXTENDED && printer.GetResultCodeExtended() == Opos::OPOS_EPTR_TOOBIG)
        session.Error(path + " is too large for the printable area");
    else
        session.Step("PrintBitmap", rc);
    return false;
}

int RunBitmap(int argc, char** argv) {
    Options o;
    bool done = false;
    if (int rc = ParseOptions(argc, argv, o, done); rc != kExitOk || done) return rc;
    auto control = std::make_unique<Opos::CPosPrinterControl>();
    Opos::CPosPrinterControl& printer = *control;
    DeviceSession session("bitmap", std::move(control));
    return session.Run(o.device, kClaimTimeoutMs, [&] { return PrintTheBitmap(session, printer, o); });
}

const QVO::Tools::CommandRegistration registration{"bitmap", "print an image file on a receipt printer", &RunBitmap};

}  // namespace
