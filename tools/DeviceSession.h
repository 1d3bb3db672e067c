// One device of a subcommand, opened through its control object: open, claim and enable, and
// back again, each failing step named on stderr with its result codes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "opos/ControlObject.h"

namespace QVO::Tools {

// "112 E_TIMEOUT", or the bare number when the code has no name.
std::string ResultCodeText(int32_t rc);

// Parses a whole decimal number from `low` to `high`; false (out untouched) for anything else.
bool ParseDecimal(const char* text, long long low, long long high, int32_t& out);
// Parses a decimal number of milliseconds from `low` to INT32_MAX.
bool ParseMilliseconds(const char* text, int32_t low, int32_t& out);

// Not thread-safe: a subcommand uses it from its main thread.
class DeviceSession {
public:
    // `command` names the subcommand in messages ("quvo drawer: ...").
    DeviceSession(std::string command, std::unique_ptr<Opos::CControlObject> control);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Opens DEVICE; on failure the ResultCode (the OpenResult is in Control()). `quiet` keeps
    // the failure off stderr, for a caller that tries another device class next.
    int32_t Open(const std::string& device, bool quiet = false);
    // Claims and enables; false with the step named.
    bool ClaimAndEnable(int32_t claimTimeoutMs);
    // Disables, releases and closes what is open; false when a step failed.
    bool Finish();
    // The whole round: open `device`, claim and enable, `work`, and back. The exit code.
    int Run(const std::string& device, int32_t claimTimeoutMs, const std::function<bool()>& work);

    Opos::CControlObject& Control() { return *control_; }
    // "ResultCode 112 E_TIMEOUT, ResultCodeExtended 0"
    std::string ResultText(int32_t rc);
    // Names a failed step on stderr; true when rc is success.
    bool Step(const std::string& step, int32_t rc);
    void Error(const std::string& line) const;

private:
    const std::string command_;
    std::unique_ptr<Opos::CControlObject> control_;
    bool claimed_ = false;
    bool enabled_ = false;
};

}  // namespace QVO::Tools
