// A port in memory with fault switches, for the output path's own tests: it records what was
// written and can be told to refuse writes, as a printer that is switched off does.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "so/io/IPort.h"

namespace QVO::Printer::Test {

class FakePort : public IO::IPort {
public:
    // Every byte written successfully, in order.
    std::vector<uint8_t> Written() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return written_;
    }
    void FailWrites(bool fail) { failWrites_.store(fail); }
    int32_t WriteCalls() const { return writeCalls_.load(); }

    IO::IPortSettings* GetSettings() override { return nullptr; }
    int32_t TestOpen() override { return 1; }
    int32_t IsUsbLptDevice() override { return 0; }
    int32_t IsOpen() override { return open_.load() ? 1 : 0; }
    int32_t Open() override {
        open_.store(true);
        return 1;
    }
    int32_t Close() override {
        open_.store(false);
        return 1;
    }
    int32_t Write(const uint8_t* data, int32_t offset, int32_t length) override {
        writeCalls_.fetch_add(1);
        if (failWrites_.load()) return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        written_.insert(written_.end(), data + offset, data + offset + length);
        return 1;
    }
    int32_t ReadWithCallback(uint8_t*, int32_t, IO::PortReadCallback) override { return 0; }
    void AbortRead() override {}
    int32_t Read(uint8_t*, int32_t, int32_t, int32_t& bytesRead, int32_t) override {
        bytesRead = 0;
        return 0;
    }
    int32_t ReadOnce(uint8_t*, int32_t, int32_t, int32_t& bytesRead, int32_t) override {
        bytesRead = 0;
        return 0;
    }
    int32_t GetReadNotify() override { return 0; }
    void SetReadNotify(int32_t) override {}
    int32_t BeginAsyncRead(uint8_t*, int32_t, int32_t) override { return 0; }
    void OnAsyncReadComplete(uint32_t) override {}
    void Reserved() override {}
    void SetReadCallback(IO::PortReadCallback) override {}
    int32_t GetSystemError() override { return 0; }
    const wchar_t* GetLastErrorText() override { return failWrites_.load() ? L"printer switched off" : L""; }
    int32_t GetLastErrorCode() override { return 0; }
    int32_t GetCancel(int32_t& cancel) override {
        cancel = 0;
        return 1;
    }
    int32_t SetCancel(int32_t) override { return 1; }
    int32_t RefreshDeviceName() override { return 1; }
    void SetupPort() override {}
    int32_t LoadCommState() override { return 1; }
    int32_t ApplyCommState() override { return 1; }

private:
    mutable std::mutex mutex_;
    std::vector<uint8_t> written_;
    std::atomic<bool> open_{true};
    std::atomic<bool> failWrites_{false};
    std::atomic<int32_t> writeCalls_{0};
};

}  // namespace QVO::Printer::Test
