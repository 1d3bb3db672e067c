// `quvo check`: the health check of a printer or cash drawer through its control object; the
// interactive level asks its question in the terminal through the message-box hook.
#include "tools/Command.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "constants/OposConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/text/TextConv.h"
#include "platform/ui/MessageBox.h"
#include "tools/DeviceSession.h"

namespace {

namespace Opos = QVO::Opos;
namespace UI = QVO::Platform::UI;
using QVO::Tools::DeviceSession;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo check DEVICE [--level internal|external|interactive]\n"
    "Runs the health check of DEVICE, a logical name or device entry name of a POS printer\n"
    "or, when no printer has that name, of a cash drawer, and prints its CheckHealthText.\n"
    "internal (the default) asks the service object only; external prints a report on a\n"
    "printer's paper; interactive first asks its question here: answer with Enter for OK,\n"
    "or c and Enter to cancel (the end of input cancels too).\n"
    "Exit status: 0 the check succeeded, 1 it failed or could not run, 2 bad command line.\n";

constexpr int32_t kClaimTimeoutMs = 1000;
constexpr int32_t kLevelInternal = 1;
constexpr int32_t kLevelExternal = 2;
constexpr int32_t kLevelInteractive = 3;

struct Options {
    std::string device;
    int32_t level = kLevelInternal;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "quvo check: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

bool ParseLevel(const char* text, int32_t& level) {
    if (!std::strcmp(text, "internal"))
        level = kLevelInternal;
    else if (!std::strcmp(text, "external"))
        level = kLevelExternal;
    else if (!std::strcmp(text, "interactive"))
        level = kLevelInteractive;
    else
        return false;
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
        if (!std::strcmp(arg, "--level")) {
            if (i + 1 >= argc || !ParseLevel(argv[i + 1], o.level))
                return Usage("--level needs internal, external or interactive");
            ++i;
        } else if (arg[0] == '-' && arg[1]) {
            return Usage(std::string("unknown option '") + arg + "'");
        } else if (o.device.empty() && arg[0]) {
            o.device = arg;
        } else {
            return Usage(std::string("unexpected argument '") + arg + "'");
        }
    }
    return o.device.empty() ? Usage("missing DEVICE") : kExitOk;
}

// The message box as a question in the terminal: Enter is OK, c cancels, so does end of input.
int AskInTerminal(const std::wstring& text, const std::wstring& caption, UI::MessageBoxButtons) {
    std::string line;
    for (;;) {
        std::fprintf(stderr, "%s: %s\n[Enter = OK, c = cancel] ", QVO::Platform::Text::WideToUtf8(caption).c_str(),
                     QVO::Platform::Text::WideToUtf8(text).c_str());
        std::fflush(stderr);
        if (!std::getline(std::cin, line)) return UI::IDCANCEL;
        if (line.empty() || line == "ok" || line == "OK") return UI::IDOK;
        if (line == "c" || line == "cancel") return UI::IDCANCEL;
    }
}

// The health-check text as lines for the terminal: CR LF and bare CR become LF.
std::string TerminalText(const std::wstring& text) {
    std::string out;
    for (char c : QVO::Platform::Text::WideToUtf8(text)) {
        if (c == '\r') continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// Opens DEVICE as a printer, or as a drawer when no printer has that name.
std::unique_ptr<DeviceSession> OpenDevice(const std::string& device) {
    auto printer = std::make_unique<DeviceSession>("check", std::make_unique<Opos::CPosPrinterControl>());
    const int32_t rc = printer->Open(device, true);
    if (rc == Opos::OPOS_SUCCESS) return printer;
    if (printer->Control().GetOpenResult() != Opos::OPOS_OR_REGBADNAME) {
        printer->Error("Open of " + device + " failed: " + printer->ResultText(rc) + ", OpenResult " +
                       std::to_string(printer->Control().GetOpenResult()));
        return nullptr;
    }
    auto drawer = std::make_unique<DeviceSession>("check", std::make_unique<Opos::CCashDrawerControl>());
    return drawer->Open(device) == Opos::OPOS_SUCCESS ? std::move(drawer) : nullptr;
}

int RunCheck(int argc, char** argv) {
    Options o;
    bool done = false;
    if (int rc = ParseOptions(argc, argv, o, done); rc != kExitOk || done) return rc;
    std::unique_ptr<DeviceSession> session = OpenDevice(o.device);
    if (!session) return kExitFailure;
    bool ok = session->ClaimAndEnable(kClaimTimeoutMs);
    if (ok) {
        UI::MessageBoxHandler previous = UI::SetMessageBoxHandler(&AskInTerminal);
        const int32_t rc = session->Control().CheckHealth(o.level);
        UI::SetMessageBoxHandler(std::move(previous));
        const std::string text = TerminalText(session->Control().GetCheckHealthText());
        if (!text.empty()) std::printf("%s\n", text.c_str());
        ok = session->Step("CheckHealth", rc);
    }
    ok = session->Finish() && ok;
    return ok ? kExitOk : kExitFailure;
}

const QVO::Tools::CommandRegistration registration{"check", "run the health check of a printer or cash drawer",
                                                   &RunCheck};

}  // namespace
