// An engine on a virtual printer over loopback TCP, with the events it raised recorded.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Transport.h"
#include "sim/VirtualPrinter.h"
#include "so/io/ParsePortSettings.h"
#include "so/printer/CPrinterTaskThreadContext.h"
#include "so/printer/CTM_T88IV.h"
#include "so/printer/IPrinterEventHandle.h"
#include "tests/support/WaitUntil.h"

namespace QVO::Printer {

// The engine's output worker, for tests that shorten its time-outs.
class CPrinterBaseTestAccess {
public:
    static CPrinterTaskThreadContext& Output(CPrinterBase& engine) { return *engine.output_; }
};

}  // namespace QVO::Printer

namespace QVO::Printer::Test {

// The events an engine raised, in order; PrinterState runs the engine's status poll as the
// COM object does.
class RecordingEvents : public IPrinterEventHandle {
public:
    void Attach(CPrinterBase* engine) { engine_ = engine; }
    void ErrorNotice(const wchar_t* text, int32_t resultCode, int32_t extended) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.push_back({text, resultCode, extended});
    }
    void OutputComplete(int32_t outputId) override {
        std::lock_guard<std::mutex> lock(mutex_);
        completed_.push_back(outputId);
    }
    void StatusUpdate(int32_t status) override {
        std::lock_guard<std::mutex> lock(mutex_);
        statuses_.push_back(status);
    }
    int32_t PrinterState() override { return engine_ != nullptr ? engine_->GetPrinterState(false) : 0; }

    struct Error {
        std::wstring text;
        int32_t resultCode;
        int32_t extended;
    };
    std::vector<int32_t> Completed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return completed_;
    }
    std::vector<int32_t> Statuses() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return statuses_;
    }
    std::vector<Error> Errors() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    void ClearStatuses() {
        std::lock_guard<std::mutex> lock(mutex_);
        statuses_.clear();
    }

private:
    CPrinterBase* engine_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<int32_t> completed_;
    std::vector<int32_t> statuses_;
    std::vector<Error> errors_;
};

// The compatible model with the protected output call opened up for tests.
class TestEngine : public CTM_T88IV {
public:
    using CPrinterBase::ReadData;
    using CPrinterBase::SendAndReadString;
    using CTM_T88IV::CTM_T88IV;
    int32_t SendBytes(const std::string& bytes, int32_t urgent = 0) {
        PrinterBuffer buffer;
        buffer.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return Send(buffer, urgent);
    }
};

inline BASE::TaskThreadTiming FastOutputTiming() {
    BASE::TaskThreadTiming timing;
    timing.taskDelayMs = 1;
    timing.workWaitMs = 5;
    timing.idleWaitMs = 20;
    timing.suspendSettleMs = 1;
    return timing;
}

class EngineOnVirtualPrinter : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-engine-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        server_ = std::make_unique<Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }
    void TearDown() override {
        engine_.reset();
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // A TCP/IP entry for `model` on the virtual printer, opened.
    void Open(const std::wstring& model = L"TM-T88IV") {
        engine_ = std::make_unique<TestEngine>(model);
        events_.Attach(engine_.get());
        IO::PortEnvironment env;
        env.lockDir = dir_.string();
        engine_->SetPortEnvironment(env);
        engine_->SetOutputTiming(FastOutputTiming());
        IO::ParsedPortSettings parsed =
            IO::ParsePortSettings(L"TCP/IP", (L"127.0.0.1," + std::to_wstring(server_->Port())).c_str());
        ASSERT_TRUE(parsed) << parsed.message;
        int32_t rc = -1;
        engine_->SetPortSettings(*parsed.settings, &rc);
        ASSERT_EQ(rc, 0);
        engine_->OpenServiceW(L"printer", &events_, &rc);
        ASSERT_EQ(rc, 0);
    }

    void OpenClaimEnable(const std::wstring& model = L"TM-T88IV") {
        Open(model);
        int32_t rc = 0;
        engine_->ClaimDevice(1000, &rc);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(engine_->DeviceEnable(1), 1);
    }

    bool PrinterShows(const std::string& entry) {
        return QVO::Test::WaitUntil([&] {
            for (const auto& t : printer_.Trace())
                if (t == entry) return true;
            return false;
        });
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    std::unique_ptr<Sim::TcpServer> server_;
    std::filesystem::path dir_;
    RecordingEvents events_;
    std::unique_ptr<TestEngine> engine_;
};

}  // namespace QVO::Printer::Test
