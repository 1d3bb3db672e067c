// The device session of the drawer and check subcommands: open, claim, enable and back.
#include "tools/DeviceSession.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "constants/OposConstants.h"
#include "platform/registry/RegText.h"
#include "tools/Command.h"
#include "tools/OposNames.h"

namespace QVO::Tools {

std::string ResultCodeText(int32_t rc) { return OposNames::Decoded(&OposNames::kResultCodes, rc); }

bool ParseDecimal(const char* text, long long low, long long high, int32_t& out) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool ParseMilliseconds(const char* text, int32_t low, int32_t& out) { return ParseDecimal(text, low, INT32_MAX, out); }

DeviceSession::DeviceSession(std::string command, std::unique_ptr<Opos::CControlObject> control)
    : command_(std::move(command)), control_(std::move(control)) {}

DeviceSession::~DeviceSession() { Finish(); }

void DeviceSession::Error(const std::string& line) const {
    std::fprintf(stderr, "quvo %s: %s\n", command_.c_str(), line.c_str());
    std::fflush(stderr);
}

std::string DeviceSession::ResultText(int32_t rc) {
    std::string text = "ResultCode " + ResultCodeText(rc);
    if (control_->IsOpen()) text += ", ResultCodeExtended " + std::to_string(control_->GetResultCodeExtended());
    return text;
}

bool DeviceSession::Step(const std::string& step, int32_t rc) {
    if (rc == Opos::OPOS_SUCCESS) return true;
    Error(step + " failed: " + ResultText(rc));
    return false;
}

int32_t DeviceSession::Open(const std::string& device, bool quiet) {
    std::wstring name;
    size_t bad = 0;
    if (!Platform::Registry::Text::DecodeUtf8(device, name, bad)) {
        Error("DEVICE is not valid UTF-8 text");
        return Opos::OPOS_E_ILLEGAL;
    }
    const int32_t rc = control_->Open(name);
    if (rc != Opos::OPOS_SUCCESS && !quiet)
        Error("Open of " + device + " failed: " + ResultText(rc) + ", OpenResult " +
              std::to_string(control_->GetOpenResult()));
    return rc;
}

bool DeviceSession::ClaimAndEnable(int32_t claimTimeoutMs) {
    if (!Step("ClaimDevice(" + std::to_string(claimTimeoutMs) + ")", control_->ClaimDevice(claimTimeoutMs)))
        return false;
    claimed_ = true;
    if (!Step("enabling (DeviceEnabled = true)", control_->SetDeviceEnabled(true))) return false;
    enabled_ = true;
    return true;
}

bool DeviceSession::Finish() {
    bool ok = true;
    if (enabled_) ok = Step("disabling (DeviceEnabled = false)", control_->SetDeviceEnabled(false)) && ok;
    if (claimed_) ok = Step("ReleaseDevice", control_->ReleaseDevice()) && ok;
    enabled_ = claimed_ = false;
    if (control_->IsOpen()) ok = Step("Close", control_->Close()) && ok;
    return ok;
}

int DeviceSession::Run(const std::string& device, int32_t claimTimeoutMs, const std::function<bool()>& work) {
    bool ok = Open(device) == Opos::OPOS_SUCCESS && ClaimAndEnable(claimTimeoutMs);
    if (ok) ok = work();
    ok = Finish() && ok;
    return ok ? kExitOk : kExitFailure;
}

}  // namespace QVO::Tools
