// `quvo status`: opens a printer or cash drawer through its control object, claims and
// enables it, prints its decoded state and, with --watch, every event until SIGINT/SIGTERM;
// as text lines, or with --json as one JSON object per line.
#include "tools/Command.h"

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/registry/RegText.h"
#include "platform/sync/Mutex.h"
#include "tools/OposNames.h"
#include "tools/StatusJson.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

namespace Opos = QVO::Opos;
namespace Names = QVO::Tools::OposNames;
namespace Json = QVO::Tools::StatusJson;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;
using Kind = Json::Reading::Kind;

const char kUsage[] =
    "Usage: quvo status DEVICE [--drawer] [--watch] [--json] [--timeout MS]\n"
    "Opens DEVICE (a logical name or a device entry name) as a POS printer, or with --drawer\n"
    "as a cash drawer, claims it (waiting up to MS milliseconds, default 1000; -1 waits without\n"
    "limit), enables it and prints its state: State, CoverOpen, RecEmpty and RecNearEnd for a\n"
    "printer, CapStatus and DrawerOpened for a drawer (a read that leaves a ResultCode other\n"
    "than SUCCESS shows it after the value). When Open, ClaimDevice or enabling fails it names\n"
    "the step with its ResultCode, ResultCodeExtended and, for Open, the OpenResult.\n"
    "With --watch it then prints one line per StatusUpdate, Error and OutputComplete event\n"
    "until SIGINT or SIGTERM, and disables, releases and closes the device.\n"
    "With --json every line of standard output is one JSON object (UTF-8), flushed as it is\n"
    "written, with \"type\", \"device\" and an ISO 8601 UTC \"time\":\n"
    "  state            the state above plus powerState and checkHealthText; a property whose\n"
    "                   read failed is null and listed in readFailures with its result codes\n"
    "  status           a StatusUpdate: status and statusName (\"PTR_SUE_COVER_OPEN\")\n"
    "  error            an ErrorEvent: result codes, errorLocus, errorResponse\n"
    "  output_complete  outputId;  direct_io  eventNumber, data, text\n"
    "  stopped          the signal that ended the watch\n"
    "  failure          a failed step: error {step, resultCode, resultCodeExtended,\n"
    "                   openResult, message}; the message also goes to standard error\n"
    "Exit status: 0 done, 1 failed, 2 bad command line.\n";

constexpr int32_t kDefaultClaimTimeoutMs = 1000;
constexpr int32_t kWaitForever = -1;

// A property the state shows. Text lines keep to the ones they have always shown.
struct ShownProperty {
    const char* label;  // the text line's name
    const char* key;    // the JSON key
    int32_t index;
    Kind kind;
    const Names::Table* names;
    bool inText;
};

const ShownProperty kPrinterProperties[] = {
    {"State", "state", Opos::PIDX_State, Kind::Number, &Names::kStates, true},
    {"PowerState", "powerState", Opos::PIDX_PowerState, Kind::Number, &Names::kPowerStates, false},
    {"CoverOpen", "coverOpen", Opos::PIDXPtr_CoverOpen, Kind::Flag, nullptr, true},
    {"RecEmpty", "recEmpty", Opos::PIDXPtr_RecEmpty, Kind::Flag, nullptr, true},
    {"RecNearEnd", "recNearEnd", Opos::PIDXPtr_RecNearEnd, Kind::Flag, nullptr, true},
    {"CheckHealthText", "checkHealthText", Opos::PIDX_CheckHealthText, Kind::Text, nullptr, false},
};

const ShownProperty kDrawerProperties[] = {
    {"State", "state", Opos::PIDX_State, Kind::Number, &Names::kStates, true},
    {"PowerState", "powerState", Opos::PIDX_PowerState, Kind::Number, &Names::kPowerStates, false},
    {"CapStatus", "capStatus", Opos::PIDXCash_CapStatus, Kind::Flag, nullptr, true},
    {"DrawerOpened", "drawerOpened", Opos::PIDXCash_DrawerOpened, Kind::Flag, nullptr, true},
    {"CheckHealthText", "checkHealthText", Opos::PIDX_CheckHealthText, Kind::Text, nullptr, false},
};

// Whole lines to stdout or stderr, flushed at once. Event handlers print from the service
// object's event thread while the main thread prints too, so every line goes under one lock.
class Console {
public:
    void Out(const std::string& line) QUVO_EXCLUDES(mutex_) { Write(stdout, line); }
    void Err(const std::string& line) QUVO_EXCLUDES(mutex_) { Write(stderr, "quvo status: " + line); }

private:
    void Write(std::FILE* to, const std::string& line) QUVO_EXCLUDES(mutex_) {
        QVO::Platform::MutexLock lock(mutex_);
        std::fprintf(to, "%s\n", line.c_str());
        std::fflush(to);
    }
    QVO::Platform::Mutex mutex_;
};

struct Options {
    std::string device;
    bool drawer = false;
    bool watch = false;
    bool json = false;
    int32_t timeout = kDefaultClaimTimeoutMs;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "quvo status: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

bool ParseTimeout(const char* text, int32_t& out) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || value < kWaitForever || value > INT32_MAX) return false;
    out = static_cast<int32_t>(value);
    return true;
}

// kExitOk when the options parse (or help was asked for and printed: then `done` is set).
int ParseOptions(int argc, char** argv, Options& o, bool& done) {
    done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            std::fputs(kUsage, stdout);
            done = true;
            return kExitOk;
        }
        if (!std::strcmp(arg, "--drawer")) {
            o.drawer = true;
        } else if (!std::strcmp(arg, "--watch")) {
            o.watch = true;
        } else if (!std::strcmp(arg, "--json")) {
            o.json = true;
        } else if (!std::strcmp(arg, "--timeout")) {
            if (i + 1 >= argc || !ParseTimeout(argv[i + 1], o.timeout))
                return Usage("--timeout needs a number of milliseconds (-1 waits without limit)");
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

// "ResultCode 114 E_EXTENDED, ResultCodeExtended 201 COVER_OPEN"; the extended code is known
// only while the control is open.
std::string ResultText(int32_t rc, std::optional<int32_t> extended, bool drawer) {
    std::string text = "ResultCode " + Names::Decoded(&Names::kResultCodes, rc);
    if (extended) text += ", ResultCodeExtended " + Names::Decoded(Names::ExtendedTable(rc, drawer), *extended);
    return text;
}

// One device session: the control object and the steps that lead to and from its state.
class StatusSession {
public:
    StatusSession(const Options& o, Console& console) : options_(o), console_(console) {
        if (o.drawer)
            control_ = std::make_unique<Opos::CCashDrawerControl>();
        else
            control_ = std::make_unique<Opos::CPosPrinterControl>();
    }

    // Installs the handlers before Open, so no event of the device is missed.
    void InstallHandlers();
    bool Start(const std::wstring& device);
    void ShowState();
    bool Finish();

private:
    void InstallTextHandlers();
    void InstallJsonHandlers();
    std::optional<int32_t> Extended();
    void Fail(const char* step, const std::string& message, int32_t rc, std::optional<int32_t> extended,
              std::optional<int32_t> openResult = std::nullopt);
    bool Step(const std::string& what, const char* step, int32_t rc);
    Json::Reading Read(const ShownProperty& shown);

    const Options& options_;
    Console& console_;
    std::unique_ptr<Opos::CControlObject> control_;
    bool claimed_ = false;
    bool enabled_ = false;
};

std::optional<int32_t> StatusSession::Extended() {
    if (!control_->IsOpen()) return std::nullopt;
    return control_->GetResultCodeExtended();
}

// The message goes to stderr as ever; with --json a failure line goes to stdout as well.
void StatusSession::Fail(const char* step, const std::string& message, int32_t rc, std::optional<int32_t> extended,
                         std::optional<int32_t> openResult) {
    console_.Err(message);
    if (options_.json)
        console_.Out(Json::Failed(options_.device, options_.drawer, {step, rc, extended, openResult, message}).Text());
}

bool StatusSession::Step(const std::string& what, const char* step, int32_t rc) {
    if (rc == Opos::OPOS_SUCCESS) return true;
    const std::optional<int32_t> extended = Extended();
    Fail(step, what + " failed: " + ResultText(rc, extended, options_.drawer), rc, extended);
    return false;
}

void StatusSession::InstallHandlers() {
    if (options_.json)
        InstallJsonHandlers();
    else
        InstallTextHandlers();
}

void StatusSession::InstallTextHandlers() {
    const bool drawer = options_.drawer;
    Console& console = console_;
    control_->SetStatusUpdateEventHandler([&console, drawer](int32_t data) {
        console.Out("StatusUpdate " + Names::Decoded(Names::StatusUpdateTable(data, drawer), data));
    });
    control_->SetErrorEventHandler([&console, drawer](int32_t rc, int32_t extended, int32_t locus, int32_t& response) {
        console.Out("Error " + Names::Decoded(&Names::kResultCodes, rc) + " extended " +
                    Names::Decoded(Names::ExtendedTable(rc, drawer), extended) + " locus " +
                    Names::Decoded(&Names::kLoci, locus) + " response " + Names::Decoded(&Names::kResponses, response));
    });
    control_->SetOutputCompleteEventHandler(
        [&console](int32_t outputId) { console.Out("OutputComplete " + std::to_string(outputId)); });
}

void StatusSession::InstallJsonHandlers() {
    const bool drawer = options_.drawer;
    Console& console = console_;
    const std::string& device = options_.device;
    control_->SetStatusUpdateEventHandler(
        [&console, &device, drawer](int32_t data) { console.Out(Json::StatusUpdate(device, drawer, data).Text()); });
    control_->SetErrorEventHandler(
        [&console, &device, drawer](int32_t rc, int32_t extended, int32_t locus, int32_t& response) {
            console.Out(Json::ErrorEvent(device, drawer, rc, extended, locus, response).Text());
        });
    control_->SetOutputCompleteEventHandler(
        [&console, &device](int32_t outputId) { console.Out(Json::OutputComplete(device, outputId).Text()); });
    control_->SetDirectIOEventHandler([&console, &device](int32_t eventNumber, int32_t& data, std::wstring& text) {
        console.Out(Json::DirectIO(device, eventNumber, data, text).Text());
    });
}

bool StatusSession::Start(const std::wstring& device) {
    const int32_t rc = control_->Open(device);
    if (rc != Opos::OPOS_SUCCESS) {
        const int32_t openResult = control_->GetOpenResult();
        const std::optional<int32_t> extended = Extended();
        Fail("open",
             "Open of " + options_.device + " failed: " + ResultText(rc, extended, options_.drawer) + ", OpenResult " +
                 Names::Decoded(&Names::kOpenResults, openResult),
             rc, extended, openResult);
        return false;
    }
    if (!Step("ClaimDevice(" + std::to_string(options_.timeout) + ")", "claim",
              control_->ClaimDevice(options_.timeout)))
        return false;
    claimed_ = true;
    if (!Step("enabling (DeviceEnabled = true)", "enable", control_->SetDeviceEnabled(true))) return false;
    enabled_ = true;
    return true;
}

// A property read has no result of its own: the ResultCode it leaves behind is kept with it.
Json::Reading StatusSession::Read(const ShownProperty& shown) {
    Json::Reading r;
    r.key = shown.key;
    r.kind = shown.kind;
    r.names = shown.names;
    if (shown.kind == Kind::Text)
        r.text = control_->GetPropertyString(shown.index);
    else
        r.number = control_->GetPropertyNumber(shown.index);
    r.resultCode = control_->GetResultCode();
    if (r.resultCode != Opos::OPOS_SUCCESS) r.resultCodeExtended = control_->GetResultCodeExtended();
    return r;
}

// Text lines show a value the service object could not vouch for with the ResultCode after
// it, so that it is not taken at face value; JSON lines leave it null.
void StatusSession::ShowState() {
    using Properties = std::span<const ShownProperty>;
    const Properties properties = options_.drawer ? Properties(kDrawerProperties) : Properties(kPrinterProperties);
    std::vector<Json::Reading> readings;
    for (const ShownProperty& shown : properties) {
        if (!options_.json && !shown.inText) continue;
        Json::Reading r = Read(shown);
        if (options_.json) {
            readings.push_back(std::move(r));
            continue;
        }
        std::string line = std::string(shown.label) + " " + Names::Decoded(shown.names, r.number);
        if (r.resultCode != Opos::OPOS_SUCCESS)
            line += " (" + ResultText(r.resultCode, r.resultCodeExtended, options_.drawer) + ")";
        console_.Out(line);
    }
    if (options_.json) console_.Out(Json::State(options_.device, options_.drawer, readings).Text());
}

// Undoes what Start did, in reverse order; false when a step failed (each is still tried).
bool StatusSession::Finish() {
    bool ok = true;
    if (enabled_) ok = Step("disabling (DeviceEnabled = false)", "disable", control_->SetDeviceEnabled(false)) && ok;
    if (claimed_) ok = Step("ReleaseDevice", "release", control_->ReleaseDevice()) && ok;
    enabled_ = claimed_ = false;
    if (control_->IsOpen()) {
        const int32_t rc = control_->Close();
        if (rc != Opos::OPOS_SUCCESS) {
            Fail("close", "Close failed: " + ResultText(rc, std::nullopt, options_.drawer), rc, std::nullopt);
            ok = false;
        }
    }
    return ok;
}

// Blocks SIGINT and SIGTERM in this thread and every thread it starts from now on (the
// service object's threads), so that they arrive only through WaitForStopSignal.
void BlockStopSignals(sigset_t& set) {
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForStopSignal(const sigset_t& set) {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {}
    return signal;
}

int RunStatus(int argc, char** argv) {
    Options o;
    bool done = false;
    if (int rc = ParseOptions(argc, argv, o, done); rc != kExitOk || done) return rc;
    std::wstring device;
    size_t bad = 0;
    if (!QVO::Platform::Registry::Text::DecodeUtf8(o.device, device, bad))
        return Usage("DEVICE is not valid UTF-8 text");

    sigset_t stopSignals;
    if (o.watch) BlockStopSignals(stopSignals);  // before Open starts any thread
    Console console;
    StatusSession session(o, console);
    if (o.watch) session.InstallHandlers();
    bool ok = session.Start(device);
    if (ok) session.ShowState();
    if (ok && o.watch) {
        if (!o.json) console.Out("Watching " + o.device + " until SIGINT or SIGTERM");
        const int signal = WaitForStopSignal(stopSignals);
        if (o.json)
            console.Out(Json::Stopped(o.device, signal).Text());
        else
            console.Out(std::string("Stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    ok = session.Finish() && ok;
    return ok ? kExitOk : kExitFailure;
}

const QVO::Tools::CommandRegistration registration{"status", "open a printer or drawer and show or watch its state",
                                                   &RunStatus};

}  // namespace
