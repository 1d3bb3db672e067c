// The reply stream split by kind (process-ID answers, status blocks, other answers), the IDs
// queued outputs ask for, and the virtual printer's answer to a process-ID request.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "sim/VirtualPrinter.h"
#include "so/printer/PrinterReplies.h"

namespace QVO::Printer {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Answer(uint32_t id) {
    return {0x37, 0x22, uint8_t(id >> 24), uint8_t(id >> 16), uint8_t(id >> 8), uint8_t(id), 0x00};
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kCoverOpenBlock = {0x30, 0x00, 0x00, 0x00};
const Bytes kPaperEndBlock = {0x10, 0x00, 0x0F, 0x00};
constexpr uint8_t kRealTimeAnswer = 0x16;

struct Split {
    std::vector<uint32_t> ids;
    std::vector<PrinterReplies::AutoStatusBlock> blocks;
    bool hasOther = false;
    uint8_t other = 0;
};

Split Read(PrinterReplies& replies) {
    Split out;
    out.ids = replies.TakeProcessIds();
    PrinterReplies::AutoStatusBlock block{};
    while (replies.TakeAutoStatus(block)) out.blocks.push_back(block);
    out.hasOther = replies.TakeLastOther(out.other);
    return out;
}

// Catches one parser eating the other's bytes: answers and status blocks that come in one
// read, in any order and cut at any point between reads, must all come out whole.
TEST(PrinterRepliesTest, AnswersStatusBlocksAndStatusBytesComeApartAtEveryCut) {
    const Bytes stream =
        kCoverOpenBlock + Answer(0x21324354) + Bytes{kRealTimeAnswer} + Answer(0x7E7E2020) + kPaperEndBlock;
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        PrinterReplies replies;
        replies.Feed(stream.data(), cut);
        replies.Feed(stream.data() + cut, stream.size() - cut);
        const Split split = Read(replies);
        EXPECT_EQ(split.ids, (std::vector<uint32_t>{0x21324354, 0x7E7E2020}));
        ASSERT_EQ(split.blocks.size(), 2u);
        EXPECT_EQ(Bytes(split.blocks[0].begin(), split.blocks[0].end()), kCoverOpenBlock);
        EXPECT_EQ(Bytes(split.blocks[1].begin(), split.blocks[1].end()), kPaperEndBlock);
        EXPECT_TRUE(split.hasOther);
        EXPECT_EQ(split.other, kRealTimeAnswer);
    }
}

// Catches an answer to a synchronous send reaching the output worker, and a broken answer
// swallowing the status block behind it.
TEST(PrinterRepliesTest, SynchronousAnswersAreDroppedAndBrokenAnswersAreNoAnswers) {
    PrinterReplies replies;
    const Bytes broken = {0x37, 0x22, 0x41, 0x42, 0x43, 0x44, 0x01};  // no NUL at the end
    const Bytes stream = Answer(kSynchronousProcessId) + broken + kCoverOpenBlock;
    replies.Feed(stream.data(), stream.size());
    const Split split = Read(replies);
    EXPECT_TRUE(split.ids.empty());
    ASSERT_EQ(split.blocks.size(), 1u);
    EXPECT_EQ(Bytes(split.blocks[0].begin(), split.blocks[0].end()), kCoverOpenBlock);
    EXPECT_TRUE(split.hasOther);
}

// A status block cut short is waited for; the status reader learns that it started.
TEST(PrinterRepliesTest, AStatusBlockCutShortWaitsForItsRest) {
    PrinterReplies replies;
    replies.Feed(kCoverOpenBlock.data(), 2);
    PrinterReplies::AutoStatusBlock block{};
    EXPECT_FALSE(replies.TakeAutoStatus(block));
    EXPECT_TRUE(replies.AutoStatusStarted());
    replies.Feed(kCoverOpenBlock.data() + 2, 2);
    ASSERT_TRUE(replies.TakeAutoStatus(block));
    EXPECT_EQ(Bytes(block.begin(), block.end()), kCoverOpenBlock);
    uint8_t other = 0;
    EXPECT_FALSE(replies.TakeLastOther(other));
}

// Catches IDs a printer would refuse (non-printable bytes), an ID equal to the synchronous
// sends' one, and two outputs in flight with the same ID.
TEST(PrinterRepliesTest, OutputIdsBecomeDistinctPrintableProcessIds) {
    std::set<uint32_t> seen;
    constexpr int32_t kOutputs = 300000;
    for (int32_t id = 1; id <= kOutputs; ++id) {
        const uint32_t processId = ProcessIdForOutput(id);
        for (int shift = 0; shift < 32; shift += 8) {
            const uint8_t byte = uint8_t(processId >> shift);
            ASSERT_GE(byte, 0x20) << id;
            ASSERT_LE(byte, 0x7E) << id;
        }
        ASSERT_NE(processId >> 24, uint32_t{'F'}) << id;
        seen.insert(processId);
    }
    EXPECT_EQ(seen.size(), size_t{kOutputs});
    EXPECT_NE(ProcessIdForOutput(2147483646), kSynchronousProcessId);
}

// The virtual printer answers a process-ID request only once it has processed what came
// before it: not while offline, and never for a request a printer would refuse.
TEST(VirtualPrinterProcessIdTest, AnswerFollowsTheDataBeforeIt) {
    Sim::VirtualPrinter printer{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::Off};
    const Bytes request = {'a', '\n', 0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 'W', 'x', 'y', 'z'};
    printer.SetOffline(true);
    printer.Receive(request);
    EXPECT_TRUE(printer.TakeAllReplies().empty()) << "answered while the data before it waits";
    printer.SetOffline(false);
    Bytes replies = printer.TakeAllReplies();
    EXPECT_EQ(replies, Answer(0x5778797A));

    const Bytes refused = {0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, 'W', 0x7F, 'y', 'z'};
    printer.Receive(refused);
    EXPECT_TRUE(printer.TakeAllReplies().empty());

    printer.SetOffline(true);
    printer.Receive(request);
    printer.PowerCycle();
    printer.SetOffline(false);
    EXPECT_TRUE(printer.TakeAllReplies().empty()) << "a request lost with the power is never answered";
}

}  // namespace
}  // namespace QVO::Printer
