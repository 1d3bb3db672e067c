// `quvo status`: opens a printer or cash drawer through its control object, claims and
// enables it, prints its decoded state and, with --watch, every event until SIGINT/SIGTERM.
#include "tools/Command.h"

#include "constants/OposCashConstants.h"
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/registry/RegText.h"
#include "platform/sync/Mutex.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

namespace Opos = QVO::Opos;
using QVO::Tools::kExitFailure;
using QVO::Tools::kExitOk;
using QVO::Tools::kExitUsage;

const char kUsage[] =
    "Usage: quvo status DEVICE [--drawer] [--watch] [--timeout MS]\n"
    "Opens DEVICE (a logical name or a device entry name) as a POS printer, or with --drawer\n"
    "as a cash drawer, claims it (waiting up to MS milliseconds, default 1000; -1 waits without\n"
    "limit), enables it and prints its state: State, CoverOpen, RecEmpty and RecNearEnd for a\n"
    "printer, CapStatus and DrawerOpened for a drawer (a read that leaves a ResultCode other\n"
    "than SUCCESS shows it after the value). When Open, ClaimDevice or enabling fails it names\n"
    "the step with its ResultCode, ResultCodeExtended and, for Open, the OpenResult.\n"
    "With --watch it then prints one line per StatusUpdate, Error and OutputComplete event\n"
    "until SIGINT or SIGTERM, and disables, releases and closes the device.\n"
    "Exit status: 0 done, 1 failed, 2 bad command line.\n";

constexpr int32_t kDefaultClaimTimeoutMs = 1000;
constexpr int32_t kWaitForever = -1;

struct Name {
    int32_t value;
    const char* name;
};

template <size_t N>
const char* Lookup(const Name (&table)[N], int32_t value) {
    for (const Name& n : table)
        if (n.value == value) return n.name;
    return nullptr;
}

const Name kResultCodes[] = {
    {Opos::OPOS_SUCCESS, "SUCCESS"},         {Opos::OPOS_E_CLOSED, "E_CLOSED"},
    {Opos::OPOS_E_CLAIMED, "E_CLAIMED"},     {Opos::OPOS_E_NOTCLAIMED, "E_NOTCLAIMED"},
    {Opos::OPOS_E_NOSERVICE, "E_NOSERVICE"}, {Opos::OPOS_E_DISABLED, "E_DISABLED"},
    {Opos::OPOS_E_ILLEGAL, "E_ILLEGAL"},     {Opos::OPOS_E_NOHARDWARE, "E_NOHARDWARE"},
    {Opos::OPOS_E_OFFLINE, "E_OFFLINE"},     {Opos::OPOS_E_NOEXIST, "E_NOEXIST"},
    {Opos::OPOS_E_EXISTS, "E_EXISTS"},       {Opos::OPOS_E_FAILURE, "E_FAILURE"},
    {Opos::OPOS_E_TIMEOUT, "E_TIMEOUT"},     {Opos::OPOS_E_BUSY, "E_BUSY"},
    {Opos::OPOS_E_EXTENDED, "E_EXTENDED"},   {Opos::OPOS_E_DEPRECATED, "E_DEPRECATED"},
};

const Name kOpenResults[] = {
    {Opos::OPOS_SUCCESS, "SUCCESS"},
    {Opos::OPOS_OR_ALREADYOPEN, "OR_ALREADYOPEN: the control is already open"},
    {Opos::OPOS_OR_REGBADNAME, "OR_REGBADNAME: no device entry of that name"},
    {Opos::OPOS_OR_REGPROGID, "OR_REGPROGID: the entry's ProgID is missing or not registered"},
    {Opos::OPOS_OR_CREATE, "OR_CREATE: the service object could not be created"},
    {Opos::OPOS_OR_BADIF, "OR_BADIF: the service object lacks required methods"},
    {Opos::OPOS_OR_FAILEDOPEN, "OR_FAILEDOPEN: the service object refused to open"},
    {Opos::OPOS_OR_BADVERSION, "OR_BADVERSION: the service object's major version does not match"},
    {Opos::OPOS_ORS_NOPORT, "ORS_NOPORT: the port could not be opened"},
    {Opos::OPOS_ORS_NOTSUPPORTED, "ORS_NOTSUPPORTED: the device is not supported"},
    {Opos::OPOS_ORS_CONFIG, "ORS_CONFIG: the device entry is incomplete or wrong"},
    {Opos::OPOS_ORS_SPECIFIC, "ORS_SPECIFIC: the service object's own reason"},
};

const Name kPrinterExtended[] = {
    {Opos::OPOS_EPTR_COVER_OPEN, "COVER_OPEN"}, {Opos::OPOS_EPTR_JRN_EMPTY, "JRN_EMPTY"},
    {Opos::OPOS_EPTR_REC_EMPTY, "REC_EMPTY"},   {Opos::OPOS_EPTR_SLP_EMPTY, "SLP_EMPTY"},
    {Opos::OPOS_EPTR_SLP_FORM, "SLP_FORM"},     {Opos::OPOS_EPTR_TOOBIG, "TOOBIG"},
    {Opos::OPOS_EPTR_BADFORMAT, "BADFORMAT"},
};

const Name kStates[] = {
    {Opos::OPOS_S_CLOSED, "CLOSED"},
    {Opos::OPOS_S_IDLE, "IDLE"},
    {Opos::OPOS_S_BUSY, "BUSY"},
    {Opos::OPOS_S_ERROR, "ERROR"},
};

const Name kPowerUpdates[] = {
    {Opos::OPOS_SUE_POWER_ONLINE, "POWER_ONLINE"},
    {Opos::OPOS_SUE_POWER_OFF, "POWER_OFF"},
    {Opos::OPOS_SUE_POWER_OFFLINE, "POWER_OFFLINE"},
    {Opos::OPOS_SUE_POWER_OFF_OFFLINE, "POWER_OFF_OFFLINE"},
};

const Name kPrinterUpdates[] = {
    {Opos::PTR_SUE_COVER_OPEN, "COVER_OPEN"},       {Opos::PTR_SUE_COVER_OK, "COVER_OK"},
    {Opos::PTR_SUE_JRN_EMPTY, "JRN_EMPTY"},         {Opos::PTR_SUE_JRN_NEAREMPTY, "JRN_NEAREMPTY"},
    {Opos::PTR_SUE_JRN_PAPEROK, "JRN_PAPEROK"},     {Opos::PTR_SUE_REC_EMPTY, "REC_EMPTY"},
    {Opos::PTR_SUE_REC_NEAREMPTY, "REC_NEAREMPTY"}, {Opos::PTR_SUE_REC_PAPEROK, "REC_PAPEROK"},
    {Opos::PTR_SUE_SLP_EMPTY, "SLP_EMPTY"},         {Opos::PTR_SUE_SLP_NEAREMPTY, "SLP_NEAREMPTY"},
    {Opos::PTR_SUE_SLP_PAPEROK, "SLP_PAPEROK"},     {Opos::PTR_SUE_REC_COVER_OPEN, "REC_COVER_OPEN"},
    {Opos::PTR_SUE_REC_COVER_OK, "REC_COVER_OK"},   {Opos::PTR_SUE_IDLE, "IDLE"},
};

const Name kDrawerUpdates[] = {
    {Opos::CASH_SUE_DRAWERCLOSED, "DRAWERCLOSED"},
    {Opos::CASH_SUE_DRAWEROPEN, "DRAWEROPEN"},
};

const Name kLoci[] = {
    {Opos::OPOS_EL_OUTPUT, "OUTPUT"}, {Opos::OPOS_EL_INPUT, "INPUT"}, {Opos::OPOS_EL_INPUT_DATA, "INPUT_DATA"}};
const Name kResponses[] = {
    {Opos::OPOS_ER_RETRY, "RETRY"}, {Opos::OPOS_ER_CLEAR, "CLEAR"}, {Opos::OPOS_ER_CONTINUEINPUT, "CONTINUEINPUT"}};

// "11 COVER_OPEN", or the bare number when the value has no name.
std::string Decoded(int32_t value, const char* name) {
    return name ? std::to_string(value) + " " + name : std::to_string(value);
}

// The name of an extended result; only the printer's E_EXTENDED results have names here.
const char* ExtendedName(int32_t rc, int32_t extended, bool drawer) {
    return rc == Opos::OPOS_E_EXTENDED && !drawer ? Lookup(kPrinterExtended, extended) : nullptr;
}

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
    std::string ResultText(int32_t rc);
    bool Step(const std::string& step, int32_t rc);
    void ShowProperty(const char* name, int32_t index, const Name* names = nullptr, size_t count = 0);

    const Options& options_;
    Console& console_;
    std::unique_ptr<Opos::CControlObject> control_;
    bool claimed_ = false;
    bool enabled_ = false;
};

std::string StatusSession::ResultText(int32_t rc) {
    std::string text = "ResultCode " + Decoded(rc, Lookup(kResultCodes, rc));
    if (control_->IsOpen()) {
        const int32_t extended = control_->GetResultCodeExtended();
        text += ", ResultCodeExtended " + Decoded(extended, ExtendedName(rc, extended, options_.drawer));
    }
    return text;
}

bool StatusSession::Step(const std::string& step, int32_t rc) {
    if (rc == Opos::OPOS_SUCCESS) return true;
    console_.Err(step + " failed: " + ResultText(rc));
    return false;
}

void StatusSession::InstallHandlers() {
    const bool drawer = options_.drawer;
    Console& console = console_;
    control_->SetStatusUpdateEventHandler([&console, drawer](int32_t data) {
        const char* name = drawer ? Lookup(kDrawerUpdates, data) : Lookup(kPrinterUpdates, data);
        console.Out("StatusUpdate " + Decoded(data, name ? name : Lookup(kPowerUpdates, data)));
    });
    control_->SetErrorEventHandler([&console, drawer](int32_t rc, int32_t extended, int32_t locus, int32_t& response) {
        console.Out("Error " + Decoded(rc, Lookup(kResultCodes, rc)) + " extended " +
                    Decoded(extended, ExtendedName(rc, extended, drawer)) + " locus " +
                    Decoded(locus, Lookup(kLoci, locus)) + " response " +
                    Decoded(response, Lookup(kResponses, response)));
    });
    control_->SetOutputCompleteEventHandler(
        [&console](int32_t outputId) { console.Out("OutputComplete " + std::to_string(outputId)); });
}

bool StatusSession::Start(const std::wstring& device) {
    const int32_t rc = control_->Open(device);
    if (rc != Opos::OPOS_SUCCESS) {
        const int32_t openResult = control_->GetOpenResult();
        console_.Err("Open of " + options_.device + " failed: " + ResultText(rc) + ", OpenResult " +
                     Decoded(openResult, Lookup(kOpenResults, openResult)));
        return false;
    }
    if (!Step("ClaimDevice(" + std::to_string(options_.timeout) + ")", control_->ClaimDevice(options_.timeout)))
        return false;
    claimed_ = true;
    if (!Step("enabling (DeviceEnabled = true)", control_->SetDeviceEnabled(true))) return false;
    enabled_ = true;
    return true;
}

// A property read has no result of its own; a ResultCode other than SUCCESS left behind by
// the read is shown after the value, so that a value the service object could not vouch for
// is not taken at face value.
void StatusSession::ShowProperty(const char* name, int32_t index, const Name* names, size_t count) {
    const int32_t value = control_->GetPropertyNumber(index);
    const int32_t rc = control_->GetResultCode();
    const char* valueName = nullptr;
    for (size_t i = 0; i < count && !valueName; ++i)
        if (names[i].value == value) valueName = names[i].name;
    std::string line = std::string(name) + " " + Decoded(value, valueName);
    if (rc != Opos::OPOS_SUCCESS) line += " (" + ResultText(rc) + ")";
    console_.Out(line);
}

void StatusSession::ShowState() {
    ShowProperty("State", Opos::PIDX_State, kStates, std::size(kStates));
    if (options_.drawer) {
        ShowProperty("CapStatus", Opos::PIDXCash_CapStatus);
        ShowProperty("DrawerOpened", Opos::PIDXCash_DrawerOpened);
        return;
    }
    ShowProperty("CoverOpen", Opos::PIDXPtr_CoverOpen);
    ShowProperty("RecEmpty", Opos::PIDXPtr_RecEmpty);
    ShowProperty("RecNearEnd", Opos::PIDXPtr_RecNearEnd);
}

// Undoes what Start did, in reverse order; false when a step failed (each is still tried).
bool StatusSession::Finish() {
    bool ok = true;
    if (enabled_) ok = Step("disabling (DeviceEnabled = false)", control_->SetDeviceEnabled(false)) && ok;
    if (claimed_) ok = Step("ReleaseDevice", control_->ReleaseDevice()) && ok;
    enabled_ = claimed_ = false;
    if (control_->IsOpen()) {
        const int32_t rc = control_->Close();
        if (rc != Opos::OPOS_SUCCESS) {
            console_.Err("Close failed: ResultCode " + Decoded(rc, Lookup(kResultCodes, rc)));
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
        console.Out("Watching " + o.device + " until SIGINT or SIGTERM");
        const int signal = WaitForStopSignal(stopSignals);
        console.Out(std::string("Stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    ok = session.Finish() && ok;
    return ok ? kExitOk : kExitFailure;
}

const QVO::Tools::CommandRegistration registration{"status", "open a printer or drawer and show or watch its state",
                                                   &RunStatus};

}  // namespace
