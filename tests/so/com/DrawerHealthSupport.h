// Helpers of the drawer and health-check end-to-end tests: a virtual printer of a chosen model
// on its own loopback port, drawer entries with every timing value, and beep timing.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {

// A virtual printer of `model` on a loopback port of its own, entered under `entryName`.
class ModelPrinter {
public:
    ModelPrinter(const std::string& model, Sim::VirtualPrinter::Rendering rendering)
        : printer_(Sim::PrinterIdentity::ForModel(model), rendering),
          server_(std::make_unique<Sim::TcpServer>(printer_, 0)) {}

    ::testing::AssertionResult Start(const std::wstring& entryName, const std::wstring& model) {
        std::string error;
        if (!server_->Start(&error)) return ::testing::AssertionFailure() << error;
        PrinterEntry entry;
        entry.model = model;
        entry.portSettings = L"127.0.0.1," + std::to_wstring(server_->Port());
        WritePrinterEntry(entryName, entry);
        return ::testing::AssertionSuccess();
    }
    // The printer switched off: the connection goes and the port stops listening.
    void SwitchOff() { server_.reset(); }
    Sim::VirtualPrinter& Printer() { return printer_; }

private:
    Sim::VirtualPrinter printer_;
    std::unique_ptr<Sim::TcpServer> server_;
};

struct DrawerTiming {
    std::wstring pin = L"1";
    std::wstring capStatus = L"1";
    std::wstring onTime = L"10";
    std::wstring offTime = L"10";
    std::wstring closeTimeoutMs = L"5000";
};

inline void WriteTimedDrawerEntry(const std::wstring& name, const std::wstring& printer, const DrawerTiming& t) {
    WriteDrawerEntry(name, DrawerEntry{printer, t.pin, t.capStatus, t.closeTimeoutMs});
    Reg::Key key;
    ASSERT_TRUE(Reg::Key::Open(Reg::Hive::LocalMachine, kDrawerClassKey + L"\\" + name, key));
    ASSERT_TRUE(key.SetValue(L"SignalOnTime", Reg::Value::String(t.onTime)));
    ASSERT_TRUE(key.SetValue(L"SignalOffTime", Reg::Value::String(t.offTime)));
}

// The entries of the printer's trace that match `prefix`, in order.
inline std::vector<std::string> TraceWith(const Sim::VirtualPrinter& printer, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& entry : printer.Trace())
        if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
    return found;
}

// Milliseconds since `start`.
inline long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace QVO::Test
