// `quvo drawer`: opens a cash drawer, or waits for it to be closed, through the CashDrawer
// control object (open, claim, enable, the drawer method, then back).
#include "tools/Command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "opos/CashDrawerControl.h"
#include "tools/DeviceSession.h"

namespace {

namespace Opos = QVO::Opos;
using QVO::Tools::DeviceSession;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo drawer open DEVICE\n"
    "       quvo drawer wait DEVICE [--timeout MS]\n"
    "DEVICE is a cash drawer's logical name or device entry name.\n"
    "open   pulses the drawer open and, when the drawer reports its state, shows it.\n"
    "wait   waits until the drawer is closed. The printer beeps (models with a buzzer) once\n"
    "       MS milliseconds have passed (default 5000), 200 ms on, 300 ms off, repeated;\n"
    "       the wait ends at the latest after the entry's WaitForDrawerCloseTimeOut.\n"
    "Exit status: 0 done (wait: the drawer is closed), 1 failed (wait: still open at the\n"
    "time-out, or the drawer has no sensor), 2 bad command line.\n";

constexpr int32_t kClaimTimeoutMs = 1000;
constexpr int32_t kDefaultBeepTimeoutMs = 5000;
constexpr int32_t kBeepDurationMs = 200;
constexpr int32_t kBeepDelayMs = 300;
constexpr int32_t kBeepFrequency = 0;  // not used by the printer

struct Options {
    std::string action;
    std::string device;
    int32_t beepTimeoutMs = kDefaultBeepTimeoutMs;
    bool timeoutGiven = false;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "quvo drawer: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
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
        if (!std::strcmp(arg, "--timeout")) {
            if (i + 1 >= argc || !QVO::Tools::ParseMilliseconds(argv[i + 1], 0, o.beepTimeoutMs))
                return Usage("--timeout needs a number of milliseconds");
            o.timeoutGiven = true;
            ++i;
        } else if (arg[0] == '-' && arg[1]) {
            return Usage(std::string("unknown option '") + arg + "'");
        } else if (o.action.empty()) {
            o.action = arg;
        } else if (o.device.empty() && arg[0]) {
            o.device = arg;
        } else {
            return Usage(std::string("unexpected argument '") + arg + "'");
        }
    }
    if (o.action != "open" && o.action != "wait")
        return Usage(o.action.empty() ? "missing open or wait" : "unknown action '" + o.action + "'");
    if (o.device.empty()) return Usage("missing DEVICE");
    if (o.action == "open" && o.timeoutGiven) return Usage("--timeout belongs to wait");
    return kExitOk;
}

bool OpenTheDrawer(DeviceSession& session, Opos::CCashDrawerControl& drawer, const std::string& device) {
    if (!session.Step("OpenDrawer", drawer.OpenDrawer())) return false;
    std::string line = "Drawer " + device + " pulsed open";
    if (drawer.GetCapStatus()) line += drawer.GetDrawerOpened() ? "; it reports open" : "; it still reports closed";
    std::printf("%s\n", line.c_str());
    return true;
}

bool WaitForTheDrawer(DeviceSession& session, Opos::CCashDrawerControl& drawer, const Options& o) {
    const int32_t rc = drawer.WaitForDrawerClose(o.beepTimeoutMs, kBeepFrequency, kBeepDurationMs, kBeepDelayMs);
    if (rc == Opos::OPOS_SUCCESS) {
        std::printf("Drawer %s is closed\n", o.device.c_str());
        return true;
    }
    if (rc == Opos::OPOS_E_TIMEOUT)
        session.Error("drawer " + o.device + " is still open at the close time-out");
    else if (rc == Opos::OPOS_E_EXTENDED && drawer.GetResultCodeExtended() == 300)
        session.Error("drawer " + o.device + " has no sensor (CapDrawStatus 0): there is nothing to wait for");
    else
        session.Step("WaitForDrawerClose", rc);
    return false;
}

int RunDrawer(int argc, char** argv) {
    Options o;
    bool done = false;
    if (int rc = ParseOptions(argc, argv, o, done); rc != kExitOk || done) return rc;
    auto control = std::make_unique<Opos::CCashDrawerControl>();
    Opos::CCashDrawerControl& drawer = *control;
    DeviceSession session("drawer", std::move(control));
    return session.Run(o.device, kClaimTimeoutMs, [&] {
        return o.action == "open" ? OpenTheDrawer(session, drawer, o.device) : WaitForTheDrawer(session, drawer, o);
    });
}

const QVO::Tools::CommandRegistration registration{"drawer", "open a cash drawer or wait for it to be closed",
                                                   &RunDrawer};

}  // namespace
