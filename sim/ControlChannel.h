// Text control of a running virtual printer over a Unix socket ("cover open", "status").
#pragma once

#include "platform/posix/UniqueFd.h"

#include <string>
#include <thread>

namespace QVO::Sim {

class VirtualPrinter;

// Carries out one control line and returns the one-line answer: "ok", the status line for
// "status", or "error: ..." for a line it does not understand. Thread-safe (the printer is).
std::string ExecuteControlLine(VirtualPrinter& printer, const std::string& line);

// Accepts connections on a Unix socket and answers each line sent with ExecuteControlLine.
// Ownership: references the printer, which must outlive it; owns its thread, joined by Stop
// or the destructor. Start and Stop are called from the owner's thread only.
class ControlServer {
public:
    ControlServer(VirtualPrinter& printer, std::string path);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool Start(std::string* error);
    void Stop();

private:
    void Run();
    void ServeClient(int fd);

    VirtualPrinter& printer_;
    std::string path_;
    Platform::UniqueFd listener_;
    Platform::UniqueFd stopPipe_[2];
    std::thread thread_;
};

}  // namespace QVO::Sim
