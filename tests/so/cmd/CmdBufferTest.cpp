// PrinterBuffer: growth by whole steps, the trailing zero, insert, clear and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "CmdExpect.h"
#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer {
namespace {

using TestTrace::BytesAre;

std::vector<uint8_t> Sequence(size_t count, uint8_t first = 1) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// Every byte from the end of the content to the end of the block must be zero, and there
// must be at least one such byte.
::testing::AssertionResult HoldsTrailingZeros(const PrinterBuffer& buffer) {
    const auto block = buffer.Block();
    if (buffer.Size() >= block.size())
        return ::testing::AssertionFailure()
               << "no room for the trailing zero: size " << buffer.Size() << ", capacity " << block.size();
    for (size_t i = buffer.Size(); i < block.size(); ++i)
        if (block[i] != 0) return ::testing::AssertionFailure() << "non-zero byte at " << i;
    return ::testing::AssertionSuccess();
}

struct GrowthCase {
    const char* what;
    int32_t capacity;
    int32_t step;
    size_t prefill;   // bytes appended one at a time first
    size_t appended;  // then appended in one call (1 = the single-byte overload)
    int32_t expectedCapacity;
};

class CmdBufferGrowthTest : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(CmdBufferGrowthTest, GrowsByWholeStepsAndKeepsTheTrailingZero) {
    const GrowthCase& c = GetParam();
    PrinterBuffer buffer(c.capacity, c.step);
    for (size_t i = 0; i < c.prefill; ++i) ASSERT_TRUE(buffer.Append(uint8_t{0xAB}));
    const auto more = Sequence(c.appended);
    if (c.appended == 1) {
        ASSERT_TRUE(buffer.Append(more[0]));
    } else {
        ASSERT_TRUE(buffer.Append(more.data(), more.size()));
    }
    EXPECT_EQ(buffer.Capacity(), c.expectedCapacity) << c.what;
    EXPECT_EQ(buffer.Size(), c.prefill + c.appended);
    EXPECT_TRUE(std::equal(more.begin(), more.end(), buffer.Begin() + c.prefill));
    EXPECT_TRUE(HoldsTrailingZeros(buffer));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CmdBufferGrowthTest,
    ::testing::Values(GrowthCase{"31 bytes + 1 leaves no zero: grow", 32, 32, 31, 1, 64},
                      GrowthCase{"30 bytes + 1 still has a zero", 32, 32, 30, 1, 32},
                      GrowthCase{"100 into empty 32/32", 32, 32, 0, 100, 128},
                      GrowthCase{"exactly one step worth", 32, 32, 0, 63, 64},
                      GrowthCase{"one past a step boundary", 32, 32, 0, 64, 96},
                      GrowthCase{"small step, large append", 16, 4, 10, 50, 64},
                      GrowthCase{"capacity 0 grows from nothing", 0, 32, 0, 1, 32},
                      GrowthCase{"a run filling the block grows", 32, 32, 30, 2, 64},
                      GrowthCase{"a run leaving one zero still grows by the run rule", 32, 32, 29, 2, 64},
                      GrowthCase{"step 1 still grows for one byte", 8, 1, 7, 1, 9},
                      GrowthCase{"step 0 is taken as 1", 8, 0, 7, 1, 9}),
    [](const ::testing::TestParamInfo<GrowthCase>& info) { return "Case" + std::to_string(info.index); });

TEST(CmdBufferTest, RefusedAppendLeavesBufferUntouched) {
    // A request that cannot fit a 32-bit capacity is refused before anything is read or written.
    PrinterBuffer buffer(32, 32);
    const auto content = Sequence(10);
    ASSERT_TRUE(buffer.Append(content));
    const uint8_t one = 7;
    EXPECT_FALSE(buffer.Append(&one, static_cast<size_t>(std::numeric_limits<int32_t>::max())));
    EXPECT_FALSE(buffer.Append(&one, std::numeric_limits<size_t>::max()));
    EXPECT_EQ(buffer.Capacity(), 32);
    EXPECT_TRUE(BytesAre(buffer, "01 02 03 04 05 06 07 08 09 0A"));
    EXPECT_TRUE(HoldsTrailingZeros(buffer));
}

TEST(CmdBufferTest, AppendingOwnContentSurvivesGrowth) {
    // Appending a buffer to itself must read the bytes before the block moves.
    PrinterBuffer buffer(8, 8);
    ASSERT_TRUE(buffer.Append(Sequence(6)));
    ASSERT_TRUE(buffer.Append(buffer.Data(), buffer.Size()));
    EXPECT_TRUE(BytesAre(buffer, "01 02 03 04 05 06 01 02 03 04 05 06"));
    ASSERT_TRUE(buffer.Append(buffer));
    EXPECT_EQ(buffer.Size(), 24u);
    EXPECT_TRUE(HoldsTrailingZeros(buffer));
}

struct InsertCase {
    const char* what;
    size_t position;
    const char* inserted;
    bool accepted;
    const char* expected;
};

class CmdBufferInsertTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(CmdBufferInsertTest, PutsTheRangeAtThePositionAndMovesTheTail) {
    const InsertCase& c = GetParam();
    PrinterBuffer buffer(4, 4);
    ASSERT_TRUE(buffer.Append(TestTrace::FromHex("0A 0B 0C")));
    const auto range = TestTrace::FromHex(c.inserted);
    EXPECT_EQ(buffer.Insert(c.position, range.data(), range.data() + range.size()), c.accepted) << c.what;
    EXPECT_TRUE(BytesAre(buffer, c.expected)) << c.what;
    EXPECT_TRUE(HoldsTrailingZeros(buffer));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CmdBufferInsertTest,
    ::testing::Values(InsertCase{"prefix in front", 0, "1B 40 1B 74 10", true, "1B 40 1B 74 10 0A 0B 0C"},
                      InsertCase{"middle", 1, "FF", true, "0A FF 0B 0C"},
                      InsertCase{"at the end appends", 3, "01 02", true, "0A 0B 0C 01 02"},
                      InsertCase{"empty range", 2, "", true, "0A 0B 0C"},
                      InsertCase{"beyond the content is refused", 4, "01", false, "0A 0B 0C"}),
    [](const ::testing::TestParamInfo<InsertCase>& info) { return "Case" + std::to_string(info.index); });

TEST(CmdBufferTest, InsertRefusesReversedRangeAndCopesWithOwnBytes) {
    PrinterBuffer buffer(4, 4);
    ASSERT_TRUE(buffer.Append(TestTrace::FromHex("01 02 03")));
    const uint8_t* begin = buffer.Begin();
    EXPECT_FALSE(buffer.Insert(0, begin + 2, begin));
    // Inserting our own content while the block has to grow.
    ASSERT_TRUE(buffer.Insert(1, buffer.Begin(), buffer.End()));
    EXPECT_TRUE(BytesAre(buffer, "01 01 02 03 02 03"));
    EXPECT_TRUE(HoldsTrailingZeros(buffer));
}

TEST(CmdBufferTest, ClearZeroesTheBlockAndKeepsTheCapacity) {
    PrinterBuffer buffer(32, 32);
    ASSERT_TRUE(buffer.Append(Sequence(40)));
    const int32_t capacity = buffer.Capacity();
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_TRUE(buffer.IsEmpty());
    EXPECT_EQ(buffer.Capacity(), capacity);
    const auto block = buffer.Block();
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; }));
    // Reuse after clear starts at the beginning.
    ASSERT_TRUE(buffer.Append(uint8_t{0x42}));
    EXPECT_TRUE(BytesAre(buffer, "42"));
}

TEST(CmdBufferTest, CopiesAreDeepAndMovesLeaveAnEmptySource) {
    PrinterBuffer original(4, 4);
    ASSERT_TRUE(original.Append(Sequence(5)));
    PrinterBuffer copy(original);
    ASSERT_TRUE(original.Append(uint8_t{0x99}));
    EXPECT_TRUE(BytesAre(copy, "01 02 03 04 05"));
    EXPECT_TRUE(HoldsTrailingZeros(copy));

    PrinterBuffer moved(std::move(copy));
    EXPECT_TRUE(BytesAre(moved, "01 02 03 04 05"));
    EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_TRUE(copy.Append(uint8_t{1}));

    PrinterBuffer assigned(64, 32);
    assigned = original;
    EXPECT_TRUE(BytesAre(assigned, "01 02 03 04 05 99"));
    assigned = std::move(moved);
    EXPECT_TRUE(BytesAre(assigned, "01 02 03 04 05"));
}

TEST(CmdBufferTest, ByteAccessMatchesContent) {
    PrinterBuffer buffer;
    EXPECT_TRUE(buffer.IsEmpty());
    ASSERT_TRUE(buffer.Append(TestTrace::FromHex("1B 40")));
    EXPECT_EQ(buffer[0], 0x1B);
    EXPECT_EQ(buffer[1], 0x40);
    EXPECT_EQ(buffer.End() - buffer.Begin(), 2);
}

}  // namespace
}  // namespace QVO::Printer
