// The control-object tests' fixture: the fake service object module, its registry entries
// written as one .reg import, and the trace helpers.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/registry/Registry.h"
#include "platform/text/TextConv.h"
#include "tests/opos/FakeServiceObjectIds.h"
#include "tests/platform/com/TempRegistry.h"

namespace QVO::Test {

namespace Reg = QVO::Platform::Registry;

inline const std::wstring kPrinterKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter";
inline const std::wstring kDrawerKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

// Access to the fake's test exports while a test holds the module loaded.
class FakeModule {
public:
    FakeModule() : handle_(dlopen(QUVO_FAKE_SO, RTLD_NOW | RTLD_LOCAL)) {}
    ~FakeModule() {
        if (!handle_) return;
        JoinLateEvents();  // no thread of the module may outlive it
        dlclose(handle_);
    }
    explicit operator bool() const { return handle_ != nullptr; }
    template <class Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }

    std::vector<std::wstring> Trace() const {
        std::vector<std::wstring> trace;
        if (auto take = Get<void (*)(std::vector<std::wstring>*)>("FakeSO_TakeTrace")) take(&trace);
        return trace;
    }
    int LiveObjects() const { return Get<int (*)()>("FakeSO_LiveObjects")(); }
    IDispatch* TakeLastReceiver() const { return Get<IDispatch* (*)()>("FakeSO_TakeLastReceiver")(); }
    void JoinLateEvents() const { Get<void (*)()>("FakeSO_JoinLateEvents")(); }

private:
    void* handle_;
};

// Everything the tests need in the registry, written as one .reg import (one locked change
// instead of a hundred single writes).
class RegScript {
public:
    void Key(const std::wstring& path) { text_ += L"\n[HKEY_LOCAL_MACHINE\\" + path + L"]\n"; }
    void Value(const std::wstring& name, const std::wstring& data) {
        text_ += (name.empty() ? L"@" : L"\"" + name + L"\"") + L"=\"" + data + L"\"\n";
    }
    // Registers one fake class with its versioned and version-independent ProgIDs.
    void FakeClass(const QVO::Test::FakeClass& c) {
        const std::wstring clsid = QVO::Platform::Com::GuidToString(c.clsid);
        const std::wstring progId = std::wstring(c.progId) + L".1";
        Key(L"SOFTWARE\\Classes\\CLSID\\" + clsid + L"\\InprocServer32");
        Value(L"", QVO::Platform::Text::Utf8ToWide(QUVO_FAKE_SO));
        Value(L"ThreadingModel", L"Apartment");
        Key(L"SOFTWARE\\Classes\\" + progId + L"\\CLSID");
        Value(L"", clsid);
        Key(L"SOFTWARE\\Classes\\" + std::wstring(c.progId) + L"\\CurVer");  // only CurVer
        Value(L"", progId);
    }
    void Entry(const std::wstring& classKey, const std::wstring& entry, const wchar_t* progId) {
        Key(classKey + L"\\" + entry);
        if (progId) Value(L"", progId);
    }
    void LogicalName(const std::wstring& classKey, const std::wstring& name, const std::wstring& entry) {
        Key(classKey);
        Value(name, entry);
    }
    bool Import() const {
        const std::string file = QVO::Test::TheTempRegistry().Dir() + "/setup.reg";
        std::ofstream(file) << QVO::Platform::Text::WideToUtf8(L"Windows Registry Editor Version 5.00\n" + text_);
        return Reg::ImportFile(file).ok();
    }

private:
    std::wstring text_;
};

// A one-shot signal between a test and a handler running on an event thread.

inline bool Contains(const std::vector<std::wstring>& trace, const std::wstring& line) {
    return std::find(trace.begin(), trace.end(), line) != trace.end();
}

// Registers the fake classes and the device entries once per suite; each test starts with the
// fake module loaded and its trace empty.
class OposControl : public testing::Test {
protected:
    static void SetUpTestSuite() {
        RegScript reg;
        for (const FakeClass& c : kFakeClasses) reg.FakeClass(c);
        reg.Entry(kPrinterKey, L"Fake_01", L"QuvoFake.Printer");  // version-independent: via CurVer
        reg.LogicalName(kPrinterKey, L"Receipt", L"Fake_01");
        reg.Entry(kPrinterKey, L"Old_01", L"QuvoFake.OldVersion.1");
        reg.Entry(kPrinterKey, L"FailOpen_01", L"QuvoFake.FailOpen.1");
        reg.Entry(kPrinterKey, L"FailSilently_01", L"QuvoFake.FailSilently.1");
        reg.Entry(kPrinterKey, L"Incomplete_01", L"QuvoFake.Incomplete.1");
        reg.Entry(kPrinterKey, L"Legacy_01", L"QuvoFake.Legacy.1");
        reg.Entry(kPrinterKey, L"NoCreate_01", L"QuvoFake.NoCreate.1");
        reg.Entry(kPrinterKey, L"NoProgId_01", nullptr);
        reg.Entry(kPrinterKey, L"BadProgId_01", L"No.Such.ProgId");
        reg.LogicalName(kPrinterKey, L"Dangling", L"Removed_01");
        reg.Entry(kDrawerKey, L"Drawer_01", L"QuvoFake.Printer.1");
        ASSERT_TRUE(reg.Import());
    }

    void SetUp() override {
        ASSERT_TRUE(fake);
        fake.Trace();  // start each test with an empty trace
    }

    FakeModule fake;
};

}  // namespace QVO::Test
