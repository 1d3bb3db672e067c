// The output worker: IDs, order of writes and completions, and what happens to an output
// that cannot be written (held, not lost, not reported complete) until retry or clear.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterOutTask.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/CPrinterTaskThreadContext.h"
#include "so/printer/OutputHeaps.h"
#include "so/printer/OutputId.h"
#include "tests/so/printer/EngineTestSupport.h"
#include "tests/so/printer/FakePort.h"
#include "tests/support/WaitUntil.h"

namespace QVO::Printer {
namespace {

using QVO::Test::WaitUntil;
using Test::FakePort;

// What the COM object would have received.
class RecordingSink : public IPrinterEventHandle {
public:
    void ErrorNotice(const wchar_t* text, int32_t, int32_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.emplace_back(text);
    }
    void OutputComplete(int32_t outputId) override {
        std::lock_guard<std::mutex> lock(mutex_);
        completed_.push_back(outputId);
    }
    void StatusUpdate(int32_t) override {}
    int32_t PrinterState() override {
        polls_.fetch_add(1);
        return 0;
    }
    std::vector<int32_t> Completed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return completed_;
    }
    int32_t Polls() const { return polls_.load(); }

private:
    mutable std::mutex mutex_;
    std::vector<int32_t> completed_;
    std::vector<std::wstring> errors_;
    std::atomic<int32_t> polls_{0};
};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class OutputPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakePort_ = std::make_shared<FakePort>();
        port_ = std::make_shared<CPrinterPort>(fakePort_);
        events_ = std::make_shared<CPrinterEventObject>(&sink_);
        events_->Enable(true);
        context_ = std::make_unique<CPrinterTaskThreadContext>(port_, events_, QVO::Printer::Test::FastOutputTiming());
        context_->SetFailureHandler([this](int32_t id) { failures_.push_back(id); });
        ASSERT_EQ(context_->Init(nullptr), 0);
    }
    void TearDown() override { context_.reset(); }

    std::string WrittenText() const {
        std::vector<uint8_t> bytes = fakePort_->Written();
        return {bytes.begin(), bytes.end()};
    }

    RecordingSink sink_;
    std::shared_ptr<FakePort> fakePort_;
    std::shared_ptr<CPrinterPort> port_;
    std::shared_ptr<CPrinterEventObject> events_;
    std::unique_ptr<CPrinterTaskThreadContext> context_;
    std::vector<int32_t> failures_;  // written by the worker only before the test reads it
};

TEST_F(OutputPathTest, OutputsAreNumberedFromOneAndCompleteInOrder) {
    EXPECT_EQ(context_->QueueOutput(Bytes("a"), false), 1);
    EXPECT_EQ(context_->QueueOutput(Bytes("b"), false), 2);
    EXPECT_EQ(context_->QueueOutput(Bytes("c"), false), 3);
    EXPECT_EQ(CurrentOutputId(), 3);
    ASSERT_EQ(context_->Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink_.Completed().size() == 3; }));
    EXPECT_EQ(sink_.Completed(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(WrittenText(), "abc");
}

TEST_F(OutputPathTest, UrgentOutputGoesFirst) {
    context_->QueueOutput(Bytes("a"), false);
    context_->QueueOutput(Bytes("U"), true);
    ASSERT_EQ(context_->Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink_.Completed().size() == 2; }));
    EXPECT_EQ(WrittenText(), "Ua");
    EXPECT_EQ(sink_.Completed(), (std::vector<int32_t>{2, 1}));
}

// A printer that is off: the failed output is neither completed nor dropped, nothing behind it
// is written, and a retry once the printer is back writes it exactly once, then the rest.
TEST_F(OutputPathTest, FailedOutputIsHeldUntilRetryThenWrittenOnce) {
    fakePort_->FailWrites(true);
    context_->QueueOutput(Bytes("first|"), false);
    context_->QueueOutput(Bytes("second|"), false);
    ASSERT_EQ(context_->Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return context_->IsHeld(); }));
    const int32_t callsWhenHeld = fakePort_->WriteCalls();
    // The worker keeps running but must not try again, nor go on to the next output.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(fakePort_->WriteCalls(), callsWhenHeld);
    EXPECT_TRUE(sink_.Completed().empty());
    EXPECT_EQ(context_->GetTaskCount(), 2);
    ASSERT_EQ(failures_, (std::vector<int32_t>{1}));

    fakePort_->FailWrites(false);
    context_->Retry();
    ASSERT_TRUE(WaitUntil([&] { return sink_.Completed().size() == 2; }));
    EXPECT_EQ(WrittenText(), "first|second|");
    EXPECT_EQ(sink_.Completed(), (std::vector<int32_t>{1, 2}));
}

TEST_F(OutputPathTest, ClearOutputDropsHeldAndQueuedOutputWithoutCompletions) {
    fakePort_->FailWrites(true);
    context_->QueueOutput(Bytes("x"), false);
    context_->QueueOutput(Bytes("y"), false);
    ASSERT_EQ(context_->Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return context_->IsHeld(); }));
    context_->ClearOutput();
    EXPECT_FALSE(context_->IsHeld());
    EXPECT_EQ(context_->GetTaskCount(), 0);
    fakePort_->FailWrites(false);
    context_->QueueOutput(Bytes("z"), false);
    ASSERT_TRUE(WaitUntil([&] { return sink_.Completed().size() == 1; }));
    EXPECT_EQ(sink_.Completed(), (std::vector<int32_t>{3}));
    EXPECT_EQ(WrittenText(), "z");
}

// An output waits for a port lock held elsewhere (a status read, a synchronous print) instead
// of being given up at once.
TEST_F(OutputPathTest, OutputWaitsForABusyPortLock) {
    ASSERT_EQ(context_->Start(), 0);
    // A plain return on failure, which the lock analysis follows (an ASSERT it cannot).
    if (!port_->TimedLock(0)) FAIL() << "the port lock was not free";
    context_->QueueOutput(Bytes("late"), false);
    // kOutputLockTimeoutMs is 10 s; instead of waiting that long, check that nothing was
    // completed or dropped while the lock is held, then let it go.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(sink_.Completed().empty());
    EXPECT_EQ(context_->GetTaskCount(), 1);
    port_->Unlock();
    ASSERT_TRUE(WaitUntil([&] { return sink_.Completed().size() == 1; }));
    EXPECT_EQ(WrittenText(), "late");
}

TEST_F(OutputPathTest, StatusIsPolledOnlyWhileNothingIsQueued) {
    ASSERT_EQ(context_->Start(), 0);
    ASSERT_TRUE(WaitUntil([&] { return sink_.Polls() > 2; }));
    fakePort_->FailWrites(true);
    context_->QueueOutput(Bytes("q"), false);
    ASSERT_TRUE(WaitUntil([&] { return context_->IsHeld(); }));
    const int32_t polls = sink_.Polls();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sink_.Polls(), polls);
}

TEST(OutputHeapsTest, SmallOutputsUseTheBoundedHeapUntilItIsFull) {
    auto heapsOwner = std::make_shared<OutputHeaps>();
    OutputHeaps& heaps = *heapsOwner;
    auto port = std::make_shared<CPrinterPort>(std::make_shared<FakePort>());
    std::vector<uint8_t> small(60000, 0x41), large(70000, 0x42);
    auto a = CPrinterOutTask::Create(1, port, nullptr, heapsOwner, small);
    auto b = CPrinterOutTask::Create(2, port, nullptr, heapsOwner, large);
    EXPECT_EQ(a->Heap(), heaps.Small());
    EXPECT_EQ(b->Heap(), heaps.Large());
    EXPECT_EQ(heaps.SmallInUse(), small.size());
    std::vector<std::shared_ptr<CPrinterOutTask>> filling;
    for (int i = 0; i < 10; ++i) filling.push_back(CPrinterOutTask::Create(3 + i, port, nullptr, heapsOwner, small));
    // 512 KiB hold eight of them; the rest fall back to the large heap rather than failing.
    EXPECT_LE(heaps.SmallInUse(), kSmallHeapMaximum);
    EXPECT_EQ(filling.back()->Heap(), heaps.Large());
    EXPECT_EQ(filling.back()->Size(), small.size());
    filling.clear();
    a.reset();
    EXPECT_EQ(heaps.SmallInUse(), 0u);
}

// A large output's block is kept when it goes and handed to the next large output: fresh
// memory costs a page fault every 4 KiB, which made large jobs slower than the link.
TEST(OutputHeapsTest, TheGrowableHeapKeepsLargeBlocksForTheNextOutputs) {
    OutputHeaps heaps;
    constexpr size_t kMegabyte = 1 << 20;
    {
        HeapBlock first(heaps.Large(), kMegabyte);
        std::memset(first.data(), 0x5A, first.size());
    }
    const size_t kept = heaps.LargeRetained();
    EXPECT_GE(kept, kMegabyte);
    {
        // A tenth of it does not take the kept block; a little less than it does.
        HeapBlock tenth(heaps.Large(), kMegabyte / 10);
        EXPECT_EQ(heaps.LargeRetained(), kept);
        HeapBlock again(heaps.Large(), kMegabyte - 100);
        EXPECT_LT(heaps.LargeRetained(), kMegabyte);  // the kept block went to it
        std::memset(again.data(), 0xA5, again.size());
    }
    // What is kept stays bounded however much went through.
    {
        std::vector<HeapBlock> many;
        for (int i = 0; i < 8; ++i) many.emplace_back(heaps.Large(), kMegabyte + size_t(i) * 4096);
    }
    EXPECT_GT(heaps.LargeRetained(), 0u);
    EXPECT_LE(heaps.LargeRetained(), kLargeHeapRetainedMaximum);
}

TEST(OutputIdTest, WrapsAfterTheLargestId) {
    ResetOutputIds(kOutputIdWrapAbove - 1);
    EXPECT_EQ(NextOutputId(), kOutputIdWrapAbove);
    EXPECT_EQ(NextOutputId(), kOutputIdWrapAbove + 1);
    EXPECT_EQ(NextOutputId(), 2);
    EXPECT_EQ(CurrentOutputId(), 2);
}

TEST(OutputIdTest, ThreadsNeverDrawTheSameId) {
    ResetOutputIds();
    EXPECT_EQ(NextOutputId(), 1);
    std::set<int32_t> seen;
    std::mutex mutex;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2500; ++i) {
                const int32_t id = NextOutputId();
                std::lock_guard<std::mutex> lock(mutex);
                seen.insert(id);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(seen.size(), 10000u);
    EXPECT_EQ(*seen.rbegin(), 10001);
}

}  // namespace
}  // namespace QVO::Printer
