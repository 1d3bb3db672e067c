// Unloading the service object: once the last object is closed and released,
// CoFreeUnusedLibrariesEx(0, 0) unloads libQUVOSO.so and no thread it started is left.
#include <dirent.h>

#include <fstream>
#include <map>
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "platform/com/ComRuntime.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;
using Platform::Com::ComPtr;
using Platform::Com::Variant;

// The threads of this process, by id, with their names (for a readable failure).
std::map<std::string, std::string> Threads() {
    std::map<std::string, std::string> threads;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return threads;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string name;
        std::ifstream(std::string("/proc/self/task/") + e->d_name + "/comm") >> name;
        threads[e->d_name] = name;
    }
    closedir(dir);
    return threads;
}

std::string Describe(const std::map<std::string, std::string>& threads) {
    std::string text;
    for (const auto& [tid, name] : threads) text += tid + ":" + name + " ";
    return text;
}

bool ModuleMapped() {
    void* handle = dlopen(QUVO_SO_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

class UnloadTest : public ServiceObjectTest {
protected:
    // Taken after the virtual printer's threads started, so only threads started since count.
    void SetUp() override {
        ServiceObjectTest::SetUp();
        ASSERT_FALSE(ModuleMapped()) << "a previous test left the module loaded";
        before_ = Threads();
    }

    // The module goes at the first CoFreeUnusedLibrariesEx(0, 0); an exited thread may take a
    // moment to leave /proc after it was joined, hence the wait for the count only.
    void ExpectUnloadedAndNoThreadLeft() {
        EXPECT_TRUE(Platform::Com::IsModuleLoaded(Platform::Text::Utf8ToWide(QUVO_SO_PATH)));
        CoFreeUnusedLibrariesEx(0, 0);
        EXPECT_FALSE(Platform::Com::IsModuleLoaded(Platform::Text::Utf8ToWide(QUVO_SO_PATH)));
        EXPECT_FALSE(ModuleMapped()) << "dlopen(RTLD_NOLOAD) still finds " << QUVO_SO_PATH;
        const bool same = WaitUntil([&] { return Threads().size() == before_.size(); }, std::chrono::seconds(2));
        EXPECT_TRUE(same) << "before: " << Describe(before_) << "\nafter: " << Describe(Threads());
    }

    // Open, claim, enable, one asynchronous print and its completion.
    void PrintAndWait(CPosPrinterControl& printer, EventLog& events, const std::wstring& text) {
        ASSERT_TRUE(Ready(printer, PrinterName()));
        ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
        ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, text), OPOS_SUCCESS);
        const int32_t id = printer.GetOutputID();
        EXPECT_TRUE(events.WaitFor("Output " + std::to_string(id))) << events.Text();
    }

    std::map<std::string, std::string> before_;
};

TEST_F(UnloadTest, LastCloseAndReleaseUnloadsTheModuleAndItsThreads) {
    {
        CPosPrinterControl printer;
        EventLog events;
        RecordEvents(printer, events);
        PrintAndWait(printer, events, L"Unload one\n");
        // Engine worker and event thread run while enabled; the count shows they were started.
        EXPECT_GT(Threads().size(), before_.size());
        EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
        // Closed but the loader waits for the idle answer: nothing unloads while referenced.
    }
    EXPECT_TRUE(PrinterShows("text \"Unload one\""));
    ExpectUnloadedAndNoThreadLeft();
}

// The primary (first opener, owner of the engine and event thread) closes first; its client
// keeps printing on the same engine and closes last.
TEST_F(UnloadTest, PrimaryClosingBeforeItsClientStillUnloads) {
    {
        CPosPrinterControl first, second;
        EventLog firstEvents, secondEvents;
        RecordEvents(first, firstEvents);
        RecordEvents(second, secondEvents);
        PrintAndWait(first, firstEvents, L"Primary\n");
        PrintAndWait(second, secondEvents, L"Client\n");
        EXPECT_EQ(first.Close(), OPOS_SUCCESS);
        ASSERT_EQ(second.PrintNormal(PTR_S_RECEIPT, L"After primary closed\n"), OPOS_SUCCESS);
        const int32_t id = second.GetOutputID();
        EXPECT_TRUE(secondEvents.WaitFor("Output " + std::to_string(id))) << secondEvents.Text();
        EXPECT_EQ(second.Close(), OPOS_SUCCESS);
    }
    EXPECT_TRUE(PrinterShows("text \"After primary closed\""));
    ExpectUnloadedAndNoThreadLeft();
}

// Calls a method by name on a bare service object; its OPOS result, or INT32_MIN.
int32_t CallSo(IDispatch* so, const wchar_t* name, std::vector<Variant> args) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(so->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id))) return INT32_MIN;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Get());
    DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
    Variant result;
    UINT argErr = 0;
    if (FAILED(so->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), nullptr, &argErr)))
        return INT32_MIN;
    return result.AsLong(INT32_MIN);
}

// An application that releases the service object while it is still open, claimed and
// enabled with output queued, without CloseService: the final release winds everything down.
TEST_F(UnloadTest, ReleaseWithoutCloseStopsEverythingAndUnloads) {
    {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(kSoProgId, &clsid), S_OK);
        ComPtr<IDispatch> so;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, so.PutVoid()), S_OK);
        ASSERT_EQ(CallSo(so.Get(), L"OpenService",
                         {Variant(std::wstring_view(L"POSPrinter")), Variant(std::wstring_view(PrinterName())),
                          Variant::Dispatch(nullptr)}),
                  OPOS_SUCCESS);
        ASSERT_EQ(CallSo(so.Get(), L"ClaimDevice", {Variant(LONG(3000))}), OPOS_SUCCESS);
        ASSERT_EQ(CallSo(so.Get(), L"SetPropertyNumber", {Variant(LONG(PIDX_DeviceEnabled)), Variant(LONG(1))}),
                  OPOS_SUCCESS);
        ASSERT_EQ(CallSo(so.Get(), L"SetPropertyNumber", {Variant(LONG(PIDXPtr_AsyncMode)), Variant(LONG(1))}),
                  OPOS_SUCCESS);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(CallSo(so.Get(), L"PrintNormal",
                             {Variant(LONG(PTR_S_RECEIPT)), Variant(std::wstring_view(L"Queued\n"))}),
                      OPOS_SUCCESS);
        EXPECT_GT(Threads().size(), before_.size());
    }
    ExpectUnloadedAndNoThreadLeft();
}

}  // namespace
}  // namespace QVO::Test
