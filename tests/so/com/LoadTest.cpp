// Load: eight control objects on eight threads open, claim, enable, print and close one
// printer entry over and over. Every print that was accepted reaches the printer exactly once
// and every accepted asynchronous print is reported complete to its own control object.
#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

constexpr int kThreads = 8;
// The virtual printer keeps this many trace entries.
constexpr size_t kTraceLimit = 20000;
// 8 x 125 = 1000 cycles; sanitizer builds run fewer (QUVO_LOAD_CYCLES_PER_THREAD from CMake),
// and QUVO_LOAD_CYCLES overrides either for a longer soak.
#ifndef QUVO_LOAD_CYCLES_PER_THREAD
#define QUVO_LOAD_CYCLES_PER_THREAD 125
#endif

int CyclesPerThread() {
    if (const char* env = getenv("QUVO_LOAD_CYCLES"); env != nullptr && atoi(env) > 0)
        return (atoi(env) + kThreads - 1) / kThreads;
    return QUVO_LOAD_CYCLES_PER_THREAD;
}

// What one thread saw: its accepted prints and the failures, as "step rc" lines.
struct ThreadReport {
    std::vector<std::string> printed;  // trace entries of the prints that returned 0
    int asyncAccepted = 0;
    int completionsSeen = 0;  // of its own asynchronous prints
    std::vector<std::string> problems;
};

class LoadTest : public ServiceObjectTest {
protected:
    // One cycle: open, claim, enable, a print (asynchronous on even cycles), close; a failing
    // step is recorded and the cycle goes on to close.
    void Cycle(CPosPrinterControl& printer, EventLog& events, int thread, int cycle, ThreadReport& report) {
        const std::string where = "t" + std::to_string(thread) + " c" + std::to_string(cycle) + " ";
        auto problem = [&](const std::string& step, int32_t rc) {
            report.problems.push_back(where + step + " " + std::to_string(rc));
        };
        if (int32_t rc = printer.Open(PrinterName())) return problem("Open", rc);
        const bool async = cycle % 2 == 0;
        if (int32_t rc = printer.ClaimDevice(kClaimTimeoutMs)) {
            problem("Claim", rc);
        } else if (int32_t rc = printer.SetDeviceEnabled(true)) {
            problem("Enable", rc);
        } else if (int32_t rc = printer.SetAsyncMode(async)) {
            problem("AsyncMode", rc);
        } else {
            const std::string text = "Load " + std::to_string(thread) + "-" + std::to_string(cycle);
            const int32_t printed = Print(printer, Platform::Text::Utf8ToWide(text + "\n"), async);
            if (printed != OPOS_SUCCESS) {
                problem("PrintNormal", printed);
            } else {
                report.printed.push_back("text \"" + text + "\"");
                if (async) WaitForOwnCompletion(printer, events, where, report);
            }
        }
        if (int32_t rc = printer.Close()) problem("Close", rc);
    }

    // A synchronous print is refused as busy while another control object's output is still
    // pending on the shared engine; the application tries again, as any would.
    static int32_t Print(CPosPrinterControl& printer, const std::wstring& text, bool async) {
        int32_t rc = printer.PrintNormal(PTR_S_RECEIPT, text);
        if (!async && rc == OPOS_E_BUSY)
            WaitUntil([&] { return (rc = printer.PrintNormal(PTR_S_RECEIPT, text)) != OPOS_E_BUSY; }, kBusyRetryTime);
        return rc;
    }

    // The OutputID read right after the print names this print's completion; it must come
    // once to this control object before it closes (closing drops what was not written).
    void WaitForOwnCompletion(CPosPrinterControl& printer, EventLog& events, const std::string& where,
                              ThreadReport& report) {
        ++report.asyncAccepted;
        const std::string line = "Output " + std::to_string(printer.GetOutputID());
        if (!events.WaitFor(line)) {
            report.problems.push_back(where + "no " + line + " (" + events.Text() + ")");
            return;
        }
        ++report.completionsSeen;
        if (events.Count(line) != 1) report.problems.push_back(where + line + " more than once");
    }

    void Worker(int thread, int cycles, ThreadReport& report) {
        CPosPrinterControl printer;
        EventLog events;
        RecordEvents(printer, events);
        for (int cycle = 0; cycle < cycles; ++cycle) Cycle(printer, events, thread, cycle, report);
        // Nothing failed on the printer's side, so no error event had reason to come.
        for (const auto& line : events.Lines())
            if (line.rfind("Error ", 0) == 0) report.problems.push_back("t" + std::to_string(thread) + " " + line);
    }

    static constexpr int32_t kClaimTimeoutMs = 10000;
    static constexpr std::chrono::seconds kBusyRetryTime{10};
};

TEST_F(LoadTest, EightControlObjectsCycleOnOnePrinterWithoutLosingOrDuplicatingPrints) {
    const int cycles = CyclesPerThread();
    std::vector<ThreadReport> reports(kThreads);
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([this, t, cycles, &reports] { Worker(t, cycles, reports[size_t(t)]); });
        for (auto& th : threads) th.join();
    }

    size_t accepted = 0;
    int asyncAccepted = 0, completions = 0;
    std::string problems;
    for (const ThreadReport& r : reports) {
        accepted += r.printed.size();
        asyncAccepted += r.asyncAccepted;
        completions += r.completionsSeen;
        for (const auto& p : r.problems) problems += p + "\n";
    }
    // Every cycle is expected to print: one entry, shared claims, nothing else using it.
    EXPECT_TRUE(problems.empty()) << problems;
    EXPECT_EQ(accepted, size_t(kThreads * cycles));
    EXPECT_EQ(completions, asyncAccepted);

    // Synchronous prints are written, not necessarily decoded yet: wait until the printer
    // has as many as were accepted (or more, which the counts below report).
    std::vector<std::string> trace;
    std::map<std::string, int> seen;
    auto loadTexts = [&] {
        trace = printer_.Trace();
        seen.clear();
        size_t n = 0;
        for (const auto& entry : trace)
            if (entry.rfind("text \"Load ", 0) == 0) ++seen[entry], ++n;
        return n;
    };
    WaitUntil([&] { return loadTexts() >= accepted; });
    ASSERT_LT(trace.size(), kTraceLimit) << "the printer's trace is full; lower the cycle count";
    std::string wrong;
    for (const ThreadReport& r : reports)
        for (const auto& text : r.printed)
            if (seen[text] != 1) wrong += text + " x" + std::to_string(seen[text]) + "\n";
    EXPECT_TRUE(wrong.empty()) << wrong;
    // Texts nobody printed (or printed though refused) would be corruption or a replay.
    size_t printedTexts = 0;
    for (const auto& [text, count] : seen) printedTexts += size_t(count);
    EXPECT_EQ(printedTexts, accepted);
    std::cout << "cycles " << kThreads * cycles << ", accepted " << accepted << ", asynchronous " << asyncAccepted
              << ", trace entries " << trace.size() << "\n";
}

// Two control objects on one printer entry share an engine, but AsyncMode is each one's own
// property: one choosing synchronous prints must not turn the other's prints synchronous
// (which loses the completion it waits for) or its own asynchronous (which a close may drop).
TEST_F(LoadTest, AsyncModeIsEachControlObjectsOwn) {
    CPosPrinterControl first, second;
    EventLog firstEvents, secondEvents;
    RecordEvents(first, firstEvents);
    RecordEvents(second, secondEvents);
    ASSERT_TRUE(Ready(first, PrinterName()));
    ASSERT_TRUE(Ready(second, PrinterName()));
    ASSERT_EQ(first.SetAsyncMode(true), OPOS_SUCCESS);
    ASSERT_EQ(second.SetAsyncMode(false), OPOS_SUCCESS);
    EXPECT_EQ(first.GetPropertyNumber(PIDXPtr_AsyncMode), 1);
    EXPECT_EQ(second.GetPropertyNumber(PIDXPtr_AsyncMode), 0);

    const int32_t before = first.GetOutputID();
    ASSERT_EQ(first.PrintNormal(PTR_S_RECEIPT, L"First, asynchronous\n"), OPOS_SUCCESS);
    const int32_t id = first.GetOutputID();
    EXPECT_NE(id, before) << "the asynchronous print got no output ID of its own";
    EXPECT_TRUE(firstEvents.WaitFor("Output " + std::to_string(id))) << firstEvents.Text();
    EXPECT_TRUE(PrinterShows("text \"First, asynchronous\""));
    EXPECT_EQ(first.Close(), OPOS_SUCCESS);
    EXPECT_EQ(second.Close(), OPOS_SUCCESS);
}

}  // namespace
}  // namespace QVO::Test
