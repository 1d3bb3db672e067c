// The service object's end-to-end fixture: libQUVOSO.so registered in a temporary registry,
// a virtual printer on loopback TCP, device entries written as the configuration utility
// writes them, and control objects whose events are recorded.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "platform/com/ComPtr.h"
#include "platform/registry/Registry.h"
#include "platform/text/TextConv.h"
#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "tests/platform/com/TempRegistry.h"
#include "tests/support/WaitUntil.h"

namespace QVO::Test {

namespace Reg = QVO::Platform::Registry;

inline const std::wstring kPrinterClassKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
inline const std::wstring kDrawerClassKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";
inline constexpr const wchar_t* kSoProgId = L"QUVOOposPrinterU1.13";

// Registers the built module per machine in the test program's registry.
inline bool RegisterServiceObject() {
    void* module = dlopen(QUVO_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return false;
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
    const bool ok = reg != nullptr && reg() == S_OK;
    dlclose(module);
    return ok;
}

// The printer entry's values as the configuration utility writes them.
struct PrinterEntry {
    std::wstring portType = L"TCP/IP";
    std::wstring model = L"TM-T88IV";
    std::wstring portSettings;
    std::wstring codePage = L"437";
};

inline void WritePrinterEntry(const std::wstring& name, const PrinterEntry& e) {
    Reg::Key key;
    ASSERT_TRUE(Reg::Key::Create(Reg::Hive::LocalMachine, kPrinterClassKey + L"\\" + name, key));
    const std::pair<const wchar_t*, std::wstring> values[] = {{L"", kSoProgId},
                                                              {L"PortType", e.portType},
                                                              {L"DriverModel", e.model},
                                                              {L"DriverName", name},
                                                              {L"PortSettings", e.portSettings},
                                                              {L"OutputBufSize", L"2048"},
                                                              {L"BitMapMode", L"RasterBitImage"},
                                                              {L"WriteTimeout", L"2000"},
                                                              {L"ReadTimeout", L"2000"},
                                                              {L"CodepageID", e.codePage},
                                                              {L"DeviceDescription", L"Test printer"},
                                                              {L"Notes", L""}};
    for (const auto& [n, v] : values) ASSERT_TRUE(key.SetValue(n, Reg::Value::String(v)));
}

struct DrawerEntry {
    std::wstring printer;
    std::wstring pin = L"1";
    std::wstring capStatus = L"1";
    std::wstring closeTimeoutMs = L"5000";
};

inline void WriteDrawerEntry(const std::wstring& name, const DrawerEntry& e) {
    Reg::Key key;
    ASSERT_TRUE(Reg::Key::Create(Reg::Hive::LocalMachine, kDrawerClassKey + L"\\" + name, key));
    const std::pair<const wchar_t*, std::wstring> values[] = {{L"", kSoProgId},
                                                              {L"OpenVoltage", L"1"},
                                                              {L"CapDrawStatus", e.capStatus},
                                                              {L"DrawerPin", e.pin},
                                                              {L"PrinterName", e.printer},
                                                              {L"SignalOffTime", L"10"},
                                                              {L"SignalOnTime", L"10"},
                                                              {L"WaitForDrawerCloseTimeOut", e.closeTimeoutMs},
                                                              {L"CashDrawerName", name}};
    for (const auto& [n, v] : values) ASSERT_TRUE(key.SetValue(n, Reg::Value::String(v)));
}

// Events a control object received, in order, as text ("Status 11", "Output 3", "Error 114/201").
class EventLog {
public:
    void Record(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    size_t Count(const std::string& line) const {
        std::lock_guard lock(mutex_);
        return size_t(std::count(lines_.begin(), lines_.end(), line));
    }
    bool WaitFor(const std::string& line, size_t times = 1) const {
        return WaitUntil([&] { return Count(line) >= times; });
    }
    std::string Text() const {
        std::string all;
        for (const auto& l : Lines()) all += l + "; ";
        return all;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

inline void RecordEvents(Opos::CControlObject& co, EventLog& log, int32_t errorResponse = 0) {
    co.SetStatusUpdateEventHandler([&log](int32_t s) { log.Record("Status " + std::to_string(s)); });
    co.SetOutputCompleteEventHandler([&log](int32_t id) { log.Record("Output " + std::to_string(id)); });
    co.SetErrorEventHandler([&log, errorResponse](int32_t rc, int32_t ext, int32_t, int32_t& response) {
        log.Record("Error " + std::to_string(rc) + "/" + std::to_string(ext));
        if (errorResponse != 0) response = errorResponse;
    });
}

class ServiceObjectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TheTempRegistry();
        static const std::string lockDir = TheTempRegistry().Dir() + "/locks";
        std::filesystem::create_directories(lockDir);
        setenv("QUVO_LOCK_DIR", lockDir.c_str(), 1);
        ASSERT_TRUE(RegisterServiceObject()) << dlerror();
    }

    void SetUp() override {
        server_ = std::make_unique<Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        PrinterEntry entry;
        entry.portSettings = L"127.0.0.1," + std::to_wstring(server_->Port());
        WritePrinterEntry(PrinterName(), entry);
    }
    void TearDown() override { server_.reset(); }

    // A printer entry of its own per test, so no test attaches to another's engine.
    std::wstring PrinterName() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return Platform::Text::Utf8ToWide(std::string(info->test_suite_name()) + "_" + info->name());
    }

    // Open, claim and enable; false (with the failing result) on the way.
    static ::testing::AssertionResult Ready(Opos::CControlObject& co, const std::wstring& name) {
        if (int32_t rc = co.Open(name))
            return ::testing::AssertionFailure() << "Open " << rc << "/" << co.GetOpenResult();
        if (int32_t rc = co.ClaimDevice(3000)) return ::testing::AssertionFailure() << "Claim " << rc;
        if (int32_t rc = co.SetDeviceEnabled(true)) return ::testing::AssertionFailure() << "Enable " << rc;
        return ::testing::AssertionSuccess();
    }

    bool PrinterShows(const std::string& entry, size_t times = 1) {
        return WaitUntil([&] { return TraceCount(entry) >= times; });
    }
    size_t TraceCount(const std::string& entry) const {
        const auto trace = printer_.Trace();
        return size_t(std::count(trace.begin(), trace.end(), entry));
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    std::unique_ptr<Sim::TcpServer> server_;
};

}  // namespace QVO::Test

namespace QVO::Test {

// The service object called by DISPID, without a control object in between (for what a
// control object would refuse before it reaches the service object).
class DirectSo {
public:
    DirectSo() {
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromProgID(kSoProgId, &clsid)))
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, so_.PutVoid());
    }
    explicit operator bool() const { return static_cast<bool>(so_); }
    IDispatch* Get() const { return so_.Get(); }

    // The method's long result; INT32_MIN when the call failed at the COM level.
    int32_t Call(const wchar_t* name, std::vector<Platform::Com::Variant> args = {}) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        if (FAILED(so_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id))) return INT32_MIN;
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Get());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        Platform::Com::Variant result;
        UINT argErr = 0;
        if (FAILED(so_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), nullptr,
                               &argErr)))
            return INT32_MIN;
        return result.AsLong(INT32_MIN);
    }
    int32_t Open(const std::wstring& deviceClass, const std::wstring& name) {
        return Call(L"OpenService", {Platform::Com::Variant(deviceClass), Platform::Com::Variant(name),
                                     Platform::Com::Variant::Dispatch(nullptr)});
    }
    int32_t OpenResult() { return Call(L"GetOpenResult"); }
    int32_t Number(int32_t index) { return Call(L"GetPropertyNumber", {Platform::Com::Variant(LONG(index))}); }

private:
    Platform::Com::ComPtr<IDispatch> so_;
};

}  // namespace QVO::Test
