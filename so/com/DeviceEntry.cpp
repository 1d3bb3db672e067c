// Reading device entries with retries.
#include "so/com/DeviceEntry.h"

#include <chrono>
#include <climits>
#include <cwchar>
#include <thread>

#include "platform/registry/Registry.h"

namespace QVO::SO {

namespace Reg = Platform::Registry;

namespace {

void PauseMs(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// One value, with the pauses between attempts. Re-opens the key for every attempt, as a
// writer may have replaced the entry meanwhile.
EntryRead ReadValue(const std::wstring& keyPath, const wchar_t* name, const EntryTiming& timing, std::wstring& out) {
    for (size_t attempt = 0; attempt <= timing.retryPausesMs.size(); ++attempt) {
        if (attempt > 0) PauseMs(timing.retryPausesMs[attempt - 1]);
        Reg::Key key;
        if (!Reg::Key::Open(Reg::Hive::LocalMachine, keyPath, key)) continue;
        Reg::Value value;
        if (!key.QueryValue(name, value) || value.type != Reg::ValueType::String) continue;
        if (value.text.size() > kMaxValueLength) return EntryRead::TooLong;
        out = std::move(value.text);
        return EntryRead::Ok;
    }
    return EntryRead::Unreadable;
}

}  // namespace

EntryRead ReadEntry(const std::wstring& keyPath, std::span<const wchar_t* const> names, const EntryTiming& timing,
                    std::span<std::wstring> values, std::wstring* failedValue) {
    Reg::Key key;
    if (!Reg::Key::Open(Reg::Hive::LocalMachine, keyPath, key)) return EntryRead::KeyMissing;
    for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
        const EntryRead read = ReadValue(keyPath, names[i], timing, values[i]);
        if (read != EntryRead::Ok) {
            if (failedValue != nullptr) *failedValue = names[i];
            return read;
        }
        PauseMs(timing.afterReadMs);
    }
    return EntryRead::Ok;
}

int32_t DecimalValue(const std::wstring& text) {
    const long long v = std::wcstoll(text.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace QVO::SO
